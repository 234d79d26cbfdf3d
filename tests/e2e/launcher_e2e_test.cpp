// The wrapped launcher run as a user runs it, under a debugger, in a fresh
// directory, with its message boxes answered.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "launcher/payload_reader.h"
#include "payload/payload_format.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/run_expectations.h"
#include "tests/e2e/harness/running_program.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/game_files.h"
#include "tools/gamewrap/wrap.h"

namespace e2e {
namespace {

constexpr char kBuildId[] = "12345678";

std::string Header() {
  return payload::MakeAppendedData(kBuildId, "").substr(payload::kMarkerLength);
}

// Wine reports the archive attribute on every regular file.
DWORD WithoutArchive(DWORD attributes) {
  return attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE);
}

class LauncherEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(TestGame().empty()) << TestGamePath(); }

  // Writes a launcher wrapping `appended` as `directory`\`name`, with partner
  // properties signed for its build identifier beside it.
  static std::string Wrap(const std::string& directory, const std::string& appended,
                          const std::string& name = "launcher.exe") {
    const std::string path = directory + "\\" + name;
    EXPECT_TRUE(WriteWrappedLauncher(path, appended)) << path;
    // Signed for the build identifier the launcher will read, whatever the
    // appended data holds (a header cut short reads as 0).
    std::int32_t buildId = 0;
    if (ReadBuildIdentifierFromFile(path, payload::BuildInfoText(), buildId) == BuildIdStatus::Ok) {
      EXPECT_TRUE(WriteSignedPartnerProperties(directory, kDefaultPartnerDocument, buildId));
    }
    return path;
  }

  static std::string WrapGame(const std::string& directory, const std::string& game,
                              const std::string& name = "launcher.exe") {
    return Wrap(directory, payload::MakeAppendedData(kBuildId, game), name);
  }

  // The game ran exactly once, from a hidden temporary file of the launcher's
  // directory, in that directory, with the bare path as its command line, and
  // followed its script to the end.
  static void ExpectGameRanOnceFrom(const std::string& directory, std::size_t gameSize,
                                    int gameExitCode = 0) {
    const std::vector<GameRun> runs = ReadGameRuns(directory);
    ASSERT_EQ(runs.size(), 1u);
    const GameRun& run = runs[0];
    EXPECT_EQ(run.Get("error"), "");
    EXPECT_EQ(run.Get("exit"), std::to_string(gameExitCode));
    const std::string module = run.Get("module");
    EXPECT_EQ(text::DirectoryOfPath(module), directory);
    EXPECT_TRUE(IsLauncherTempFileName(module.substr(module.find_last_of('\\') + 1))) << module;
    EXPECT_EQ(run.Get("commandline"), module);
    EXPECT_EQ(run.Get("cwd"), directory);
    EXPECT_EQ(WithoutArchive(run.Attributes()), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(run.Size(), gameSize);
  }

  // Every box of the launcher offers OK and nothing else.
  static void ExpectFatalErrorBox(const MessageBoxSeen& box, const std::string& caption,
                                  const std::string& text, bool showsIcon) {
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.showsIcon, showsIcon);
    EXPECT_EQ(box.buttons, (std::vector<ButtonSeen>{{IDOK, "OK"}}));
  }

  FreshDirectory root_;
};

TEST_F(LauncherEndToEnd, RunsTheGameWithTheBarePathAndRemovesItsFile) {
  const std::string launcher = WrapGame(root_.path(), TestGame());
  ASSERT_TRUE(WriteGameScript(root_.path(), {"sleep 200"}));
  LaunchOptions options;
  options.arguments = "-x extra";  // never reaches the game

  const LauncherRun run = RunLauncher(launcher, options);

  ExpectCleanEnd(run);
  ExpectGameRanOnceFrom(root_.path(), TestGame().size());
  EXPECT_TRUE(run.debugLines.empty());
  EXPECT_EQ(EntryNames(run.filesLeft),
            (std::vector<std::string>{testgame::kRecordFileName, testgame::kScriptFileName,
                                      "launcher.exe", "properties"}));
}

// The copy goes in chunks of 4096 bytes: a game of whole chunks must arrive
// complete, with no empty chunk behind it.
TEST_F(LauncherEndToEnd, CopiesAGameOfWholeCopyChunks) {
  std::string game = TestGame();
  game.resize((game.size() / 4096 + 1) * 4096, '\0');  // a program may carry trailing data
  const std::string launcher = WrapGame(root_.path(), game);

  const LauncherRun run = RunLauncher(launcher);

  ExpectCleanEnd(run);
  ExpectGameRanOnceFrom(root_.path(), game.size());
}

// Given as a command line alone, "...\My Games\tmbXXXX.tmp" would be searched
// word by word and "...\My.exe" would run, in the launcher's directory, where
// it would record itself as the one game run.
TEST_F(LauncherEndToEnd, PathWithBlanksRunsTheGameAndNotAProgramNamedLikeItsFirstWord) {
  const std::string directory = root_.MakeDirectory("My Games");
  ASSERT_TRUE(WriteWholeFile(root_.File("My.exe"), TestGame()));
  const std::string launcher = WrapGame(directory, TestGame());

  const LauncherRun run = RunLauncher(launcher);

  ExpectCleanEnd(run);
  ExpectGameRanOnceFrom(directory, TestGame().size());
}

TEST_F(LauncherEndToEnd, StartedFromAnotherDirectoryWorksInItsOwn) {
  const std::string directory = root_.MakeDirectory("game");
  const std::string elsewhere = root_.MakeDirectory("elsewhere");
  const std::string launcher = WrapGame(directory, TestGame());
  LaunchOptions options;
  options.currentDirectory = elsewhere;

  const LauncherRun run = RunLauncher(launcher, options);

  ExpectCleanEnd(run);
  ExpectGameRanOnceFrom(directory, TestGame().size());
  EXPECT_TRUE(ListDirectory(elsewhere).empty());
}

// A launcher whose path is longer than 255 characters still works on its own
// file: cut to 255, its path would name the other launcher beside it.
TEST_F(LauncherEndToEnd, ModulePathLongerThan255CharactersIsNotCutShort) {
  constexpr std::size_t kDirectoryLength = 240;
  const std::string name = "LongNamedGame1.exe";  // makes the whole path 259, the most allowed
  const std::string directory =
      root_.MakeDirectory(std::string(kDirectoryLength - root_.path().size() - 1, 'd'));
  ASSERT_EQ(directory.size(), kDirectoryLength);
  const std::string launcher = WrapGame(directory, TestGame(), name);
  ASSERT_EQ(launcher.size(), 259u);
  const std::string cutShort = launcher.substr(0, 255);
  Wrap(directory, payload::MakeAppendedData(kBuildId, "not a program"),
       cutShort.substr(kDirectoryLength + 1));

  const LauncherRun run = RunLauncher(launcher);

  ExpectCleanEnd(run);
  ExpectGameRanOnceFrom(directory, TestGame().size());
}

class GameExitCodeTest : public LauncherEndToEnd, public ::testing::WithParamInterface<int> {};

// 259 is also the code that says "still running": the launcher must not wait
// for that game forever.
TEST_P(GameExitCodeTest, DoesNotReachTheLaunchersExitCode) {
  const std::string launcher = WrapGame(root_.path(), TestGame());
  ASSERT_TRUE(WriteGameScript(root_.path(), {"exit " + std::to_string(GetParam())}));
  LaunchOptions options;
  options.timeoutMs = 15000;

  const LauncherRun run = RunLauncher(launcher, options);

  ExpectCleanEnd(run);
  ExpectGameRanOnceFrom(root_.path(), TestGame().size(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Codes, GameExitCodeTest, ::testing::Values(0, 7, 259),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Exit" + std::to_string(info.param);
                         });

struct UnstartableCase {
  const char* name;
  std::string appended;
};

class UnstartableGameTest : public LauncherEndToEnd,
                            public ::testing::WithParamInterface<UnstartableCase> {};

// 418 bytes or fewer behind the marker leave the temporary file empty; a file
// that is no program fails the same way when it is started.
TEST_P(UnstartableGameTest, ShowsItsMessageRemovesTheFileAndEndsWithZero) {
  const std::string launcher = Wrap(root_.path(), GetParam().appended);

  const LauncherRun run = RunLauncher(launcher);

  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  ExpectFatalErrorBox(run.boxes[0], "Fatal Error", "Failed to execute game\r\n\r\n", false);
  EXPECT_EQ(EntryNames(run.filesLeft), (std::vector<std::string>{"launcher.exe", "properties"}));
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, UnstartableGameTest,
    ::testing::Values(
        UnstartableCase{"EmptyPayload", payload::PayloadMarker() + Header()},
        UnstartableCase{"HeaderCutShort", payload::PayloadMarker() + Header().substr(0, 100)},
        UnstartableCase{"NotAProgram", payload::PayloadMarker() + Header() + "just some text"}),
    [](const ::testing::TestParamInfo<UnstartableCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(LauncherEndToEnd, MissingMarkerEndsWithFiveLeavingTheEmptyTemporaryFile) {
  const std::string launcher = Wrap(root_.path(), Header() + TestGame());

  const LauncherRun run = RunLauncher(launcher);

  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 5u);
  ASSERT_EQ(run.boxes.size(), 1u);
  ExpectFatalErrorBox(run.boxes[0], "Fatal Error", "Unable to locate game content.", false);
  ASSERT_EQ(run.filesLeft.size(), 3u);
  EXPECT_EQ(run.filesLeft[0].name, "launcher.exe");
  EXPECT_EQ(run.filesLeft[1].name, "properties");
  const FileEntry& temp = run.filesLeft[2];
  EXPECT_TRUE(IsLauncherTempFileName(temp.name)) << temp.name;
  EXPECT_EQ(temp.size, 0u);
  EXPECT_FALSE(temp.IsHidden());
  EXPECT_TRUE(ReadGameRuns(root_.path()).empty());
}

TEST_F(LauncherEndToEnd, MissingBuildInformationStopsBeforeAnyFileIsMade) {
  const std::string launcher =
      Wrap(root_.path(),
           payload::PayloadMarker() + std::string(payload::kHeaderSize, '\0') + TestGame());
  ASSERT_TRUE(WriteWholeFile(root_.File("tmb0001.tmp"), "left by an earlier run"));

  const LauncherRun run = RunLauncher(launcher);

  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  ExpectFatalErrorBox(run.boxes[0], "FATAL ERROR", "Unable to find the build information marker.",
                      true);
  // Nothing made and, since the extraction never began, nothing removed.
  EXPECT_EQ(EntryNames(run.filesLeft), (std::vector<std::string>{"launcher.exe", "tmb0001.tmp"}));
}

// Another launcher's game still runs from its temporary file: that file stays,
// silently, and the launcher goes on.
TEST_F(LauncherEndToEnd, StaleFilesGoButOneInUseStaysWithoutAMessage) {
  const std::string launcher = WrapGame(root_.path(), TestGame());
  ASSERT_TRUE(WriteWholeFile(root_.File("tmb0001.tmp"), "left by an earlier run"));
  ASSERT_TRUE(WriteWholeFile(root_.File("tmbBEEF.tmp"), TestGame()));
  FreshDirectory otherHome;
  ASSERT_TRUE(WriteGameScript(otherHome.path(), {"sleep 60000"}));
  RunningProgram otherGame;
  ASSERT_TRUE(otherGame.Start(root_.File("tmbBEEF.tmp"), otherHome.path()));

  const LauncherRun run = RunLauncher(launcher);

  ExpectCleanEnd(run);
  ExpectGameRanOnceFrom(root_.path(), TestGame().size());
  EXPECT_EQ(EntryNames(run.filesLeft),
            (std::vector<std::string>{testgame::kRecordFileName, "launcher.exe", "properties",
                                      "tmbBEEF.tmp"}));
}

}  // namespace
}  // namespace e2e
