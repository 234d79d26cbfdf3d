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

OwnTempFile CreateOwnTempFile(const std::string& directory, unsigned firstNumber) {
  for (unsigned tried = 0; tried < kTempNumberCount; ++tried) {
    OwnTempFile temp;
    temp.path = directory + LauncherTempFileName(firstNumber + tried);
    // Reading is shared so that a read-only handle can take over from this
    // one later; deleting is not.
    temp.writer.reset(CreateFileA(temp.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (temp.Created()) return temp;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    // A directory of that name, or a file being deleted, refuses access to
    // the name itself; any other refusal ends the search.
    if (error == ERROR_ACCESS_DENIED &&
        GetFileAttributesA(temp.path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      continue;
    }
    return OwnTempFile();
  }
  return OwnTempFile();
}

OwnTempFile CreateOwnTempFile(const std::string& directory) {
  return CreateOwnTempFile(directory, GetTickCount() % kTempNumberCount);
}

void RemoveStaleTempFilesIn(const std::string& directory) {
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

void RemoveStaleTempFiles() { RemoveStaleTempFilesIn(GetLauncherState().appDirectory); }

void DeleteFileWithRetries(const std::string& path) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    Sleep(kDeleteRetryDelayMs);
    if (DeleteFileA(path.c_str())) return;
  }
}
