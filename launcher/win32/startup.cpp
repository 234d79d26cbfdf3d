#include "launcher/win32/startup.h"

#include "launcher/launcher_state.h"
#include "launcher/payload_format.h"

namespace {
// Enough for nearly every installation; longer paths get a larger buffer.
constexpr DWORD kFirstModulePathBuffer = 256;
// The longest path the system's file functions accept, in characters.
constexpr DWORD kLongestPath = 32768;
}  // namespace

std::string GetModulePath(HMODULE module) {
  std::string path(kFirstModulePathBuffer, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(module, &path[0], static_cast<DWORD>(path.size()));
    // A length that fills the buffer means the path was cut short.
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= kLongestPath) return std::string();
    path.resize(path.size() * 2);
  }
}

std::string DirectoryOfPath(const std::string& path) {
  const std::string::size_type separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(0, separator);
}

void InitializeLauncherState(HINSTANCE instance) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);

  LauncherState& state = GetLauncherState();
  state.payloadMarker = payload::PayloadMarker();
  state.buildInfoText = payload::BuildInfoText();
  state.modulePath = GetModulePath(instance);
  state.appDirectory = DirectoryOfPath(state.modulePath) + "\\";
  // With the separator, a launcher in a drive's root ("C:") makes that root
  // current rather than the drive's last current directory.
  SetCurrentDirectoryA(state.appDirectory.c_str());
}
