// File helpers of the publisher's tool: whole-file reads and outputs that never
// leave a half-written file behind.
#pragma once

#include <cstdio>
#include <string>

namespace gamewrap {

// Reads the whole file; false with a message in `error` when it cannot.
bool ReadWholeFile(const std::string& path, std::string& contents, std::string& error);

// An output file written under a temporary name beside its final path and
// renamed into place by Commit(). Until then the final path is untouched; an
// output that is never committed is removed.
class AtomicOutput {
 public:
  explicit AtomicOutput(std::string path);
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;
  ~AtomicOutput();

  bool Open(std::string& error);
  bool Write(const void* data, std::size_t size, std::string& error);
  bool Commit(std::string& error);

 private:
  std::string path_;
  std::string temporaryPath_;
  std::FILE* file_ = nullptr;
};

// Writes `contents` to `path` through an AtomicOutput.
bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string& error);

// True when both paths name the same existing file, or the same path.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace gamewrap
