// ECDSA P-256 with SHA-256 through CNG. Each call loads bcrypt.dll, does its
// work with handles that are all released before the library is, and gives
// false on any failure: an algorithm, key import or hash that CNG refuses
// (under Wine without its TLS library every key import fails) means "not
// verified", never "not checked".
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "signature/p256.h"
#include "signature/win32/bcrypt_library.h"

namespace signature {

namespace {

using cng::BcryptLibrary;
using cng::Succeeded;

// A public key blob: the header, then X and Y; a private one adds d.
constexpr std::size_t kBlobHeaderSize = sizeof(BCRYPT_ECCKEY_BLOB);
constexpr std::size_t kPublicBlobSize = kBlobHeaderSize + kP256PointSize;
constexpr std::size_t kPrivateBlobSize = kPublicBlobSize + kP256CoordinateSize;

// The largest piece handed to one BCryptHashData call, whose length is a ULONG.
constexpr std::size_t kHashPieceSize = std::size_t{1} << 30;

PUCHAR Bytes(const void* data) {
  // CNG's inputs are declared writable but only read.
  return static_cast<PUCHAR>(const_cast<void*>(data));
}

// The key blob's header and the point; `scalar`, when given, behind them.
template <std::size_t Size>
void FillBlob(std::array<UCHAR, Size>& blob, ULONG magic, const P256Point& point,
              const std::uint8_t* scalar) {
  BCRYPT_ECCKEY_BLOB header{};
  header.dwMagic = magic;
  header.cbKey = static_cast<ULONG>(kP256CoordinateSize);
  std::memcpy(blob.data(), &header, kBlobHeaderSize);
  std::memcpy(blob.data() + kBlobHeaderSize, point.data(), point.size());
  if (scalar != nullptr) {
    std::memcpy(blob.data() + kPublicBlobSize, scalar, kP256CoordinateSize);
  }
}

bool HashSha256(const BcryptLibrary& library, std::string_view bytes, Sha256Digest& digest) {
  cng::UniqueAlgorithm algorithm(library);
  if (!Succeeded(
          library.openAlgorithmProvider(algorithm.out(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    return false;
  }
  cng::UniqueHash hash(library);
  // No hash object buffer: CNG keeps the object itself (Windows 7 and later).
  if (!Succeeded(library.createHash(algorithm.get(), hash.out(), nullptr, 0, nullptr, 0, 0))) {
    return false;
  }
  for (std::size_t at = 0; at < bytes.size(); at += kHashPieceSize) {
    const std::size_t piece = std::min(kHashPieceSize, bytes.size() - at);
    if (!Succeeded(
            library.hashData(hash.get(), Bytes(bytes.data() + at), static_cast<ULONG>(piece), 0))) {
      return false;
    }
  }
  return Succeeded(
      library.finishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
}

bool OpenEcdsa(const BcryptLibrary& library, cng::UniqueAlgorithm& algorithm) {
  return Succeeded(
      library.openAlgorithmProvider(algorithm.out(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0));
}

}  // namespace

bool Sha256(std::string_view bytes, Sha256Digest& digest) {
  const BcryptLibrary library;
  return library.Loaded() && HashSha256(library, bytes, digest);
}

bool VerifyP256(const P256Point& publicPoint, std::string_view message,
                const P256Signature& signature) {
  const BcryptLibrary library;
  if (!library.Loaded()) return false;
  Sha256Digest digest{};
  if (!HashSha256(library, message, digest)) return false;

  cng::UniqueAlgorithm algorithm(library);
  if (!OpenEcdsa(library, algorithm)) return false;
  std::array<UCHAR, kPublicBlobSize> blob{};
  FillBlob(blob, BCRYPT_ECDSA_PUBLIC_P256_MAGIC, publicPoint, nullptr);
  cng::UniqueKey key(library);
  if (!Succeeded(library.importKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key.out(),
                                       blob.data(), static_cast<ULONG>(blob.size()), 0))) {
    return false;
  }
  return Succeeded(
      library.verifySignature(key.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                              Bytes(signature.data()), static_cast<ULONG>(signature.size()), 0));
}

bool SignP256(const P256PrivateKey& privateKey, std::string_view message,
              P256Signature& signature) {
  const BcryptLibrary library;
  if (!library.Loaded()) return false;
  Sha256Digest digest{};
  if (!HashSha256(library, message, digest)) return false;

  cng::UniqueAlgorithm algorithm(library);
  if (!OpenEcdsa(library, algorithm)) return false;
  std::array<UCHAR, kPrivateBlobSize> blob{};
  FillBlob(blob, BCRYPT_ECDSA_PRIVATE_P256_MAGIC, privateKey.publicPoint, privateKey.scalar.data());
  cng::UniqueKey key(library);
  const NTSTATUS imported =
      library.importKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, key.out(),
                            blob.data(), static_cast<ULONG>(blob.size()), 0);
  SecureZeroMemory(blob.data(), blob.size());
  if (!Succeeded(imported)) return false;

  // A fixed buffer of r and s: CNG's size query is not relied on (Wine's
  // answers half the size for this curve).
  P256Signature made{};
  ULONG written = 0;
  if (!Succeeded(library.signHash(key.get(), nullptr, digest.data(),
                                  static_cast<ULONG>(digest.size()), made.data(),
                                  static_cast<ULONG>(made.size()), &written, 0)) ||
      written != made.size()) {
    return false;
  }
  signature = made;
  return true;
}

bool GenerateP256(P256PrivateKey& privateKey) {
  const BcryptLibrary library;
  if (!library.Loaded()) return false;
  cng::UniqueAlgorithm algorithm(library);
  if (!OpenEcdsa(library, algorithm)) return false;
  cng::UniqueKey key(library);
  if (!Succeeded(library.generateKeyPair(algorithm.get(), key.out(), 256, 0)) ||
      !Succeeded(library.finalizeKeyPair(key.get(), 0))) {
    return false;
  }
  std::array<UCHAR, kPrivateBlobSize> blob{};
  ULONG written = 0;
  const bool exported =
      Succeeded(library.exportKey(key.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(),
                                  static_cast<ULONG>(blob.size()), &written, 0)) &&
      written == blob.size();
  BCRYPT_ECCKEY_BLOB header{};
  std::memcpy(&header, blob.data(), kBlobHeaderSize);
  const bool valid = exported && header.dwMagic == BCRYPT_ECDSA_PRIVATE_P256_MAGIC &&
                     header.cbKey == kP256CoordinateSize;
  if (valid) {
    std::memcpy(privateKey.publicPoint.data(), blob.data() + kBlobHeaderSize, kP256PointSize);
    std::memcpy(privateKey.scalar.data(), blob.data() + kPublicBlobSize, kP256CoordinateSize);
  }
  SecureZeroMemory(blob.data(), blob.size());
  return valid;
}

}  // namespace signature
