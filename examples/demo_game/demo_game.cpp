// A stand-in game for the demo: it writes what it sees of its start into
// demo-game-report.txt in its current directory (the launcher's directory) and
// says hello on the debugger output.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char directory[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof directory, directory);
  char ownPath[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);

  if (std::FILE* report = std::fopen("demo-game-report.txt", "w")) {
    std::fprintf(report, "The demo game ran.\n");
    std::fprintf(report, "  command line:      %s\n", GetCommandLineA());
    std::fprintf(report, "  current directory: %s\n", directory);
    std::fprintf(report, "  own file:          %s (attributes 0x%lx)\n", ownPath,
                 static_cast<unsigned long>(GetFileAttributesA(ownPath)));
    std::fclose(report);
  }
  OutputDebugStringA("demo game: hello from inside the launcher\r\n");
  return 0;
}
