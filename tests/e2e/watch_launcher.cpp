// Runs a wrapped launcher as a user would, headless, and prints what a user
// would have seen: each message box (answered with OK), the launcher's
// debugger output and its exit code. Used by the demo.
//   watch_launcher LAUNCHER [TIMEOUT_MS]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/e2e/harness/launcher_run.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: watch_launcher LAUNCHER [TIMEOUT_MS]\n");
    return 2;
  }
  e2e::LaunchOptions options;
  if (argc > 2) options.timeoutMs = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));

  // The harness works in the launcher's own directory: it needs the full path.
  char fullPath[MAX_PATH];
  const DWORD length = GetFullPathNameA(argv[1], MAX_PATH, fullPath, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    std::fprintf(stderr, "watch_launcher: bad path '%s'\n", argv[1]);
    return 2;
  }
  const e2e::LauncherRun run = e2e::RunLauncher(fullPath, options);
  if (!run.started) {
    std::printf("the launcher could not be started\n");
    return 1;
  }
  for (const e2e::MessageBoxSeen& box : run.boxes) {
    std::string buttons;
    for (const e2e::ButtonSeen& button : box.buttons) buttons += " [" + button.text + "]";
    std::printf("message box \"%s\"%s: %s%s\n", box.caption.c_str(),
                box.showsIcon ? " (error icon)" : "", box.text.c_str(), buttons.c_str());
  }
  for (std::string line : run.debugLines) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::printf("debugger output: %s\n", line.c_str());
  }
  if (run.timedOut) std::printf("the launcher did not end in time and was stopped\n");
  std::printf("launcher exit code: %lu\n", static_cast<unsigned long>(run.exitCode));
  return 0;
}
