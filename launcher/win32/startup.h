// Start-up of the launcher: the steps before anything of the launcher's own
// file is read. None of them can fail in a way that changes the flow.
#pragma once

#include <windows.h>

// Lowers the main thread's priority, makes the two search texts, records the
// launcher's own path and directory in LauncherState and makes that directory
// current.
void InitializeLauncherState(HINSTANCE instance);
