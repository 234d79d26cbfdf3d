// A game whose main program is started by a bootstrap, behind the real
// launcher under Wine: the bootstrap is the wrapped program, and the real game
// (the test game, beside the launcher) is the launcher's grandchild. A copy
// of the test game that this test starts beside it, outside the game's job,
// plays a foreign process that tries to connect.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/run_expectations.h"
#include "tests/e2e/harness/running_program.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/game_files.h"
#include "tests/e2e/test_game/record_text.h"

namespace e2e {
namespace {

constexpr char kBuildId[] = "12345678";
const std::string kOk = "0";       // KOVA_CLIENT_OK
const std::string kNoReply = "3";  // KOVA_CLIENT_NO_REPLY

std::string UniqueName(const std::string& what) {
  static std::atomic<int> counter{0};
  return "kova-bootstrap-" + what + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(GetTickCount()) + "-" + std::to_string(counter++);
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& each : lines) {
    if (each == line) return true;
  }
  return false;
}

// The wrapped bootstrap starts the real game; the real game connects and gets
// its values while the foreign process, started by this test beside it in the
// launcher's folder, is refused with its own id both by a raw handshake and
// through the client.
TEST(BootstrappedGame, GetsItsValuesBehindTheLauncherAndAForeignProcessDoesNot) {
  FreshDirectory dir;
  FreshDirectory foreignHome;
  std::string bootstrap;
  ASSERT_EQ(ReadWholeFile(BuiltProgramPath(KOVA_BOOTSTRAP_GAME_FILE_NAME), bootstrap),
            WholeFileStatus::Ok);
  ASSERT_FALSE(TestGame().empty());
  ASSERT_TRUE(WriteWholeFile(dir.File(testgame::kBootstrappedGameFileName), TestGame()));
  const std::string foreign = dir.File("foreign.exe");
  ASSERT_TRUE(WriteWholeFile(foreign, TestGame()));
  const std::string launcher = dir.File("launcher.exe");
  ASSERT_TRUE(WriteSignedWrappedLauncher(launcher, bootstrap, kDefaultPartnerDocument, kBuildId));

  const std::string meeting = UniqueName("meeting");
  ASSERT_TRUE(WriteGameScript(
      dir.path(), {"connect", "query Publisher", "rendezvous " + meeting + "-connected 2",
                   "rendezvous " + meeting + "-done 2", "query ProdName"}));
  ASSERT_TRUE(WriteGameScript(
      foreignHome.path(), {"rendezvous " + meeting + "-connected 2", "raw-handshake own", "connect",
                           "rendezvous " + meeting + "-done 2"}));
  RunningProgram foreignProgram;
  ASSERT_TRUE(foreignProgram.Start(foreign, foreignHome.path()));

  LaunchOptions options;
  options.timeoutMs = 60000;
  const LauncherRun run = RunLauncher(launcher, options);
  ExpectCleanEnd(run);

  const std::vector<GameRun> games = ReadGameRuns(dir.path());
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(games[0].Get("module"), dir.File(testgame::kBootstrappedGameFileName));
  EXPECT_EQ(games[0].Get("1.result"), kOk);
  EXPECT_EQ(games[0].Get("1.served-by-parent"), "0");
  EXPECT_EQ(games[0].Get("2.result"), kOk);
  EXPECT_EQ(games[0].Get("2.value"), testgame::HexOfBytes("Demo Studio"));
  EXPECT_EQ(games[0].Get("3.rendezvous"), "ok");
  EXPECT_EQ(games[0].Get("5.value"), testgame::HexOfBytes("DemoGame"));
  EXPECT_EQ(games[0].Get("exit"), "0");
  // The launcher's debugger lines are those of the real game's two queries.
  EXPECT_EQ(run.debugLines.size(), 2u);
  EXPECT_TRUE(Contains(run.debugLines, "Got string request: Publisher(9) -> Demo Studio(11)\r\n"));
  EXPECT_TRUE(Contains(run.debugLines, "Got string request: ProdName(8) -> DemoGame(8)\r\n"));

  const std::vector<GameRun> foreigners = ReadGameRuns(foreignHome.path());
  ASSERT_EQ(foreigners.size(), 1u);
  EXPECT_EQ(foreigners[0].Get("1.rendezvous"), "ok");
  EXPECT_NE(foreigners[0].Get("2.windows"), "0");  // it saw the launcher's window
  EXPECT_EQ(foreigners[0].Get("2.replies"), "0");
  EXPECT_EQ(foreigners[0].Get("3.result"), kNoReply);
  EXPECT_EQ(foreigners[0].Get("4.rendezvous"), "ok");
}

}  // namespace
}  // namespace e2e
