// The publisher's key files, read and written the same way on every system:
//
//   BASE.key  the private key, PEM "PRIVATE KEY": PKCS#8 holding an
//             ECPrivateKey over P-256 that carries its public point (what
//             `openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256`
//             writes);
//   BASE.pub  the public key, PEM "PUBLIC KEY": a SubjectPublicKeyInfo with
//             the uncompressed point (what `openssl pkey -pubout` writes).
//
// The readers take outside text: they are strict (DER only, the one structure
// above, the curve P-256 and nothing else, RFC 7468 lines of 64 characters
// ending in LF or CR LF) and bounded (at most kPublisherKeyFileMaxSize bytes).
// They check the encoding, not the cryptography: whether a point lies on the
// curve is the P-256 implementation's to find.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/read_result.h"
#include "signature/p256.h"

namespace signature {

// A reader of a key file reads at most this many bytes.
inline constexpr std::size_t kPublisherKeyFileMaxSize = 4096;

// Reads a private key file's text into `key` (unchanged unless ok). Refused
// with a message: another PEM label (an encrypted or SEC 1 key included),
// another algorithm or curve, a key without its public point, a scalar of 0
// or not below the group order, anything not in DER.
ReadResult ParsePublisherPrivateKey(std::string_view text, P256PrivateKey& key);

// Reads a public key file's text into `point` (unchanged unless ok).
ReadResult ParsePublisherPublicKey(std::string_view text, P256Point& point);

// The files' texts, byte for byte as the OpenSSL command line writes them.
std::string FormatPublisherPrivateKey(const P256PrivateKey& key);
std::string FormatPublisherPublicKey(const P256Point& point);

}  // namespace signature
