#include "tests/e2e/harness/launcher_process.h"

#include <tlhelp32.h>

#include <cstring>
#include <vector>

#include "channel/channel_protocol.h"
#include "common/text_rules.h"
#include "common/win32/process_text.h"

namespace e2e {

namespace {

constexpr DWORD kEndWaitMs = 10000;
constexpr DWORD kPollMs = 10;

struct ChannelWindowSearch {
  DWORD owner;
  HWND found;
};

BOOL CALLBACK FindChannelWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ChannelWindowSearch*>(parameter);
  char className[sizeof(channel::kWindowClassName) + 1] = {};
  GetClassNameA(window, className, sizeof(className));
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->owner || std::strcmp(className, channel::kWindowClassName) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

bool LauncherProcess::Start(const std::string& launcherPath) {
  KillAll();
  job_.reset(CreateJobObjectA(nullptr, nullptr));
  if (!job_) return false;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));

  std::vector<char> commandLine = win32::WritableCommandLine("\"" + launcherPath + "\"");
  const std::string directory = text::DirectoryOfPath(launcherPath);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  // Suspended until it is in the job, so that its game is born into the job.
  if (!CreateProcessA(launcherPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_SUSPENDED, nullptr, directory.c_str(), &startup, &created)) {
    return false;
  }
  launcher_ = win32::OwnedProcess(created);
  AssignProcessToJobObject(job_.get(), launcher_.process.get());
  ResumeThread(launcher_.thread.get());
  return true;
}

bool LauncherProcess::WaitForExit(DWORD timeoutMs, DWORD& exitCode) const {
  if (!launcher_.process ||
      WaitForSingleObject(launcher_.process.get(), timeoutMs) != WAIT_OBJECT_0) {
    return false;
  }
  return GetExitCodeProcess(launcher_.process.get(), &exitCode) != 0;
}

void LauncherProcess::KillLauncherOnly() {
  if (!launcher_.process) return;
  TerminateProcess(launcher_.process.get(), 1);
  WaitForSingleObject(launcher_.process.get(), kEndWaitMs);
}

// The job's own count of its processes is not kept up to date under Wine, so
// the launcher and its game are waited for one by one.
void LauncherProcess::KillAll() {
  if (!job_) return;
  const DWORD gameId = ChildProcessOf(launcher_.processId);
  win32::UniqueHandle game(gameId != 0 ? OpenProcess(SYNCHRONIZE, FALSE, gameId) : nullptr);
  TerminateJobObject(job_.get(), 1);
  if (launcher_.process) WaitForSingleObject(launcher_.process.get(), kEndWaitMs);
  if (game) WaitForSingleObject(game.get(), kEndWaitMs);
  job_.reset();
  launcher_.Close();
}

bool LauncherProcess::GameRunning() const {
  const DWORD gameId = ChildProcessOf(launcher_.processId);
  if (gameId == 0) return false;
  win32::UniqueHandle game(OpenProcess(SYNCHRONIZE, FALSE, gameId));
  return game && WaitForSingleObject(game.get(), 0) == WAIT_TIMEOUT;
}

DWORD ChildProcessOf(DWORD parentId) {
  if (parentId == 0) return 0;
  win32::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (entry.th32ParentProcessID == parentId) return entry.th32ProcessID;
  }
  return 0;
}

HWND WaitForChannelWindow(DWORD launcherProcessId, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    ChannelWindowSearch search{launcherProcessId, nullptr};
    EnumWindows(FindChannelWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr || GetTickCount64() >= deadline) return search.found;
    Sleep(kPollMs);
  }
}

}  // namespace e2e
