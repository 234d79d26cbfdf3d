#include "tools/gamewrap/file_io.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace gamewrap {

namespace {
std::string Describe(const std::string& what, const std::string& path) {
  return what + " '" + path + "': " + std::strerror(errno);
}
}  // namespace

bool ReadWholeFile(const std::string& path, std::string& contents, std::string& error) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    error = "cannot read '" + path + "': it is a directory";
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = Describe("cannot open", path);
    return false;
  }
  contents.clear();
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = "cannot read '" + path + "'";
    return false;
  }
  return true;
}

AtomicOutput::AtomicOutput(std::string path)
    : path_(std::move(path)), temporaryPath_(path_ + ".gamewrap-partial") {}

AtomicOutput::~AtomicOutput() {
  if (file_ != nullptr) {
    std::fclose(file_);
    std::remove(temporaryPath_.c_str());
  }
}

bool AtomicOutput::Open(std::string& error) {
  file_ = std::fopen(temporaryPath_.c_str(), "wb");
  if (file_ == nullptr) {
    error = Describe("cannot create", temporaryPath_);
    return false;
  }
  return true;
}

bool AtomicOutput::Write(const void* data, std::size_t size, std::string& error) {
  if (size != 0 && std::fwrite(data, 1, size, file_) != size) {
    error = Describe("cannot write", temporaryPath_);
    return false;
  }
  return true;
}

bool AtomicOutput::Commit(std::string& error) {
  // A failed flush at close is a failed write: the data did not all arrive.
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed) {
    error = Describe("cannot write", temporaryPath_);
    std::remove(temporaryPath_.c_str());
    return false;
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

bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string& error) {
  AtomicOutput output(path);
  return output.Open(error) && output.Write(contents.data(), contents.size(), error) &&
         output.Commit(error);
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
