// Start-up of the launcher: the steps before anything of the launcher's own
// file is read. None of them can fail in a way that changes the flow.
#pragma once

#include <windows.h>

#include <string>

// Lowers the main thread's priority, makes the two search texts, records the
// launcher's own path and directory in LauncherState and makes that directory
// current.
void InitializeLauncherState(HINSTANCE instance);

// The full path of `module`, however long: a path cut short would make the
// launcher read, extract into and delete files of some other place. Empty when
// the system cannot report it.
std::string GetModulePath(HMODULE module);

// The text before the last '\' or '/' of `path`, or all of it when it holds
// neither.
std::string DirectoryOfPath(const std::string& path);
