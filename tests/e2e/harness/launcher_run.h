// Runs a wrapped launcher the way a user would, watched from outside: as a
// debuggee, so that its debugger output is caught, with every message box it
// shows read and answered with OK, and with a time limit, since a box nobody
// answers or a game that never ends would block it for good.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/harness/test_files.h"

namespace e2e {

// A push button of a message box: its control id (IDOK, IDCANCEL, ...) and text.
struct ButtonSeen {
  int id = 0;
  std::string text;

  bool operator==(const ButtonSeen& other) const { return id == other.id && text == other.text; }
};

inline void PrintTo(const ButtonSeen& button, std::ostream* out) {
  *out << button.id << " \"" << button.text << "\"";
}

struct MessageBoxSeen {
  std::string caption;
  std::string text;
  std::vector<ButtonSeen> buttons;  // the visible ones, in the box's own order
  // The box shows an icon. Which one cannot be read from another process; the
  // launcher's boxes show the error icon or none.
  bool showsIcon = false;
};

struct LaunchOptions {
  // Put on the launcher's command line behind its (quoted) path.
  std::string arguments;
  // The directory the launcher starts in; empty: its own directory.
  std::string currentDirectory;
  DWORD timeoutMs = 30000;
};

struct LauncherRun {
  bool started = false;
  bool timedOut = false;  // the launcher was killed at the time limit
  DWORD exitCode = 0;
  std::vector<MessageBoxSeen> boxes;    // in the order shown
  std::vector<std::string> debugLines;  // each as the launcher wrote it
  // The file names (lower case, no folder) of the DLLs the launcher loaded,
  // as its debugger was told of them, in order.
  std::vector<std::string> dllsLoaded;
  std::vector<FileEntry> filesLeft;  // the launcher's directory afterwards
};

// The launcher and everything it starts run in a job that is killed when the
// run is over, so no game outlives the test.
LauncherRun RunLauncher(const std::string& launcherPath, const LaunchOptions& options = {});

}  // namespace e2e
