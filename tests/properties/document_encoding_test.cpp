// The UTF-8 rule of common/text_rules.h and the encoding warning that the
// publisher's tool gives for a properties document.
#include "properties/document_encoding.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>

#include "common/text_rules.h"

namespace {

constexpr std::size_t kAllValid = std::string::npos;

struct Utf8Case {
  const char* name;
  std::string bytes;
  std::size_t firstInvalid;  // kAllValid when every byte is UTF-8
};

void PrintTo(const Utf8Case& c, std::ostream* out) { *out << c.name; }

class Utf8Rule : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Rule, FindsTheFirstByteThatIsNotUtf8) {
  const Utf8Case& c = GetParam();
  EXPECT_EQ(text::FirstNonUtf8Offset(c.bytes), c.firstInvalid);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Utf8Rule,
    testing::Values(
        Utf8Case{"Empty", "", kAllValid}, Utf8Case{"Ascii", "<a>1</a>\n", kAllValid},
        // U+00E9, U+20AC, U+1F600: two, three and four bytes.
        Utf8Case{"EachLength", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", kAllValid},
        Utf8Case{"ByteOrderMark", "\xEF\xBB\xBF<a/>", kAllValid},
        // The edges of each range: U+0080, U+07FF, U+0800, U+D7FF, U+E000,
        // U+FFFF, U+10000, U+10FFFF.
        Utf8Case{"RangeEdges",
                 "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80"
                 "\x80\xF4\x8F\xBF\xBF",
                 kAllValid},
        Utf8Case{"Windows1252", "Caf\xE9 edition", 3}, Utf8Case{"LoneContinuationByte", "a\x80", 1},
        // Counted in bytes, not characters: the bad byte follows a two-byte one.
        Utf8Case{"OffsetInBytes", "\xC3\xA9\xFF", 2}, Utf8Case{"OverlongTwoBytes", "ab\xC0\xAF", 2},
        Utf8Case{"OverlongC1", "\xC1\xBF", 0}, Utf8Case{"OverlongThreeBytes", "x\xE0\x9F\xBF", 1},
        Utf8Case{"OverlongFourBytes", "x\xF0\x8F\xBF\xBF", 1},
        Utf8Case{"FirstSurrogate", "xy\xED\xA0\x80", 2},
        Utf8Case{"LastSurrogate", "\xED\xBF\xBF", 0},
        Utf8Case{"AboveU10FFFF", "\xF4\x90\x80\x80", 0},
        Utf8Case{"LeadByteF5", "\xF5\x80\x80\x80", 0},
        Utf8Case{"TruncatedAtTheEnd", "x\xE2\x82", 1},
        Utf8Case{"TruncatedFourBytes", "x\xF0\x9F\x98", 1},
        Utf8Case{"TruncatedBeforeAscii", "\xE2\x82x", 0},
        Utf8Case{"ThirdByteNotContinuation", "\xE2\x82\xC3\xA9", 0}),
    [](const testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });

constexpr char kTail[] =
    "; games get the values' bytes as they stand, and the C# binding decodes them as UTF-8";

struct DeclarationCase {
  const char* name;
  std::string document;
  std::optional<std::string> declared;
  std::string found;  // the warning before kTail; empty: no warning
};

void PrintTo(const DeclarationCase& c, std::ostream* out) { *out << c.name; }

class DocumentEncoding : public testing::TestWithParam<DeclarationCase> {};

TEST_P(DocumentEncoding, ReadsTheDeclarationAndWarnsOfAnythingNotUtf8) {
  const DeclarationCase& c = GetParam();
  EXPECT_EQ(DeclaredEncoding(c.document), c.declared);
  EXPECT_EQ(DocumentEncodingWarning(c.document), c.found.empty() ? "" : c.found + kTail);
}

const std::string kBody = "\n<Properties><String id=\"T\">Caf\xC3\xA9</String></Properties>\n";

INSTANTIATE_TEST_SUITE_P(
    Properties, DocumentEncoding,
    testing::Values(
        DeclarationCase{"NoDeclaration", kBody, std::nullopt, ""},
        DeclarationCase{"DeclarationWithoutEncoding", "<?xml version=\"1.0\"?>" + kBody,
                        std::nullopt, ""},
        DeclarationCase{"Utf8UpperCase", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + kBody,
                        "UTF-8", ""},
        DeclarationCase{"Utf8LowerCaseSingleQuotes",
                        "<?xml version='1.0' encoding='utf-8'?>" + kBody, "utf-8", ""},
        DeclarationCase{"Utf8MixedCaseAfterMarkAndSpace",
                        "\xEF\xBB\xBF\n <?xml version=\"1.0\" encoding = \"uTf-8\" ?>" + kBody,
                        "uTf-8", ""},
        DeclarationCase{"Windows1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + kBody,
                        "windows-1252", "declares the encoding \"windows-1252\""},
        DeclarationCase{"Iso88591SingleQuotes",
                        "<?xml version='1.0' encoding='ISO-8859-1' standalone='yes'?>" + kBody,
                        "ISO-8859-1", "declares the encoding \"ISO-8859-1\""},
        DeclarationCase{"Unquoted", "<?xml encoding=latin1?>" + kBody, "latin1",
                        "declares the encoding \"latin1\""},
        // Only the one name counts as UTF-8.
        DeclarationCase{"Utf8WithoutHyphen", "<?xml version=\"1.0\" encoding=\"UTF8\"?>" + kBody,
                        "UTF8", "declares the encoding \"UTF8\""},
        // The warning stays one line whatever the name holds.
        DeclarationCase{"NameWithALineFeed", "<?xml encoding=\"x\ny\"?>" + kBody, "x\ny",
                        "declares the encoding \"x\\x0Ay\""},
        // Only a declaration at the start is one.
        DeclarationCase{"LaterInstruction",
                        "<Properties/><?xml version=\"1.0\" encoding=\"windows-1252\"?>",
                        std::nullopt, ""},
        DeclarationCase{"OtherInstruction", "<?xml-stylesheet encoding=\"windows-1252\"?>" + kBody,
                        std::nullopt, ""},
        DeclarationCase{"EncodingInAnotherValue",
                        "<?xml version=\"encoding='x'\" encoding=\"UTF-8\"?>" + kBody, "UTF-8", ""},
        DeclarationCase{"Utf8DeclaredButNotUtf8",
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>Caf\xE9</a>", "UTF-8",
                        "byte 0xE9 at offset 45 is not UTF-8"},
        DeclarationCase{"BothInOneLine",
                        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<a>Caf\xE9</a>",
                        "windows-1252",
                        "declares the encoding \"windows-1252\", and byte 0xE9 at offset 52 is "
                        "not UTF-8"},
        DeclarationCase{"Utf16", std::string("\xFF\xFE<\0?\0", 6), std::nullopt,
                        "byte 0xFF at offset 0 is not UTF-8"}),
    [](const testing::TestParamInfo<DeclarationCase>& info) {
      return std::string(info.param.name);
    });

TEST(DocumentEncoding, TheKitSampleIsUtf8) {
  std::ifstream in(KOVA_EXAMPLE_PARTNER_PATH, std::ios::binary);
  ASSERT_TRUE(in) << KOVA_EXAMPLE_PARTNER_PATH;
  const std::string sample((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(DeclaredEncoding(sample), "UTF-8");
  EXPECT_NE(sample.find("Caf\xC3\xA9"), std::string::npos);  // not only ASCII
  EXPECT_EQ(DocumentEncodingWarning(sample), "");
}

}  // namespace
