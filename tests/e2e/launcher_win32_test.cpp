// The launcher's Win32 steps, called in this process on files of a fresh
// directory: removal of stale temporary files, deletion with retries, the
// temporary file's name, and the start of the game.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "channel/channel_protocol.h"
#include "channel/win32/game_channel.h"
#include "common/launcher_state.h"
#include "common/win32/process_text.h"
#include "launcher/win32/game_process.h"
#include "launcher/win32/startup.h"
#include "launcher/win32/temp_files.h"
#include "payload/payload_format.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_process.h"
#include "tests/e2e/harness/running_program.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/support/win32/handshake_reply_window.h"

namespace e2e {
namespace {

// Points the launcher's state at a fresh directory, as if the launcher had
// been started from there, and puts everything back afterwards.
class LauncherDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = GetLauncherState();
    GetLauncherState().modulePath = dir_.File("launcher.exe");
    GetLauncherState().appDirectory = dir_.path() + "\\";
  }
  void TearDown() override { GetLauncherState() = saved_; }

  void MakeFile(const std::string& name) const {
    ASSERT_TRUE(WriteWholeFile(dir_.File(name), "x"));
  }

  // Runs a copy of the test game named `name` in this directory until the
  // test ends: a file that a running game holds, as another launcher's game
  // holds its temporary file.
  void HoldFileByRunningIt(const std::string& name) {
    std::string game;
    ASSERT_EQ(ReadWholeFile(TestGamePath(), game), WholeFileStatus::Ok);
    ASSERT_TRUE(WriteWholeFile(dir_.File(name), game));
    const std::string elsewhere = holderHome_.path();
    ASSERT_TRUE(WriteGameScript(elsewhere, {"sleep 60000"}));
    ASSERT_TRUE(holder_.Start(dir_.File(name), elsewhere));
  }

  FreshDirectory dir_;
  FreshDirectory holderHome_;
  RunningProgram holder_;
  LauncherState saved_;
};

struct StaleNameCase {
  const char* name;
  const char* entry;
  bool isDirectory;
  bool removed;
};

class StaleNameTest : public LauncherDirectoryTest,
                      public ::testing::WithParamInterface<StaleNameCase> {};

TEST_P(StaleNameTest, RemovesOnlyTheLaunchersOwnNameForm) {
  const StaleNameCase& c = GetParam();
  const std::string path = dir_.File(c.entry);
  if (c.isDirectory) {
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
  } else {
    MakeFile(c.entry);
  }
  RemoveStaleTempFiles();
  EXPECT_EQ(PathExists(path), !c.removed);
}

INSTANTIATE_TEST_SUITE_P(
    Names, StaleNameTest,
    ::testing::Values(StaleNameCase{"UpperHexLowerExtension", "tmb00FF.tmp", false, true},
                      StaleNameCase{"UpperHexUpperExtension", "tmb00FF.TMP", false, true},
                      StaleNameCase{"MixedCaseExtension", "tmbA9B0.tMp", false, true},
                      StaleNameCase{"LowerHexDigits", "tmb00ff.tmp", false, false},
                      StaleNameCase{"UpperCasePrefix", "TMB00FF.tmp", false, false},
                      StaleNameCase{"NonHexDigit", "tmb00FG.tmp", false, false},
                      StaleNameCase{"LongerExtension", "tmb00FF.tmpx", false, false},
                      StaleNameCase{"ThreeDigits", "tmb0FF.tmp", false, false},
                      StaleNameCase{"FiveDigits", "tmb00FFF.tmp", false, false},
                      StaleNameCase{"OtherExtension", "tmb00FF.txt", false, false},
                      StaleNameCase{"OtherPrefix", "abc00FF.tmp", false, false}),
    [](const ::testing::TestParamInfo<StaleNameCase>& info) {
      return std::string(info.param.name);
    });

// A directory of the name form stays, and the sweep goes on past it.
TEST_F(LauncherDirectoryTest, DirectoryOfTheNameFormStaysAndTheSweepGoesOn) {
  ASSERT_TRUE(CreateDirectoryA(dir_.File("tmb8000.tmp").c_str(), nullptr));
  for (const char* name : {"tmb0001.tmp", "tmb7FFF.tmp", "tmb8001.tmp", "tmbFFFF.tmp"}) {
    MakeFile(name);
  }

  RemoveStaleTempFiles();

  EXPECT_EQ(EntryNames(ListDirectory(dir_.path())), std::vector<std::string>{"tmb8000.tmp"});
}

TEST_F(LauncherDirectoryTest, StaleFileInUseStaysAndTheOthersGo) {
  MakeFile("tmb0001.tmp");
  MakeFile("tmb0002.TMP");
  MakeFile("tmb00ab.tmp");
  MakeFile("notes.tmp");
  HoldFileByRunningIt("tmbBEEF.tmp");

  RemoveStaleTempFiles();

  EXPECT_EQ(EntryNames(ListDirectory(dir_.path())),
            (std::vector<std::string>{"notes.tmp", "tmb00ab.tmp", "tmbBEEF.tmp"}));
}

// Should the launcher's directory not have become current, the files of the
// current directory are still not touched.
TEST_F(LauncherDirectoryTest, StaleFilesAreRemovedFromTheLaunchersDirectoryOnly) {
  FreshDirectory current;
  ASSERT_TRUE(WriteWholeFile(current.File("tmb0001.tmp"), "x"));
  MakeFile("tmb0001.tmp");
  char saved[MAX_PATH];
  GetCurrentDirectoryA(sizeof(saved), saved);
  ASSERT_TRUE(SetCurrentDirectoryA(current.path().c_str()));

  RemoveStaleTempFiles();

  SetCurrentDirectoryA(saved);
  EXPECT_FALSE(PathExists(dir_.File("tmb0001.tmp")));
  EXPECT_TRUE(PathExists(current.File("tmb0001.tmp")));
}

TEST_F(LauncherDirectoryTest, DeleteWithRetriesGivesUpOnAFileInUseAfterAboutFiveSeconds) {
  HoldFileByRunningIt("tmb1234.tmp");
  const ULONGLONG start = GetTickCount64();

  DeleteFileWithRetries(dir_.File("tmb1234.tmp"));

  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, 4000u);
  EXPECT_LE(elapsed, 8000u);
  EXPECT_TRUE(PathExists(dir_.File("tmb1234.tmp")));
}

TEST_F(LauncherDirectoryTest, DeleteWithRetriesStopsAtTheFirstSuccess) {
  MakeFile("tmb1234.tmp");
  const ULONGLONG start = GetTickCount64();

  DeleteFileWithRetries(dir_.File("tmb1234.tmp"));

  EXPECT_LT(GetTickCount64() - start, 4000u);
  EXPECT_FALSE(PathExists(dir_.File("tmb1234.tmp")));
}

TEST_F(LauncherDirectoryTest, TempFilePassesOverTakenNamesAndWrapsAround) {
  MakeFile("tmbFFFF.tmp");
  ASSERT_TRUE(CreateDirectoryA(dir_.File("tmb0000.tmp").c_str(), nullptr));

  const OwnTempFile temp = CreateOwnTempFile(dir_.path() + "\\", 0xFFFF);

  EXPECT_EQ(temp.path, dir_.File("tmb0001.tmp"));
  EXPECT_TRUE(temp.Created());
  const std::vector<FileEntry> entries = ListDirectory(dir_.path());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].name, "tmb0001.tmp");
  EXPECT_EQ(entries[1].size, 0u);
  EXPECT_FALSE(entries[1].IsHidden());
}

TEST_F(LauncherDirectoryTest, TempFileNamesUseUpperCaseHexDigits) {
  EXPECT_EQ(CreateOwnTempFile(dir_.path() + "\\", 0xBEEF).path, dir_.File("tmbBEEF.tmp"));
}

TEST_F(LauncherDirectoryTest, TempFilesFromTheClockAreNewEachTime) {
  const std::string first = CreateOwnTempFile(dir_.path() + "\\").path;
  const std::string second = CreateOwnTempFile(dir_.path() + "\\").path;
  EXPECT_NE(first, second);
  for (const std::string& path : {first, second}) {
    EXPECT_EQ(text::DirectoryOfPath(path), dir_.path());
    EXPECT_TRUE(IsLauncherTempFileName(path.substr(dir_.path().size() + 1))) << path;
  }
}

TEST_F(LauncherDirectoryTest, TempFileInAMissingDirectoryFails) {
  const OwnTempFile temp = CreateOwnTempFile(dir_.File("missing") + "\\", 0);
  EXPECT_FALSE(temp.Created());
  EXPECT_EQ(temp.path, "");
}

struct CommandLineCase {
  const char* name;
  const char* parameters;
  const char* expectedTail;
};

class GameCommandLineTest : public LauncherDirectoryTest,
                            public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(GameCommandLineTest, IsTheBarePathThenTheParameters) {
  std::string game;
  ASSERT_EQ(ReadWholeFile(TestGamePath(), game), WholeFileStatus::Ok);
  const std::string gamePath = dir_.File("the game.exe");
  ASSERT_TRUE(WriteWholeFile(gamePath, game));
  ASSERT_TRUE(WriteGameScript(dir_.path(), {"exit 0"}));

  RunGame(gamePath, GetParam().parameters);

  const std::vector<GameRun> runs = ReadGameRuns(dir_.path());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Get("commandline"), gamePath + GetParam().expectedTail);
  EXPECT_EQ(runs[0].Get("cwd"), dir_.path());
}

INSTANTIATE_TEST_SUITE_P(Parameters, GameCommandLineTest,
                         ::testing::Values(CommandLineCase{"None", "", ""},
                                           CommandLineCase{"One", "-x", " -x"}),
                         [](const ::testing::TestParamInfo<CommandLineCase>& info) {
                           return std::string(info.param.name);
                         });

// What the game and its channel look like just before the game's first
// thread runs, seen from this process, which runs RunGame and so holds the
// channel.
struct BeforeResume {
  bool channelKnowsTheGame = false;
  bool gameInItsJob = false;
  bool handshakeSent = false;
  std::size_t replies = 0;
};
BeforeResume beforeResume;

bool LookThenResume(const SuspendedGame& game) {
  beforeResume.channelKnowsTheGame = game.channel.GameProcessId() == GetProcessId(game.process);
  BOOL inJob = FALSE;
  beforeResume.gameInItsJob =
      game.job != nullptr && IsProcessInJob(game.process, game.job, &inJob) && inJob;
  // The game's id, but a window of this process, which is not the game's.
  const HWND channelWindow = WaitForChannelWindow(GetCurrentProcessId(), 0);
  testsupport::HandshakeReplyWindow notTheGame;
  DWORD_PTR ignored = 0;
  beforeResume.handshakeSent =
      channelWindow != nullptr &&
      SendMessageTimeoutA(channelWindow, RegisterWindowMessageA(channel::kHandshakeMessageName),
                          GetProcessId(game.process), reinterpret_cast<LPARAM>(notTheGame.window()),
                          SMTO_NORMAL, 5000, &ignored) != 0;
  beforeResume.replies = notTheGame.replies().size();
  return ResumeSuspendedGame(game);
}

// The game's first instruction may make its handshake or start a process: by
// then the channel must know the game's process id and the game must be in
// its job. Looked at the last moment before the game may run, so the order is
// checked without a race. The channel answers only windows of the game.
TEST_F(LauncherDirectoryTest, GameIsInItsJobAndKnownToTheChannelBeforeItRuns) {
  std::string game;
  ASSERT_EQ(ReadWholeFile(TestGamePath(), game), WholeFileStatus::Ok);
  const std::string gamePath = dir_.File("game.exe");
  ASSERT_TRUE(WriteWholeFile(gamePath, game));
  ASSERT_TRUE(WriteGameScript(dir_.path(), {"exit 0"}));
  beforeResume = {};

  RunGame(gamePath, "", LookThenResume);

  EXPECT_TRUE(beforeResume.channelKnowsTheGame);
  EXPECT_TRUE(beforeResume.gameInItsJob);
  EXPECT_TRUE(beforeResume.handshakeSent);
  EXPECT_EQ(beforeResume.replies, 0u);
  EXPECT_EQ(ReadGameRuns(dir_.path()).size(), 1u);
}

// A handshake carrying the game's id may name a window of another process in
// the game's job, and of no other. The test game plays that other process:
// it sends the handshake with an id 4 above its own, which this test gives
// the channel as the game's.
class HandshakeWindowInTheJobTest : public LauncherDirectoryTest,
                                    public ::testing::WithParamInterface<bool> {};

TEST_P(HandshakeWindowInTheJobTest, IsAnsweredOnlyWhenItsProcessIsInTheGamesJob) {
  const bool inJob = GetParam();
  std::string gameBytes;
  ASSERT_EQ(ReadWholeFile(TestGamePath(), gameBytes), WholeFileStatus::Ok);
  const std::string gamePath = dir_.File("helper.exe");
  ASSERT_TRUE(WriteWholeFile(gamePath, gameBytes));
  ASSERT_TRUE(WriteGameScript(dir_.path(), {"raw-handshake other"}));
  const win32::UniqueHandle job = MakeGameJob();
  ASSERT_TRUE(job.valid());
  win32::OwnedProcess helper;
  ASSERT_TRUE(StartGameSuspended(gamePath, "", dir_.path(), helper));
  ASSERT_TRUE(AssignProcessToJobObject(job.get(), helper.process.get()));
  {
    GameChannel channel([](const std::string&) { return std::string(); });
    channel.SetGameProcessId(helper.processId + 4);
    if (inJob) channel.SetGameJob(job.get());
    ASSERT_NE(ResumeThread(helper.thread.get()), static_cast<DWORD>(-1));
    ASSERT_EQ(WaitForSingleObject(helper.process.get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(channel.IsConnected(), inJob);
  }
  helper.Close();
  const std::vector<GameRun> runs = ReadGameRuns(dir_.path());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Get("1.replies"), inJob ? "1" : "0");
}

INSTANTIATE_TEST_SUITE_P(Channel, HandshakeWindowInTheJobTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "InTheJob" : "NotInTheJob");
                         });

// A program the game started (the real game behind a bootstrap) connects
// with its own id: a handshake carrying the id of the process whose window it
// names is answered when that process is in the game's job, and no other id
// is. The test game plays that program, sending its own id or one 4 above
// it; the game's id given to the channel is 8 above it, so neither is the
// game's. The program not in the job is this test's child all the same.
struct JobProcessHandshakeCase {
  const char* name;
  const char* idSent;  // raw-handshake's word
  bool inJob;
  bool answered;
};

void PrintTo(const JobProcessHandshakeCase& testCase, std::ostream* out) { *out << testCase.name; }

class JobProcessHandshakeTest : public LauncherDirectoryTest,
                                public ::testing::WithParamInterface<JobProcessHandshakeCase> {};

TEST_P(JobProcessHandshakeTest, IsAnsweredOnlyForItsOwnIdAndOnlyInTheGamesJob) {
  const JobProcessHandshakeCase& testCase = GetParam();
  std::string gameBytes;
  ASSERT_EQ(ReadWholeFile(TestGamePath(), gameBytes), WholeFileStatus::Ok);
  const std::string gamePath = dir_.File("started-by-the-game.exe");
  ASSERT_TRUE(WriteWholeFile(gamePath, gameBytes));
  ASSERT_TRUE(WriteGameScript(dir_.path(), {std::string("raw-handshake ") + testCase.idSent}));
  const win32::UniqueHandle job = MakeGameJob();
  ASSERT_TRUE(job.valid());
  win32::OwnedProcess program;
  ASSERT_TRUE(StartGameSuspended(gamePath, "", dir_.path(), program));
  if (testCase.inJob) {
    ASSERT_TRUE(AssignProcessToJobObject(job.get(), program.process.get()));
  }
  {
    GameChannel channel([](const std::string&) { return std::string(); });
    channel.SetGameProcessId(program.processId + 8);
    channel.SetGameJob(job.get());
    ASSERT_NE(ResumeThread(program.thread.get()), static_cast<DWORD>(-1));
    ASSERT_EQ(WaitForSingleObject(program.process.get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(channel.IsConnected(), testCase.answered);
  }
  program.Close();
  const std::vector<GameRun> runs = ReadGameRuns(dir_.path());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Get("1.replies"), testCase.answered ? "1" : "0");
}

INSTANTIATE_TEST_SUITE_P(
    Channel, JobProcessHandshakeTest,
    ::testing::Values(JobProcessHandshakeCase{"OwnIdInTheJob", "own", true, true},
                      JobProcessHandshakeCase{"OwnIdOutsideTheJob", "own", false, false},
                      JobProcessHandshakeCase{"AnotherIdInTheJob", "other", true, false}),
    [](const ::testing::TestParamInfo<JobProcessHandshakeCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(LauncherDirectoryTest, GameWhoseThreadCannotBeResumedIsEndedNotLeftSuspended) {
  std::string gameBytes;
  ASSERT_EQ(ReadWholeFile(TestGamePath(), gameBytes), WholeFileStatus::Ok);
  const std::string gamePath = dir_.File("game.exe");
  ASSERT_TRUE(WriteWholeFile(gamePath, gameBytes));
  win32::OwnedProcess game;
  ASSERT_TRUE(StartGameSuspended(gamePath, "", dir_.path(), game));
  HANDLE queryOnly = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), game.thread.get(), GetCurrentProcess(),
                              &queryOnly, THREAD_QUERY_INFORMATION, FALSE, 0));
  const win32::UniqueHandle threadWithoutResume(queryOnly);

  EXPECT_FALSE(ResumeGameOrEndIt(threadWithoutResume.get(), game.process.get()));

  EXPECT_EQ(WaitForSingleObject(game.process.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
  game.Close();
  EXPECT_TRUE(ReadGameRuns(dir_.path()).empty());
  EXPECT_TRUE(DeleteFileA(gamePath.c_str()));
}

// The launcher's own directory becomes current and the main thread runs below
// normal priority; the state holds the launcher's path and search texts.
TEST(Startup, MakesItsDirectoryCurrentAndLowersItsPriority) {
  const LauncherState savedState = GetLauncherState();
  char savedDirectory[MAX_PATH];
  GetCurrentDirectoryA(sizeof(savedDirectory), savedDirectory);
  const int savedPriority = GetThreadPriority(GetCurrentThread());
  FreshDirectory elsewhere;
  ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.path().c_str()));
  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));

  InitializeLauncherState(nullptr);

  const LauncherState state = GetLauncherState();
  char current[MAX_PATH];
  GetCurrentDirectoryA(sizeof(current), current);
  const int priority = GetThreadPriority(GetCurrentThread());
  GetLauncherState() = savedState;
  SetCurrentDirectoryA(savedDirectory);
  SetThreadPriority(GetCurrentThread(), savedPriority);

  const std::string self = win32::GetModulePath(nullptr);
  EXPECT_EQ(state.modulePath, self);
  EXPECT_EQ(state.appDirectory, text::DirectoryOfPath(self) + "\\");
  EXPECT_EQ(std::string(current), text::DirectoryOfPath(self));
  EXPECT_EQ(priority, THREAD_PRIORITY_BELOW_NORMAL);
  EXPECT_EQ(state.payloadMarker, payload::PayloadMarker());
  EXPECT_EQ(state.buildInfoText, payload::BuildInfoText());
}

struct DirectoryCase {
  const char* name;
  const char* path;
  const char* directory;
};

class DirectoryOfPathTest : public ::testing::TestWithParam<DirectoryCase> {};

TEST_P(DirectoryOfPathTest, EndsBeforeTheLastSeparatorOfEitherKind) {
  EXPECT_EQ(text::DirectoryOfPath(GetParam().path), GetParam().directory);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DirectoryOfPathTest,
    ::testing::Values(DirectoryCase{"Backslashes", "C:\\Games\\X\\run.exe", "C:\\Games\\X"},
                      DirectoryCase{"LastIsSlash", "C:\\Games\\X/run.exe", "C:\\Games\\X"},
                      DirectoryCase{"LastIsBackslash", "C:/Games/X\\run.exe", "C:/Games/X"},
                      DirectoryCase{"DriveRoot", "C:\\run.exe", "C:"},
                      DirectoryCase{"NoSeparator", "run.exe", "run.exe"}),
    [](const ::testing::TestParamInfo<DirectoryCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace e2e
