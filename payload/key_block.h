// The publisher key block: the public keys a wrapped launcher accepts
// publisher signatures from, in the payload header's bytes behind the payload
// record. Launchers that do not know the block never read those bytes.
//
// kKeyBlockSize bytes at header offset kKeyBlockOffset:
//
//   0    8  kKeyBlockTag
//   8    1  version (kKeyBlockVersion)
//   9    1  flags (bit 0: a publisher signature is required)
//   10   1  number of entries, 1 or 2
//   11   1  zero
//   12  76  entry 0: key id (8), algorithm (1, kKeyAlgorithmP256Sha256),
//               3 zero bytes, the public point X then Y (64)
//   88  76  entry 1, or zero
//   164  8  checksum (XXH3-64) of bytes 0 to 163, little-endian
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace payload {

constexpr std::size_t kKeyBlockOffset = 200;  // within the header block
constexpr std::size_t kKeyBlockSize = 172;
constexpr char kKeyBlockTag[] = "\x89KVPKEY\x1A";
constexpr std::size_t kKeyBlockTagLength = sizeof(kKeyBlockTag) - 1;
constexpr std::uint8_t kKeyBlockVersion = 1;
constexpr std::uint8_t kKeyBlockRequiresPublisherSignature = 0x01;
constexpr std::uint8_t kKeyAlgorithmP256Sha256 = 1;
constexpr std::size_t kKeyBlockMaxEntries = 2;

// The same array types as signature::PublisherKeyId and signature::P256Point,
// spelled out so that the format depends on no other folder.
using KeyId = std::array<std::uint8_t, 8>;
using PublicPoint = std::array<std::uint8_t, 64>;

struct PublisherKeyEntry {
  KeyId keyId{};
  std::uint8_t algorithm = kKeyAlgorithmP256Sha256;
  PublicPoint publicPoint{};
};

struct KeyBlock {
  bool requiresPublisherSignature = true;
  std::vector<PublisherKeyEntry> entries;  // 1 or 2: the current key, then the next

  // The entry with `keyId`, or null.
  const PublisherKeyEntry* Find(const KeyId& keyId) const;
};

enum class KeyBlockStatus {
  Absent,   // no tag: a launcher packed without a publisher key
  Damaged,  // the tag is there but the block's own checksum or its fields fail, or it is cut
  Intact,
};

// The kKeyBlockSize bytes of `block` (1 or 2 entries).
std::string MakeKeyBlock(const KeyBlock& block);

// Reads a key block from the first kKeyBlockSize bytes of `bytes`: Absent
// when they do not start with the whole tag, Damaged when they hold the tag
// but are cut short, fail the checksum, or hold an unknown version, algorithm
// or entry count, or a non-zero byte where the layout has zero. Flag bits
// other than bit 0 are ignored. `block` is set only when Intact.
KeyBlockStatus ParseKeyBlock(std::string_view bytes, KeyBlock& block);

}  // namespace payload
