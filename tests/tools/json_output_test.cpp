// The JSON writer of gamewrap's --json output: what each byte of a text
// becomes, valid UTF-8 kept whole and every other byte recoverable.
#include "tools/gamewrap/json_output.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

namespace {

struct EscapeCase {
  const char* name;
  std::string bytes;
  std::string json;
};

void PrintTo(const EscapeCase& c, std::ostream* out) { *out << c.name; }

class JsonStringTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(JsonStringTest, EscapesExactly) {
  EXPECT_EQ(gamewrap::JsonString(GetParam().bytes), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Json, JsonStringTest,
    testing::Values(
        EscapeCase{"Plain", "launcher.exe", "\"launcher.exe\""},
        EscapeCase{"QuoteAndBackslash", "C:\\a \"b\"", "\"C:\\\\a \\\"b\\\"\""},
        EscapeCase{"ControlCharacters", std::string("\0\t\n\x1F\x7F", 5),
                   "\"\\u0000\\u0009\\u000A\\u001F\\u007F\""},
        EscapeCase{"SlashAndSpaceKept", "a/b c~", "\"a/b c~\""},
        EscapeCase{"Utf8OfEachLengthKept", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
                   "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\""},
        EscapeCase{"Latin1Byte", "caf\xE9.exe", "\"caf\\uDCE9.exe\""},
        EscapeCase{"LoneContinuationByte", "\x80", "\"\\uDC80\""},
        EscapeCase{"OverlongTwoBytes", "\xC0\xAF", "\"\\uDCC0\\uDCAF\""},
        EscapeCase{"OverlongThreeBytes", "\xE0\x80\xAF", "\"\\uDCE0\\uDC80\\uDCAF\""},
        EscapeCase{"OverlongFourBytes", "\xF0\x8F\xBF\xBF", "\"\\uDCF0\\uDC8F\\uDCBF\\uDCBF\""},
        EscapeCase{"EncodedSurrogate", "\xED\xA0\x80", "\"\\uDCED\\uDCA0\\uDC80\""},
        EscapeCase{"PastLastCodePoint", "\xF4\x90\x80\x80", "\"\\uDCF4\\uDC90\\uDC80\\uDC80\""},
        EscapeCase{"LeadByteF5", "\xF5\x80\x80\x80", "\"\\uDCF5\\uDC80\\uDC80\\uDC80\""},
        // A sequence cut short keeps the byte after it.
        EscapeCase{"CutShortBeforeAscii", "\xE2\x82z", "\"\\uDCE2\\uDC82z\""},
        EscapeCase{"CutShortAtEnd", "a\xF0\x9F\x98", "\"a\\uDCF0\\uDC9F\\uDC98\""}),
    [](const testing::TestParamInfo<EscapeCase>& info) { return std::string(info.param.name); });

TEST(JsonObjectTest, MembersInOrderWithEveryKindOfValue) {
  gamewrap::JsonObject inner;
  inner.Add("offset", std::int64_t{-1}).Add("size", std::uint64_t{18446744073709551615u});
  gamewrap::JsonObject object;
  object.Add("text", "a\"b")
      .Add("flag", false)
      .AddNull("none")
      .Add("inner", inner)
      .Add("list", std::vector<std::string>{"x", "\n"})
      .Add("empty", std::vector<std::string>{});
  EXPECT_EQ(object.Text(),
            "{\"text\": \"a\\\"b\", \"flag\": false, \"none\": null, \"inner\": {\"offset\": -1, "
            "\"size\": 18446744073709551615}, \"list\": [\"x\", \"\\u000A\"], \"empty\": []}");
  EXPECT_EQ(gamewrap::JsonObject().Text(), "{}");
}

}  // namespace
