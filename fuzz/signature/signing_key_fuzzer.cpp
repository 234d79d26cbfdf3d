// The key file reader on arbitrary text: it never crashes, and a key it
// accepts has both numbers non-zero and signs without trouble.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "signature/file_signature.h"
#include "signature/signing_key.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  SigningKey key;
  const ReadResult read = ParseSigningKey(text, key);
  if (!read.ok) {
    if (read.message.empty()) std::abort();
    return 0;
  }
  if (key.modulus.IsZero() || key.privateExponent.IsZero()) std::abort();
  // Keep the work bounded: only small keys are signed with.
  if (key.modulus.BitLength() <= 256 && key.privateExponent.BitLength() <= 256) {
    if (MakeSignatureText(key, 1, "abc").size() < kSignatureTextMaxLength) std::abort();
  }
  return 0;
}
