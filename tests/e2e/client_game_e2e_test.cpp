// The client library in games behind the real launcher, as games use it: two
// copies of the client in one game (the DLL and the compiled-in source), and
// a connect made only after the game has loaded for longer than the system
// gives a thread before it counts it as hung.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>
#include <thread>
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
const std::string kOk = std::to_string(KOVA_CLIENT_OK);

// The default properties plus "<tag>-<k>" -> "value of <tag>-<k>" for the
// names the two-clients game asks for.
std::string TwoClientsDocument() {
  std::string document = kDefaultPartnerDocument;
  std::string values;
  for (const char* tag : {"static", "dll"}) {
    for (int k = 0; k < 20; ++k) {
      const std::string name = std::string(tag) + "-" + std::to_string(k);
      values += "  <String id=\"" + name + "\">value of " + name + "</String>\r\n";
    }
  }
  document.insert(document.rfind("</Properties>"), values);
  return document;
}

// Both copies' queries take turns across the whole process: each of the 500
// queries of each thread gets its own name's value.
TEST(ClientCopies, TheDllAndTheCompiledInSourceTakeTurnsInOneGame) {
  FreshDirectory root;
  const std::string built = BuiltProgramPath(KOVA_CLIENT_DLL_FILE_NAME);
  ASSERT_TRUE(CopyFileA(built.c_str(), root.File("kova_client.dll").c_str(), TRUE)) << built;
  std::string game;
  ASSERT_EQ(ReadWholeFile(BuiltProgramPath(KOVA_TWO_CLIENTS_GAME_FILE_NAME), game),
            WholeFileStatus::Ok);
  const std::string launcher = root.File("launcher.exe");
  ASSERT_TRUE(WriteSignedWrappedLauncher(launcher, game, TwoClientsDocument(), kBuildId));

  const LauncherRun run = RunLauncher(launcher, {"", "", 60000});

  ExpectCleanEnd(run);
  const std::vector<GameRun> runs = ReadGameRuns(root.path());
  ASSERT_EQ(runs.size(), 1u);
  const GameRun& record = runs[0];
  EXPECT_EQ(record.Get("library"), root.File("kova_client.dll"));
  for (const char* tag : {"static", "dll"}) {
    SCOPED_TRACE(tag);
    const std::string prefix = std::string(tag) + ".";
    EXPECT_EQ(record.Get(prefix + "connect"), kOk);
    EXPECT_EQ(record.Get(prefix + "wrong"), "0");
    EXPECT_EQ(record.Get(prefix + "failed"), "0");
    EXPECT_EQ(record.Get(prefix + "right"), "500");
  }
  EXPECT_EQ(record.Get("exit"), "0");
}

// A game that has taken its messages once, loads for 6 s on its main thread
// taking none, then connects: the launcher's reply to its handshake is taken,
// and the launcher, created before the game, is trusted as its parent. Ten
// games, five at a time, each behind its own launcher.
TEST(ClientAfterALongLoad, EveryConnectIsAnswered) {
  constexpr int kGames = 10;
  constexpr int kAtOnce = 5;
  std::vector<std::unique_ptr<FreshDirectory>> roots;
  for (int game = 0; game < kGames; ++game) {
    roots.push_back(std::make_unique<FreshDirectory>());
    const FreshDirectory& root = *roots.back();
    ASSERT_TRUE(WriteSignedWrappedLauncher(root.File("launcher.exe"), TestGame(),
                                           kDefaultPartnerDocument, kBuildId));
    ASSERT_TRUE(WriteGameScript(root.path(), {"pump", "sleep 6000", "connect", "query Publisher"}));
  }
  std::vector<LauncherRun> runs(kGames);
  for (int first = 0; first < kGames; first += kAtOnce) {
    std::vector<std::thread> threads;
    for (int game = first; game < first + kAtOnce && game < kGames; ++game) {
      threads.emplace_back(
          [&, game] { runs[game] = RunLauncher(roots[game]->File("launcher.exe")); });
    }
    for (std::thread& thread : threads) thread.join();
  }

  for (int game = 0; game < kGames; ++game) {
    SCOPED_TRACE("game " + std::to_string(game));
    ExpectCleanEnd(runs[game]);
    const std::vector<GameRun> records = ReadGameRuns(roots[game]->path());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Get("3.result"), kOk);
    EXPECT_EQ(records[0].Get("3.served-by-parent"), "1");
    EXPECT_EQ(records[0].Get("4.result"), kOk);
    EXPECT_EQ(records[0].Get("4.value"), testgame::HexOfBytes("Demo Studio"));
  }
}

}  // namespace
}  // namespace e2e
