#include "signature/win32/bcrypt_library.h"

namespace signature {
namespace cng {

namespace {

// Through void (*)(), which converts to any function pointer without a
// warning about the differing signature.
template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  const FARPROC found = GetProcAddress(module, name);
  function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
  return function != nullptr;
}

}  // namespace

BcryptLibrary::BcryptLibrary()
    // The system folder alone: neither the program's folder nor the current
    // one. Systems whose loader lacks the flag refuse the call, and then
    // nothing is verified.
    : module_(LoadLibraryExA("bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
  if (!module_) return;
  const HMODULE module = module_.get();
  loaded_ = Resolve(module, "BCryptOpenAlgorithmProvider", openAlgorithmProvider) &&
            Resolve(module, "BCryptCloseAlgorithmProvider", closeAlgorithmProvider) &&
            Resolve(module, "BCryptImportKeyPair", importKeyPair) &&
            Resolve(module, "BCryptGenerateKeyPair", generateKeyPair) &&
            Resolve(module, "BCryptFinalizeKeyPair", finalizeKeyPair) &&
            Resolve(module, "BCryptExportKey", exportKey) &&
            Resolve(module, "BCryptDestroyKey", destroyKey) &&
            Resolve(module, "BCryptCreateHash", createHash) &&
            Resolve(module, "BCryptHashData", hashData) &&
            Resolve(module, "BCryptFinishHash", finishHash) &&
            Resolve(module, "BCryptDestroyHash", destroyHash) &&
            Resolve(module, "BCryptVerifySignature", verifySignature) &&
            Resolve(module, "BCryptSignHash", signHash);
}

}  // namespace cng
}  // namespace signature
