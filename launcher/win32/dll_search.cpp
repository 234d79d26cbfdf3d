#include "launcher/win32/dll_search.h"

#include <windows.h>

void RestrictDllSearchToSystemFolder() {
  // Looked up rather than imported: systems without it (before Windows 8,
  // without its update) must still start the launcher.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const FARPROC found =
      kernel32 != nullptr ? GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr;
  // Through void (*)(void), which converts to any function pointer without a
  // warning about the differing signature.
  const auto setDefaultDllDirectories =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(found));
  if (setDefaultDllDirectories != nullptr &&
      setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return;
  }
  // The lesser defence: the current directory leaves the search, the
  // launcher's folder stays in it.
  SetDllDirectoryA("");
}
