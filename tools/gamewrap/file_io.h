// File helpers of the publisher's tool: whole-file reads with a message, outputs
// that never leave a half-written file behind, and copies of exactly the bytes
// an input held when it was measured.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "common/unique_file.h"

namespace gamewrap {

// Reads the whole file as the launcher reads its files (::ReadWholeFile); false
// with a message naming the file in `error` when it cannot.
bool ReadWholeFile(const std::string& path, std::string& contents, std::string& error);

// Reads at most `maxSize` bytes from the start of the file (a bounded read of
// a small file, as the launcher reads its .psig file). False with a message.
bool ReadFileStart(const std::string& path, std::size_t maxSize, std::string& contents,
                   std::string& error);

// The message for a file that cannot be read whole: 2 GiB or more, or it
// changed size while it was read.
std::string NotWholeMessage(const std::string& path);

// An output file written under a temporary name beside its final path and
// renamed into place by Commit(). The temporary file is created exclusively
// under a fresh name, so it is never a file that already exists (an input, or
// another run's output). Until Commit() the final path is untouched; an output
// that is never committed is removed.
//
// An owner-only output (a private key) is created readable and writable by
// its owner alone (mode 0600; on Windows the folder's permissions apply).
class AtomicOutput {
 public:
  explicit AtomicOutput(std::string path, bool ownerOnly = false);
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;
  ~AtomicOutput();

  bool Open(std::string& error);
  bool Write(const void* data, std::size_t size, std::string& error);
  // Flushes the data to disk, then renames the file into place. With
  // `replace` false, an existing file at the final path is left as it is and
  // the commit fails.
  bool Commit(std::string& error, bool replace = true);

  // The file being written; empty before Open().
  const std::string& temporaryPath() const { return temporaryPath_; }

 private:
  void Discard();

  std::string path_;
  bool ownerOnly_;
  std::string temporaryPath_;
  UniqueFile file_;
};

// The text that every temporary output name ends with.
constexpr char kTemporaryOutputSuffix[] = ".gamewrap-partial";

// Copies exactly `size` bytes from `from` (at its current position) to `to`,
// and checks that `from` then ends: an input that shrinks or grows while it is
// read fails with a message naming `fromName`. `written`, when set, is given
// each piece once it is written; `progress`, when set, is then told the bytes
// copied so far.
using CopyProgress = std::function<void(std::int64_t copied, std::int64_t total)>;
using CopiedPiece = std::function<void(const char* data, std::size_t size)>;
bool CopyExactly(std::FILE* from, std::int64_t size, const std::string& fromName, AtomicOutput& to,
                 std::string& error, const CopyProgress& progress = {},
                 const CopiedPiece& written = {});

// Writes `contents` to `path` through an AtomicOutput.
bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string& error);

// A private key's text, from where a key option names it: `-` reads standard
// input, `env:NAME` the environment variable NAME, anything else is a file's
// path. At most `maxSize` bytes are taken; more is an error. False with a
// message naming the source.
bool ReadKeyText(const std::string& source, std::size_t maxSize, std::string& text,
                 std::string& error);

// True when both paths name the same existing file, or the same path.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace gamewrap
