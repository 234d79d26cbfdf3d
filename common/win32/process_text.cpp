#include "common/win32/process_text.h"

namespace win32 {

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

std::vector<char> WritableCommandLine(const std::string& commandLine) {
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  return writable;
}

}  // namespace win32
