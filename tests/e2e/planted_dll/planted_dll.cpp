// A DLL that only reports that it was loaded: on every attach to a process it
// appends one line to the record file beside itself (planted_dll.h). The tests
// put copies of it under other names where a process might load them.
#include <windows.h>

#include <string>

#include "common/win32/handles.h"
#include "tests/e2e/planted_dll/planted_dll.h"

namespace {

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  return length < MAX_PATH ? std::string(path, length) : std::string();
}

// Kernel32 calls and the heap only: the loader lock is held here.
void AppendLoadRecord(HINSTANCE self) {
  const std::string dllPath = ModulePath(self);
  const std::string::size_type nameStart = dllPath.find_last_of("\\/") + 1;
  const std::string line =
      dllPath.substr(nameStart) + planted::kLoadedBy + ModulePath(nullptr) + "\n";
  const std::string recordPath = dllPath.substr(0, nameStart) + planted::kRecordFileName;

  // Processes loading copies at the same time wait for each other's line.
  win32::UniqueFileHandle record;
  for (int attempt = 0; attempt < 100 && !record; ++attempt) {
    record.reset(CreateFileA(recordPath.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!record) Sleep(10);
  }
  DWORD written = 0;
  if (record)
    WriteFile(record.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) AppendLoadRecord(self);
  return TRUE;
}
