// Faults around a running launcher, end to end under Wine: folders it cannot
// write or fill, launchers killed or started side by side, games that crash
// or run long, and other local processes that meddle with its channel.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
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
#include "tests/support/win32/handshake_reply_window.h"
#include "tests/support/win32/window_that_never_answers.h"

namespace e2e {
namespace {

constexpr char kBuildId[] = "12345678";
constexpr char kCannotExtract[] = "Unable to extract game executable.";
constexpr DWORD kMeetingTimeoutMs = 10000;

std::string Hex(const std::string& bytes) { return testgame::HexOfBytes(bytes); }

// A name no other run of any test shares, for rendezvous objects.
std::string UniqueName(const std::string& what) {
  static std::atomic<int> counter{0};
  return "kova-faults-" + what + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(GetTickCount()) + "-" + std::to_string(counter++);
}

// Writes a launcher wrapping the test game as `directory`\`name`, with the
// default partner properties signed for it beside it.
std::string WrapTestGame(const std::string& directory, const std::string& name = "launcher.exe") {
  const std::string path = directory + "\\" + name;
  EXPECT_TRUE(WriteSignedWrappedLauncher(path, TestGame(), kDefaultPartnerDocument, kBuildId))
      << path;
  return path;
}

std::vector<std::string> RecordLines(const std::string& directory) {
  std::string record;
  ReadWholeFile(directory + "\\" + testgame::kRecordFileName, record);
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < record.size()) {
    std::string::size_type end = record.find('\n', start);
    if (end == std::string::npos) end = record.size();
    lines.push_back(record.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::size_t CountLines(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

std::vector<std::string> TempFileNames(const std::vector<FileEntry>& entries) {
  std::vector<std::string> names;
  for (const FileEntry& entry : entries) {
    if (IsLauncherTempFileName(entry.name)) names.push_back(entry.name);
  }
  return names;
}

void ExpectOnlyTheExtractionFailure(const LauncherRun& run, DWORD exitCode) {
  ASSERT_TRUE(run.started);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, exitCode);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, "Fatal Error");
  EXPECT_EQ(run.boxes[0].text, kCannotExtract);
  EXPECT_TRUE(run.debugLines.empty());
}

// What a listing shows of each entry, for comparing a folder before and after.
std::vector<std::string> Described(const std::vector<FileEntry>& entries) {
  std::vector<std::string> described;
  for (const FileEntry& entry : entries) {
    described.push_back(entry.name + " " + std::to_string(entry.attributes) + " " +
                        std::to_string(entry.size));
  }
  return described;
}

// ---------------------------------------------------------------------------
// Folders only Linux can make: read-only, and too small for the game. A native
// fixture mounts them before this program runs (faults_folders.sh).

class FaultFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reason;
    if (ReadWholeFile(WindowsPath("skip-reason"), reason) == WholeFileStatus::Ok) {
      GTEST_SKIP() << "no fault folders: " << reason;
    }
    if (!PathExists(WindowsPath("readonly")) || !PathExists(WindowsPath("full"))) {
      GTEST_SKIP() << "no fault folders under " << KOVA_FAULTS_DIR
                   << " (made by the faults_folders_setup test)";
    }
  }

  // The fixture's folder as this program sees it, through the Z: drive.
  static std::string WindowsPath(const std::string& relative) {
    std::string path = std::string("Z:") + KOVA_FAULTS_DIR + "/" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }
};

// The launcher and its signed properties were put in place before the folder
// turned read-only, beside a leftover temporary file that cannot go either.
TEST_F(FaultFolderTest, ReadOnlyFolderEndsWithSixAndChangesNothing) {
  const std::string folder = WindowsPath("readonly");
  const std::vector<FileEntry> before = ListDirectory(folder);
  const std::vector<FileEntry> propertiesBefore = ListDirectory(folder + "\\properties");
  ASSERT_EQ(EntryNames(before),
            (std::vector<std::string>{"launcher.exe", "properties", "tmb0001.tmp"}));

  const LauncherRun run = RunLauncher(folder + "\\launcher.exe");

  ExpectOnlyTheExtractionFailure(run, 6);
  EXPECT_EQ(Described(run.filesLeft), Described(before));
  EXPECT_EQ(Described(ListDirectory(folder + "\\properties")), Described(propertiesBefore));
}

// The folder holds the launcher and its properties, and less free room than
// the game needs: the copy fails part way.
TEST_F(FaultFolderTest, FullDiskEndsWithSevenAndLeavesNoTemporaryFile) {
  const std::string folder = WindowsPath("full") + "\\run";
  RemoveTree(folder);
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string launcher = WrapTestGame(folder);
  ULARGE_INTEGER available = {}, total = {}, free = {};
  ASSERT_TRUE(GetDiskFreeSpaceExA((folder + "\\").c_str(), &available, &total, &free));
  const std::uint64_t room = TestGame().size() / 2;
  ASSERT_GT(available.QuadPart, room) << "the folder is already full";
  ASSERT_TRUE(
      WriteWholeFile(folder + "\\filler.bin",
                     std::string(static_cast<std::size_t>(available.QuadPart - room), 'f')));
  const std::vector<FileEntry> before = ListDirectory(folder);

  const LauncherRun run = RunLauncher(launcher);

  ExpectOnlyTheExtractionFailure(run, 7);
  EXPECT_EQ(EntryNames(run.filesLeft), EntryNames(before));
  RemoveTree(folder);
}

// ---------------------------------------------------------------------------
// Launchers in one folder: killed, or started side by side.

class LaunchersInOneFolder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(TestGame().empty()) << TestGamePath(); }

  FreshDirectory root_;
};

// A killed launcher cannot delete its file; the game it started still runs
// from it. The next launcher leaves that file alone while the game runs, and
// the one after that, once the game has ended, removes it.
TEST_F(LaunchersInOneFolder, KilledLaunchersFileStaysWhileItsGameRunsAndGoesAfter) {
  const std::string launcher = WrapTestGame(root_.path());
  const std::string started = UniqueName("started");
  ASSERT_TRUE(WriteGameScript(root_.path(), {"rendezvous " + started + " 1", "sleep 60000"}));
  LauncherProcess killed;
  ASSERT_TRUE(killed.Start(launcher));
  // The game has read its whole script once it has recorded its first line.
  const ULONGLONG deadline = GetTickCount64() + kMeetingTimeoutMs;
  while (CountLines(RecordLines(root_.path()), "1.rendezvous=ok") == 0 &&
         GetTickCount64() < deadline) {
    Sleep(20);
  }
  ASSERT_EQ(CountLines(RecordLines(root_.path()), "1.rendezvous=ok"), 1u);
  killed.KillLauncherOnly();
  ASSERT_TRUE(killed.GameRunning());
  const std::vector<std::string> leftBehind = TempFileNames(ListDirectory(root_.path()));
  ASSERT_EQ(leftBehind.size(), 1u);

  ASSERT_TRUE(WriteGameScript(root_.path(), {"sleep 50"}));
  const LauncherRun whileGameRuns = RunLauncher(launcher);
  ExpectCleanEnd(whileGameRuns);
  EXPECT_EQ(TempFileNames(whileGameRuns.filesLeft), leftBehind);

  killed.KillAll();
  const LauncherRun afterGameEnded = RunLauncher(launcher);
  ExpectCleanEnd(afterGameEnded);
  EXPECT_TRUE(TempFileNames(afterGameEnded.filesLeft).empty());
  EXPECT_EQ(CountLines(RecordLines(root_.path()), "run"), 3u);
}

class SideBySideTest : public LaunchersInOneFolder, public ::testing::WithParamInterface<int> {};

// All games run at once (they meet before they ask and again before they
// end), each extracted from its own file, each answered by its own launcher
// only: a launcher writes exactly one debugger line per query of its game.
TEST_P(SideBySideTest, EachRunsAndAnswersItsOwnGameAndAllFilesGo) {
  const int launchers = GetParam();
  constexpr int kQueries = 20;
  const std::string launcher = WrapTestGame(root_.path());
  const std::string meeting = UniqueName("side-by-side");
  const std::string count = std::to_string(launchers);
  ASSERT_TRUE(WriteGameScript(root_.path(), {"rendezvous " + meeting + "-start " + count, "connect",
                                             "query-loop " + std::to_string(kQueries) + " 0 " +
                                                 Hex("Publisher") + " " + Hex("Demo Studio"),
                                             "rendezvous " + meeting + "-end " + count}));

  std::vector<LauncherRun> runs(static_cast<std::size_t>(launchers));
  std::vector<std::thread> threads;
  for (LauncherRun& run : runs)
    threads.emplace_back([&run, &launcher] { run = RunLauncher(launcher); });
  for (std::thread& thread : threads) thread.join();

  for (const LauncherRun& run : runs) {
    ExpectCleanEnd(run);
    EXPECT_EQ(run.debugLines.size(), static_cast<std::size_t>(kQueries));
  }
  const std::vector<std::string> lines = RecordLines(root_.path());
  const std::size_t all = static_cast<std::size_t>(launchers);
  std::set<std::string> modules;
  for (const std::string& line : lines) {
    if (line.rfind("module=", 0) == 0) modules.insert(line);
  }
  EXPECT_EQ(modules.size(), all) << "each game runs from a file of its own";
  EXPECT_EQ(CountLines(lines, "1.rendezvous=ok"), all);
  EXPECT_EQ(CountLines(lines, "2.served-by-parent=1"), all);
  EXPECT_EQ(CountLines(lines, "3.right=" + std::to_string(kQueries)), all);
  EXPECT_EQ(CountLines(lines, "4.rendezvous=ok"), all);
  EXPECT_EQ(CountLines(lines, "exit=0"), all);
  EXPECT_TRUE(TempFileNames(ListDirectory(root_.path())).empty());
}

INSTANTIATE_TEST_SUITE_P(Launchers, SideBySideTest, ::testing::Values(2, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::to_string(info.param) + "AtOnce";
                         });

// ---------------------------------------------------------------------------
// Games that end badly, never ask, or run long.

struct GameCase {
  const char* name;
  std::vector<std::string> script;
  DWORD timeoutMs;
};

class GameBehaviourTest : public LaunchersInOneFolder,
                          public ::testing::WithParamInterface<GameCase> {};

TEST_P(GameBehaviourTest, LauncherEndsWithZeroAndLeavesNothing) {
  const std::string launcher = WrapTestGame(root_.path());
  ASSERT_TRUE(WriteGameScript(root_.path(), GetParam().script));
  LaunchOptions options;
  options.timeoutMs = GetParam().timeoutMs;

  const LauncherRun run = RunLauncher(launcher, options);

  ExpectCleanEnd(run);
  EXPECT_EQ(EntryNames(run.filesLeft),
            (std::vector<std::string>{testgame::kRecordFileName, testgame::kScriptFileName,
                                      "launcher.exe", "properties"}));
  const std::vector<GameRun> games = ReadGameRuns(root_.path());
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(games[0].Get("error"), "");
  const GameRun& game = games[0];
  if (!game.Get("2.queries").empty()) {
    // The long-running game: every one of its many queries was answered right.
    EXPECT_GT(std::stoul(game.Get("2.queries")), 100u);
    EXPECT_EQ(game.Get("2.right"), game.Get("2.queries"));
    EXPECT_EQ(run.debugLines.size(), std::stoul(game.Get("2.queries")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Games, GameBehaviourTest,
    ::testing::Values(
        GameCase{"Crashes", {"connect", "query Publisher", "crash"}, 30000},
        GameCase{"NeverQueries", {"sleep 300"}, 30000}, GameCase{"EndsAtOnce", {"exit 3"}, 30000},
        GameCase{"Runs30SecondsQuerying",
                 {"connect", "query-loop 0 30000 " + Hex("Publisher") + " " + Hex("Demo Studio")},
                 60000}),
    [](const ::testing::TestParamInfo<GameCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Other local processes meddling with the channel while the game asks. This
// test program plays them: it shares the desktop and the object names.

// The shared block of `window`, mapped into this process; null when it cannot be.
struct ForeignBlock {
  win32::UniqueHandle mapping;
  win32::UniqueMappedView view;

  explicit ForeignBlock(HWND window) {
    const std::string name = channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(window));
    mapping.reset(OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name.c_str()));
    if (mapping) {
      view.reset(
          MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, channel::kBlockSize));
    }
  }
  unsigned char* bytes() const { return static_cast<unsigned char*>(view.get()); }
};

void WriteLengthWord(unsigned char* block, std::uint32_t length) {
  volatile unsigned char* word = block;
  for (int at = 0; at < 4; ++at) word[at] = static_cast<unsigned char>(length >> (8 * at));
}

// Lengths that no request may have.
constexpr std::uint32_t kHostileLengths[] = {65533, 70000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};

class HostileProcessTest : public LaunchersInOneFolder {};

// The meddler's side of the test, on a thread of this process.
struct MeddlerReport {
  bool sawWindow = false;
  bool metAll = false;
  unsigned long rewrites = 0;
  unsigned long handshakes = 0;
  unsigned long handshakeReplies = 0;
  unsigned long refusedQueries = 0;   // hostile length words, refused with the block untouched
  unsigned long answeredQueries = 0;  // ... answered or changing the block (none may be)
};

// While the game asks again and again, another process rewrites the block's
// length word with impossible values, sends handshakes with wrong process
// ids and with lParam values that are no windows, and queries with lParam 0.
// Then, while the game waits, it sends queries with impossible length words.
// The launcher answers none of that and keeps running, and what the game is
// told is right or refused, never wrong.
TEST_F(HostileProcessTest, MeddlingNeitherCrashesTheLauncherNorMisleadsTheGame) {
  const std::string launcher = WrapTestGame(root_.path());
  const std::string meeting = UniqueName("hostile");
  ASSERT_TRUE(WriteGameScript(
      root_.path(),
      {"connect", "rendezvous " + meeting + "-1 2",
       "query-loop 0 2500 " + Hex("Publisher") + " " + Hex("Demo Studio"),
       "rendezvous " + meeting + "-2 2", "rendezvous " + meeting + "-3 2", "query Publisher"}));

  MeddlerReport report;
  std::thread meddler([&] {
    const auto meet = [&](const char* which) {
      return testgame::MeetAt(meeting + which, 2, kMeetingTimeoutMs) ==
             testgame::RendezvousResult::Met;
    };
    report.metAll = meet("-1");
    const HWND window = FindWindowExA(nullptr, nullptr, channel::kWindowClassName, nullptr);
    DWORD launcherId = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &launcherId);
    const DWORD gameId = ChildProcessOf(launcherId);
    ForeignBlock block(window);
    report.sawWindow = window != nullptr && gameId != 0 && block.bytes() != nullptr;
    if (!report.sawWindow) return;
    const UINT handshake = RegisterWindowMessageA(channel::kHandshakeMessageName);
    const UINT query = RegisterWindowMessageA(channel::kQueryMessageName);
    testsupport::HandshakeReplyWindow own;

    std::atomic<bool> stop{false};
    std::thread rewriter([&] {
      for (std::size_t turn = 0; !stop; ++turn) {
        WriteLengthWord(block.bytes(), kHostileLengths[turn % std::size(kHostileLengths)]);
        ++report.rewrites;
        Sleep(1);
      }
    });
    const DWORD wrongIds[] = {0, GetCurrentProcessId(), launcherId, gameId + 4, 0xFFFFFFFF};
    const LPARAM notWindows[] = {0, 1, 0x12345678, -1};
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (GetTickCount64() < deadline) {
      DWORD_PTR result = 0;
      for (DWORD id : wrongIds) {
        SendMessageTimeoutA(window, handshake, id, reinterpret_cast<LPARAM>(own.window()),
                            SMTO_NORMAL, 2000, &result);
        ++report.handshakes;
      }
      for (LPARAM notWindow : notWindows) {
        SendMessageTimeoutA(window, handshake, gameId, notWindow, SMTO_NORMAL, 2000, &result);
        ++report.handshakes;
      }
      SendMessageTimeoutA(window, query, 0, 0, SMTO_NORMAL, 2000, &result);
    }
    stop = true;
    rewriter.join();
    report.handshakeReplies = static_cast<unsigned long>(own.replies().size());

    report.metAll = meet("-2") && report.metAll;
    std::memset(block.bytes() + channel::kLengthFieldSize, 'q', 32);
    for (std::uint32_t length : kHostileLengths) {
      WriteLengthWord(block.bytes(), length);
      const std::vector<unsigned char> before(block.bytes(), block.bytes() + channel::kBlockSize);
      DWORD_PTR result = 0;
      SendMessageTimeoutA(window, query, 0, 1, SMTO_NORMAL, 2000, &result);
      const bool untouched = std::equal(before.begin(), before.end(), block.bytes());
      if (static_cast<std::int32_t>(result) == channel::kQueryFailed && untouched) {
        ++report.refusedQueries;
      } else {
        ++report.answeredQueries;
      }
    }
    report.metAll = meet("-3") && report.metAll;
  });

  LaunchOptions options;
  options.timeoutMs = 60000;
  const LauncherRun run = RunLauncher(launcher, options);
  meddler.join();

  ExpectCleanEnd(run);
  ASSERT_TRUE(report.sawWindow);
  EXPECT_TRUE(report.metAll);
  EXPECT_GT(report.rewrites, 0u);
  EXPECT_GT(report.handshakes, 0u);
  EXPECT_EQ(report.handshakeReplies, 0u);
  EXPECT_EQ(report.refusedQueries, std::size(kHostileLengths));
  EXPECT_EQ(report.answeredQueries, 0u);
  const std::vector<GameRun> games = ReadGameRuns(root_.path());
  ASSERT_EQ(games.size(), 1u);
  const GameRun& game = games[0];
  EXPECT_EQ(game.Get("exit"), "0");
  EXPECT_EQ(game.Get("3.wrong"), "0");
  EXPECT_NE(game.Get("3.right"), "0");
  EXPECT_EQ(game.Get("6.value"), Hex("Demo Studio"));
  std::printf("game's queries: %s right, %s refused; %lu rewrites, %lu hostile handshakes\n",
              game.Get("3.right").c_str(), game.Get("3.failed").c_str(), report.rewrites,
              report.handshakes);
}

struct SilentWindowCase {
  const char* name;
  bool looksAlive;
  int handshakes;
};

class SilentHandshakeWindowTest : public HostileProcessTest,
                                  public ::testing::WithParamInterface<SilentWindowCase> {};

// While the game runs, another process that knows the game's process id posts
// handshakes naming a window that never takes the reply. The launcher must
// not wait on that window for good: it ends with 0 within a few seconds of
// the game's end, and its temporary file goes.
TEST_P(SilentHandshakeWindowTest, LauncherEndsSoonAfterTheGameAndLeavesNothing) {
  constexpr DWORD kEndAfterGameMs = 8000;
  const std::string launcher = WrapTestGame(root_.path());
  const std::string meeting = UniqueName("silent");
  ASSERT_TRUE(
      WriteGameScript(root_.path(), {"connect", "rendezvous " + meeting + " 2", "sleep 300"}));
  testsupport::WindowThatNeverAnswers silent(GetParam().looksAlive);
  ASSERT_NE(silent.window(), nullptr);

  bool posted = false;
  bool gameEnded = false;
  bool launcherEndedInTime = false;
  std::size_t repliesTaken = 0;
  std::thread meddler([&] {
    if (testgame::MeetAt(meeting, 2, kMeetingTimeoutMs) != testgame::RendezvousResult::Met) return;
    const HWND window = FindWindowExA(nullptr, nullptr, channel::kWindowClassName, nullptr);
    DWORD launcherId = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &launcherId);
    const DWORD gameId = ChildProcessOf(launcherId);
    const win32::UniqueHandle launcherProcess(OpenProcess(SYNCHRONIZE, FALSE, launcherId));
    const win32::UniqueHandle gameProcess(OpenProcess(SYNCHRONIZE, FALSE, gameId));
    if (!launcherProcess || !gameProcess) return;
    const UINT handshake = RegisterWindowMessageA(channel::kHandshakeMessageName);
    posted = true;
    for (int count = 0; count < GetParam().handshakes; ++count) {
      posted =
          PostMessageA(window, handshake, gameId, reinterpret_cast<LPARAM>(silent.window())) != 0 &&
          posted;
    }
    gameEnded = WaitForSingleObject(gameProcess.get(), kMeetingTimeoutMs) == WAIT_OBJECT_0;
    launcherEndedInTime =
        WaitForSingleObject(launcherProcess.get(), kEndAfterGameMs) == WAIT_OBJECT_0;
    // Only now may the window go, which would free a launcher still waiting on it.
    repliesTaken = silent.Release();
  });

  LaunchOptions options;
  options.timeoutMs = 120000;
  const LauncherRun run = RunLauncher(launcher, options);
  meddler.join();

  EXPECT_TRUE(posted);
  EXPECT_TRUE(gameEnded);
  EXPECT_TRUE(launcherEndedInTime)
      << "the launcher did not end within " << kEndAfterGameMs / 1000 << " s of the game's end";
  ExpectCleanEnd(run);
  EXPECT_TRUE(TempFileNames(run.filesLeft).empty());
  const std::vector<GameRun> games = ReadGameRuns(root_.path());
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(games[0].Get("1.result"), "0");
  EXPECT_EQ(games[0].Get("exit"), "0");
  EXPECT_EQ(repliesTaken, 0u) << "the window took a reply after all";
}

INSTANTIATE_TEST_SUITE_P(HostileProcess, SilentHandshakeWindowTest,
                         ::testing::Values(SilentWindowCase{"WindowThreadWaitsForever", false, 1},
                                           SilentWindowCase{"FloodNamingAWindowThatLooksAlive",
                                                            true, 20}),
                         [](const ::testing::TestParamInfo<SilentWindowCase>& info) {
                           return std::string(info.param.name);
                         });

struct UserDataCase {
  const char* name;
  LONG_PTR value;
};

class OverwrittenUserDataTest : public HostileProcessTest,
                                public ::testing::WithParamInterface<UserDataCase> {};

// Another process overwrites the user data of the launcher's window before
// the game asks: the game gets the right value or a failure, never a wrong
// value, and the launcher ends normally.
TEST_P(OverwrittenUserDataTest, GameIsNeverToldAWrongValue) {
  const std::string launcher = WrapTestGame(root_.path());
  const std::string meeting = UniqueName("user-data");
  ASSERT_TRUE(WriteGameScript(
      root_.path(), {"connect", "rendezvous " + meeting + "-1 2", "rendezvous " + meeting + "-2 2",
                     "query-loop 20 0 " + Hex("Publisher") + " " + Hex("Demo Studio")}));

  bool overwritten = false;
  std::thread meddler([&] {
    if (testgame::MeetAt(meeting + "-1", 2, kMeetingTimeoutMs) != testgame::RendezvousResult::Met)
      return;
    const HWND window = FindWindowExA(nullptr, nullptr, channel::kWindowClassName, nullptr);
    if (window != nullptr) {
      SetWindowLongPtrA(window, GWLP_USERDATA, GetParam().value);
      overwritten = GetWindowLongPtrA(window, GWLP_USERDATA) == GetParam().value;
    }
    testgame::MeetAt(meeting + "-2", 2, kMeetingTimeoutMs);
  });

  const LauncherRun run = RunLauncher(launcher);
  meddler.join();

  ExpectCleanEnd(run);
  EXPECT_TRUE(overwritten);
  const std::vector<GameRun> games = ReadGameRuns(root_.path());
  ASSERT_EQ(games.size(), 1u);
  const GameRun& game = games[0];
  EXPECT_EQ(game.Get("1.result"), "0");
  EXPECT_EQ(game.Get("4.queries"), "20");
  EXPECT_EQ(game.Get("4.wrong"), "0");
  EXPECT_NE(game.Get("4.right"), "0");
  EXPECT_TRUE(TempFileNames(run.filesLeft).empty());
}

INSTANTIATE_TEST_SUITE_P(HostileProcess, OverwrittenUserDataTest,
                         ::testing::Values(UserDataCase{"Null", 0},
                                           UserDataCase{"NotAPointer", 0x10}),
                         [](const ::testing::TestParamInfo<UserDataCase>& info) {
                           return std::string(info.param.name);
                         });

// Blocks made under the names the launcher's window is likely to get, before
// it starts. Window handles are reused: the slots this process frees last are
// handed out next, each with its reuse count one higher. So this squatter
// takes a few handles, frees them again in the order that makes the system
// hand them out in turn, and squats the names of each with its next few reuse
// counts.
class NameSquatter {
 public:
  void SquatLikelyNames() {
    constexpr int kWindows = 16;
    constexpr unsigned kReuses = 4;
    std::vector<HWND> windows;
    for (int taken = 0; taken < kWindows; ++taken) {
      windows.push_back(CreateWindowExA(0, "STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        nullptr, nullptr));
    }
    for (auto window = windows.rbegin(); window != windows.rend(); ++window) DestroyWindow(*window);
    for (HWND window : windows) {
      const auto value = static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(window));
      for (unsigned reuse = 1; reuse <= kReuses; ++reuse) {
        Squat((value & 0xFFFF) | ((value + (reuse << 16)) & 0xFFFF0000u));
      }
    }
  }

  bool Squatted(HWND window) const {
    return blocks_.count(channel::BlockNameForWindow(reinterpret_cast<uintptr_t>(window))) != 0;
  }

 private:
  void Squat(std::uint32_t handleValue) {
    const std::string name = channel::BlockNameForWindow(handleValue);
    win32::UniqueHandle block(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                 static_cast<DWORD>(channel::kBlockSize),
                                                 name.c_str()));
    if (block) blocks_.emplace(name, std::move(block));
  }

  std::map<std::string, win32::UniqueHandle> blocks_;
};

TEST_F(HostileProcessTest, SquattedBlockNameRefusesQueriesAndNeverWritesIntoTheSquattersBlock) {
  const std::string launcher = WrapTestGame(root_.path());
  ASSERT_TRUE(WriteGameScript(
      root_.path(),
      {"connect", "query-loop 10 0 " + Hex("Publisher") + " " + Hex("Demo Studio"), "sleep 200"}));
  NameSquatter squatter;
  squatter.SquatLikelyNames();

  LauncherProcess process;
  ASSERT_TRUE(process.Start(launcher));
  const HWND window = WaitForChannelWindow(process.processId(), kMeetingTimeoutMs);
  DWORD exitCode = 0;
  ASSERT_TRUE(process.WaitForExit(30000, exitCode));
  EXPECT_EQ(exitCode, 0u);
  ASSERT_NE(window, nullptr);

  const std::vector<GameRun> games = ReadGameRuns(root_.path());
  ASSERT_EQ(games.size(), 1u);
  const GameRun& game = games[0];
  EXPECT_EQ(game.Get("1.result"), "0");  // the handshake goes on without a block
  EXPECT_EQ(game.Get("2.queries"), "10");
  EXPECT_EQ(game.Get("2.wrong"), "0");
  // Without a block of its own the launcher refuses every query, and never
  // answers into the squatter's.
  ASSERT_TRUE(squatter.Squatted(window)) << "the launcher's window got a name not squatted";
  EXPECT_EQ(game.Get("2.failed"), "10");
  ForeignBlock squatted(window);
  ASSERT_NE(squatted.bytes(), nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(squatted.bytes()) + 4, 9), "Publisher");
  EXPECT_EQ(squatted.bytes()[0], 9);
  EXPECT_TRUE(TempFileNames(ListDirectory(root_.path())).empty());
}

}  // namespace
}  // namespace e2e
