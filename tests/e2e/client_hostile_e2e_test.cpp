// The client library in a game behind the real launcher, while another
// process keeps windows of the launcher's class: a fake launcher that answers
// every handshake and serves values from a block of its own, or windows that
// hang. The test program plays that other process; its windows exist before
// the launcher starts and are listed ahead of the launcher's.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/run_expectations.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/record_text.h"
#include "tests/support/win32/stand_in_launcher.h"

namespace e2e {
namespace {

constexpr char kBuildId[] = "12345678";
// The test game connects with the client's default time-out.
constexpr unsigned long kConnectTimeoutMs = 2000;

struct HostileCase {
  const char* name;
  testsupport::StandInBehaviour behaviour;
  int windows;
};

void PrintTo(const HostileCase& testCase, std::ostream* out) { *out << testCase.name; }

testsupport::StandInBehaviour Behaviour(bool hung, const std::string& valuePrefix) {
  testsupport::StandInBehaviour behaviour;
  behaviour.hung = hung;
  behaviour.valuePrefix = valuePrefix;
  return behaviour;
}

class ClientAmongHostileWindows : public ::testing::TestWithParam<HostileCase> {};

TEST_P(ClientAmongHostileWindows, GameGetsItsLaunchersValuesWithinOneTimeOut) {
  std::vector<std::unique_ptr<testsupport::StandInLauncher>> hostile;
  for (int window = 0; window < GetParam().windows; ++window) {
    hostile.push_back(std::make_unique<testsupport::StandInLauncher>(GetParam().behaviour));
  }

  FreshDirectory directory;
  const std::string launcher = directory.File("launcher.exe");
  ASSERT_TRUE(WriteSignedWrappedLauncher(launcher, TestGame(), kDefaultPartnerDocument, kBuildId));
  ASSERT_TRUE(WriteGameScript(directory.path(), {"connect", "query Publisher"}));

  const LauncherRun run = RunLauncher(launcher);
  ExpectCleanEnd(run);
  const std::vector<GameRun> games = ReadGameRuns(directory.path());
  ASSERT_EQ(games.size(), 1u);
  const GameRun& game = games[0];
  EXPECT_EQ(game.Get("1.result"), "0");
  EXPECT_EQ(game.Get("1.served-by-parent"), "1");
  // Hung windows asked one after another would cost a time-out each.
  EXPECT_LT(std::stoul("0" + game.Get("1.milliseconds")), kConnectTimeoutMs);
  EXPECT_EQ(game.Get("2.result"), "0");
  EXPECT_EQ(game.Get("2.value"), testgame::HexOfBytes("Demo Studio"));
  for (const auto& window : hostile) EXPECT_TRUE(window->requests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Client, ClientAmongHostileWindows,
    ::testing::Values(HostileCase{"FakeLauncherAnsweringEveryHandshake", Behaviour(false, "fake: "),
                                  1},
                      HostileCase{"HungWindowsOfTheLaunchersClass", Behaviour(true, ""), 3}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
