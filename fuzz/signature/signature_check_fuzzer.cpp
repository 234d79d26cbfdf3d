// The signature check on arbitrary signature file bytes and contents: it never
// crashes, it accepts the correct signature in any case of letters and with
// anything behind its 24 digits, and whatever it accepts is congruent to the
// correct signature modulo the built-in modulus (the value read from 24 hex
// digits may exceed the modulus).
//
// Input: 1 mode byte, 4 bytes of build identifier (little-endian), 1 byte of
// signature file length L (taken modulo 64), L signature file bytes, then the
// contents. A mode whose low four bits are 0001 puts the correct signature
// text in front of the signature file bytes (rarely, since signing is slow);
// mode bit 4 then writes it in lower case.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/kova_little_endian.h"
#include "signature/big_int.h"
#include "signature/file_signature.h"
#include "signature/signing_key.h"

namespace {

const SigningKey& DevelopmentKey() {
  static const SigningKey key = [] {
    SigningKey parsed;
    if (!ParseSigningKey("modulus=E5A1C3B7092F4D6E8B1A7C25\n"
                         "private_exponent=0E538F98D051F3B18605D069\n",
                         parsed)
             .ok) {
      std::abort();
    }
    return parsed;
  }();
  return key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::uint8_t mode = data[0];
  const auto buildId = static_cast<std::int32_t>(KovaReadLe32(data + 1));
  std::size_t signatureLength = data[5] % 64;
  const std::uint8_t* rest = data + 6;
  std::size_t restSize = size - 6;
  if (signatureLength > restSize) signatureLength = restSize;
  std::string signatureFile(reinterpret_cast<const char*>(rest), signatureLength);
  const std::string_view contents(reinterpret_cast<const char*>(rest + signatureLength),
                                  restSize - signatureLength);

  // Signing is far dearer than checking, so the correct signature is made
  // only when it is put in front, or when the check accepted something.
  std::string correct;
  const bool putCorrectInFront = (mode & 0x0F) == 1;
  if (putCorrectInFront) {
    correct = MakeSignatureText(DevelopmentKey(), buildId, contents);
    std::string text = correct;
    if (mode & 0x10) {
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    signatureFile = text + signatureFile;
  }

  const bool verified = SignatureTextVerifies(signatureFile, buildId, contents);
  if (putCorrectInFront) {
    if (!verified) std::abort();  // the correct signature always verifies
    return 0;
  }
  if (verified) {
    // What the launcher reads: the first 24 bytes, cut at a NUL.
    std::string text = signatureFile.substr(0, kSignatureTextMaxLength);
    text = text.substr(0, text.find('\0'));
    correct = MakeSignatureText(DevelopmentKey(), buildId, contents);
    const BigInt modulus{std::string_view(kSignatureModulusText)};
    if (BigInt(std::string_view(text)) % modulus != BigInt(std::string_view(correct))) std::abort();
  }
  return 0;
}
