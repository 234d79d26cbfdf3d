// The stand-in for p256.h on a platform whose implementation is not built in:
// every call fails, so nothing is ever signed or verified with it.
#include "signature/p256.h"

namespace signature {

bool Sha256(std::string_view, Sha256Digest&) { return false; }
bool VerifyP256(const P256Point&, std::string_view, const P256Signature&) { return false; }
bool SignP256(const P256PrivateKey&, std::string_view, P256Signature&) { return false; }
bool GenerateP256(P256PrivateKey&) { return false; }

}  // namespace signature
