#include "launcher/win32/game_process.h"

#include <vector>

#include "channel/win32/game_channel.h"
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
  {
    // The channel exists and expects the game's process id before the game
    // runs its first instruction, and goes only after the game has ended.
    GameChannel channel;
    channel.SetGameProcessId(game.processId);
    if (resume(game.thread.get(), game.process.get())) {
      WaitForGameToEnd(game.process.get());
    }
  }
  game.Close();
}
