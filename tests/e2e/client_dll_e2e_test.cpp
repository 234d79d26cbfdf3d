// kova_client.dll in a game that loads it at run time, as an engine's
// foreign-function layer does (tests/e2e/dll_game): the DLL lies beside the
// wrapped launcher, the game finds it there by name, looks up every export
// and queries the real launcher through them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "client/kova_client.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/run_expectations.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/record_text.h"

namespace e2e {
namespace {

constexpr char kBuildId[] = "12345678";
constexpr char kDllName[] = "kova_client.dll";

std::string Number(long long value) { return std::to_string(value); }

class ClientDll : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string built = BuiltProgramPath(KOVA_CLIENT_DLL_FILE_NAME);
    ASSERT_TRUE(CopyFileA(built.c_str(), root_.File(kDllName).c_str(), TRUE)) << built;
    ASSERT_EQ(ReadWholeFile(BuiltProgramPath(KOVA_DLL_GAME_FILE_NAME), game_), WholeFileStatus::Ok);
  }

  // The one run of the game.
  GameRun OnlyGameRun() const {
    const std::vector<GameRun> runs = ReadGameRuns(root_.path());
    EXPECT_EQ(runs.size(), 1u);
    return runs.empty() ? GameRun() : runs[0];
  }

  FreshDirectory root_;
  std::string game_;
};

TEST_F(ClientDll, GameBehindTheLauncherQueriesThroughEveryExport) {
  const std::string launcher = root_.File("launcher.exe");
  ASSERT_TRUE(WriteSignedWrappedLauncher(launcher, game_, kDefaultPartnerDocument, kBuildId));

  const LauncherRun run = RunLauncher(launcher);

  ExpectCleanEnd(run);
  const GameRun game = OnlyGameRun();
  EXPECT_EQ(game.Get("library"), root_.File(kDllName));
  EXPECT_EQ(game.Get("missing"), "");
  EXPECT_EQ(game.Get("version"), Number(KOVA_CLIENT_VERSION));
  EXPECT_EQ(game.Get("connect"), Number(KOVA_CLIENT_OK));
  EXPECT_EQ(game.Get("connected"), "1");
  // "Demo Studio" and its NUL.
  EXPECT_EQ(game.Get("probe"), Number(KOVA_CLIENT_VALUE_TOO_LARGE));
  EXPECT_EQ(game.Get("probe-size"), "12");
  EXPECT_EQ(game.Get("query"), Number(KOVA_CLIENT_OK));
  EXPECT_EQ(game.Get("size"), "12");
  EXPECT_EQ(game.Get("value"), testgame::HexOfBytes("Demo Studio"));
  EXPECT_EQ(game.Get("query-n"), Number(KOVA_CLIENT_OK));
  EXPECT_EQ(game.Get("value-n"), testgame::HexOfBytes("Demo Studio"));
  EXPECT_EQ(game.Get("probe-text"), "the value does not fit the buffer");
  EXPECT_EQ(game.Get("guard-intact"), "1");
  EXPECT_EQ(game.Get("connected-after-disconnect"), "0");
  EXPECT_EQ(game.Get("exit"), "0");
}

// Started directly, with no launcher anywhere: the version still answers, and
// every call fails as documented instead of crashing the game.
TEST_F(ClientDll, GameWithoutALauncherGetsTheVersionAndPlainFailures) {
  const std::string game = root_.File("game.exe");
  ASSERT_TRUE(WriteWholeFile(game, game_));

  const LauncherRun run = RunLauncher(game);

  ExpectCleanEnd(run);
  const GameRun record = OnlyGameRun();
  EXPECT_EQ(record.Get("library"), root_.File(kDllName));
  EXPECT_EQ(record.Get("version"), Number(KOVA_CLIENT_VERSION));
  EXPECT_EQ(record.Get("connect"), Number(KOVA_CLIENT_NO_LAUNCHER));
  EXPECT_EQ(record.Get("connected"), "0");
  EXPECT_EQ(record.Get("probe"), Number(KOVA_CLIENT_NOT_CONNECTED));
  EXPECT_EQ(record.Get("probe-size"), "0");
  EXPECT_EQ(record.Get("probe-text"), "not connected");
  EXPECT_EQ(record.Get("guard-intact"), "1");
  EXPECT_EQ(record.Get("exit"), "0");
}

}  // namespace
}  // namespace e2e
