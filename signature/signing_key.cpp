#include "signature/signing_key.h"

#include <algorithm>

#include "common/text_rules.h"
#include "signature/file_signature.h"

namespace {

// Far more than any key of this format needs; keeps a wrong file from
// producing a huge number.
constexpr std::size_t kMaxKeyHexDigits = 512;

std::string_view Trim(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

ReadResult ParseSigningKey(std::string_view text, SigningKey& key) {
  bool haveModulus = false;
  bool haveExponent = false;
  BigInt modulus;
  BigInt privateExponent;
  int lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty() || line.front() == '#') continue;

    const auto fail = [lineNumber](const std::string& message) {
      return ReadResult::Failed(lineNumber, "line " + std::to_string(lineNumber) + ": " + message);
    };
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      return fail("expected name=value");
    }
    const std::string_view name = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    bool* seen = nullptr;
    BigInt* target = nullptr;
    if (name == "modulus") {
      seen = &haveModulus;
      target = &modulus;
    } else if (name == "private_exponent") {
      seen = &haveExponent;
      target = &privateExponent;
    } else {
      return fail("unknown field '" + std::string(name) + "'");
    }
    if (*seen) {
      return fail("'" + std::string(name) + "' is given twice");
    }
    if (value.empty() || value.size() > kMaxKeyHexDigits ||
        !std::all_of(value.begin(), value.end(), text::IsHexDigit)) {
      return fail("'" + std::string(name) + "' must be 1 to " + std::to_string(kMaxKeyHexDigits) +
                  " hexadecimal digits");
    }
    *target = BigInt(value);
    if (target->IsZero()) {
      return fail("'" + std::string(name) + "' must not be zero");
    }
    *seen = true;
  }
  if (!haveModulus || !haveExponent) {
    return ReadResult::Failed(
        0, std::string("missing field '") + (haveModulus ? "private_exponent" : "modulus") + "'");
  }
  key.modulus = std::move(modulus);
  key.privateExponent = std::move(privateExponent);
  return ReadResult{};
}

std::string FormatSignatureText(const BigInt& signature) {
  const std::int32_t bits = signature.BitLength();
  const std::size_t digits =
      std::max<std::size_t>(kSignatureTextMaxLength, static_cast<std::size_t>(bits + 3) / 4);
  std::string text(digits, '0');
  for (std::size_t position = 0; position < digits; ++position) {
    const auto nibbleIndex = static_cast<std::int32_t>(position);
    const BigInt::Digit digit = signature.GetDigit(nibbleIndex / 4);
    text[digits - 1 - position] = text::UpperHexDigit(digit >> (4 * (nibbleIndex % 4)));
  }
  return text;
}

std::string MakeSignatureText(const SigningKey& key, std::int32_t buildIdentifier,
                              std::string_view contents) {
  const BigInt digestNumber = SignatureDigestNumber(buildIdentifier, contents);
  return FormatSignatureText(digestNumber.PowMod(key.privateExponent, key.modulus));
}
