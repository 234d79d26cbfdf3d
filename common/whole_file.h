// Reading a file whole into memory, for the small files that are read that
// way: properties documents, signature and key files, stubs in the tool.
//
// The size is measured at the file's end and the file is read in one read of
// exactly that many bytes into a zero-filled buffer. A size that reaches the
// limit is refused before anything is allocated, and a read that comes up
// short is refused rather than passing part of the file (and the zeros behind
// it) on as the whole.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

enum class WholeFileStatus {
  Ok,
  CannotOpen,  // the file cannot be opened; errno says why
  CannotRead,  // its size cannot be measured or the read failed; errno says why
  NotWhole,    // its size reaches the limit, or it shrank while it was read
};

// Files of this size or more are refused: a byte string of that size cannot be
// relied on in a 32-bit process.
inline constexpr std::int64_t kWholeFileSizeLimit = std::int64_t{1} << 31;

// Reads the open stream from its start to its measured end into `contents`
// (replaced; left empty unless the read succeeded).
WholeFileStatus ReadWholeStream(std::FILE* file, std::string& contents);

// Opens the file at `path` for binary reading and reads it with ReadWholeStream.
WholeFileStatus ReadWholeFile(const std::string& path, std::string& contents);
