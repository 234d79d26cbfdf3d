// A small reader of one file that can push characters back, with a plain search
// that tries every start position in turn (used once per start, for the
// build-information text).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class FileSearcher {
 public:
  FileSearcher() = default;
  FileSearcher(const FileSearcher&) = delete;
  FileSearcher& operator=(const FileSearcher&) = delete;
  ~FileSearcher();

  // Closes any open file first, then opens `path` for binary reading.
  bool Open(const std::string& path);
  // Resets the count; closes the file and forgets pushed-back characters.
  void Close();
  // True without a file; false while pushed-back characters remain; otherwise
  // whether a take has already found no byte left (the end of the file or a
  // read error), as a stream's end-of-file and error indicators would say.
  bool AtEnd() const;
  // The last pushed-back character, else the next byte (0..255), else -1.
  int Take();
  void PushBack(int character);
  // File offset of the first occurrence of `text` (at least one character) at or
  // after the current position, or -1.
  // The count is 64 bits wide so that offsets past 2 GiB come out right.
  std::int64_t Find(const std::string& text);

  // The file is read in blocks of this size; Take hands them out a byte at a
  // time, without a call into the C library for each.
  static constexpr std::size_t kReadBlockSize = 65536;

 private:
  std::FILE* file_ = nullptr;
  std::int64_t count_ = 0;  // characters taken, less those pushed back
  std::vector<int> pushedBack_;
  std::vector<unsigned char> block_;
  std::size_t blockNext_ = 0;  // next byte of block_ to hand out
  std::size_t blockEnd_ = 0;   // bytes of block_ filled by the last read
  // A take found no byte left: the file's end, or a read error, which ends a
  // search just as the end does rather than being retried forever.
  bool exhausted_ = false;
};
