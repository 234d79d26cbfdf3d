#include "channel/channel_protocol.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

using channel::kBlockSize;
using channel::kMaxTextSize;

// A block, a fixed set of string properties and the debugger lines written.
class StringQueryTest : public ::testing::Test {
 protected:
  StringQueryTest() : block_(kBlockSize, 0xCC) {}

  void PutRequest(const std::string& name) {
    PutLengthWord(static_cast<uint32_t>(name.size()));
    std::copy(name.begin(), name.end(), block_.begin() + 4);
  }
  void PutLengthWord(uint32_t length) {
    for (int i = 0; i < 4; ++i) block_[i] = static_cast<unsigned char>(length >> (8 * i));
  }
  uint32_t LengthWord() const {
    return block_[0] | block_[1] << 8 | block_[2] << 16 | static_cast<uint32_t>(block_[3]) << 24;
  }
  std::string ReplyText() const {
    return std::string(reinterpret_cast<const char*>(block_.data()) + 4, LengthWord());
  }
  int32_t Answer() {
    return channel::AnswerStringQuery(
        block_.data(),
        [this](const std::string& name) {
          const auto found = properties_.find(name);
          return found != properties_.end() ? found->second : std::string();
        },
        [this](const std::string& line) { lines_.push_back(line); });
  }

  std::vector<unsigned char> block_;
  std::map<std::string, std::string> properties_{
      {"Title", "Ashes"}, {"Publisher", "North Gate"}, {std::string("A\0B", 3), "nul name"}};
  std::vector<std::string> lines_;
};

struct LookupCase {
  const char* name;
  std::string request;
  std::string reply;
};

class StringLookupTest : public StringQueryTest,
                         public ::testing::WithParamInterface<LookupCase> {};

TEST_P(StringLookupTest, RepliesWithTheExactMatchOnly) {
  PutRequest(GetParam().request);
  ASSERT_EQ(Answer(), channel::kQueryAnswered);
  EXPECT_EQ(LengthWord(), GetParam().reply.size());
  EXPECT_EQ(ReplyText(), GetParam().reply);
  ASSERT_EQ(lines_.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Names, StringLookupTest,
    ::testing::Values(LookupCase{"Stored", "Title", "Ashes"}, LookupCase{"Unknown", "Missing", ""},
                      LookupCase{"Empty", "", ""}, LookupCase{"OtherCase", "title", ""},
                      LookupCase{"TrailingSpace", "Title ", ""},
                      LookupCase{"NulInsideName", std::string("A\0B", 3), "nul name"},
                      LookupCase{"CutAtNulIsAnotherName", "A", ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(StringQueryTest, UnknownNameGivesEmptyValueInTheLine) {
  PutRequest("Missing");
  ASSERT_EQ(Answer(), channel::kQueryAnswered);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0], "Got string request: Missing(7) -> (0)\r\n");
}

TEST_F(StringQueryTest, ShorterReplyLeavesTheRequestTailBehindIt) {
  properties_["LongerName"] = "ab";
  PutRequest("LongerName");
  ASSERT_EQ(Answer(), channel::kQueryAnswered);
  EXPECT_EQ(LengthWord(), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(block_.data()) + 4, 10), "abngerName");
  EXPECT_EQ(block_[14], 0xCC);
}

class HostileLengthTest : public StringQueryTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(HostileLengthTest, FailsAndLeavesTheBlockUntouched) {
  PutLengthWord(GetParam());
  const std::vector<unsigned char> before = block_;
  EXPECT_EQ(Answer(), channel::kQueryFailed);
  EXPECT_EQ(block_, before);
  EXPECT_TRUE(lines_.empty());
}

INSTANTIATE_TEST_SUITE_P(LengthWords, HostileLengthTest,
                         ::testing::Values(65533u, 70000u, 0xFFFFFFFFu),
                         [](const auto& info) { return std::to_string(info.param); });

TEST_F(StringQueryTest, LargestRequestIsRead) {
  const std::string name(kMaxTextSize, 'n');
  properties_[name] = "found";
  PutRequest(name);
  ASSERT_EQ(Answer(), channel::kQueryAnswered);
  EXPECT_EQ(ReplyText(), "found");
}

class ValueSizeTest : public StringQueryTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(ValueSizeTest, ValueUpToTheBlockRoundTrips) {
  std::string value(GetParam(), '\0');
  for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<char>('a' + i % 26);
  properties_["Big"] = value;
  PutRequest("Big");
  ASSERT_EQ(Answer(), channel::kQueryAnswered);
  EXPECT_EQ(LengthWord(), value.size());
  EXPECT_EQ(ReplyText(), value);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ValueSizeTest, ::testing::Values(60000u, 65532u),
                         [](const auto& info) { return std::to_string(info.param); });

TEST_F(StringQueryTest, ValueLongerThanTheBlockFailsAndLeavesTheBlockUntouched) {
  properties_["Huge"] = std::string(kMaxTextSize + 1, 'h');
  PutRequest("Huge");
  const std::vector<unsigned char> before = block_;
  EXPECT_EQ(Answer(), channel::kQueryFailed);
  EXPECT_EQ(block_, before);
}

TEST(StringQuery, NoBlockFails) {
  bool lookedUp = false;
  EXPECT_EQ(channel::AnswerStringQuery(
                nullptr,
                [&](const std::string&) {
                  lookedUp = true;
                  return std::string();
                },
                [](const std::string&) {}),
            channel::kQueryFailed);
  EXPECT_FALSE(lookedUp);
}

TEST(DebugLine, IsFormattedByteForByte) {
  EXPECT_EQ(channel::FormatDebugLine("Title", 5, "Ashes", 5),
            "Got string request: Title(5) -> Ashes(5)\r\n");
  EXPECT_EQ(channel::FormatDebugLine("", 0, "", 0), "Got string request: (0) -> (0)\r\n");
}

TEST(DebugLine, TextsEndAtTheirFirstNul) {
  EXPECT_EQ(channel::FormatDebugLine(std::string("A\0B", 3), 3, std::string("x\0yz", 4), 4),
            "Got string request: A(3) -> x(4)\r\n");
}

TEST(DebugLine, LongLineIsCutToTheBufferKeepingItsLineEnd) {
  const std::string line = channel::FormatDebugLine("Name", 4, std::string(600, 'v'), 600);
  ASSERT_EQ(line.size(), channel::kDebugLineBufferSize - 1);
  EXPECT_EQ(line.substr(0, 31), "Got string request: Name(4) -> ");
  EXPECT_EQ(line.substr(line.size() - 3), "v\r\n");
}

TEST(DebugLine, LongNameFillsTheLineWithItsFirstBytes) {
  std::string name;
  for (int i = 0; i < 65532; ++i) name += static_cast<char>('a' + i % 26);
  const std::string prefix = "Got string request: ";
  const std::size_t room = channel::kDebugLineBufferSize - 1 - 2 - prefix.size();
  EXPECT_EQ(channel::FormatDebugLine(name, 65532, name, 65532),
            prefix + name.substr(0, room) + "\r\n");
}

TEST(DebugLine, LineThatJustFitsIsKept) {
  // With a one-letter name and a three-digit length, 35 characters are fixed;
  // a value of 476 bytes makes the longest line that fits.
  const std::string value(476, 'v');
  const std::string line = channel::FormatDebugLine("N", 1, value, 476);
  EXPECT_EQ(line, "Got string request: N(1) -> " + value + "(476)\r\n");
  EXPECT_EQ(line.size(), channel::kDebugLineBufferSize - 1);
}

TEST(BlockName, IsEightUpperCaseDigitsOfTheLow32Bits) {
  EXPECT_EQ(channel::BlockNameForWindow(0x1A2Bu), "HWND00001A2B");
  EXPECT_EQ(channel::BlockNameForWindow(0xFFFFFFFFu), "HWNDFFFFFFFF");
  EXPECT_EQ(channel::BlockNameForWindow(0x12345678ABCDEF01ull), "HWNDABCDEF01");
}

}  // namespace
