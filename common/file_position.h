// 64-bit positions in C streams on every build: `long` is 32 bits on Windows,
// where ftell and fseek cannot address files of 2 GiB or more.
#pragma once

#include <cstdint>
#include <cstdio>

// The stream's position, or -1 when it cannot be told.
inline std::int64_t TellFile(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return static_cast<std::int64_t>(ftello(file));
#endif
}

// True when the stream now stands at `offset` from `origin` (SEEK_SET, SEEK_END ...).
inline bool SeekFile(std::FILE* file, std::int64_t offset, int origin = SEEK_SET) {
#ifdef _WIN32
  return _fseeki64(file, offset, origin) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

// The stream's size, measured at its end; the stream is put back at its start.
// -1 when it cannot be measured.
inline std::int64_t MeasureFileSize(std::FILE* file) {
  if (!SeekFile(file, 0, SEEK_END)) return -1;
  const std::int64_t size = TellFile(file);
  if (!SeekFile(file, 0, SEEK_SET)) return -1;
  return size;
}
