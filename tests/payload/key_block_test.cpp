#include "payload/key_block.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/kova_little_endian.h"
#include "payload/payload_format.h"

namespace {

using payload::KeyBlock;
using payload::KeyBlockStatus;

payload::PublisherKeyEntry Entry(std::uint8_t seed) {
  payload::PublisherKeyEntry entry;
  for (std::size_t i = 0; i < entry.keyId.size(); ++i)
    entry.keyId[i] = static_cast<std::uint8_t>(seed + i);
  for (std::size_t i = 0; i < entry.publicPoint.size(); ++i) {
    entry.publicPoint[i] = static_cast<std::uint8_t>(seed * 3 + i);
  }
  return entry;
}

KeyBlock TwoKeys() {
  KeyBlock block;
  block.entries = {Entry(0x10), Entry(0x80)};
  return block;
}

// Rewrites the block's own checksum over its (changed) bytes, so that a test
// reaches the field checks behind the checksum.
void Reseal(std::string& bytes) {
  KovaWriteLe64(reinterpret_cast<unsigned char*>(&bytes[164]),
                payload::ChecksumOf(std::string_view(bytes).substr(0, 164)));
}

// The layout at fixed offsets, spelled out rather than made by the writer.
TEST(KeyBlock, LayoutIsTheDocumentedOne) {
  const std::string bytes = payload::MakeKeyBlock(TwoKeys());
  ASSERT_EQ(bytes.size(), 172u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89KVPKEY\x1A"));
  EXPECT_EQ(bytes[8], '\x01');   // version
  EXPECT_EQ(bytes[9], '\x01');   // requires a publisher signature
  EXPECT_EQ(bytes[10], '\x02');  // two entries
  EXPECT_EQ(bytes[11], '\0');
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[12]), 0x10);  // entry 0's key id
  EXPECT_EQ(bytes[20], '\x01');                           // its algorithm
  EXPECT_EQ(bytes.substr(21, 3), std::string(3, '\0'));
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[24]), 0x30);  // its point's first byte
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[87]), 0x30 + 63);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[88]), 0x80);  // entry 1's key id
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[100]), static_cast<std::uint8_t>(0x80 * 3));
  EXPECT_EQ(KovaReadLe64(reinterpret_cast<const unsigned char*>(bytes.data()) + 164),
            payload::ChecksumOf(bytes.substr(0, 164)));
}

TEST(KeyBlock, RoundTripsOneAndTwoEntriesAndTheFlag) {
  for (const std::size_t count : {1u, 2u}) {
    for (const bool required : {true, false}) {
      KeyBlock block = TwoKeys();
      block.entries.resize(count);
      block.requiresPublisherSignature = required;
      const std::string bytes = payload::MakeKeyBlock(block);
      if (count == 1) {
        EXPECT_EQ(bytes.substr(88, 76), std::string(76, '\0'));
      }
      KeyBlock read;
      ASSERT_EQ(payload::ParseKeyBlock(bytes, read), KeyBlockStatus::Intact);
      EXPECT_EQ(read.requiresPublisherSignature, required);
      ASSERT_EQ(read.entries.size(), count);
      for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(read.entries[i].keyId, block.entries[i].keyId);
        EXPECT_EQ(read.entries[i].publicPoint, block.entries[i].publicPoint);
      }
    }
  }
}

TEST(KeyBlock, FindsEntriesByKeyId) {
  const KeyBlock block = TwoKeys();
  EXPECT_EQ(block.Find(Entry(0x10).keyId), &block.entries[0]);
  EXPECT_EQ(block.Find(Entry(0x80).keyId), &block.entries[1]);
  EXPECT_EQ(block.Find(Entry(0x11).keyId), nullptr);
}

TEST(KeyBlock, AbsentWithoutTheWholeTag) {
  KeyBlock block = TwoKeys();
  EXPECT_EQ(payload::ParseKeyBlock(std::string(172, '\0'), block), KeyBlockStatus::Absent);
  EXPECT_EQ(payload::ParseKeyBlock("\x89KVPKEY", block), KeyBlockStatus::Absent);
  std::string bytes = payload::MakeKeyBlock(TwoKeys());
  bytes[7] = 'x';
  EXPECT_EQ(payload::ParseKeyBlock(bytes, block), KeyBlockStatus::Absent);
  EXPECT_EQ(block.entries.size(), 2u);  // left as it was
}

// An unused flag bit is ignored (a later flag must be safe to ignore).
TEST(KeyBlock, IgnoresUnknownFlagBits) {
  std::string bytes = payload::MakeKeyBlock(TwoKeys());
  bytes[9] = '\x81';
  Reseal(bytes);
  KeyBlock read;
  ASSERT_EQ(payload::ParseKeyBlock(bytes, read), KeyBlockStatus::Intact);
  EXPECT_TRUE(read.requiresPublisherSignature);
}

struct DamageCase {
  const char* name;
  std::function<void(std::string&)> damage;
  bool reseal;  // rewrite the checksum so that the fields themselves are checked
};

class KeyBlockDamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(KeyBlockDamageTest, IsDamaged) {
  KeyBlock one;
  one.entries = {Entry(0x10)};
  std::string bytes = payload::MakeKeyBlock(one);
  GetParam().damage(bytes);
  if (GetParam().reseal) Reseal(bytes);
  KeyBlock read = TwoKeys();
  EXPECT_EQ(payload::ParseKeyBlock(bytes, read), KeyBlockStatus::Damaged);
  EXPECT_EQ(read.entries.size(), 2u);  // left as it was
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyBlockDamageTest,
    ::testing::Values(DamageCase{"CutShort", [](std::string& b) { b.resize(171); }, false},
                      DamageCase{"TagOnly", [](std::string& b) { b.resize(8); }, false},
                      DamageCase{"PointBitFlipped", [](std::string& b) { b[60] ^= 1; }, false},
                      DamageCase{"KeyIdBitFlipped", [](std::string& b) { b[12] ^= 0x80; }, false},
                      DamageCase{"FlagCleared", [](std::string& b) { b[9] = 0; }, false},
                      DamageCase{"ChecksumBitFlipped", [](std::string& b) { b[171] ^= 1; }, false},
                      DamageCase{"UnusedEntryBitSet", [](std::string& b) { b[120] = 1; }, false},
                      DamageCase{"Version2", [](std::string& b) { b[8] = 2; }, true},
                      DamageCase{"NoEntries", [](std::string& b) { b[10] = 0; }, true},
                      DamageCase{"ThreeEntries", [](std::string& b) { b[10] = 3; }, true},
                      DamageCase{"UnknownAlgorithm", [](std::string& b) { b[20] = 2; }, true},
                      DamageCase{"ReservedByteSet", [](std::string& b) { b[11] = 1; }, true},
                      DamageCase{"EntryPaddingSet", [](std::string& b) { b[22] = 1; }, true},
                      DamageCase{"UnusedEntryResealed", [](std::string& b) { b[88] = 1; }, true}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.name; });

// Bytes behind the block within a longer view are not the block's.
TEST(KeyBlock, ReadsOnlyItsOwnBytes) {
  const std::string bytes = payload::MakeKeyBlock(TwoKeys()) + "later field";
  KeyBlock read;
  EXPECT_EQ(payload::ParseKeyBlock(bytes, read), KeyBlockStatus::Intact);
}

TEST(KeyBlock, SitsBehindThePayloadRecordInTheHeader) {
  std::string header = payload::MakeHeader("00000042", payload::RecordFor("game"));
  header.replace(payload::kKeyBlockOffset, payload::kKeyBlockSize,
                 payload::MakeKeyBlock(TwoKeys()));
  ASSERT_EQ(header.size(), payload::kHeaderSize);
  payload::HeaderFields fields;
  ASSERT_TRUE(payload::ParseHeader(header, fields));
  EXPECT_EQ(fields.recordStatus, payload::RecordStatus::Intact);
  EXPECT_EQ(fields.buildIdField, "00000042");
  KeyBlock read;
  EXPECT_EQ(payload::ParseKeyBlock(std::string_view(header).substr(payload::kKeyBlockOffset), read),
            KeyBlockStatus::Intact);
}

}  // namespace
