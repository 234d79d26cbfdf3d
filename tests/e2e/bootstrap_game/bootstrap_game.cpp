// A stand-in for an engine's bootstrap: starts the real game program, the
// file kBootstrappedGameFileName beside its own file, as its child in the
// same current folder, waits for it and ends with its exit code (1 when it
// could not start it). It never talks to a launcher itself.
#include <windows.h>

#include <string>
#include <vector>

#include "common/win32/handles.h"
#include "tests/e2e/test_game/game_files.h"

namespace {

std::string OwnFolder() {
  std::vector<char> path(32768);
  const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::string folder(path.data(), length);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::string game = OwnFolder() + testgame::kBootstrappedGameFileName;
  std::string commandLine = "\"" + game + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessA(game.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &created)) {
    return 1;
  }
  const win32::OwnedProcess child(created);
  WaitForSingleObject(child.process.get(), INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(child.process.get(), &exitCode);
  return static_cast<int>(exitCode);
}
