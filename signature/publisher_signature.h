// The publisher signature: a second, optional signature of a properties
// document, made with the publisher's own ECDSA P-256 key and checked only by
// launchers whose payload header carries that publisher's key block. Portable:
// the message and the signature file's grammar; the cryptography is in p256.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "signature/p256.h"

namespace signature {

inline constexpr std::size_t kPublisherKeyIdSize = 8;
using PublisherKeyId = std::array<std::uint8_t, kPublisherKeyIdSize>;

inline constexpr char kPublisherSignatureSuffix[] = ".psig";
// A reader reads at most this many bytes of a .psig file.
inline constexpr std::size_t kPublisherSignatureFileMaxSize = 256;

// The first 8 bytes of SHA-256 over the public point (X then Y). False when
// the hash fails.
bool PublisherKeyIdOf(const P256Point& publicPoint, PublisherKeyId& keyId);

// The bytes that are signed: "kova-partner-v1" and one NUL (16 bytes), the key
// id (8), the build identifier (4, least significant first), the document's
// length (8, least significant first), the document's exact bytes.
std::string PublisherSignedMessage(const PublisherKeyId& keyId, std::int32_t buildIdentifier,
                                   std::string_view document);

struct PublisherSignatureFile {
  PublisherKeyId keyId{};
  P256Signature signature{};
};

// One line of ASCII: "kova-psig-1", a space, the key id as 16 lower-case hex
// digits, a space, r||s as 128 lower-case hex digits, then optionally CR LF or
// LF, and nothing else. Anything else (upper case included) gives nullopt.
std::optional<PublisherSignatureFile> ParsePublisherSignatureFile(std::string_view bytes);

// The file's text, ending in LF.
std::string FormatPublisherSignatureFile(const PublisherSignatureFile& file);

}  // namespace signature
