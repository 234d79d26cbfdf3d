// The harness itself, on the paths the launcher's tests do not reach yet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/payload_format.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/test_files.h"
#include "tools/gamewrap/wrap.h"

namespace e2e {
namespace {

// Any program can stand in for the launcher; the test game writes what it is told.
TEST(Harness, CatchesDebuggerOutputLineByLine) {
  FreshDirectory dir;
  const std::string program = dir.File("program.exe");
  std::string game;
  ASSERT_EQ(ReadWholeFile(TestGamePath(), game), WholeFileStatus::Ok);
  ASSERT_TRUE(WriteWholeFile(program, game));
  ASSERT_TRUE(WriteGameScript(dir.path(), {"debug first line", "debug second: 2", "exit 3"}));

  const LauncherRun run = RunLauncher(program);

  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 3u);
  EXPECT_EQ(run.debugLines, (std::vector<std::string>{"first line\r\n", "second: 2\r\n"}));
}

// The buttons are read as the box shows them, so that a box with more than OK
// cannot pass for the launcher's.
TEST(Harness, ReadsTheButtonsOfEachBox) {
  FreshDirectory dir;
  const std::string program = dir.File("program.exe");
  std::string game;
  ASSERT_EQ(ReadWholeFile(TestGamePath(), game), WholeFileStatus::Ok);
  ASSERT_TRUE(WriteWholeFile(program, game));
  ASSERT_TRUE(WriteGameScript(dir.path(), {"box 1 Go on?", "box 0 Done."}));

  const LauncherRun run = RunLauncher(program);

  EXPECT_FALSE(run.timedOut);
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_EQ(run.boxes[0].caption, "Game");
  EXPECT_EQ(run.boxes[0].text, "Go on?");
  EXPECT_EQ(run.boxes[0].buttons, (std::vector<ButtonSeen>{{IDOK, "OK"}, {IDCANCEL, "Cancel"}}));
  EXPECT_EQ(run.boxes[1].buttons, (std::vector<ButtonSeen>{{IDOK, "OK"}}));
}

// A launcher that never ends is killed at the time limit, and so is the game
// it started, which would otherwise hold its files beyond the test.
TEST(Harness, TimeLimitEndsTheLauncherAndItsGame) {
  FreshDirectory dir;
  std::string game;
  ASSERT_EQ(ReadWholeFile(TestGamePath(), game), WholeFileStatus::Ok);
  const std::string launcher = dir.File("launcher.exe");
  ASSERT_TRUE(WriteWrappedLauncher(launcher, payload::MakeAppendedData("12345678", game)));
  ASSERT_TRUE(WriteSignedPartnerProperties(dir.path(), kDefaultPartnerDocument, 12345678));
  ASSERT_TRUE(WriteGameScript(dir.path(), {"sleep 60000"}));
  LaunchOptions options;
  options.timeoutMs = 1500;

  const LauncherRun run = RunLauncher(launcher, options);

  EXPECT_TRUE(run.timedOut);
  ASSERT_EQ(ReadGameRuns(dir.path()).size(), 1u);
  const std::string gameFile = ReadGameRuns(dir.path())[0].Get("module");
  bool deleted = false;
  for (int attempt = 0; attempt < 50 && !deleted; ++attempt) {
    deleted = DeleteFileA(gameFile.c_str()) != 0;
    if (!deleted) Sleep(100);
  }
  EXPECT_TRUE(deleted) << "the game still runs from " << gameFile;
}

}  // namespace
}  // namespace e2e
