// Files and directories for the Windows tests: fresh directories that clean up
// after themselves, whole-file reads and writes, directory listings, and the
// programs of this build that the tests run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/text_rules.h"
#include "common/whole_file.h"
#include "launcher/temp_file_name.h"

namespace e2e {

struct FileEntry {
  std::string name;
  DWORD attributes = 0;
  std::uint64_t size = 0;

  bool IsDirectory() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsHidden() const { return (attributes & FILE_ATTRIBUTE_HIDDEN) != 0; }
};

// A new directory under the system's temporary directory, removed with all
// its contents (hidden and read-only ones too) when the object goes.
class FreshDirectory {
 public:
  FreshDirectory();
  FreshDirectory(const FreshDirectory&) = delete;
  FreshDirectory& operator=(const FreshDirectory&) = delete;
  ~FreshDirectory();

  // Full path, without a trailing separator.
  const std::string& path() const { return path_; }
  // path() + "\" + relative.
  std::string File(const std::string& relative) const;
  // Creates path() + "\" + relative (one level) and returns its path.
  std::string MakeDirectory(const std::string& relative) const;

 private:
  std::string path_;
};

void RemoveTree(const std::string& path);

bool WriteWholeFile(const std::string& path, const std::string& contents);
bool PathExists(const std::string& path);

// The entries of `directory`, without "." and "..", sorted by name.
std::vector<FileEntry> ListDirectory(const std::string& directory);
std::vector<std::string> EntryNames(const std::vector<FileEntry>& entries);

// A program of this build, which lies beside the running test program.
std::string BuiltProgramPath(const std::string& fileName);

// The unwrapped launcher and the test game of this build.
std::string LauncherStubPath();
std::string TestGamePath();

// The test game's bytes, read once; empty when its file cannot be read.
const std::string& TestGame();

// Writes a wrapped launcher: the built launcher followed by `appended`.
bool WriteWrappedLauncher(const std::string& path, const std::string& appended);

}  // namespace e2e
