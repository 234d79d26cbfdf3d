#include "signature/file_signature.h"

#include <cstdio>

#include "common/launcher_state.h"
#include "common/text_rules.h"
#include "common/unique_file.h"

std::string BuildSignedMessage(std::int32_t buildIdentifier, std::string_view contents) {
  std::string message;
  message.reserve(contents.size() + 4);
  // Two's complement, least significant byte first, whatever the host's order.
  const auto bits = static_cast<std::uint32_t>(buildIdentifier);
  for (int shift = 0; shift < 32; shift += 8) {
    message.push_back(static_cast<char>((bits >> shift) & 0xFF));
  }
  for (const char c : contents) {
    if (!text::IsWhiteSpace(static_cast<unsigned char>(c))) message.push_back(c);
  }
  return message;
}

BigInt SignatureDigestNumber(std::int32_t buildIdentifier, std::string_view contents) {
  const std::string message = BuildSignedMessage(buildIdentifier, contents);
  return BigInt::FromDigest(message.data(), message.size(), kSignatureDigestBits);
}

std::string_view SignatureTextOf(std::string_view fileStart) {
  std::string_view text = fileStart.substr(0, kSignatureTextMaxLength);
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  return text;
}

bool SignatureTextVerifies(std::string_view signatureFileStart, std::int32_t buildIdentifier,
                           std::string_view contents) {
  const BigInt modulus{std::string_view(kSignatureModulusText)};
  const BigInt exponent{std::string_view(kSignatureExponentText)};
  const BigInt digestNumber = SignatureDigestNumber(buildIdentifier, contents);
  const BigInt signature{SignatureTextOf(signatureFileStart)};
  return signature.PowMod(exponent, modulus) == digestNumber;
}

bool VerifyFileSignature(const std::string& dataPath, const std::string& contents) {
  return VerifyFileSignature(dataPath, contents, GetLauncherState().buildIdentifier);
}

bool VerifyFileSignature(const std::string& dataPath, const std::string& contents,
                         std::int32_t buildIdentifier) {
  const std::string signaturePath = dataPath + kSignatureFileSuffix;
  char fileStart[kSignatureTextMaxLength + 1] = {};
  std::size_t bytesRead = 0;
  {
    UniqueFile file(std::fopen(signaturePath.c_str(), "rb"));
    if (!file) return false;
    // Bytes behind the 24th are never looked at.
    bytesRead = std::fread(fileStart, 1, kSignatureTextMaxLength, file.get());
  }
  return SignatureTextVerifies(std::string_view(fileStart, bytesRead), buildIdentifier, contents);
}
