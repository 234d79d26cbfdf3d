#include "launcher/win32/temp_files.h"

#include <windows.h>

#include "common/launcher_state.h"
#include "common/win32/handles.h"
#include "launcher/temp_file_name.h"

namespace {
constexpr unsigned kTempNumberCount = 0x10000;
constexpr int kDeleteAttempts = 10;
constexpr DWORD kDeleteRetryDelayMs = 500;
}  // namespace

std::string CreateOwnTempFile(const std::string& directory, unsigned firstNumber) {
  for (unsigned tried = 0; tried < kTempNumberCount; ++tried) {
    const std::string path = directory + LauncherTempFileName(firstNumber + tried);
    win32::UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return path;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    // A directory of that name, or a file being deleted, refuses access to
    // the name itself; any other refusal ends the search.
    if (error == ERROR_ACCESS_DENIED &&
        GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      continue;
    }
    return std::string();
  }
  return std::string();
}

std::string CreateOwnTempFile(const std::string& directory) {
  return CreateOwnTempFile(directory, GetTickCount() % kTempNumberCount);
}

void RemoveStaleTempFiles() {
  const std::string& directory = GetLauncherState().appDirectory;
  WIN32_FIND_DATAA entry;
  win32::UniqueFindHandle listing(FindFirstFileA((directory + "*.tmp").c_str(), &entry));
  if (!listing) return;
  do {
    const std::string name = entry.cFileName;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    if (!IsLauncherTempFileName(name)) continue;
    // By the full path: the same file as the bare name in the launcher's
    // directory, and never a file of another directory should the change of
    // the current directory have failed.
    DeleteFileA((directory + name).c_str());
  } while (FindNextFileA(listing.get(), &entry));
}

void DeleteFileWithRetries(const std::string& path) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    Sleep(kDeleteRetryDelayMs);
    if (DeleteFileA(path.c_str())) return;
  }
}
