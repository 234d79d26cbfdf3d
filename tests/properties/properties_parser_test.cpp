#include "properties/properties_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/read_result.h"
#include "common/text_rules.h"
#include "properties/properties_store.h"

namespace {

using Kova::PropertiesParser;
using StringList = PropertiesStore::StringList;

// The five maps of a store, comparable as a whole.
struct StoreContents {
  std::map<std::string, std::string> strings = {};
  std::map<std::string, StringList> stringArrays = {};
  std::map<std::string, bool> booleans = {};
  std::map<std::string, int32_t> integers = {};
  std::map<std::string, double> doubles = {};

  bool operator==(const StoreContents& other) const {
    return strings == other.strings && stringArrays == other.stringArrays &&
           booleans == other.booleans && integers == other.integers && doubles == other.doubles;
  }
};

void PrintTo(const StoreContents& contents, std::ostream* out) {
  *out << "strings=" << testing::PrintToString(contents.strings)
       << " stringArrays=" << testing::PrintToString(contents.stringArrays)
       << " booleans=" << testing::PrintToString(contents.booleans)
       << " integers=" << testing::PrintToString(contents.integers)
       << " doubles=" << testing::PrintToString(contents.doubles);
}

StoreContents ContentsOf(const PropertiesStore& store) {
  return {store.Strings(), store.StringArrays(), store.Booleans(), store.Integers(),
          store.Doubles()};
}

struct ParserCase {
  const char* name;
  std::string document;
  StoreContents want;
  std::string error;  // empty: ParseText returns true
};

void PrintTo(const ParserCase& test, std::ostream* out) { *out << test.name; }

class ParserCases : public testing::TestWithParam<ParserCase> {};

TEST_P(ParserCases, FillsStoreAndReportsFirstError) {
  const ParserCase& test = GetParam();
  PropertiesStore store;
  PropertiesParser parser(store);
  EXPECT_EQ(parser.ParseText(test.document), test.error.empty());
  EXPECT_EQ(parser.GetErrorText(), test.error);
  EXPECT_EQ(ContentsOf(store), test.want);

  // The same outcome as a result: the error text and the line it names.
  const ReadResult result = parser.GetResult();
  EXPECT_EQ(result.ok, test.error.empty());
  EXPECT_EQ(result.message, test.error);
  const std::size_t at = test.error.rfind(" on Line ");
  EXPECT_EQ(result.line, at == std::string::npos ? 0 : std::stoi(test.error.substr(at + 9)));
}

const ParserCase kParserCases[] = {
    {"EmptyDocument", "", {}, ""},
    {"OnlyWhitespaceCommentsAndDeclaration",
     "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n  <!-- nothing here -->\n\t",
     {},
     ""},
    {"EmptyPropertiesElement", "<Properties/>", {}, ""},
    {"AllFiveTypes",
     "<?xml version=\"1.0\"?>\n"
     "<Properties>\n"
     "  <String id=\"Name\">Kova &amp; Co</String>\n"
     "  <StringArray id=\"List\"><String>one</String><String "
     "id=\"ignored\">two</String></StringArray>\n"
     "  <Boolean id=\"Flag\">true</Boolean>\n"
     "  <Integer id=\"Count\">-12</Integer>\n"
     "  <Double id=\"Ratio\">2.5</Double>\n"
     "</Properties>\n",
     {{{"Name", "Kova & Co"}},
      {{"List", {"one", "two"}}},
      {{"Flag", true}},
      {{"Count", -12}},
      {{"Ratio", 2.5}}},
     ""},
    {"TwoPropertiesElementsBothRead",
     "<Properties><String id=\"a\">1</String></Properties>\n"
     "<Properties><String id=\"b\">2</String></Properties>",
     {{{"a", "1"}, {"b", "2"}}},
     ""},
    {"StringWhitespaceCollapsed",
     "<Properties><String id=\"s\">  Hello   World  </String></Properties>",
     {{{"s", "Hello World"}}},
     ""},
    {"EmptyAndSelfClosingStrings",
     "<Properties><String id=\"e\"></String><String id=\"f\"/></Properties>",
     {{{"e", ""}, {"f", ""}}},
     ""},
    {"FirstValueOfANameWins",
     "<Properties><String id=\"k\">first</String><String id=\"k\">second</String></Properties>",
     {{{"k", "first"}}},
     ""},
    {"SameNameInTwoMapsBothStored",
     "<Properties><String id=\"k\">text</String><Integer id=\"k\">7</Integer></Properties>",
     {{{"k", "text"}}, {}, {}, {{"k", 7}}, {}},
     ""},
    {"MissingIdIsEmptyName",
     "<Properties><String>x</String><Boolean>no</Boolean></Properties>",
     {{{"", "x"}}, {}, {{"", false}}, {}, {}},
     ""},
    {"OtherAttributesIgnoredAndIdDecoded",
     "<Properties><String lang=\"en\" id=\"a&amp;b\">x</String></Properties>",
     {{{"a&b", "x"}}},
     ""},
    {"CommentsSplitTextLastPieceCounts",
     "<Properties><String id=\"s\">one<!-- cut -->two<?pi x?></String></Properties>",
     {{{"s", "two"}}},
     ""},
    {"BooleanWords",
     "<Properties><Boolean id=\"a\">yes</Boolean><Boolean id=\"b\">On</Boolean>"
     "<Boolean id=\"c\">1</Boolean><Boolean id=\"d\">TRUE</Boolean><Boolean id=\"e\">off</Boolean>"
     "<Boolean id=\"f\">No</Boolean><Boolean id=\"g\">0</Boolean><Boolean id=\"h\">false</Boolean>"
     "</Properties>",
     {{},
      {},
      {{"a", true},
       {"b", true},
       {"c", true},
       {"d", true},
       {"e", false},
       {"f", false},
       {"g", false},
       {"h", false}},
      {},
      {}},
     ""},
    {"BooleanInvalidUpperCased",
     "<Properties>\n<Boolean id=\"b\">y</Boolean>\n</Properties>",
     {},
     "Invalid Boolean Value: 'Y' on Line 2"},
    {"BooleanEmptyInvalid",
     "<Properties><Boolean id=\"b\"/></Properties>",
     {},
     "Invalid Boolean Value: '' on Line 1"},
    {"IntegerHexAndWrap",
     "<Properties><Integer id=\"h\">0x10</Integer><Integer "
     "id=\"w\">4294967296</Integer></Properties>",
     {{}, {}, {}, {{"h", 16}, {"w", 0}}, {}},
     ""},
    {"IntegerWithSpaceInvalid",
     "<Properties><Integer id=\"i\">1 000</Integer></Properties>",
     {},
     "Invalid Integer Value: '1 000' on Line 1"},
    {"DoubleValue",
     "<Properties><Double id=\"d\">1.5</Double></Properties>",
     {{}, {}, {}, {}, {{"d", 1.5}}},
     ""},
    {"DoubleExponentInvalid",
     "<Properties><Double id=\"d\">1e3</Double></Properties>",
     {},
     "Invalid Double Value: '1e3' on Line 1"},
    {"StringArrayInDocumentOrder",
     "<Properties><StringArray id=\"l\">\n<String>c</String>\n<String>a</String>\n"
     "<String>b</String>\n</StringArray></Properties>",
     {{}, {{"l", {"c", "a", "b"}}}},
     ""},
    {"EmptyStringArrays",
     "<Properties><StringArray id=\"e\"></StringArray><StringArray id=\"s\"/></Properties>",
     {{}, {{"e", {}}, {"s", {}}}},
     ""},
    {"TextInsideStringArray",
     "<Properties><StringArray id=\"l\"><String>a</String>loose</StringArray></Properties>",
     {},
     "Element Not Expected 'loose' on Line 1"},
    {"OtherElementInsideStringArray",
     "<Properties><StringArray id=\"l\"><Integer>1</Integer></StringArray></Properties>",
     {},
     "Invalid Section 'Integer' on Line 1"},
    {"ElementInsideArrayString",
     "<Properties><StringArray id=\"l\"><String><b/></String></StringArray></Properties>",
     {},
     "Unexpected Section: 'b' on Line 1"},
    {"PropertiesInsideProperties",
     "<Properties><Properties/></Properties>",
     {},
     "Invalid Section 'Properties' on Line 1"},
    {"UnknownElementLineOfItsClosingBracket",
     "<Properties>\n<Foo\n>x</Foo></Properties>",
     {},
     "Invalid Section 'Foo' on Line 3"},
    {"OtherTopLevelElement", "<Settings/>", {}, "Invalid Section 'Settings' on Line 1"},
    {"TopLevelText", "hello <Properties/>", {}, "Element Not Expected 'hello' on Line 1"},
    {"TextInsideProperties",
     "<Properties>\nstray\n<String id=\"a\">x</String></Properties>",
     {},
     "Element Not Expected 'stray' on Line 3"},
    {"ElementInsideValue",
     "<Properties><Integer id=\"i\"><b>1</b></Integer></Properties>",
     {},
     "Unexpected Section: 'b' on Line 1"},
    {"ContentErrorLineOfEndTagBracket",
     "<Properties>\n<Integer id=\"i\">\nabc\n</Integer\n>\n</Properties>",
     {},
     "Invalid Integer Value: 'abc' on Line 5"},
    {"EndsAfterValueBeforePropertiesEndTag",
     "<Properties>\n<String id=\"a\">kept</String>\n",
     {{{"a", "kept"}}},
     ""},
    {"EndsInsideValueElementAddsNothing",
     "<Properties><String id=\"a\">x</String><String id=\"b\"><!-- open -->",
     {{{"a", "x"}}},
     ""},
    {"EndsInsideStringArrayAddsNothing",
     "<Properties><StringArray id=\"l\"><String>x</String>",
     {},
     ""},
    {"ValuesBeforeErrorStay",
     "<Properties><String id=\"a\">x</String><Integer id=\"b\">zz</Integer>"
     "<String id=\"c\">y</String></Properties>",
     {{{"a", "x"}}},
     "Invalid Integer Value: 'zz' on Line 1"},
    {"ReaderErrorReportedWithItsLine",
     "<Properties>\n<String id=\"a\">x</String>\n<String id=\"b\">y</Strin>\n</Properties>",
     {{{"a", "x"}}},
     "End 'Strin' Doesn't Match Start 'String' on Line 3"},
    {"ReaderErrorTrailingText", "<Properties/>\nleftover", {}, "Unexpected End of File on Line 2"},
    {"ReaderErrorInsideStringArrayAddsNothing",
     "<Properties><StringArray id=\"l\"><String>x</String><String>\x02</String>",
     {},
     "Illegal Character on Line 1"},
};

INSTANTIATE_TEST_SUITE_P(Documents, ParserCases, testing::ValuesIn(kParserCases),
                         [](const testing::TestParamInfo<ParserCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(PropertiesParser, FailedParserKeepsFirstError) {
  PropertiesStore store;
  PropertiesParser parser(store);
  EXPECT_FALSE(parser.ParseText("<Wrong/>"));
  EXPECT_FALSE(parser.ParseText("<Properties><String id=\"a\">x</String></Properties><Bad/>"));
  EXPECT_EQ(parser.GetErrorText(), "Invalid Section 'Wrong' on Line 1");
  EXPECT_EQ(parser.GetResult().line, 1);
  // The second document was still read up to its own error.
  EXPECT_EQ(store.Strings(), (std::map<std::string, std::string>{{"a", "x"}}));
}

TEST(PropertiesParser, DefaultParserFillsPartnerStore) {
  PropertiesParser parser;
  ASSERT_TRUE(
      parser.ParseText("<Properties><String id=\"DefaultParserKey\">v</String></Properties>"));
  EXPECT_EQ(GetPartnerPropertiesStore().Strings().at("DefaultParserKey"), "v");
}

// Only the stored values show whether a later value replaced the first.
TEST(PropertiesStore, FirstValueOfANameStaysInEveryMap) {
  PropertiesStore store;
  EXPECT_TRUE(store.AddString("n", "first"));
  EXPECT_FALSE(store.AddString("n", "second"));
  EXPECT_TRUE(store.AddStringArray("n", {"first"}));
  EXPECT_FALSE(store.AddStringArray("n", {"second", "list"}));
  EXPECT_TRUE(store.AddBoolean("n", true));
  EXPECT_FALSE(store.AddBoolean("n", false));
  EXPECT_TRUE(store.AddInteger("n", 1));
  EXPECT_FALSE(store.AddInteger("n", 2));
  EXPECT_TRUE(store.AddDouble("n", 0.5));
  EXPECT_FALSE(store.AddDouble("n", 1.5));
  EXPECT_TRUE(store.AddString("N", "upper"));  // names are case-sensitive

  StoreContents want;
  want.strings = {{"N", "upper"}, {"n", "first"}};
  want.stringArrays = {{"n", {"first"}}};
  want.booleans = {{"n", true}};
  want.integers = {{"n", 1}};
  want.doubles = {{"n", 0.5}};
  EXPECT_EQ(ContentsOf(store), want);
}

struct IntegerCase {
  const char* name;
  const char* text;
  bool ok;
  int32_t value;
};

void PrintTo(const IntegerCase& test, std::ostream* out) { *out << test.name; }

class IntegerFromTextCases : public testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerFromTextCases, Converts) {
  const IntegerCase& test = GetParam();
  int32_t value = 12345;
  EXPECT_EQ(PropertiesParser::IntegerFromText(test.text, value), test.ok);
  EXPECT_EQ(value, test.value);
}

const IntegerCase kIntegerCases[] = {
    {"HexUpper", "0x1F", true, 31},
    {"HexMixedCase", "0X1f", true, 31},
    {"Negative", "-12", true, -12},
    {"NegativeHexWithoutZero", "-x5", true, -5},
    {"LeadingZero", "007", true, 7},
    {"NegativeZeroHexRejected", "-0x10", false, 0},
    {"PlusRejected", "+5", false, 0},
    {"XAfterNonZeroRejected", "1x5", false, 0},
    {"XAsFirstByteRejected", "x5", false, 0},
    {"XAsThirdByteAfterMinusZeroRejected", "-0x5", false, 0},
    {"SpaceRejected", "1 000", false, 0},
    {"HexDigitInDecimalRejected", "1a", false, 0},
    {"SecondXRejected", "0xx1", false, 0},
    {"Empty", "", false, 0},
    {"LoneMinusIsZero", "-", true, 0},
    {"LoneHexPrefixIsZero", "0x", true, 0},
    {"WrapsToZero", "4294967296", true, 0},
    {"WrapsToMinimum", "2147483648", true, INT32_MIN},
    {"HexAllBits", "0xFFFFFFFF", true, -1},
};

INSTANTIATE_TEST_SUITE_P(Texts, IntegerFromTextCases, testing::ValuesIn(kIntegerCases),
                         [](const testing::TestParamInfo<IntegerCase>& info) {
                           return std::string(info.param.name);
                         });

struct DoubleCase {
  const char* name;
  const char* text;
  bool ok;
  double value;  // compared bit for bit
};

void PrintTo(const DoubleCase& test, std::ostream* out) { *out << test.name; }

class DoubleFromTextCases : public testing::TestWithParam<DoubleCase> {};

TEST_P(DoubleFromTextCases, ConvertsDigitByDigit) {
  const DoubleCase& test = GetParam();
  double value = 99.0;
  EXPECT_EQ(PropertiesParser::DoubleFromText(test.text, value), test.ok);
  EXPECT_EQ(std::memcmp(&value, &test.value, sizeof value), 0)
      << "got " << testing::PrintToString(value) << " want " << testing::PrintToString(test.value);
}

// Expected values spelled out as the conversion computes them: integer digits
// by value * 10 + digit, then each fraction digit times a factor that starts at
// 0.1 and is divided by 10 after each digit.
const DoubleCase kDoubleCases[] = {
    {"Simple", "2.5", true, 2.0 + 5 * 0.1},
    {"Negative", "-0.25", true, -(0.0 + 2 * 0.1 + 5 * (0.1 / 10.0))},
    {"NoIntegerPart", ".5", true, 5 * 0.1},
    {"NoFraction", "5.", true, 5.0},
    {"LeadingAndTrailingZeros", "007.10", true, 7.0 + 1 * 0.1 + 0 * (0.1 / 10.0)},
    // 3 * 0.1 is 0.30000000000000004, one bit above the nearest double to 0.3.
    {"DigitByDigitNotCorrectlyRounded", "0.3", true, 3 * 0.1},
    // A non-zero second fraction digit: its factor is 0.1 / 10.0, which differs
    // in the last bit from 0.1 * 0.1.
    {"SecondFractionDigit", "0.01", true, 0.0 + 0 * 0.1 + 1 * (0.1 / 10.0)},
    {"TwoFractionDigits", "2.25", true, 2.0 + 2 * 0.1 + 5 * (0.1 / 10.0)},
    {"NegativeSecondFractionDigit", "-0.07", true, -(0.0 + 0 * 0.1 + 7 * (0.1 / 10.0))},
    {"ThirdFractionDigit", "1.125", true,
     1.0 + 1 * 0.1 + 2 * (0.1 / 10.0) + 5 * (0.1 / 10.0 / 10.0)},
    {"LoneDotIsZero", ".", true, 0.0},
    {"LoneMinusIsNegativeZero", "-", true, -0.0},
    {"Empty", "", false, 0.0},
    {"ExponentRejected", "1e3", false, 0.0},
    {"PlusRejected", "+1", false, 0.0},
    {"CommaRejected", "1,5", false, 0.0},
    {"SecondDotRejected", "1.2.3", false, 0.0},
};

INSTANTIATE_TEST_SUITE_P(Texts, DoubleFromTextCases, testing::ValuesIn(kDoubleCases),
                         [](const testing::TestParamInfo<DoubleCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(DoubleFromText, DiffersFromCorrectRoundingWhereDigitsAccumulate) {
  double value;
  ASSERT_TRUE(PropertiesParser::DoubleFromText("0.3", value));
  EXPECT_NE(value, 0.3);
}

// The rule that Boolean texts are upper-cased with.
TEST(UpperCase, OnlyAsciiLettersChange) { EXPECT_EQ(text::UpperCase("aZ09-\xE4z"), "AZ09-\xE4Z"); }

}  // namespace
