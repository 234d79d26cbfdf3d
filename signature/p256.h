// ECDSA over P-256 with SHA-256, the publisher signature's algorithm. This
// header is portable; each platform implements it once: OpenSSL's libcrypto
// for the Linux tool (signature/openssl/), CNG's bcrypt.dll, loaded at run
// time from the system folder, for the launcher and gamewrap.exe
// (signature/win32/). Every function reports failure by returning false and
// never throws; a false from any of them means "not verified" to a caller.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace signature {

inline constexpr std::size_t kP256CoordinateSize = 32;
inline constexpr std::size_t kP256PointSize = 2 * kP256CoordinateSize;      // X then Y
inline constexpr std::size_t kP256SignatureSize = 2 * kP256CoordinateSize;  // r then s

using Sha256Digest = std::array<std::uint8_t, 32>;
// The public point: X then Y, 32 bytes each, big-endian.
using P256Point = std::array<std::uint8_t, kP256PointSize>;
// A signature: r then s, 32 bytes each, big-endian (not DER).
using P256Signature = std::array<std::uint8_t, kP256SignatureSize>;

struct P256PrivateKey {
  std::array<std::uint8_t, kP256CoordinateSize> scalar{};  // d, big-endian
  P256Point publicPoint{};
};

// SHA-256 of `bytes`.
bool Sha256(std::string_view bytes, Sha256Digest& digest);

// True only when `signature` is a valid ECDSA P-256 signature by `publicPoint`
// over SHA-256(`message`).
bool VerifyP256(const P256Point& publicPoint, std::string_view message,
                const P256Signature& signature);

// Signs SHA-256(`message`) with `key`.
bool SignP256(const P256PrivateKey& key, std::string_view message, P256Signature& signature);

// Makes a new key pair from the platform's random source.
bool GenerateP256(P256PrivateKey& key);

}  // namespace signature
