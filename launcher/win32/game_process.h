// Running the extracted game as a child process and waiting for its end.
#pragma once

#include <windows.h>

#include <string>

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

// The step that lets the suspended game run, as ResumeGameOrEndIt does.
using ResumeGameStep = bool (*)(HANDLE thread, HANDLE process);

// Starts `path` suspended in the launcher's directory, sets up the game
// channel for it, then lets it run and waits until it has ended, takes the
// channel down and closes its handles. A game that cannot be
// started gets its message box. The game's exit code is not used.
// `resume` lets the game run; a test may pass a step that first looks at the
// channel as the game's first instruction would find it.
void RunGame(const std::string& path, const std::string& parameters,
             ResumeGameStep resume = ResumeGameOrEndIt);
