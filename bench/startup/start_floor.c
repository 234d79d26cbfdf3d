/* The least a launcher of this kind can cost: a graphical program that loads
   USER32 (as every launcher with a window or a message box does), starts
   game.exe from its own directory suspended, lets it run and waits for its
   end. Nothing is read, copied or checked. bench/run times it like the
   launcher, to the game's first instruction. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  /* Any call into USER32 makes the loader map it and set up its window station. */
  if (GetDesktopWindow() == NULL) return 2;

  char game[] = "game.exe";
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  if (!CreateProcessA(NULL, game, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL, &startup,
                      &process)) {
    return 1;
  }
  const DWORD resumed = ResumeThread(process.hThread);
  if (resumed == (DWORD)-1) TerminateProcess(process.hProcess, 1);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return resumed == (DWORD)-1 ? 1 : 0;
}
