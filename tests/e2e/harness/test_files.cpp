#include "tests/e2e/harness/test_files.h"

#include <algorithm>
#include <cstdio>

#include "common/text_rules.h"
#include "common/whole_file.h"
#include "common/win32/handles.h"
#include "common/win32/process_text.h"

namespace e2e {

namespace {

std::string OwnDirectory() { return text::DirectoryOfPath(win32::GetModulePath(nullptr)); }

}  // namespace

FreshDirectory::FreshDirectory() {
  char base[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof(base), base);
  std::string root(base, length);
  if (!root.empty() && root.back() == '\\') root.pop_back();
  static unsigned counter = 0;
  for (;;) {
    char name[64];
    std::snprintf(name, sizeof(name), "\\kova-e2e-%lu-%lu-%u", GetCurrentProcessId(),
                  GetTickCount(), ++counter);
    path_ = root + name;
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
  }
}

FreshDirectory::~FreshDirectory() { RemoveTree(path_); }

std::string FreshDirectory::File(const std::string& relative) const {
  return path_ + "\\" + relative;
}

std::string FreshDirectory::MakeDirectory(const std::string& relative) const {
  const std::string directory = File(relative);
  CreateDirectoryA(directory.c_str(), nullptr);
  return directory;
}

void RemoveTree(const std::string& path) {
  for (const FileEntry& entry : ListDirectory(path)) {
    const std::string child = path + "\\" + entry.name;
    if (entry.IsDirectory()) {
      RemoveTree(child);
    } else {
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(child.c_str());
    }
  }
  RemoveDirectoryA(path.c_str());
}

bool WriteWholeFile(const std::string& path, const std::string& contents) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  return std::fclose(file) == 0 && written;
}

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<FileEntry> ListDirectory(const std::string& directory) {
  std::vector<FileEntry> entries;
  WIN32_FIND_DATAA found;
  win32::UniqueFindHandle listing(FindFirstFileA((directory + "\\*").c_str(), &found));
  if (!listing) return entries;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    FileEntry entry;
    entry.name = name;
    entry.attributes = found.dwFileAttributes;
    entry.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entries.push_back(entry);
  } while (FindNextFileA(listing.get(), &found));
  std::sort(entries.begin(), entries.end(),
            [](const FileEntry& a, const FileEntry& b) { return a.name < b.name; });
  return entries;
}

std::vector<std::string> EntryNames(const std::vector<FileEntry>& entries) {
  std::vector<std::string> names;
  for (const FileEntry& entry : entries) names.push_back(entry.name);
  return names;
}

std::string BuiltProgramPath(const std::string& fileName) {
  return OwnDirectory() + "\\" + fileName;
}

std::string LauncherStubPath() { return BuiltProgramPath(KOVA_LAUNCHER_FILE_NAME); }
std::string TestGamePath() { return BuiltProgramPath(KOVA_TEST_GAME_FILE_NAME); }

const std::string& TestGame() {
  static const std::string bytes = [] {
    std::string game;
    ReadWholeFile(TestGamePath(), game);
    return game;
  }();
  return bytes;
}

bool WriteWrappedLauncher(const std::string& path, const std::string& appended) {
  std::string stub;
  return ReadWholeFile(LauncherStubPath(), stub) == WholeFileStatus::Ok &&
         WriteWholeFile(path, stub + appended);
}

}  // namespace e2e
