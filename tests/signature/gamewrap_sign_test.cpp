// gamewrap sign and gamewrap verify, run as a publisher runs them.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <random>
#include <set>
#include <string>

#include "signature/file_signature.h"
#include "tests/support/run_gamewrap.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_seed.h"

namespace {

using testsupport::Gamewrap;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::ToolRun;

std::set<std::string> FilesIn(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The six bytes left out of the signed message, written out here rather than
// taken from the code under test.
bool IsSignedWhiteSpace(int byte) {
  static const std::set<int> kWhiteSpace = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20};
  return kWhiteSpace.count(byte) != 0;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

const std::string kDevKey = Quoted(KOVA_DEV_KEY_PATH);

// A document, white space and all byte values mixed in.
std::string RandomDocument(std::mt19937_64& random, std::size_t length) {
  static constexpr char kFavoured[] = {'\t', '\n', '\v', '\f', '\r', ' ', '\0', '<', 'a'};
  std::string document(length, '\0');
  for (char& c : document) {
    c = random() % 3 == 0 ? kFavoured[random() % sizeof kFavoured] : static_cast<char>(random());
  }
  return document;
}

TEST(GamewrapSign, RoundTripOfRandomDocuments) {
  const std::uint64_t seed = testsupport::TestSeed();
  SCOPED_TRACE(testsupport::SeedTrace(seed));
  std::mt19937_64 random(seed);
  TempDir dir;
  for (int i = 0; i < 12; ++i) {
    const std::string contents = RandomDocument(random, random() % 3000);
    const std::int32_t buildId = i == 0   ? 0
                                 : i == 1 ? 99999999
                                          : static_cast<std::int32_t>(random() % 100000000);
    const std::string path = dir.Write("doc" + std::to_string(i) + ".xml", contents);
    SCOPED_TRACE("document " + std::to_string(i) + ", build identifier " + std::to_string(buildId));

    const ToolRun sign = Gamewrap("sign --key " + kDevKey + " --build-id " +
                                  std::to_string(buildId) + " " + Quoted(path));
    ASSERT_EQ(sign.exitCode, 0) << sign.err;
    const std::string signature = ReadFile(path + ".sig");
    ASSERT_EQ(signature.size(), 24u);
    EXPECT_EQ(signature.find_first_not_of("0123456789ABCDEF"), std::string::npos) << signature;
    EXPECT_TRUE(VerifyFileSignature(path, contents, buildId));
    EXPECT_FALSE(VerifyFileSignature(path, contents, buildId ^ 1));

    const ToolRun verify =
        Gamewrap("verify --build-id " + std::to_string(buildId) + " " + Quoted(path));
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
  }
}

TEST(GamewrapSign, EverySingleByteMutationOutsideWhiteSpaceIsRejected) {
  const std::uint64_t seed = testsupport::TestSeed();
  SCOPED_TRACE(testsupport::SeedTrace(seed));
  std::mt19937_64 random(seed);
  TempDir dir;
  const std::string contents = RandomDocument(random, 64);
  const std::string path = dir.Write("doc.xml", contents);
  ASSERT_EQ(Gamewrap("sign --key " + kDevKey + " --build-id 31337 " + Quoted(path)).exitCode, 0);
  const std::string signature = ReadFile(path + ".sig");
  for (std::size_t position = 0; position < contents.size(); ++position) {
    const auto original = static_cast<unsigned char>(contents[position]);
    for (int value = 0; value < 256; ++value) {
      if (value == original) continue;
      std::string mutated = contents;
      mutated[position] = static_cast<char>(value);
      // Only exchanging one white-space byte for another keeps the message.
      const bool stillSigned = IsSignedWhiteSpace(original) && IsSignedWhiteSpace(value);
      ASSERT_EQ(SignatureTextVerifies(signature, 31337, mutated), stillSigned)
          << "position " << position << ", byte " << value;
    }
  }
}

// The signature file is replaced through a new temporary file: a file that
// merely carries a temporary-looking name is not touched.
TEST(GamewrapSign, ReplacesAnOldSignatureAndLeavesNothingElse) {
  TempDir dir;
  const std::string path = dir.Write("doc.xml", "<a>1</a>");
  dir.Write("doc.xml.sig", "old signature, much longer than twenty-four bytes\n");
  dir.Write("doc.xml.sig.gamewrap-partial", "someone else's file");
  const ToolRun sign = Gamewrap("sign --key " + kDevKey + " --build-id 00000042 " + Quoted(path));
  ASSERT_EQ(sign.exitCode, 0) << sign.err;
  EXPECT_EQ(sign.out, path + ".sig: signed for build identifier 42\n");
  EXPECT_TRUE(VerifyFileSignature(path, "<a>1</a>", 42));
  EXPECT_EQ(ReadFile(path + ".sig").size(), 24u);
  EXPECT_EQ(ReadFile(path + ".sig.gamewrap-partial"), "someone else's file");
  EXPECT_EQ(FilesIn(dir),
            (std::set<std::string>{"doc.xml", "doc.xml.sig", "doc.xml.sig.gamewrap-partial"}));
}

// --- Build identifier arguments: one to eight decimal digits ---------------

struct BuildIdCase {
  const char* name;
  const char* argument;
  std::int32_t value;
};

void PrintTo(const BuildIdCase& c, std::ostream* out) { *out << c.name; }

class GamewrapBuildId : public testing::TestWithParam<BuildIdCase> {};

// sign and verify read the argument alike, and it means the number the launcher
// reads from its eight header digits.
TEST_P(GamewrapBuildId, SignsAndVerifiesForItsValue) {
  const BuildIdCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.Write("doc.xml", "<a>9</a>");
  const ToolRun sign =
      Gamewrap("sign --key " + kDevKey + " --build-id " + c.argument + " " + Quoted(path));
  ASSERT_EQ(sign.exitCode, 0) << sign.err;
  EXPECT_EQ(sign.out, path + ".sig: signed for build identifier " + std::to_string(c.value) + "\n");
  EXPECT_TRUE(VerifyFileSignature(path, "<a>9</a>", c.value));
  const ToolRun verify =
      Gamewrap(std::string("verify --build-id ") + c.argument + " " + Quoted(path));
  EXPECT_EQ(verify.exitCode, 0) << verify.err;
}

INSTANTIATE_TEST_SUITE_P(Gamewrap, GamewrapBuildId,
                         testing::Values(BuildIdCase{"Zero", "0", 0}, BuildIdCase{"Nine", "9", 9},
                                         BuildIdCase{"NinePadded", "00000009", 9},
                                         BuildIdCase{"EightNines", "99999999", 99999999},
                                         BuildIdCase{"NinesAroundZeros", "90909", 90909}),
                         [](const testing::TestParamInfo<BuildIdCase>& info) {
                           return info.param.name;
                         });

TEST(GamewrapSign, HelpShowsUsage) {
  const ToolRun sign = Gamewrap("sign --help");
  EXPECT_EQ(sign.exitCode, 0);
  EXPECT_EQ(sign.out.rfind("usage: gamewrap sign --key KEY --build-id N FILE\n", 0), 0u)
      << sign.out;
  const ToolRun verify = Gamewrap("verify -h");
  EXPECT_EQ(verify.exitCode, 0);
  EXPECT_EQ(verify.out.rfind("usage: gamewrap verify [--json] --build-id N FILE\n", 0), 0u)
      << verify.out;
}

// --- Bad input: a message, a non-zero exit, nothing written --------------

struct BadInputCase {
  const char* name;
  const char* arguments;  // {key} {doc} {dir} are replaced
  int exitCode;
  const char* message;
};

void PrintTo(const BadInputCase& c, std::ostream* out) { *out << c.name; }

class GamewrapBadInput : public testing::TestWithParam<BadInputCase> {
 protected:
  void SetUp() override {
    doc_ = dir_.Write("doc.xml", "<a>1</a>");
    dir_.Write("doc.xml.sig", "untouched");
    dir_.Write("malformed-key.txt", "this is not a key\n");
    dir_.Write("foreign-key.txt",
               "modulus=C5A1C3B7092F4D6E8B1A7C27\nprivate_exponent=0E538F98D051F3B18605D069\n");
    dir_.Write("wrong-exponent-key.txt", "modulus=E5A1C3B7092F4D6E8B1A7C25\nprivate_exponent=3\n");
  }

  std::string Expand(std::string text) const {
    const std::pair<std::string, std::string> replacements[] = {
        {"{key}", kDevKey}, {"{doc}", Quoted(doc_)}, {"{dir}", dir_.path().string()}};
    for (const auto& [from, to] : replacements) {
      for (std::size_t at; (at = text.find(from)) != std::string::npos;)
        text.replace(at, from.size(), to);
    }
    return text;
  }

  TempDir dir_;
  std::string doc_;
};

TEST_P(GamewrapBadInput, FailsWithMessageAndWritesNothing) {
  const BadInputCase& c = GetParam();
  const std::set<std::string> before = FilesIn(dir_);
  const ToolRun run = Gamewrap(Expand(c.arguments));
  EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
  EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
  EXPECT_EQ(FilesIn(dir_), before);
  EXPECT_EQ(ReadFile(doc_ + ".sig"), "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Gamewrap, GamewrapBadInput,
    testing::Values(
        BadInputCase{"SignMissingFile", "sign --key {key} --build-id 1 {dir}/missing.xml", 1,
                     "missing.xml"},
        BadInputCase{"SignMissingKey", "sign --key {dir}/missing-key.txt --build-id 1 {doc}", 1,
                     "cannot read the key"},
        BadInputCase{"SignKeyIsDirectory", "sign --key {dir} --build-id 1 {doc}", 1,
                     "cannot read the key"},
        BadInputCase{"SignMalformedKey", "sign --key {dir}/malformed-key.txt --build-id 1 {doc}", 1,
                     "line 1: expected name=value"},
        BadInputCase{"SignForeignModulus", "sign --key {dir}/foreign-key.txt --build-id 1 {doc}", 1,
                     "the stock launcher would not accept signatures made with it"},
        BadInputCase{"SignWrongPrivateExponent",
                     "sign --key {dir}/wrong-exponent-key.txt --build-id 1 {doc}", 1,
                     "private exponent does not belong to its modulus"},
        BadInputCase{"SignBuildIdOutOfRange", "sign --key {key} --build-id 100000000 {doc}", 2,
                     "build identifier '100000000' is not one to eight decimal digits (0 to "
                     "99999999; 42 and 00000042 are the same)"},
        BadInputCase{"SignBuildIdNineDigitsWithLeadingZero",
                     "sign --key {key} --build-id 099999999 {doc}", 2,
                     "build identifier '099999999' is not one to eight decimal digits"},
        BadInputCase{"SignBuildIdNegative", "sign --key {key} --build-id -1 {doc}", 2,
                     "build identifier '-1' is not one to eight decimal digits"},
        BadInputCase{"SignBuildIdWithPlus", "sign --key {key} --build-id +9 {doc}", 2,
                     "build identifier '+9' is not one to eight decimal digits"},
        BadInputCase{"SignBuildIdNotANumber", "sign --key {key} --build-id 12a {doc}", 2,
                     "build identifier '12a' is not one to eight decimal digits"},
        BadInputCase{"SignWithoutKey", "sign --build-id 1 {doc}", 2,
                     "sign needs --key, --build-id and FILE"},
        BadInputCase{"SignOptionWithoutValue", "sign {doc} --key {key} --build-id", 2,
                     "option --build-id needs a value"},
        BadInputCase{"SignSameFileTwice", "sign --key {key} --build-id 1 {doc} {doc}", 2,
                     "is given twice"},
        BadInputCase{"SignOneFileMissingOfTwo",
                     "sign --key {key} --build-id 1 {doc} {dir}/missing.xml", 1, "missing.xml"},
        BadInputCase{"SignUnknownOption", "sign --force --key {key} --build-id 1 {doc}", 2,
                     "unknown option '--force'"},
        BadInputCase{"VerifyMissingFile", "verify --build-id 1 {dir}/missing.xml", 1,
                     "missing.xml"},
        BadInputCase{"VerifyBuildIdOutOfRange", "verify --build-id 123456789 {doc}", 2,
                     "build identifier '123456789' is not one to eight decimal digits"},
        BadInputCase{"VerifyBuildIdNineDigitsWithLeadingZeros", "verify --build-id 000000007 {doc}",
                     2, "build identifier '000000007' is not one to eight decimal digits"},
        BadInputCase{"VerifyTakesNoKey", "verify --key {key} --build-id 1 {doc}", 2,
                     "unknown option '--key'"}),
    [](const testing::TestParamInfo<BadInputCase>& info) { return info.param.name; });

// --- What verify says ------------------------------------------------------

struct VerifyCase {
  const char* name;
  // nullptr: no .sig file; "{sig}", "{sig23}" and "{lower}" stand for the valid
  // signature, it without its first digit and it in lower case; "{nul}" for a NUL.
  const char* signature;
  const char* buildId;
  std::string contents;  // as checked; the document was signed as "<a>1</a>" for 7
  int exitCode;
  const char* message;  // on stdout for exit 0, stderr otherwise
};

void PrintTo(const VerifyCase& c, std::ostream* out) { *out << c.name; }

class GamewrapVerify : public testing::TestWithParam<VerifyCase> {};

TEST_P(GamewrapVerify, ExplainsTheOutcome) {
  const VerifyCase& c = GetParam();
  TempDir dir;
  const std::string doc = dir.Write("doc.xml", "<a>1</a>");
  ASSERT_EQ(Gamewrap("sign --key " + kDevKey + " --build-id 7 " + Quoted(doc)).exitCode, 0);
  const std::string valid = ReadFile(doc + ".sig");
  dir.Write("doc.xml", c.contents);
  if (c.signature == nullptr) {
    std::filesystem::remove(doc + ".sig");
  } else {
    std::string text = c.signature;
    if (const std::size_t at = text.find("{sig}"); at != std::string::npos)
      text.replace(at, 5, valid);
    if (const std::size_t at = text.find("{sig23}"); at != std::string::npos) {
      text.replace(at, 7, valid.substr(1));
    }
    if (const std::size_t at = text.find("{lower}"); at != std::string::npos) {
      std::string lower = valid;
      for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      text.replace(at, 7, lower);
    }
    if (const std::size_t at = text.find("{nul}"); at != std::string::npos) {
      text.replace(at, 5, std::string(1, '\0'));
    }
    dir.Write("doc.xml.sig", text);
  }
  const ToolRun run = Gamewrap(std::string("verify --build-id ") + c.buildId + " " + Quoted(doc));
  EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
  EXPECT_TRUE(Contains(c.exitCode == 0 ? run.out : run.err, c.message)) << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Gamewrap, GamewrapVerify,
    testing::Values(
        VerifyCase{"Valid", "{sig}", "7", "<a>1</a>", 0, "signature valid for build identifier 7"},
        VerifyCase{"ValidWithLineBreak", "{sig}\r\n", "00000007", "<a>1</a>", 0, "signature valid"},
        VerifyCase{"ValidLowerCase", "{lower}", "7", "<a>1</a>", 0, "signature valid"},
        VerifyCase{"WhiteSpaceChanged", "{sig}", "7", " <a>\r\n1</a>\t", 0, "signature valid"},
        VerifyCase{"NoSignatureFile", nullptr, "7", "<a>1</a>", 1, "no signature file"},
        VerifyCase{"OtherBuildId", "{sig}", "8", "<a>1</a>", 1,
                   "signature does not match: the file was changed (other than in white space) "
                   "or signed for another build identifier than 8"},
        VerifyCase{"ChangedContents", "{sig}", "7", "<a>2</a>", 1, "signature does not match"},
        VerifyCase{"DigitMissingThenLineFeed", "{sig23}\n", "7", "<a>1</a>", 1,
                   "malformed signature text: byte 0x0A at position 24 is not a hexadecimal digit"},
        VerifyCase{"ShortText", "0123456789", "7", "<a>1</a>", 1,
                   "only 10 hexadecimal digits before the end of the file, expected 24"},
        VerifyCase{"CutAtNul", "01234{nul}5678", "7", "<a>1</a>", 1,
                   "only 5 hexadecimal digits before a NUL byte"},
        VerifyCase{"NotHex", "zzzz", "7", "<a>1</a>", 1, "byte 0x7A at position 1"},
        VerifyCase{"Empty", "", "7", "<a>1</a>", 1, "only 0 hexadecimal digits"}),
    [](const testing::TestParamInfo<VerifyCase>& info) { return info.param.name; });

// A signed document that does not parse is still valid (exit 0, as the
// launcher accepts it), but verify names the line the parser stopped on.
TEST(GamewrapVerify, NamesTheLineOnWhichASignedDocumentStopsParsing) {
  TempDir dir;
  const std::string doc = dir.Write("doc.xml",
                                    "<Properties>\n"
                                    "  <String id=\"ProdName\">P</String>\n"
                                    "  <Integer id=\"Count\">many</Integer>\n"
                                    "</Properties>\n");
  ASSERT_EQ(Gamewrap("sign --key " + kDevKey + " --build-id 7 " + Quoted(doc)).exitCode, 0);
  const ToolRun run = Gamewrap("verify --build-id 7 " + Quoted(doc));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "signature valid for build identifier 7")) << run.out;
  EXPECT_EQ(run.err, "gamewrap verify: warning: " + doc +
                         ": the document does not parse: Invalid Integer Value: 'many' on Line 3; "
                         "the launcher keeps only the values before that error\n");
}

// --- Values the game channel cannot carry -----------------------------------

struct LongValueCase {
  const char* name;
  std::string document;
  std::string warnings;  // on stderr, each line behind "gamewrap <command>: "
};

void PrintTo(const LongValueCase& c, std::ostream* out) { *out << c.name; }

std::string StringValue(const std::string& key, std::size_t size, char fill = 'v') {
  return "<String id=\"" + key + "\">" + std::string(size, fill) + "</String>";
}

std::string Document(const std::string& values) {
  return "<Properties>" + values + "</Properties>";
}

class GamewrapLongValue : public testing::TestWithParam<LongValueCase> {};

// A value longer than the channel's 65,532 bytes is named by sign and by
// verify, which still succeed: the document is valid, the value unreachable.
TEST_P(GamewrapLongValue, IsNamedBySignAndVerifyWithoutFailing) {
  const LongValueCase& c = GetParam();
  TempDir dir;
  const std::string doc = dir.Write("doc.xml", c.document);
  const ToolRun sign = Gamewrap("sign --key " + kDevKey + " --build-id 5 " + Quoted(doc));
  EXPECT_EQ(sign.exitCode, 0) << sign.err;
  EXPECT_TRUE(VerifyFileSignature(doc, c.document, 5));
  const ToolRun verify = Gamewrap("verify --build-id 5 " + Quoted(doc));
  EXPECT_EQ(verify.exitCode, 0) << verify.err;

  std::string signWarnings, verifyWarnings;
  for (std::size_t at = 0; at < c.warnings.size();) {
    const std::size_t end = c.warnings.find('\n', at) + 1;
    signWarnings += "gamewrap sign: " + c.warnings.substr(at, end - at);
    verifyWarnings += "gamewrap verify: " + c.warnings.substr(at, end - at);
    at = end;
  }
  EXPECT_EQ(sign.err, signWarnings);
  EXPECT_EQ(verify.err, verifyWarnings);
}

INSTANTIATE_TEST_SUITE_P(
    Gamewrap, GamewrapLongValue,
    testing::Values(
        LongValueCase{"LongestTheChannelCarries", Document(StringValue("Key", 65532)), ""},
        LongValueCase{"OneByteMore", Document(StringValue("Key", 65533)),
                      "warning: the value of 'Key' is 65533 bytes; the game channel carries at "
                      "most 65532\n"},
        LongValueCase{"EachLongValueNamed",
                      Document(StringValue("Eula", 70000) + StringValue("Short", 10) +
                               StringValue("Credits", 65533, 'c')),
                      "warning: the value of 'Credits' is 65533 bytes; the game channel carries "
                      "at most 65532\n"
                      "warning: the value of 'Eula' is 70000 bytes; the game channel carries at "
                      "most 65532\n"},
        // The launcher answers with the first value of a name.
        LongValueCase{"OnlyTheFirstValueOfANameCounts",
                      Document(StringValue("Key", 5) + StringValue("Key", 70000)), ""},
        // Only string values are asked for over the channel.
        LongValueCase{"LongValueOfAnotherType",
                      Document("<StringArray id=\"List\"><String>" + std::string(70000, 'v') +
                               "</String></StringArray>"),
                      ""}),
    [](const testing::TestParamInfo<LongValueCase>& info) { return std::string(info.param.name); });

// --- encodings ---------------------------------------------------------------------

// A document declared or written in another encoding than UTF-8 is named, one
// line per document, by sign and by a verify that finds it valid (also in
// --json's warnings); exit codes and signature files are as for any document.
TEST(GamewrapEncoding, SignAndVerifyWarnOfADocumentThatIsNotUtf8) {
  TempDir dir;
  const std::string utf8Contents =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Properties><String "
      "id=\"T\">Caf\xC3\xA9</String></Properties>\n";
  const std::string cp1252Contents =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<Properties><String "
      "id=\"T\">Caf\xE9</String></Properties>\n";
  const std::string utf8 = dir.Write("utf8.xml", utf8Contents);
  const std::string cp1252 = dir.Write("cp1252.xml", cp1252Contents);
  const std::string warning =
      cp1252 + ": declares the encoding \"windows-1252\", and byte 0xE9 at offset " +
      std::to_string(cp1252Contents.find('\xE9')) +
      " is not UTF-8; games get the values' bytes as they stand, and the C# binding decodes "
      "them as UTF-8";

  const ToolRun sign =
      Gamewrap("sign --key " + kDevKey + " --build-id 5 " + Quoted(utf8) + " " + Quoted(cp1252));
  EXPECT_EQ(sign.exitCode, 0);
  EXPECT_EQ(sign.err, "gamewrap sign: warning: " + warning + "\n");
  EXPECT_TRUE(VerifyFileSignature(utf8, utf8Contents, 5));
  EXPECT_TRUE(VerifyFileSignature(cp1252, cp1252Contents, 5));

  const ToolRun verify = Gamewrap("verify --build-id 5 " + Quoted(cp1252));
  EXPECT_EQ(verify.exitCode, 0);
  EXPECT_EQ(verify.err, "gamewrap verify: warning: " + warning + "\n");
  const ToolRun json = Gamewrap("verify --json --build-id 5 " + Quoted(cp1252));
  EXPECT_EQ(json.exitCode, 0);
  EXPECT_EQ(json.err, verify.err);
  const ToolRun fields = testsupport::JsonFields(json.out);
  ASSERT_EQ(fields.exitCode, 0) << fields.err;
  EXPECT_TRUE(Contains(fields.out, "\nwarnings[0]=\"" + warning + "\"\nnotes=[]\n")) << fields.out;

  const ToolRun clean = Gamewrap("verify --build-id 5 " + Quoted(utf8));
  EXPECT_EQ(clean.exitCode, 0);
  EXPECT_EQ(clean.err, "");
  // Only a document the launcher would load is looked at.
  const ToolRun otherBuild = Gamewrap("verify --build-id 6 " + Quoted(cp1252));
  EXPECT_EQ(otherBuild.exitCode, 1);
  EXPECT_FALSE(Contains(otherBuild.err, "warning")) << otherBuild.err;
}

// --- verify --json ----------------------------------------------------------------

enum class SignatureChange { Kept, FirstZeroAsG, NotHex, Removed, DocumentRemoved };

struct VerifyJsonCase {
  const char* name;
  std::string contents;  // signed for 7, then checked with `buildId`
  SignatureChange change;
  int buildId;
  int exitCode;
  std::string result;
  std::string reasonPart;  // in the reason of a failure
  // The lines of the two arrays as json_fields.py prints them; {note} stands
  // for the text of the note on standard error.
  std::string warningsAndNotes;
};

void PrintTo(const VerifyJsonCase& c, std::ostream* out) { *out << c.name; }

class GamewrapVerifyJson : public testing::TestWithParam<VerifyJsonCase> {};

// One JSON object with the file, build identifier, result, reason, warnings
// and notes; exit code and standard error as without --json.
TEST_P(GamewrapVerifyJson, ReportsTheOutcomeAsOneObject) {
  const VerifyJsonCase& c = GetParam();
  TempDir dir;
  const std::string doc = dir.Write("doc.xml", c.contents);
  ASSERT_EQ(Gamewrap("sign --key " + kDevKey + " --build-id 7 " + Quoted(doc)).exitCode, 0);
  std::string signature = ReadFile(doc + ".sig");
  switch (c.change) {
    case SignatureChange::Kept:
      break;
    case SignatureChange::FirstZeroAsG:
      // The launcher reads a byte that is no digit as 0: still valid.
      ASSERT_NE(signature.find('0'), std::string::npos) << signature;
      signature[signature.find('0')] = 'g';
      break;
    case SignatureChange::NotHex:
      signature = "zzzz";
      break;
    case SignatureChange::Removed:
      std::filesystem::remove(doc + ".sig");
      break;
    case SignatureChange::DocumentRemoved:
      std::filesystem::remove(doc);
      break;
  }
  if (c.change == SignatureChange::FirstZeroAsG || c.change == SignatureChange::NotHex) {
    dir.Write("doc.xml.sig", signature);
  }
  const std::string arguments = "--build-id " + std::to_string(c.buildId) + " " + Quoted(doc);
  const ToolRun text = Gamewrap("verify " + arguments);
  const ToolRun json = Gamewrap("verify --json " + arguments);
  EXPECT_EQ(json.exitCode, c.exitCode) << json.err;
  EXPECT_EQ(json.exitCode, text.exitCode);
  EXPECT_EQ(json.err, text.err);

  std::string reason = "null";
  if (c.exitCode != 0) {
    const std::string prefix = "gamewrap verify: ";
    ASSERT_EQ(json.err.rfind(prefix, 0), 0u) << json.err;
    reason = "\"" + json.err.substr(prefix.size(), json.err.size() - prefix.size() - 1) + "\"";
    EXPECT_TRUE(Contains(reason, c.reasonPart)) << reason;
  }
  std::string warningsAndNotes = c.warningsAndNotes;
  if (const std::size_t at = warningsAndNotes.find("{note}"); at != std::string::npos) {
    const std::string marker = "gamewrap verify: note: ";
    const std::size_t start = json.err.find(marker);
    ASSERT_NE(start, std::string::npos) << json.err;
    const std::size_t end = json.err.find('\n', start);
    const std::string note = json.err.substr(start + marker.size(), end - start - marker.size());
    EXPECT_TRUE(Contains(note, doc + ".sig: byte 0x67 at position")) << note;
    warningsAndNotes.replace(at, 6, note);
  }
  const ToolRun fields = testsupport::JsonFields(json.out);
  ASSERT_EQ(fields.exitCode, 0) << fields.err;
  EXPECT_EQ(fields.out, "file=\"" + doc + "\"\nsignatureFile=\"" + doc +
                            ".sig\"\nbuildId=" + std::to_string(c.buildId) +
                            "\nvalid=" + (c.exitCode == 0 ? "true" : "false") + "\nresult=\"" +
                            c.result + "\"\nreason=" + reason + "\n" + warningsAndNotes);
}

INSTANTIATE_TEST_SUITE_P(
    Gamewrap, GamewrapVerifyJson,
    testing::Values(
        VerifyJsonCase{"Valid", Document(StringValue("Eula", 3)), SignatureChange::Kept, 7, 0,
                       "valid", "", "warnings=[]\nnotes=[]\n"},
        VerifyJsonCase{"ValidWithWarningsAndNote",
                       Document(StringValue("Eula", 70000) + StringValue("Credits", 65533)),
                       SignatureChange::FirstZeroAsG, 7, 0, "valid", "",
                       "warnings[0]=\"the value of 'Credits' is 65533 bytes; the game channel "
                       "carries at most 65532\"\nwarnings[1]=\"the value of 'Eula' is 70000 "
                       "bytes; the game channel carries at most 65532\"\nnotes[0]=\"{note}\"\n"},
        VerifyJsonCase{"OtherBuildId", "<a>1</a>", SignatureChange::Kept, 8, 1, "mismatch",
                       "signature does not match", "warnings=[]\nnotes=[]\n"},
        VerifyJsonCase{"MalformedSignature", "<a>1</a>", SignatureChange::NotHex, 7, 1,
                       "malformedSignature", "byte 0x7A at position 1", "warnings=[]\nnotes=[]\n"},
        VerifyJsonCase{"NoSignatureFile", "<a>1</a>", SignatureChange::Removed, 7, 1,
                       "noSignatureFile", "no signature file", "warnings=[]\nnotes=[]\n"},
        VerifyJsonCase{"MissingDocument", "<a>1</a>", SignatureChange::DocumentRemoved, 7, 1,
                       "cannotRead", "doc.xml", "warnings=[]\nnotes=[]\n"}),
    [](const testing::TestParamInfo<VerifyJsonCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
