// The partner properties as a wrapped launcher meets them when a user starts
// it: the document and its signature file on disk, the boxes the launcher
// shows, whether the game runs, and what is left in the launcher's directory.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "payload/payload_format.h"
#include "properties/partner_properties.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/game_files.h"

namespace e2e {
namespace {

constexpr char kBuildIdText[] = "12345678";
constexpr std::int32_t kBuildId = 12345678;
constexpr char kStaleFileName[] = "tmb0001.tmp";
constexpr char kStaleFileText[] = "left by an earlier run";

std::string MissingKeyText(const std::string& key) {
  return "Unable to find properties string '" + key + "'";
}

std::string ReadText(const std::string& path) {
  std::string text;
  ReadWholeFile(path, text);
  return text;
}

// Writes `directory`\launcher.exe carrying the test game under `buildIdText`.
bool WriteLauncher(const std::string& directory, const std::string& buildIdText = kBuildIdText) {
  return WriteWrappedLauncher(directory + "\\launcher.exe",
                              payload::MakeAppendedData(buildIdText, TestGame()));
}

// The document path the launcher in `directory` reads.
std::string DocumentIn(const std::string& directory) {
  return PartnerDocumentPath(directory + "\\");
}

// Every box of the partner step: caption "FATAL ERROR", an icon, OK alone.
void ExpectPartnerBoxes(const LauncherRun& run, const std::vector<std::string>& texts) {
  std::vector<std::string> seen;
  for (const MessageBoxSeen& box : run.boxes) {
    seen.push_back(box.text);
    EXPECT_EQ(box.caption, "FATAL ERROR") << box.text;
    EXPECT_TRUE(box.showsIcon) << box.text;
    EXPECT_EQ(box.buttons, (std::vector<ButtonSeen>{{IDOK, "OK"}})) << box.text;
  }
  EXPECT_EQ(seen, texts);
}

class PartnerEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(TestGame().empty()) << TestGamePath();
    ASSERT_TRUE(WriteLauncher(root_.path()));
  }

  std::string Launcher() const { return root_.File("launcher.exe"); }

  // A temporary file an earlier run left: the extraction would remove it.
  void PlaceStaleFile() const {
    ASSERT_TRUE(WriteWholeFile(root_.File(kStaleFileName), kStaleFileText));
  }

  // Runs the launcher and expects it to stop at the partner step with one box
  // showing `text`: exit 0, no game, and its directory just as before.
  void ExpectStopsWithOnly(const std::string& text) {
    const std::vector<std::string> before = EntryNames(ListDirectory(root_.path()));

    const LauncherRun run = RunLauncher(Launcher());

    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    ExpectPartnerBoxes(run, {text});
    EXPECT_EQ(EntryNames(run.filesLeft), before);
    EXPECT_EQ(ReadText(root_.File(kStaleFileName)), kStaleFileText);
  }

  // Runs the launcher and expects the boxes `texts`, then one normal run of
  // the game from a temporary file that is gone again afterwards.
  void ExpectGameRunsAfter(const std::vector<std::string>& texts, const std::string& directory,
                           const LaunchOptions& options = {}) {
    std::vector<std::string> expectedLeft = EntryNames(ListDirectory(directory));
    expectedLeft.insert(expectedLeft.begin(), testgame::kRecordFileName);

    const LauncherRun run = RunLauncher(directory + "\\launcher.exe", options);

    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    ExpectPartnerBoxes(run, texts);
    const std::vector<GameRun> games = ReadGameRuns(directory);
    ASSERT_EQ(games.size(), 1u);
    EXPECT_EQ(games[0].Get("error"), "");
    EXPECT_EQ(games[0].Get("exit"), "0");
    EXPECT_EQ(games[0].Get("cwd"), directory);
    EXPECT_EQ(EntryNames(run.filesLeft), expectedLeft);
  }

  FreshDirectory root_;
};

// --- The document cannot be opened -----------------------------------------

struct UnopenableCase {
  const char* name;
  // Lays out the files around the launcher in `directory`.
  void (*arrange)(const std::string& directory);
};

void PrintTo(const UnopenableCase& c, std::ostream* out) { *out << c.name; }

class UnopenableDocumentTest : public PartnerEndToEnd,
                               public ::testing::WithParamInterface<UnopenableCase> {};

TEST_P(UnopenableDocumentTest, ShowsUnableToOpenAndStopsBeforeExtracting) {
  GetParam().arrange(root_.path());
  PlaceStaleFile();
  ExpectStopsWithOnly("Unable to open 'properties\\partner.xml'");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, UnopenableDocumentTest,
    ::testing::Values(
        UnopenableCase{"NoDocument", [](const std::string&) {}},
        // Signed and valid, but not inside the properties folder.
        UnopenableCase{
            "DocumentBesideTheLauncher",
            [](const std::string& directory) {
              std::string signature;
              ASSERT_TRUE(SignWithDevelopmentKey(kDefaultPartnerDocument, kBuildId, signature));
              ASSERT_TRUE(WriteWholeFile(directory + "\\partner.xml", kDefaultPartnerDocument));
              ASSERT_TRUE(WriteWholeFile(directory + "\\partner.xml.sig", signature));
            }},
        // A folder of the document's name, with a signature file beside it.
        UnopenableCase{"FolderInPlaceOfTheDocument",
                       [](const std::string& directory) {
                         ASSERT_TRUE(WriteSignedPartnerProperties(
                             directory, kDefaultPartnerDocument, kBuildId));
                         ASSERT_TRUE(DeleteFileA(DocumentIn(directory).c_str()));
                         ASSERT_TRUE(CreateDirectoryA(DocumentIn(directory).c_str(), nullptr));
                       }},
        UnopenableCase{"OnlyTheSignatureFile",
                       [](const std::string& directory) {
                         ASSERT_TRUE(WriteSignedPartnerProperties(
                             directory, kDefaultPartnerDocument, kBuildId));
                         ASSERT_TRUE(DeleteFileA(DocumentIn(directory).c_str()));
                       }}),
    [](const ::testing::TestParamInfo<UnopenableCase>& info) {
      return std::string(info.param.name);
    });

// --- The signature does not prove the document -------------------------------

struct SignatureFaultCase {
  const char* name;
  // Spoils the default document, signed for the launcher in `directory`.
  void (*spoil)(const std::string& directory);
};

void PrintTo(const SignatureFaultCase& c, std::ostream* out) { *out << c.name; }

class SignatureFaultTest : public PartnerEndToEnd,
                           public ::testing::WithParamInterface<SignatureFaultCase> {};

TEST_P(SignatureFaultTest, ShowsOnlyInvalidSignatureAndStopsBeforeExtracting) {
  ASSERT_TRUE(WriteSignedPartnerProperties(root_.path(), kDefaultPartnerDocument, kBuildId));
  GetParam().spoil(root_.path());
  PlaceStaleFile();
  ExpectStopsWithOnly("Invalid partner properties signature!");
}

void ReplaceSignature(const std::string& directory, const std::string& signature) {
  ASSERT_TRUE(WriteWholeFile(DocumentIn(directory) + ".sig", signature));
}

void ReplaceDocument(const std::string& directory, const std::string& document) {
  ASSERT_TRUE(WriteWholeFile(DocumentIn(directory), document));
}

// The default document with its first `from` byte replaced by `to`.
std::string DefaultDocumentWith(char from, char to) {
  std::string document = kDefaultPartnerDocument;
  document[document.find(from)] = to;
  return document;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SignatureFaultTest,
    ::testing::Values(
        SignatureFaultCase{"SignatureFileMissing",
                           [](const std::string& directory) {
                             ASSERT_TRUE(DeleteFileA((DocumentIn(directory) + ".sig").c_str()));
                           }},
        SignatureFaultCase{"SignatureFileEmpty",
                           [](const std::string& directory) { ReplaceSignature(directory, ""); }},
        SignatureFaultCase{"SignatureFileGarbage",
                           [](const std::string& directory) {
                             ReplaceSignature(directory, "no signature, just words\r\n");
                           }},
        SignatureFaultCase{"SignatureOfAnotherDocument",
                           [](const std::string& directory) {
                             std::string signature;
                             ASSERT_TRUE(SignWithDevelopmentKey(
                                 "<Properties><String id=\"ProdName\">X</String></Properties>",
                                 kBuildId, signature));
                             ReplaceSignature(directory, signature);
                           }},
        // Letters differ in case only: the check is byte for byte.
        SignatureFaultCase{"LetterCaseChangedAfterSigning",
                           [](const std::string& directory) {
                             ReplaceDocument(directory, DefaultDocumentWith('T', 't'));
                           }},
        // NUL is no white space, wherever it stands.
        SignatureFaultCase{"NulByteForABlank",
                           [](const std::string& directory) {
                             ReplaceDocument(directory, DefaultDocumentWith(' ', '\0'));
                           }},
        // A check that took the bytes as a C string would not see it.
        SignatureFaultCase{"NulByteAppended",
                           [](const std::string& directory) {
                             ReplaceDocument(directory,
                                             std::string(kDefaultPartnerDocument) + '\0');
                           }},
        // A read in text mode would stop at it.
        SignatureFaultCase{"CtrlZAppended",
                           [](const std::string& directory) {
                             ReplaceDocument(directory,
                                             std::string(kDefaultPartnerDocument) + "\x1A");
                           }},
        SignatureFaultCase{"LauncherOfAnotherBuild",
                           [](const std::string& directory) {
                             ASSERT_TRUE(WriteLauncher(directory, "87654321"));
                           }}),
    [](const ::testing::TestParamInfo<SignatureFaultCase>& info) {
      return std::string(info.param.name);
    });

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The signature covers the bytes other than white space: all six white-space
// bytes added around the document, between tags and inside tags still verify.
TEST_F(PartnerEndToEnd, WhiteSpaceAddedAfterSigningStillVerifies) {
  ASSERT_TRUE(WriteSignedPartnerProperties(root_.path(), kDefaultPartnerDocument, kBuildId));
  std::string spaced = ReplaceAll(kDefaultPartnerDocument, "\">", "\"\t \v\f>");
  spaced = " \t\r\n\v\f" + ReplaceAll(spaced, "\r\n", "\v\f\r\n \t") + "\f\v\t \r\n";
  ReplaceDocument(root_.path(), spaced);

  ExpectGameRunsAfter({}, root_.path());
}

// --- A signed document short of required strings -----------------------------

struct SignedDocumentCase {
  const char* name;
  std::string document;
  std::vector<std::string> missingKeys;  // in the order their boxes come
};

void PrintTo(const SignedDocumentCase& c, std::ostream* out) { *out << c.name; }

class SignedDocumentTest : public PartnerEndToEnd,
                           public ::testing::WithParamInterface<SignedDocumentCase> {};

TEST_P(SignedDocumentTest, ShowsOneBoxPerMissingKeyAndRunsTheGame) {
  ASSERT_TRUE(WriteSignedPartnerProperties(root_.path(), GetParam().document, kBuildId));
  std::vector<std::string> texts;
  for (const std::string& key : GetParam().missingKeys) texts.push_back(MissingKeyText(key));

  ExpectGameRunsAfter(texts, root_.path());
}

INSTANTIATE_TEST_SUITE_P(
    Documents, SignedDocumentTest,
    ::testing::Values(
        // Neither a name in another letter case nor a value of another type
        // stands in for a missing string.
        SignedDocumentCase{
            "TwoKeysMissing",
            "<Properties>\r\n"
            "  <String id=\"RegistryKey\">Software\\Demo</String>\r\n"
            "  <String id=\"prodname\">Demo</String>\r\n"
            "  <Integer id=\"DisplayName\">5</Integer>\r\n"
            "  <StringArray id=\"DisplayName\"><String>Demo</String></StringArray>\r\n"
            "  <String id=\"Offering\">Full</String>\r\n"
            "</Properties>\r\n",
            {"ProdName", "DisplayName"}},
        SignedDocumentCase{"EmptyValuesCountAsPresent",
                           "<Properties><String id=\"ProdName\"></String><String id=\"Offering\"/>"
                           "<String id=\"DisplayName\">  </String>"
                           "<String id=\"RegistryKey\" /></Properties>",
                           {}},
        // The parse error itself is not shown; what came before it stays.
        SignedDocumentCase{"UnknownElementStopsTheParse",
                           "<Properties>\r\n"
                           "  <String id=\"RegistryKey\">R</String>\r\n"
                           "  <String id=\"Offering\">O</String>\r\n"
                           "  <Unknown/>\r\n"
                           "  <String id=\"ProdName\">P</String>\r\n"
                           "  <String id=\"DisplayName\">D</String>\r\n"
                           "</Properties>\r\n",
                           {"ProdName", "DisplayName"}},
        SignedDocumentCase{"DocumentCutShort",
                           "<Properties>\r\n"
                           "  <String id=\"ProdName\">P</String>\r\n"
                           "  <String id=\"Offering\">O</String>\r\n"
                           "  <String id=\"DisplayName\">D</Str",
                           {"DisplayName", "RegistryKey"}},
        SignedDocumentCase{"NotADocument",
                           "just some words",
                           {"ProdName", "Offering", "DisplayName", "RegistryKey"}},
        // Zero bytes, signed as zero bytes.
        SignedDocumentCase{
            "EmptyDocument", "", {"ProdName", "Offering", "DisplayName", "RegistryKey"}}),
    [](const ::testing::TestParamInfo<SignedDocumentCase>& info) {
      return std::string(info.param.name);
    });

// --- Found beside the launcher, not in the current directory ------------------

class StartedElsewhere : public PartnerEndToEnd {
 protected:
  void SetUp() override {
    PartnerEndToEnd::SetUp();
    game_ = root_.MakeDirectory("game");
    elsewhere_ = root_.MakeDirectory("elsewhere");
    ASSERT_TRUE(WriteLauncher(game_));
    options_.currentDirectory = elsewhere_;
  }

  std::string game_;
  std::string elsewhere_;
  LaunchOptions options_;
};

TEST_F(StartedElsewhere, ReadsTheDocumentInItsOwnFolder) {
  ASSERT_TRUE(WriteSignedPartnerProperties(game_, kDefaultPartnerDocument, kBuildId));
  // Read instead, this one would show four boxes.
  ASSERT_TRUE(WriteSignedPartnerProperties(elsewhere_, "<Properties/>", kBuildId));

  ExpectGameRunsAfter({}, game_, options_);
  EXPECT_EQ(EntryNames(ListDirectory(elsewhere_)), std::vector<std::string>{"properties"});
}

TEST_F(StartedElsewhere, ADocumentInTheCurrentDirectoryDoesNotStandIn) {
  ASSERT_TRUE(WriteSignedPartnerProperties(elsewhere_, kDefaultPartnerDocument, kBuildId));

  const LauncherRun run = RunLauncher(game_ + "\\launcher.exe", options_);

  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0u);
  ExpectPartnerBoxes(run, {"Unable to open 'properties\\partner.xml'"});
  EXPECT_EQ(EntryNames(run.filesLeft), std::vector<std::string>{"launcher.exe"});
  EXPECT_TRUE(ReadGameRuns(elsewhere_).empty());
}

}  // namespace
}  // namespace e2e
