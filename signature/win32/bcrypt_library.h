// The system's bcrypt.dll, loaded at run time from the system folder only and
// never by the import table, so that a program which checks no publisher
// signature never loads it, and a bcrypt.dll planted beside the program is
// never the one used. One owner type per kind of handle it gives out; each
// owner needs the library that made its handle and must go before it.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include "common/win32/handles.h"

namespace signature {
namespace cng {

class BcryptLibrary {
 public:
  // Loads the library and looks up every function below; Loaded() says
  // whether all of that worked.
  BcryptLibrary();
  BcryptLibrary(const BcryptLibrary&) = delete;
  BcryptLibrary& operator=(const BcryptLibrary&) = delete;

  bool Loaded() const { return loaded_; }

  decltype(&::BCryptOpenAlgorithmProvider) openAlgorithmProvider = nullptr;
  decltype(&::BCryptCloseAlgorithmProvider) closeAlgorithmProvider = nullptr;
  decltype(&::BCryptImportKeyPair) importKeyPair = nullptr;
  decltype(&::BCryptGenerateKeyPair) generateKeyPair = nullptr;
  decltype(&::BCryptFinalizeKeyPair) finalizeKeyPair = nullptr;
  decltype(&::BCryptExportKey) exportKey = nullptr;
  decltype(&::BCryptDestroyKey) destroyKey = nullptr;
  decltype(&::BCryptCreateHash) createHash = nullptr;
  decltype(&::BCryptHashData) hashData = nullptr;
  decltype(&::BCryptFinishHash) finishHash = nullptr;
  decltype(&::BCryptDestroyHash) destroyHash = nullptr;
  decltype(&::BCryptVerifySignature) verifySignature = nullptr;
  decltype(&::BCryptSignHash) signHash = nullptr;

 private:
  win32::UniqueModule module_;
  bool loaded_ = false;
};

// A handle of `Traits::Value`, released through the library that made it.
template <typename Traits>
class CngHandle {
 public:
  using Value = typename Traits::Value;

  explicit CngHandle(const BcryptLibrary& library) : library_(library) {}
  CngHandle(const CngHandle&) = delete;
  CngHandle& operator=(const CngHandle&) = delete;
  ~CngHandle() { reset(); }

  Value get() const { return value_; }
  // For the call that makes the handle: releases any held one first.
  Value* out() {
    reset();
    return &value_;
  }
  void reset() {
    if (value_ != nullptr) Traits::Release(library_, value_);
    value_ = nullptr;
  }

 private:
  const BcryptLibrary& library_;
  Value value_ = nullptr;
};

struct AlgorithmTraits {
  using Value = BCRYPT_ALG_HANDLE;
  static void Release(const BcryptLibrary& library, Value algorithm) {
    library.closeAlgorithmProvider(algorithm, 0);
  }
};

struct KeyTraits {
  using Value = BCRYPT_KEY_HANDLE;
  static void Release(const BcryptLibrary& library, Value key) { library.destroyKey(key); }
};

struct HashTraits {
  using Value = BCRYPT_HASH_HANDLE;
  static void Release(const BcryptLibrary& library, Value hash) { library.destroyHash(hash); }
};

using UniqueAlgorithm = CngHandle<AlgorithmTraits>;
using UniqueKey = CngHandle<KeyTraits>;
using UniqueHash = CngHandle<HashTraits>;

// Only STATUS_SUCCESS counts: informational and warning codes do not.
inline bool Succeeded(NTSTATUS status) { return status == 0; }

}  // namespace cng
}  // namespace signature
