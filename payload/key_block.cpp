#include "payload/key_block.h"

#include <algorithm>

#include "payload/byte_fields.h"
#include "payload/payload_format.h"

namespace payload {

namespace {

constexpr std::size_t kVersionAt = kKeyBlockTagLength;  // 8
constexpr std::size_t kFlagsAt = kVersionAt + 1;
constexpr std::size_t kCountAt = kFlagsAt + 1;
constexpr std::size_t kReservedAt = kCountAt + 1;
constexpr std::size_t kEntriesAt = kReservedAt + 1;  // 12
constexpr std::size_t kEntrySize = 76;
constexpr std::size_t kEntryAlgorithmAt = 8;  // within an entry
constexpr std::size_t kEntryPointAt = 12;
constexpr std::size_t kSelfChecksumAt = kEntriesAt + kKeyBlockMaxEntries * kEntrySize;  // 164

static_assert(kKeyBlockTagLength == 8, "key block tag is 8 bytes");
static_assert(kEntryPointAt + std::tuple_size<PublicPoint>::value == kEntrySize,
              "an entry ends with its public point");
static_assert(kSelfChecksumAt + 8 == kKeyBlockSize, "key block fields fill the block");
static_assert(kKeyBlockOffset >= kRecordOffset + kRecordSize &&
                  kKeyBlockOffset + kKeyBlockSize <= kHeaderSize,
              "the key block lies behind the payload record, within the header block");

bool AllZero(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\0'; });
}

}  // namespace

const PublisherKeyEntry* KeyBlock::Find(const KeyId& keyId) const {
  for (const PublisherKeyEntry& entry : entries) {
    if (entry.keyId == keyId) return &entry;
  }
  return nullptr;
}

std::string MakeKeyBlock(const KeyBlock& block) {
  std::string bytes(kKeyBlockSize, '\0');
  bytes.replace(0, kKeyBlockTagLength, kKeyBlockTag, kKeyBlockTagLength);
  bytes[kVersionAt] = static_cast<char>(kKeyBlockVersion);
  bytes[kFlagsAt] =
      static_cast<char>(block.requiresPublisherSignature ? kKeyBlockRequiresPublisherSignature : 0);
  const std::size_t count = std::min(block.entries.size(), kKeyBlockMaxEntries);
  bytes[kCountAt] = static_cast<char>(count);
  for (std::size_t i = 0; i < count; ++i) {
    const PublisherKeyEntry& entry = block.entries[i];
    const std::size_t at = kEntriesAt + i * kEntrySize;
    std::copy(entry.keyId.begin(), entry.keyId.end(), bytes.begin() + static_cast<long>(at));
    bytes[at + kEntryAlgorithmAt] = static_cast<char>(entry.algorithm);
    std::copy(entry.publicPoint.begin(), entry.publicPoint.end(),
              bytes.begin() + static_cast<long>(at + kEntryPointAt));
  }
  PutLe64At(bytes, kSelfChecksumAt, ChecksumOf(std::string_view(bytes).substr(0, kSelfChecksumAt)));
  return bytes;
}

KeyBlockStatus ParseKeyBlock(std::string_view bytes, KeyBlock& block) {
  if (bytes.substr(0, kKeyBlockTagLength) != std::string_view(kKeyBlockTag, kKeyBlockTagLength)) {
    return KeyBlockStatus::Absent;
  }
  if (bytes.size() < kKeyBlockSize) return KeyBlockStatus::Damaged;
  bytes = bytes.substr(0, kKeyBlockSize);
  if (ChecksumOf(bytes.substr(0, kSelfChecksumAt)) != Le64At(bytes, kSelfChecksumAt)) {
    return KeyBlockStatus::Damaged;
  }
  const auto version = static_cast<std::uint8_t>(bytes[kVersionAt]);
  const auto flags = static_cast<std::uint8_t>(bytes[kFlagsAt]);
  const auto count = static_cast<std::uint8_t>(bytes[kCountAt]);
  // Flag bits this version does not know are ignored: a later flag must be one
  // that an older reader may leave unheeded.
  if (version != kKeyBlockVersion || count < 1 || count > kKeyBlockMaxEntries ||
      bytes[kReservedAt] != '\0') {
    return KeyBlockStatus::Damaged;
  }
  KeyBlock read;
  read.requiresPublisherSignature = (flags & kKeyBlockRequiresPublisherSignature) != 0;
  for (std::size_t i = 0; i < kKeyBlockMaxEntries; ++i) {
    const std::string_view entry = bytes.substr(kEntriesAt + i * kEntrySize, kEntrySize);
    if (i >= count) {
      if (!AllZero(entry)) return KeyBlockStatus::Damaged;
      continue;
    }
    if (static_cast<std::uint8_t>(entry[kEntryAlgorithmAt]) != kKeyAlgorithmP256Sha256 ||
        !AllZero(entry.substr(kEntryAlgorithmAt + 1, kEntryPointAt - kEntryAlgorithmAt - 1))) {
      return KeyBlockStatus::Damaged;
    }
    PublisherKeyEntry parsed;
    parsed.algorithm = kKeyAlgorithmP256Sha256;
    std::copy_n(BytesAt(entry, 0), parsed.keyId.size(), parsed.keyId.begin());
    std::copy_n(BytesAt(entry, kEntryPointAt), parsed.publicPoint.size(),
                parsed.publicPoint.begin());
    read.entries.push_back(parsed);
  }
  block = std::move(read);
  return KeyBlockStatus::Intact;
}

}  // namespace payload
