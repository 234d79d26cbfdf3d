// A wrapped launcher started plainly, with no debugger and no time limit, in
// a job of its own: for tests that watch it from outside while it runs, end
// it abruptly, or start several at once. Everything in the job, the game
// too, is killed when the object goes.
#pragma once

#include <windows.h>

#include <string>

#include "common/win32/handles.h"

namespace e2e {

class LauncherProcess {
 public:
  LauncherProcess() = default;
  LauncherProcess(const LauncherProcess&) = delete;
  LauncherProcess& operator=(const LauncherProcess&) = delete;
  ~LauncherProcess() { KillAll(); }

  // Starts the launcher in its own directory.
  bool Start(const std::string& launcherPath);

  DWORD processId() const { return launcher_.processId; }
  HANDLE process() const { return launcher_.process.get(); }

  // Waits for the launcher to end; false when it has not within `timeoutMs`.
  bool WaitForExit(DWORD timeoutMs, DWORD& exitCode) const;
  // Ends the launcher alone; the game it started goes on running.
  void KillLauncherOnly();
  // Ends everything in the job and waits until it is gone.
  void KillAll();
  // The game the launcher started runs (whether or not the launcher does).
  bool GameRunning() const;

 private:
  win32::UniqueHandle job_;
  win32::OwnedProcess launcher_;
};

// The process that `parentId` started; 0 when there is none.
DWORD ChildProcessOf(DWORD parentId);

// The launcher's channel window, once it exists; null when it does not
// within `timeoutMs`.
HWND WaitForChannelWindow(DWORD launcherProcessId, DWORD timeoutMs);

}  // namespace e2e
