// The game's processes and the launcher's own threads, end to end under Wine:
// a game that starts a copy of itself, and other local processes that try to
// stop the channel's worker (a debug-output monitor that never lets go,
// handshakes naming windows that never take the reply, WM_CLOSE and WM_QUIT).
// This test program plays the other processes.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "channel/channel_protocol.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_process.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/run_expectations.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/game_files.h"
#include "tests/e2e/test_game/record_text.h"
#include "tests/e2e/test_game/rendezvous.h"
#include "tests/support/win32/window_that_never_answers.h"

namespace e2e {
namespace {

constexpr char kBuildId[] = "12345678";
constexpr DWORD kMeetingTimeoutMs = 10000;
constexpr char kOk[] = "0";  // KOVA_CLIENT_OK

std::string Hex(const std::string& bytes) { return testgame::HexOfBytes(bytes); }

std::string UniqueName(const std::string& what) {
  static std::atomic<int> counter{0};
  return "kova-processes-" + what + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(GetTickCount()) + "-" + std::to_string(counter++);
}

std::vector<std::string> TempFileNames(const std::vector<FileEntry>& entries) {
  std::vector<std::string> names;
  for (const FileEntry& entry : entries) {
    if (IsLauncherTempFileName(entry.name)) names.push_back(entry.name);
  }
  return names;
}

class GameProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(TestGame().empty()) << TestGamePath();
    launcher_ = dir_.File("launcher.exe");
    ASSERT_TRUE(
        WriteSignedWrappedLauncher(launcher_, TestGame(), kDefaultPartnerDocument, kBuildId));
  }

  FreshDirectory dir_;
  std::string launcher_;
};

// ---------------------------------------------------------------------------
// A game that starts a copy of itself and ends at once. The copy lives longer
// than the launcher's five seconds of deletion attempts: a launcher that ended
// with the first process would leave the copy's file behind.

TEST_F(GameProcessesTest, LauncherWaitsForTheGamesCopyAndLeavesNothing) {
  constexpr long kCopyLifeMs = 7000;
  ASSERT_TRUE(WriteGameScript(dir_.path(), {"start self " + std::to_string(kCopyLifeMs)}));
  LaunchOptions options;
  options.timeoutMs = 60000;

  const ULONGLONG start = GetTickCount64();
  const LauncherRun run = RunLauncher(launcher_, options);
  const ULONGLONG took = GetTickCount64() - start;

  ExpectCleanEnd(run);
  EXPECT_TRUE(TempFileNames(run.filesLeft).empty());
  const std::vector<GameRun> games = ReadGameRuns(dir_.path());
  ASSERT_EQ(games.size(), 2u);
  EXPECT_NE(games[0].Get("1.started"), "0");
  EXPECT_EQ(games[1].Get("module"), games[0].Get("module"));
  // The copy ended by itself: the launcher was still there for it.
  EXPECT_EQ(games[1].Get("exit"), "0");
  EXPECT_GE(took, static_cast<ULONGLONG>(kCopyLifeMs));
}

// A program the game starts from another file (a browser, say) is not waited
// for: the launcher ends soon after the game, and the program goes on.
TEST_F(GameProcessesTest, LauncherDoesNotWaitForOtherProgramsTheGameStarted) {
  constexpr long kProgramLifeMs = 30000;
  ASSERT_TRUE(WriteWholeFile(dir_.File("other.exe"), TestGame()));
  ASSERT_TRUE(WriteGameScript(dir_.path(), {"start other.exe " + std::to_string(kProgramLifeMs)}));
  LaunchOptions options;
  options.timeoutMs = 60000;

  const ULONGLONG start = GetTickCount64();
  const LauncherRun run = RunLauncher(launcher_, options);
  const ULONGLONG took = GetTickCount64() - start;

  ExpectCleanEnd(run);
  EXPECT_TRUE(TempFileNames(run.filesLeft).empty());
  EXPECT_LT(took, static_cast<ULONGLONG>(kProgramLifeMs / 2));
  const std::vector<GameRun> games = ReadGameRuns(dir_.path());
  ASSERT_EQ(games.size(), 2u);
  EXPECT_EQ(games[0].Get("exit"), "0");
  // Still running when the launcher ended (the run's job ended it then).
  EXPECT_EQ(games[1].Get("exit"), "");
}

// ---------------------------------------------------------------------------
// A debug-output monitor's objects, made and held by another process, while
// the launcher runs with no debugger: each debugger line would wait on the
// monitor's mutex for good.

class HeldDebugMonitor {
 public:
  HeldDebugMonitor()
      : mutex_(CreateMutexA(nullptr, TRUE, "DBWinMutex")),
        buffer_(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                   "DBWIN_BUFFER")),
        bufferReady_(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY")),
        dataReady_(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY")) {}
  ~HeldDebugMonitor() { ReleaseMutex(mutex_.get()); }
  HeldDebugMonitor(const HeldDebugMonitor&) = delete;
  HeldDebugMonitor& operator=(const HeldDebugMonitor&) = delete;

  bool Made() const { return mutex_ && buffer_ && bufferReady_ && dataReady_; }

 private:
  win32::UniqueHandle mutex_;
  win32::UniqueHandle buffer_;
  win32::UniqueHandle bufferReady_;
  win32::UniqueHandle dataReady_;
};

TEST_F(GameProcessesTest, HeldDebugMonitorNeitherStopsTheAnswersNorTheLaunchersEnd) {
  constexpr DWORD kEndMs = 30000;
  ASSERT_TRUE(WriteGameScript(
      dir_.path(), {"connect", "query-loop 5 0 " + Hex("Publisher") + " " + Hex("Demo Studio")}));
  HeldDebugMonitor monitor;
  ASSERT_TRUE(monitor.Made());

  LauncherProcess process;
  ASSERT_TRUE(process.Start(launcher_));
  DWORD exitCode = 0;
  const bool ended = process.WaitForExit(kEndMs, exitCode);

  EXPECT_TRUE(ended) << "the launcher still runs " << kEndMs / 1000 << " s after its start";
  EXPECT_EQ(exitCode, 0u);
  const std::vector<GameRun> games = ReadGameRuns(dir_.path());
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(games[0].Get("1.result"), kOk);
  EXPECT_EQ(games[0].Get("2.right"), "5");
  EXPECT_EQ(games[0].Get("exit"), "0");
  if (ended) {
    EXPECT_TRUE(TempFileNames(ListDirectory(dir_.path())).empty());
  }
}

// ---------------------------------------------------------------------------
// Other processes at the channel's window while the game waits to connect.
// The game meets the meddler twice: once the meddler is at work, and once
// the game has asked.

struct Meddling {
  HWND window = nullptr;
  DWORD launcherId = 0;
  DWORD gameId = 0;
  bool Found() const { return window != nullptr && gameId != 0; }
};

Meddling FindTheChannel() {
  Meddling found;
  found.window = FindWindowExA(nullptr, nullptr, channel::kWindowClassName, nullptr);
  if (found.window != nullptr) GetWindowThreadProcessId(found.window, &found.launcherId);
  found.gameId = ChildProcessOf(found.launcherId);
  return found;
}

std::vector<std::string> ConnectScript(const std::string& meeting) {
  return {"rendezvous " + meeting + "-at-work 2", "connect", "query Publisher",
          "rendezvous " + meeting + "-done 2"};
}

void ExpectTheGameGotItsValue(const LauncherRun& run, const std::string& directory) {
  ExpectCleanEnd(run);
  EXPECT_TRUE(TempFileNames(run.filesLeft).empty());
  const std::vector<GameRun> games = ReadGameRuns(directory);
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(games[0].Get("1.rendezvous"), "ok");
  EXPECT_EQ(games[0].Get("2.result"), kOk);
  EXPECT_EQ(games[0].Get("3.result"), kOk);
  EXPECT_EQ(games[0].Get("3.value"), Hex("Demo Studio"));
  EXPECT_EQ(games[0].Get("4.rendezvous"), "ok");
}

// Three senders that know the game's id name windows of their own that never
// take the reply, as fast as they are let.
TEST_F(GameProcessesTest, HandshakesNamingOtherProcessesWindowsDoNotKeepTheGameOut) {
  constexpr int kSenders = 3;
  const std::string meeting = UniqueName("handshakes");
  ASSERT_TRUE(WriteGameScript(dir_.path(), ConnectScript(meeting)));

  std::atomic<unsigned long> sent{0};
  bool found = false;
  std::thread meddler([&] {
    const ULONGLONG deadline = GetTickCount64() + kMeetingTimeoutMs;
    Meddling channel;
    while (!(channel = FindTheChannel()).Found() && GetTickCount64() < deadline) Sleep(10);
    found = channel.Found();
    std::atomic<bool> stop{false};
    std::vector<std::thread> senders;
    if (found) {
      const UINT handshake = RegisterWindowMessageA(channel::kHandshakeMessageName);
      for (int sender = 0; sender < kSenders; ++sender) {
        senders.emplace_back([&] {
          testsupport::WindowThatNeverAnswers silent(true);
          while (!stop) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(channel.window, handshake, channel.gameId,
                                reinterpret_cast<LPARAM>(silent.window()), SMTO_NORMAL, 5000,
                                &ignored);
            ++sent;
          }
        });
      }
      Sleep(100);  // the senders are at it
    }
    testgame::MeetAt(meeting + "-at-work", 2, kMeetingTimeoutMs);
    testgame::MeetAt(meeting + "-done", 2, 30000);
    stop = true;
    for (std::thread& sender : senders) sender.join();
  });

  LaunchOptions options;
  options.timeoutMs = 90000;
  const LauncherRun run = RunLauncher(launcher_, options);
  meddler.join();

  ASSERT_TRUE(found);
  EXPECT_GT(sent.load(), 0u);
  ExpectTheGameGotItsValue(run, dir_.path());
}

struct CloseOrQuitCase {
  const char* name;
  void (*meddle)(HWND window);
};

void PrintTo(const CloseOrQuitCase& testCase, std::ostream* out) { *out << testCase.name; }

class CloseOrQuitTest : public GameProcessesTest,
                        public ::testing::WithParamInterface<CloseOrQuitCase> {};

// Another process sends or posts WM_CLOSE to the channel's window, or posts
// WM_QUIT to it or to its thread, before the game connects.
TEST_P(CloseOrQuitTest, GameStillConnectsAndGetsItsValue) {
  const std::string meeting = UniqueName("close-or-quit");
  ASSERT_TRUE(WriteGameScript(dir_.path(), ConnectScript(meeting)));

  bool found = false;
  std::thread meddler([&] {
    const ULONGLONG deadline = GetTickCount64() + kMeetingTimeoutMs;
    Meddling channel;
    while (!(channel = FindTheChannel()).Found() && GetTickCount64() < deadline) Sleep(10);
    found = channel.Found();
    if (found) {
      GetParam().meddle(channel.window);
      Sleep(300);  // an idle worker takes what was posted at once
    }
    testgame::MeetAt(meeting + "-at-work", 2, kMeetingTimeoutMs);
    testgame::MeetAt(meeting + "-done", 2, kMeetingTimeoutMs);
  });

  const LauncherRun run = RunLauncher(launcher_);
  meddler.join();

  ASSERT_TRUE(found);
  ExpectTheGameGotItsValue(run, dir_.path());
}

INSTANTIATE_TEST_SUITE_P(
    OtherProcess, CloseOrQuitTest,
    ::testing::Values(
        CloseOrQuitCase{"SendsWmClose",
                        [](HWND window) {
                          DWORD_PTR ignored = 0;
                          SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &ignored);
                        }},
        CloseOrQuitCase{"PostsWmClose", [](HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }},
        CloseOrQuitCase{"PostsWmQuitToTheWindow",
                        [](HWND window) { PostMessageA(window, WM_QUIT, 0, 0); }},
        CloseOrQuitCase{"PostsWmQuitToTheThread",
                        [](HWND window) {
                          PostThreadMessageA(GetWindowThreadProcessId(window, nullptr), WM_QUIT, 0,
                                             0);
                        }}),
    [](const ::testing::TestParamInfo<CloseOrQuitCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace e2e
