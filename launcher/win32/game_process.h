// Running the extracted game as a child process and waiting for its end.
#pragma once

#include <windows.h>

#include <string>

#include "channel/win32/game_channel.h"
#include "common/win32/handles.h"

// Creates the process of `path` with its first thread suspended, in
// `directory`. The command line is `path` as given, followed by a blank and
// `parameters` when those are not empty. False when the system cannot create
// it; nothing is shown then.
bool StartGameSuspended(const std::string& path, const std::string& parameters,
                        const std::string& directory, win32::OwnedProcess& game);

// Lets the suspended game's first `thread` run. When that fails, the game
// could never run and never end by itself: its `process` is ended and waited
// for, and false returned.
bool ResumeGameOrEndIt(HANDLE thread, HANDLE process);

// Polls every 100 ms until `process` has ended or can no longer be asked.
void WaitForGameToEnd(HANDLE process);

// A job for the game's processes: no limits, and not closed with kill-on-close,
// so that the programs the game starts outlive the launcher as they would
// without it; each may still ask to break away. Null when the system makes none.
win32::UniqueHandle MakeGameJob();

// Whether a process of `job` that has not ended runs from the file `image`
// (the path as the system reports a process's image). Looks at the first
// kMaxJobProcesses processes the job lists; never waits.
bool JobRunsImage(HANDLE job, const std::string& image);
constexpr unsigned kMaxJobProcesses = 1024;

// The file `process` runs from, as the system reports it; empty when it cannot tell.
std::string ProcessImagePath(HANDLE process);

// After the game's own process has ended: polls every 100 ms, as for the game,
// until no process of `job` runs from `image` any more (a copy of the game it
// started, say). Programs from other files are not waited for.
void WaitForGameCopiesToEnd(HANDLE job, const std::string& image);

// The suspended game as the step that lets it run finds it.
struct SuspendedGame {
  HANDLE thread;
  HANDLE process;
  HANDLE job;  // null when the game is in no job of its own
  const GameChannel& channel;
};

// The step that lets the suspended game run: ResumeGameOrEndIt.
using ResumeGameStep = bool (*)(const SuspendedGame& game);
bool ResumeSuspendedGame(const SuspendedGame& game);

// Starts `path` suspended in the launcher's directory, puts it in a job of
// its own, sets up the game channel for it, then lets it run and waits until
// it and every process of its job running from `path` have ended, takes the
// channel down and closes its handles. When the game cannot be put in a job
// (a system without nested jobs, inside a job that forbids it) only the game
// itself is waited for. A game that cannot be
// started gets its message box. The game's exit code is not used.
// `resume` lets the game run; a test may pass a step that first looks at the
// game and its channel as the game's first instruction would find them.
void RunGame(const std::string& path, const std::string& parameters,
             ResumeGameStep resume = ResumeSuspendedGame);
