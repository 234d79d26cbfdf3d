// One owner type per kind of Win32 resource, each knowing its own absent
// value and how to release it. Releasing keeps the caller's GetLastError(), so
// a failure can be reported after the handles of the failed step are gone.
#pragma once

#include <windows.h>

#include "common/unique_resource.h"

namespace win32 {

// Wraps a release function so that it leaves the thread's last error as it was.
template <typename Value, BOOL(WINAPI* Release)(Value)>
inline void ReleaseKeepingLastError(Value value) {
  const DWORD lastError = GetLastError();
  Release(value);
  SetLastError(lastError);
}

// Process, thread, event and file-mapping handles: null when absent.
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return nullptr; }
  static void Close(Value handle) { ReleaseKeepingLastError<HANDLE, CloseHandle>(handle); }
};

// CreateFile handles: INVALID_HANDLE_VALUE when absent.
struct FileHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Value handle) { ReleaseKeepingLastError<HANDLE, CloseHandle>(handle); }
};

// Directory listings of FindFirstFile.
struct FindHandleTraits {
  using Value = HANDLE;
  static Value Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Value handle) { ReleaseKeepingLastError<HANDLE, FindClose>(handle); }
};

// Views of a file mapping (MapViewOfFile).
struct MappedViewTraits {
  using Value = void*;
  static Value Invalid() { return nullptr; }
  static void Close(Value view) { ReleaseKeepingLastError<LPCVOID, UnmapViewOfFile>(view); }
};

// Modules loaded at run time (LoadLibraryEx).
struct ModuleTraits {
  using Value = HMODULE;
  static Value Invalid() { return nullptr; }
  static void Close(Value module) { ReleaseKeepingLastError<HMODULE, FreeLibrary>(module); }
};

// Windows; destroyed on the thread that owns them.
struct WindowTraits {
  using Value = HWND;
  static Value Invalid() { return nullptr; }
  static void Close(Value window) { ReleaseKeepingLastError<HWND, DestroyWindow>(window); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueMappedView = UniqueResource<MappedViewTraits>;
using UniqueWindow = UniqueResource<WindowTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;

// What CreateProcess hands back, owned: both handles are closed when it goes
// (the process handle first).
struct OwnedProcess {
  UniqueHandle process;
  UniqueHandle thread;
  DWORD processId = 0;
  DWORD threadId = 0;

  OwnedProcess() = default;
  explicit OwnedProcess(const PROCESS_INFORMATION& created)
      : process(created.hProcess),
        thread(created.hThread),
        processId(created.dwProcessId),
        threadId(created.dwThreadId) {}
  OwnedProcess(OwnedProcess&&) = default;
  OwnedProcess& operator=(OwnedProcess&&) = default;
  ~OwnedProcess() { Close(); }

  void Close() {
    process.reset();
    thread.reset();
  }
};

}  // namespace win32
