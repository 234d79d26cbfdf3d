#include "launcher/win32/game_process.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "common/launcher_state.h"
#include "common/win32/process_text.h"
#include "launcher/win32/message_boxes.h"

namespace {

constexpr DWORD kPollIntervalMs = 100;
constexpr DWORD kResumeFailed = static_cast<DWORD>(-1);
constexpr UINT kEndedUnstartedExitCode = 1;
// Ending a suspended process takes no time; the bound only keeps a system
// that never reports the end from holding the launcher for good.
constexpr DWORD kEndWaitMs = 5000;

}  // namespace

// The path is also given as the application name: the system then runs
// exactly that file, where a command line alone with an unquoted path holding
// blanks would be searched word by word (C:\My.exe before C:\My Games\...).
// The command line stays the bare path, as the game has always seen it.
bool StartGameSuspended(const std::string& path, const std::string& parameters,
                        const std::string& directory, win32::OwnedProcess& game) {
  std::string commandLine = path;
  if (!parameters.empty()) commandLine += " " + parameters;
  std::vector<char> writableCommandLine = win32::WritableCommandLine(commandLine);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessA(path.c_str(), writableCommandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_SUSPENDED, nullptr, directory.c_str(), &startup, &created)) {
    return false;
  }
  game = win32::OwnedProcess(created);
  return true;
}

bool ResumeGameOrEndIt(HANDLE thread, HANDLE process) {
  if (ResumeThread(thread) != kResumeFailed) return true;
  TerminateProcess(process, kEndedUnstartedExitCode);
  // Its file can be deleted only once the process is gone.
  WaitForSingleObject(process, kEndWaitMs);
  return false;
}

bool ResumeSuspendedGame(const SuspendedGame& game) {
  return ResumeGameOrEndIt(game.thread, game.process);
}

win32::UniqueHandle MakeGameJob() {
  win32::UniqueHandle job(CreateJobObjectA(nullptr, nullptr));
  if (!job) return job;
  // A program that asks to leave the job may, as it could without one.
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  return job;
}

std::string ProcessImagePath(HANDLE process) {
  char path[MAX_PATH * 4];
  DWORD length = sizeof(path);
  if (!QueryFullProcessImageNameA(process, 0, path, &length)) return std::string();
  return std::string(path, length);
}

namespace {

// The ids the job lists: its header, then one ULONG_PTR a process.
std::vector<DWORD> JobProcessIds(HANDLE job) {
  constexpr std::size_t kHeader = offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList);
  std::vector<unsigned char> buffer(kHeader + kMaxJobProcesses * sizeof(ULONG_PTR));
  // A list that does not fit is cut (ERROR_MORE_DATA); the part given still counts.
  if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), nullptr) &&
      GetLastError() != ERROR_MORE_DATA) {
    return {};
  }
  JOBOBJECT_BASIC_PROCESS_ID_LIST header = {};
  std::memcpy(&header, buffer.data(), kHeader);
  const std::size_t listed = header.NumberOfProcessIdsInList < kMaxJobProcesses
                                 ? header.NumberOfProcessIdsInList
                                 : kMaxJobProcesses;
  std::vector<DWORD> ids;
  for (std::size_t at = 0; at < listed; ++at) {
    ULONG_PTR id = 0;
    std::memcpy(&id, buffer.data() + kHeader + at * sizeof(ULONG_PTR), sizeof(id));
    ids.push_back(static_cast<DWORD>(id));
  }
  return ids;
}

bool SamePath(const std::string& left, const std::string& right) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, left.data(),
                        static_cast<int>(left.size()), right.data(),
                        static_cast<int>(right.size())) == CSTR_EQUAL;
}

}  // namespace

// A process that cannot be opened any more has ended. One that has ended may
// stay listed while handles to it are open; its image no longer counts.
bool JobRunsImage(HANDLE job, const std::string& image) {
  for (const DWORD id : JobProcessIds(job)) {
    const win32::UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
    if (!process || WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) continue;
    if (SamePath(ProcessImagePath(process.get()), image)) return true;
  }
  return false;
}

void WaitForGameCopiesToEnd(HANDLE job, const std::string& image) {
  if (job == nullptr || image.empty()) return;
  while (JobRunsImage(job, image)) Sleep(kPollIntervalMs);
}

// The exit code alone cannot tell a game that ended with STILL_ACTIVE (259)
// from a running one, so the process handle has the last word.
void WaitForGameToEnd(HANDLE process) {
  DWORD exitCode = 0;
  while (GetExitCodeProcess(process, &exitCode) && exitCode == STILL_ACTIVE) {
    if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) return;
    Sleep(kPollIntervalMs);
  }
}

void RunGame(const std::string& path, const std::string& parameters, ResumeGameStep resume) {
  win32::OwnedProcess game;
  if (!StartGameSuspended(path, parameters, GetLauncherState().appDirectory, game)) {
    ShowGameFatalError("Failed to execute game\r\n\r\n");
    return;
  }
  // In its job before its first instruction, so every process it starts is
  // born into the job too.
  win32::UniqueHandle job = MakeGameJob();
  if (job && !AssignProcessToJobObject(job.get(), game.process.get())) job.reset();
  // Copies of the game are told by the image the system reports for the game itself.
  std::string image = ProcessImagePath(game.process.get());
  if (image.empty()) image = path;
  {
    // The channel exists and expects the game's process id before the game
    // runs its first instruction, and goes only after the game has ended.
    GameChannel channel;
    channel.SetGameProcessId(game.processId);
    channel.SetGameJob(job.get());
    if (resume(SuspendedGame{game.thread.get(), game.process.get(), job.get(), channel})) {
      WaitForGameToEnd(game.process.get());
      WaitForGameCopiesToEnd(job.get(), image);
    }
  }
  game.Close();
}
