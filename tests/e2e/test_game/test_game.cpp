// A stand-in for a game: records how it was started, then follows the script
// in its current directory.
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/win32/handles.h"
#include "tests/e2e/test_game/channel_steps.h"
#include "tests/e2e/test_game/game_files.h"

namespace {

// The file of `module` (null: the game's own).
std::string ModulePath(HMODULE module) {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(module, &path[0], static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string CurrentDirectory() {
  const DWORD size = GetCurrentDirectoryA(0, nullptr);
  std::string directory(size, '\0');
  directory.resize(GetCurrentDirectoryA(size, &directory[0]));
  return directory;
}

unsigned long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The rest of `line` behind its first word `word`, without the line break.
std::string TextAfter(const std::string& line, const std::string& word) {
  std::string text = line;
  text.erase(0, text.find(word) + word.size());
  text.erase(0, text.find_first_not_of(' '));
  text.erase(text.find_last_not_of("\r\n") + 1);
  return text;
}

// A copy of the test game started by `start`: its command line holds this
// word and how long it lives.
constexpr char kLiveWord[] = "--test-game-live=";

// Starts `file` (`self`: the game's own file) with the live word and `ms`, in
// the game's current directory; the new process's id, 0 when none started.
DWORD StartCopy(const std::string& file, long ms, const std::string& self) {
  const std::string path = file == "self" ? self : file;
  std::string commandLine = "\"" + path + "\" " + kLiveWord + std::to_string(ms);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &created)) {
    return 0;
  }
  const win32::OwnedProcess started(created);
  return started.processId;
}

// Records the exit code before ending with it, so that a test can tell a
// game that followed its script from one that ended otherwise.
int EndWith(int exitCode) {
  testgame::AppendRecord("exit=" + std::to_string(exitCode) + "\n");
  return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // First of all: a launcher that let the game run before its channel was
  // ready, or before the channel knew the game's process id, would show here.
  const bool handshakeFirst =
      GetFileAttributesA(testgame::kHandshakeFirstFileName) != INVALID_FILE_ATTRIBUTES;
  const std::size_t firstHandshakeReplies =
      handshakeFirst ? testgame::HandshakeWithEveryLauncher() : 0;
  const DWORD parentId = testgame::ParentProcessId();
  const bool channelWindowAtStart = testgame::ChannelWindowOf(parentId) != nullptr;
  const std::string self = ModulePath(nullptr);
  testgame::AppendRecord(
      "run\nmodule=" + self + "\ncommandline=" + GetCommandLineA() + "\ncwd=" + CurrentDirectory() +
      "\nattributes=" + std::to_string(GetFileAttributesA(self.c_str())) +
      "\nsize=" + std::to_string(FileSize(self)) +
      "\nchannel-window-at-start=" + (channelWindowAtStart ? "1" : "0") + "\n" +
      (handshakeFirst ? "first-handshake-replies=" + std::to_string(firstHandshakeReplies) + "\n"
                      : ""));

  const std::string commandLine = GetCommandLineA();
  const std::string::size_type live = commandLine.find(kLiveWord);
  if (live != std::string::npos) {
    Sleep(static_cast<DWORD>(std::atol(commandLine.c_str() + live + std::strlen(kLiveWord))));
    return EndWith(0);
  }

  std::FILE* script = std::fopen(testgame::kScriptFileName, "rb");
  if (script == nullptr) return EndWith(0);
  testgame::ChannelSteps channel(parentId);
  char line[512];
  int exitCode = 0;
  int lineNumber = 0;
  while (std::fgets(line, sizeof(line), script) != nullptr) {
    ++lineNumber;
    char command[64] = {};
    long value = 0;
    if (std::sscanf(line, "%63s %ld", command, &value) < 1) continue;
    const std::string name = command;
    if (name == "debug") {
      OutputDebugStringA((TextAfter(line, name) + "\r\n").c_str());
    } else if (name == "box") {
      const std::string styleAndText = TextAfter(line, name);
      const std::string text = TextAfter(styleAndText, std::to_string(value));
      MessageBoxA(nullptr, text.c_str(), "Game", static_cast<UINT>(value));
    } else if (name == "crash") {
      // A crash is what this command is for.
      int* volatile nowhere = nullptr;
      *nowhere = 1;  // cppcheck-suppress nullPointer
    } else if (name == "sleep") {
      Sleep(static_cast<DWORD>(value));
    } else if (name == "pump") {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    } else if (name == "load-library") {
      // By bare name, as a game finds a DLL it ships beside itself. Kept
      // loaded until the game ends.
      const HMODULE library = LoadLibraryA(TextAfter(line, name).c_str());
      testgame::AppendRecord(std::to_string(lineNumber) + ".library=" +
                             (library != nullptr ? ModulePath(library) : std::string()) + "\n");
    } else if (name == "start") {
      const std::string arguments = TextAfter(line, name);
      const std::string file = arguments.substr(0, arguments.find(' '));
      const long ms = std::atol(TextAfter(arguments, file).c_str());
      testgame::AppendRecord(std::to_string(lineNumber) +
                             ".started=" + std::to_string(StartCopy(file, ms, self)) + "\n");
    } else if (name == "exit") {
      exitCode = static_cast<int>(value);
      break;
    } else if (!channel.Run(lineNumber, name, TextAfter(line, name))) {
      testgame::AppendRecord("error=" + name + "\n");
      exitCode = 99;
      break;
    }
  }
  std::fclose(script);
  return EndWith(exitCode);
}
