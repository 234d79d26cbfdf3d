#include "properties/xml_reader.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using Kova::XMLParser;
using Kova::XMLToken;
using Kind = XMLToken::Kind;
using Attributes = std::map<std::string, std::string>;

struct Token {
  Kind kind;
  std::string path;
  std::string value;
  std::string body;
  Attributes attributes;

  bool operator==(const Token& other) const {
    return kind == other.kind && path == other.path && value == other.value && body == other.body &&
           attributes == other.attributes;
  }
};

std::ostream& operator<<(std::ostream& out, const Token& token) {
  static const char* const kKindNames[] = {"None", "Start",       "End",
                                           "Text", "Instruction", "Comment"};
  out << kKindNames[static_cast<int>(token.kind)] << " path=" << testing::PrintToString(token.path)
      << " value=" << testing::PrintToString(token.value);
  if (!token.body.empty()) out << " body=" << testing::PrintToString(token.body);
  for (const auto& [key, value] : token.attributes) {
    out << " " << testing::PrintToString(key) << "=" << testing::PrintToString(value);
  }
  return out;
}

Token Start(std::string name, std::string path = "", Attributes attributes = {}) {
  return {Kind::Start, std::move(path), std::move(name), "", std::move(attributes)};
}
Token End(std::string name, std::string path) {
  return {Kind::End, std::move(path), std::move(name), "", {}};
}
Token Text(std::string text, std::string path = "") {
  return {Kind::Text, std::move(path), std::move(text), "", {}};
}
Token Instruction(std::string target, std::string body, std::string path = "") {
  return {Kind::Instruction, std::move(path), std::move(target), std::move(body), {}};
}

Token FromRecord(const XMLToken& record) {
  return {record.kind, record.path, record.value, record.body, record.attributes};
}

// Reads tokens until NextToken returns false.
std::vector<Token> ReadAll(XMLParser& reader) {
  std::vector<Token> tokens;
  XMLToken record;
  while (reader.NextToken(record)) tokens.push_back(FromRecord(record));
  return tokens;
}

struct ReaderCase {
  const char* name;
  std::string input;
  std::vector<Token> tokens;
  std::string error;  // empty: the input ends cleanly
  int32_t errorLine = 0;
};

void PrintTo(const ReaderCase& test, std::ostream* out) { *out << test.name; }

class ReaderCases : public testing::TestWithParam<ReaderCase> {};

// These tests also run against the reader built without its fast path over
// runs of bytes (xml_reader_byte_by_byte_tests): both builds must agree.
TEST_P(ReaderCases, GivesTokensThenEndOrError) {
  const ReaderCase& test = GetParam();
  XMLParser reader;
  reader.SetSourceText(test.input);
  EXPECT_EQ(ReadAll(reader), test.tokens);
  EXPECT_EQ(reader.HasError(), !test.error.empty());
  EXPECT_EQ(reader.GetErrorText(), test.error);
  if (!test.error.empty()) {
    EXPECT_EQ(reader.GetLineNumber(), test.errorLine);
  }
}

const ReaderCase kReaderCases[] = {
    // Clean ends.
    {"EmptyText", "", {}, ""},
    {"WhitespaceOnly", " \t\r\n\v\f ", {}, ""},
    {"StartTagAtEndOfInput", "<a>", {Start("a")}, ""},
    {"WhitespaceBetweenTagsGivesNoToken", "<a> \n\t </a>", {Start("a"), End("a", "a")}, ""},
    {"NestedPaths",
     "<a><b>t</b></a>",
     {Start("a"), Start("b", "a"), Text("t", "a/b"), End("b", "a/b"), End("a", "a")},
     ""},
    {"SpaceAfterOpenerIgnored", "< a></ a >", {Start("a"), End("a", "a")}, ""},

    // Self-closing tags.
    {"SelfClosing", "<a/>", {Start("a"), End("a", "a")}, ""},
    {"SelfClosingWithSpace", "<a />", {Start("a"), End("a", "a")}, ""},
    {"PathEmptyAfterSelfClosing",
     "<a/><b/>",
     {Start("a"), End("a", "a"), Start("b"), End("b", "b")},
     ""},
    {"SelfClosingInsideElement",
     "<r><a/></r>",
     {Start("r"), Start("a", "r"), End("a", "r/a"), End("r", "r")},
     ""},
    {"SelfClosingAfterBareValue", "<a b=1/>", {Start("a", "", {{"b", "1"}}), End("a", "a")}, ""},
    {"SelfClosingAfterBareValueAndSpace",
     "<a b=x/ >",
     {Start("a", "", {{"b", "x"}}), End("a", "a")},
     ""},
    {"SlashValueThenAttributeStaysOpen",
     "<a b=x/ c>",
     {Start("a", "", {{"b", "x/"}, {"c", ""}})},
     ""},
    {"SlashInKeyStaysOpen", "<a b/>", {Start("a", "", {{"b/", ""}})}, ""},
    {"SelfClosingAfterQuotedValue",
     "<a b=\"1\"/>",
     {Start("a", "", {{"b", "1"}}), End("a", "a")},
     ""},
    {"SelfClosingAfterQuotedValueAndSpace",
     "<a b=\"1\" />",
     {Start("a", "", {{"b", "1"}}), End("a", "a")},
     ""},
    {"SelfClosingValueDecodedTwice",
     "<a b=&amp;lt;/>",
     {Start("a", "", {{"b", "<"}}), End("a", "a")},
     ""},

    // Attributes.
    {"SpacesAroundEquals", "<a x = \"1 2\">", {Start("a", "", {{"x", "1 2"}})}, ""},
    {"EqualsInsideQuotesDropped", "<a x=\"p=q\">", {Start("a", "", {{"x", "pq"}})}, ""},
    {"SingleQuotesKept", "<a x='v'>", {Start("a", "", {{"x", "'v'"}})}, ""},
    {"RepeatedKeyKeepsLastValue", "<a x=1 x=2>", {Start("a", "", {{"x", "2"}})}, ""},
    {"EmptyQuotedValueThenKey", "<a x=\"\" y>", {Start("a", "", {{"x", ""}, {"y", ""}})}, ""},
    {"BytesAfterClosingQuoteJoinValue", "<a x=\"1\"y=\"2\">", {Start("a", "", {{"x", "1y2"}})}, ""},
    {"LeadingSpaceInQuotesKept", "<a x=\" 1\">", {Start("a", "", {{"x", " 1"}})}, ""},
    {"EntitiesInKeysAndValues",
     "<a &lt;k&gt;=\"&quot;v&apos;\">",
     {Start("a", "", {{"<k>", "\"v'"}})},
     ""},
    {"DoctypeIsStartTag", "<!DOCTYPE x>", {Start("!DOCTYPE", "", {{"x", ""}})}, ""},

    // Text and entities.
    {"TextWhitespaceCollapsed",
     "<a>  one   two\nthree  </a>",
     {Start("a"), Text("one two three", "a"), End("a", "a")},
     ""},
    {"EntityLtGt", "<a>&lt;b&gt;</a>", {Start("a"), Text("<b>", "a"), End("a", "a")}, ""},
    {"EntityCrIsLineFeed", "<a>x&cr;y</a>", {Start("a"), Text("x\ny", "a"), End("a", "a")}, ""},
    {"EntityNbspIsSpace", "<a>x&nbsp;y</a>", {Start("a"), Text("x y", "a"), End("a", "a")}, ""},
    {"EntityQuotAposAmp",
     "<a>&quot;&apos;&amp;</a>",
     {Start("a"), Text("\"'&", "a"), End("a", "a")},
     ""},
    {"UnknownEntityIsAmpersand", "<a>&foo;</a>", {Start("a"), Text("&", "a"), End("a", "a")}, ""},
    {"NumericReferenceIsAmpersand",
     "<a>&#65;</a>",
     {Start("a"), Text("&", "a"), End("a", "a")},
     ""},
    {"EmptyEntityNameIsAmpersand", "<a>&;</a>", {Start("a"), Text("&", "a"), End("a", "a")}, ""},
    {"EntityNamesAreCaseSensitive", "<a>&LT;</a>", {Start("a"), Text("&", "a"), End("a", "a")}, ""},
    {"AmpersandWithoutSemicolonKept",
     "<a>a & b</a>",
     {Start("a"), Text("a & b", "a"), End("a", "a")},
     ""},
    {"AmpersandSwallowsUpToSemicolon",
     "<a>a & b; c</a>",
     {Start("a"), Text("a & c", "a"), End("a", "a")},
     ""},
    {"DecodedByteNotReexamined",
     "<a>&amp;lt;</a>",
     {Start("a"), Text("&lt;", "a"), End("a", "a")},
     ""},
    {"QuotedTextKeptVerbatim",
     "<a>say \"x  <y>\" ok</a>",
     {Start("a"), Text("say \"x  <y>\" ok", "a"), End("a", "a")},
     ""},
    {"TextBeforeFirstTag", "hi<a/>", {Text("hi"), Start("a"), End("a", "a")}, ""},
    {"QuotesInEndTagDropped", "<a></\"a\">", {Start("a"), End("a", "a")}, ""},
    {"QuotedGreaterThanInEndTagIsName",
     "<a></a\">\">",
     {Start("a")},
     "End 'a>' Doesn't Match Start 'a'",
     1},
    {"PathHoldsUndecodedNames",
     "<a&amp;b><c/></a&amp;b>",
     {Start("a&b"), Start("c", "a&amp;b"), End("c", "a&amp;b/c"), End("a&b", "a&amp;b")},
     ""},

    // Comments and instructions.
    {"CommentSkipped", "<!-- note --><a/>", {Start("a"), End("a", "a")}, ""},
    {"CommentContentNotExamined", "<!-- <a> -- > \x01 \"--><b/>", {Start("b"), End("b", "b")}, ""},
    {"CommentNotEndedByOneDash", "<!-- a -> b- > --><x/>", {Start("x"), End("x", "x")}, ""},
    {"CommentEndsAtFirstDashDashGreater", "<!-- a --> b -->", {}, "Unexpected '>'", 1},
    {"CommentWithoutSpaceIsStartTag", "<!--note-->", {Start("!--note--")}, ""},
    {"XmlDeclaration",
     "<?xml version=\"1.0\"?><a/>",
     {Instruction("xml", " version=\"1.0\""), Start("a"), End("a", "a")},
     ""},
    {"InstructionWithoutBody", "<?go?>", {Instruction("go", "")}, ""},
    {"InstructionBodyNotDecoded", "<?pi a&amp;b ?>", {Instruction("pi", " a&amp;b ")}, ""},

    // Bytes outside ASCII and control bytes.
    {"HighBytesPassThrough",
     "<a>\xC3\xA9\x80\xFF</a>",
     {Start("a"), Text("\xC3\xA9\x80\xFF", "a"), End("a", "a")},
     ""},
    {"ByteOrderMarkIsText",
     "\xEF\xBB\xBF<a/>",
     {Text("\xEF\xBB\xBF"), Start("a"), End("a", "a")},
     ""},
    {"ControlByteInQuotesStored", "<a x=\"\x01\">", {Start("a", "", {{"x", "\x01"}})}, ""},
    {"NulAndHighBytesInQuotesStored",
     "<a x=\"\0\xFF\">\"\0\"</a>"s,
     {Start("a", "", {{"x", "\0\xFF"s}}), Text("\"\0\""s, "a"), End("a", "a")},
     ""},

    // Errors.
    {"EndTagWithNothingOpen", "</a>", {}, "Unexpected End", 1},
    {"MismatchedEndTag", "<a></b>", {Start("a")}, "End 'b' Doesn't Match Start 'a'", 1},
    {"EndTagComparedUndecoded",
     "<a&amp;b></a&b>",
     {Start("a&b")},
     "End 'a&b' Doesn't Match Start 'a&amp;b'",
     1},
    {"EndOfFileInsideTag", "<a", {}, "Unexpected End of File", 1},
    {"EndOfFileLineIsOneMoreThanLineFeeds", "<a\n\n", {}, "Unexpected End of File", 3},
    {"TrailingTextAfterLastTag",
     "<a/>\ntext",
     {Start("a"), End("a", "a")},
     "Unexpected End of File",
     2},
    {"EndOfFileInsideComment", "<!-- x --", {}, "Unexpected End of File", 1},
    {"EndOfFileInsideInstruction", "<?xml ?", {}, "Unexpected End of File", 1},
    {"EndOfFileInsideQuotes", "<a x=\"1>", {}, "Unexpected End of File", 1},
    {"GreaterThanInText", "a>b", {}, "Unexpected '>'", 1},
    {"GreaterThanBeforeAnything", "\n>", {}, "Unexpected '>'", 2},
    {"LessThanInStartTag", "<a<", {}, "Unexpected '<'", 1},
    {"LessThanInEndTag", "<a></a<", {Start("a")}, "Unexpected '<'", 1},
    {"ControlByteInText", "<a>x\x01</a>", {Start("a")}, "Illegal Character", 1},
    {"ControlByteInTag", "<a\x1F>", {}, "Illegal Character", 1},
    {"LineFeedInQuotedValueCounts",
     "<a x=\"1\n2\"></b>",
     {Start("a", "", {{"x", "1\n2"}})},
     "End 'b' Doesn't Match Start 'a'",
     2},
    // Line feeds read in one go inside comments, instructions and text count
    // like those read one at a time.
    {"LineFeedsInCommentAndInstructionCount",
     "<!-- one\ntwo\n -->\n<?pi a\nb\n?>\n</z>",
     {Instruction("pi", " a\nb\n")},
     "Unexpected End",
     7},
    {"LineFeedsInBareCommentBodyCount", "<!--\n\n\n-->x>", {}, "Unexpected '>'", 4},
    {"LineFeedsInQuotedTextCount", "<a>\"1\n\n2\" x>", {Start("a")}, "Unexpected '>'", 3},
    // The end tag made for a self-closing tag is read like input, its line
    // feed included; whitespace in it then breaks the match.
    {"PushedBackLineFeedCountsAgain",
     "<\"a\nb\"/>",
     {Start("a\nb")},
     "End 'a b' Doesn't Match Start 'a\nb'",
     3},
};

INSTANTIATE_TEST_SUITE_P(Reader, ReaderCases, testing::ValuesIn(kReaderCases),
                         [](const testing::TestParamInfo<ReaderCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(XmlReader, BeforeAnyTextEndsAtOnceWithoutError) {
  XMLParser reader;
  XMLToken token;
  EXPECT_FALSE(reader.NextToken(token));
  EXPECT_FALSE(reader.HasError());
  EXPECT_EQ(reader.GetLineNumber(), 0);
}

TEST(XmlReader, ResumesAfterErrorAndKeepsItUntilNewText) {
  XMLParser reader;
  reader.SetSourceText("<a>x>y</a>");
  XMLToken token;
  ASSERT_TRUE(reader.NextToken(token));
  EXPECT_FALSE(reader.NextToken(token));
  EXPECT_EQ(reader.GetErrorText(), "Unexpected '>'");
  // The failed token holds what had been read of it.
  EXPECT_EQ(token.kind, Kind::Text);
  EXPECT_EQ(token.value, "x");

  // Reading goes on after the '>' with the path as it was.
  EXPECT_EQ(ReadAll(reader), (std::vector<Token>{Text("y", "a"), End("a", "a")}));
  EXPECT_TRUE(reader.HasError());
  EXPECT_EQ(reader.GetErrorText(), "Unexpected '>'");

  reader.SetSourceText("");
  EXPECT_FALSE(reader.HasError());
  EXPECT_EQ(reader.GetErrorText(), "");
  EXPECT_EQ(reader.GetLineNumber(), 1);
}

TEST(XmlReader, LaterErrorReplacesText) {
  XMLParser reader;
  reader.SetSourceText("a>\n<b></c>");
  XMLToken token;
  EXPECT_FALSE(reader.NextToken(token));
  EXPECT_EQ(reader.GetErrorText(), "Unexpected '>'");
  ASSERT_TRUE(reader.NextToken(token));
  EXPECT_EQ(FromRecord(token), Start("b"));
  EXPECT_FALSE(reader.NextToken(token));
  EXPECT_EQ(reader.GetErrorText(), "End 'c' Doesn't Match Start 'b'");
  EXPECT_EQ(reader.GetLineNumber(), 2);
}

TEST(XmlReader, SetSourceTextStartsOver) {
  XMLParser reader;
  reader.SetSourceText("<a>\n<b");
  ReadAll(reader);
  ASSERT_TRUE(reader.HasError());

  reader.SetSourceText("</a>");  // the path of the earlier text is gone
  EXPECT_EQ(ReadAll(reader), std::vector<Token>{});
  EXPECT_EQ(reader.GetErrorText(), "Unexpected End");
  EXPECT_EQ(reader.GetLineNumber(), 1);
}

TEST(XmlReader, DeepNestingReadsWithoutRecursion) {
  constexpr int kDepth = 10000;
  std::string document;
  for (int i = 0; i < kDepth; ++i) document += "<a>";
  document += "<b/>";
  for (int i = 0; i < kDepth; ++i) document += "</a>";

  XMLParser reader;
  reader.SetSourceText(document);
  XMLToken token;
  int starts = 0;
  int ends = 0;
  size_t deepestPath = 0;
  while (reader.NextToken(token)) {
    if (token.kind == Kind::Start) ++starts;
    if (token.kind == Kind::End) ++ends;
    deepestPath = std::max(deepestPath, token.path.size());
  }
  EXPECT_FALSE(reader.HasError()) << reader.GetErrorText();
  EXPECT_EQ(starts, kDepth + 1);
  EXPECT_EQ(ends, kDepth + 1);
  EXPECT_EQ(deepestPath, 2u * kDepth + 1);  // "a/a/.../a/b"
  EXPECT_EQ(token.path, "");
}

TEST(XmlReader, LongTokensAndUnterminatedEntitiesKeepEveryByte) {
  // An '&' never followed by ';' is copied however many of them there are.
  const std::string ampersands(1 << 20, '&');
  XMLParser reader;
  reader.SetSourceText("<a>" + ampersands + "</a>");
  EXPECT_EQ(ReadAll(reader),
            (std::vector<Token>{Start("a"), Text(ampersands, "a"), End("a", "a")}));
}

struct DecodeCase {
  const char* name;
  std::string text;
  std::string decoded;
};

void PrintTo(const DecodeCase& test, std::ostream* out) { *out << test.name; }

class DecodeEntitiesCases : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeEntitiesCases, GivesExactBytes) {
  EXPECT_EQ(XMLParser::DecodeEntities(GetParam().text), GetParam().decoded);
}

// Decoding writes over the bytes it has read: what follows the last reference
// must move down without leaving stale bytes behind.
const DecodeCase kDecodeCases[] = {
    {"NoReference", "a & b", "a & b"},
    {"ReferenceThenAmpersandWithoutSemicolon", "&lt;x & y", "<x & y"},
    {"ReferencesThenPlainTail", "&amp;&gt;tail", "&>tail"},
    {"UnknownNameDropsUpToSemicolon", "a&what;b&", "a&b&"},
    {"EmptyText", "", ""},
};

INSTANTIATE_TEST_SUITE_P(Texts, DecodeEntitiesCases, testing::ValuesIn(kDecodeCases),
                         [](const testing::TestParamInfo<DecodeCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(XMLToken, AddAttributeReportsNewKeyAndReplaces) {
  XMLToken token;
  EXPECT_TRUE(token.AddAttribute("k", "1"));
  EXPECT_FALSE(token.AddAttribute("k", "2"));
  EXPECT_EQ(token.attributes, (Attributes{{"k", "2"}}));
}

}  // namespace
