#include "tools/gamewrap/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common/whole_file.h"

namespace fs = std::filesystem;

namespace gamewrap {

namespace {

std::string Describe(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}

// Creates `path` for binary writing, failing when any file of that name exists.
std::FILE* CreateExclusively(const std::string& path, bool ownerOnly) {
#ifdef _WIN32
  static_cast<void>(ownerOnly);
  const int fd =
      _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
#else
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
#endif
  return file;
}

// Pushes the stream's bytes through to the disk, so that the rename that
// follows never exposes a file whose data is still only in caches.
bool FlushToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

std::string RandomHex() {
  static std::random_device entropy;
  const std::uint64_t value = (static_cast<std::uint64_t>(entropy()) << 32) ^ entropy();
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& contents, std::string& error) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    error = "cannot read '" + path + "': it is a directory";
    return false;
  }
  switch (::ReadWholeFile(path, contents)) {
    case WholeFileStatus::Ok:
      return true;
    case WholeFileStatus::CannotOpen:
      error = Describe("cannot open", path);
      return false;
    case WholeFileStatus::CannotRead:
      error = Describe("cannot read", path);
      return false;
    case WholeFileStatus::NotWhole:
      break;
  }
  error = NotWholeMessage(path);
  return false;
}

bool ReadFileStart(const std::string& path, std::size_t maxSize, std::string& contents,
                   std::string& error) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    error = "cannot read '" + path + "': it is a directory";
    return false;
  }
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = Describe("cannot open", path);
    return false;
  }
  std::string read(maxSize, '\0');
  const std::size_t got = std::fread(&read[0], 1, read.size(), file.get());
  if (std::ferror(file.get()) != 0) {
    error = Describe("cannot read", path);
    return false;
  }
  read.resize(got);
  contents = std::move(read);
  return true;
}

std::string NotWholeMessage(const std::string& path) {
  return "cannot read '" + path + "' whole: 2 GiB or more, or it changed size";
}

AtomicOutput::AtomicOutput(std::string path, bool ownerOnly)
    : path_(std::move(path)), ownerOnly_(ownerOnly) {}

AtomicOutput::~AtomicOutput() { Discard(); }

void AtomicOutput::Discard() {
  if (file_) {
    file_.reset();
    std::remove(temporaryPath_.c_str());
  }
}

bool AtomicOutput::Open(std::string& error) {
  // The name extends the output's own path, so the file lies in the output's
  // folder and the rename stays within one file system.
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    temporaryPath_ = path_ + "." + RandomHex() + kTemporaryOutputSuffix;
    file_.reset(CreateExclusively(temporaryPath_, ownerOnly_));
    if (file_) return true;
    if (errno != EEXIST) break;
  }
  error = Describe("cannot create", temporaryPath_);
  return false;
}

bool AtomicOutput::Write(const void* data, std::size_t size, std::string& error) {
  if (size != 0 && std::fwrite(data, 1, size, file_.get()) != size) {
    error = Describe("cannot write", temporaryPath_);
    return false;
  }
  return true;
}

bool AtomicOutput::Commit(std::string& error, bool replace) {
  // A failed flush or close is a failed write: the data did not all arrive.
  if (!file_) {
    error = "cannot commit '" + path_ + "': it was never opened";
    return false;
  }
  const bool flushed = FlushToDisk(file_.get());
  if (!flushed) error = Describe("cannot write", temporaryPath_);
  const bool closed = CloseChecked(file_);
  if (flushed && !closed) error = Describe("cannot write", temporaryPath_);
  if (!flushed || !closed) {
    std::remove(temporaryPath_.c_str());
    return false;
  }
  if (!replace) {
    // A new name only: a hard link fails when the name exists (the C
    // library's rename does on Windows).
#ifdef _WIN32
    const bool placed = std::rename(temporaryPath_.c_str(), path_.c_str()) == 0;
#else
    const bool placed = link(temporaryPath_.c_str(), path_.c_str()) == 0;
#endif
    if (!placed) error = Describe("cannot create", path_);
    std::remove(temporaryPath_.c_str());
    return placed;
  }
  std::error_code ec;
  fs::rename(temporaryPath_, path_, ec);
  if (ec) {
    error = "cannot rename '" + temporaryPath_ + "' to '" + path_ + "': " + ec.message();
    std::remove(temporaryPath_.c_str());
    return false;
  }
  return true;
}

bool CopyExactly(std::FILE* from, std::int64_t size, const std::string& fromName, AtomicOutput& to,
                 std::string& error, const CopyProgress& progress, const CopiedPiece& written) {
  std::vector<char> buffer(1 << 20);
  for (std::int64_t remaining = size; remaining > 0;) {
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::int64_t>(remaining, static_cast<std::int64_t>(buffer.size())));
    const std::size_t got = std::fread(buffer.data(), 1, want, from);
    if (got != want) {
      error = std::ferror(from) != 0 ? "cannot read '" + fromName + "'"
                                     : "'" + fromName + "' shrank while it was being read";
      return false;
    }
    if (!to.Write(buffer.data(), got, error)) return false;
    if (written) written(buffer.data(), got);
    remaining -= static_cast<std::int64_t>(got);
    if (progress) progress(size - remaining, size);
  }
  if (std::fgetc(from) != EOF) {
    error = "'" + fromName + "' grew while it was being read";
    return false;
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string& error) {
  AtomicOutput output(path);
  return output.Open(error) && output.Write(contents.data(), contents.size(), error) &&
         output.Commit(error);
}

bool ReadKeyText(const std::string& source, std::size_t maxSize, std::string& text,
                 std::string& error) {
  constexpr char kEnvPrefix[] = "env:";
  if (source.compare(0, sizeof kEnvPrefix - 1, kEnvPrefix) == 0) {
    const std::string name = source.substr(sizeof kEnvPrefix - 1);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value == nullptr) {
      error = "the environment variable '" + name + "' is not set";
      return false;
    }
    text = value;
    if (text.size() > maxSize) {
      error = "the environment variable '" + name + "' holds more than " + std::to_string(maxSize) +
              " bytes";
      return false;
    }
    return true;
  }
  if (source == "-") {
    // One byte more than allowed tells a longer input from one that fits.
    std::string read(maxSize + 1, '\0');
    const std::size_t got = std::fread(&read[0], 1, read.size(), stdin);
    if (std::ferror(stdin) != 0) {
      error = "cannot read the key from standard input";
      return false;
    }
    if (got > maxSize) {
      error = "standard input holds more than " + std::to_string(maxSize) + " bytes of key";
      return false;
    }
    read.resize(got);
    text = std::move(read);
    return true;
  }
  std::string contents;
  if (!ReadWholeFile(source, contents, error)) return false;
  if (contents.size() > maxSize) {
    error = "key file '" + source + "' is longer than " + std::to_string(maxSize) + " bytes";
    return false;
  }
  text = std::move(contents);
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  const fs::path left = fs::weakly_canonical(a, ec);
  if (ec) return a == b;
  const fs::path right = fs::weakly_canonical(b, ec);
  if (ec) return a == b;
  return left == right;
}

}  // namespace gamewrap
