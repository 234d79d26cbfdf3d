#include "payload/stream_reading.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/file_position.h"

namespace payload {

namespace {

constexpr std::size_t kSearchBlockSize = 1024;
constexpr std::size_t kCopyBufferSize = 4096;

// Offset of the first occurrence of `needle` (at least one byte) in
// `haystack`, or -1. memchr finds candidates for the first byte a machine word
// or more at a time; only those are compared in full.
std::int64_t FindIn(const unsigned char* haystack, std::size_t size, const std::string& needle) {
  const std::size_t length = needle.size();
  if (size < length) return -1;
  const auto first = static_cast<unsigned char>(needle[0]);
  const unsigned char* scan = haystack;
  const unsigned char* const lastStart = haystack + (size - length);
  while (scan <= lastStart) {
    const void* hit = std::memchr(scan, first, static_cast<std::size_t>(lastStart - scan) + 1);
    if (hit == nullptr) return -1;
    scan = static_cast<const unsigned char*>(hit);
    if (std::memcmp(scan + 1, needle.data() + 1, length - 1) == 0) return scan - haystack;
    ++scan;
  }
  return -1;
}

}  // namespace

std::int64_t FindInStream(std::FILE* stream, const std::string& text) {
  if (text.empty()) return -1;
  // The last text.size() - 1 bytes of each block are kept in front of the
  // next one, so a text that straddles two blocks is found without comparing
  // a whole window at every byte.
  const std::size_t carryLength = text.size() - 1;
  std::vector<unsigned char> buffer(carryLength + kSearchBlockSize);
  const std::int64_t start = TellFile(stream);
  std::int64_t bufferOffset = start < 0 ? 0 : start;  // file offset of buffer[0]
  std::size_t filled = 0;
  for (;;) {
    const std::size_t got = std::fread(buffer.data() + filled, 1, kSearchBlockSize, stream);
    if (got == 0) return -1;
    filled += got;
    const std::int64_t hit = FindIn(buffer.data(), filled, text);
    if (hit >= 0) return bufferOffset + hit;
    const std::size_t keep = std::min(filled, carryLength);
    std::memmove(buffer.data(), buffer.data() + (filled - keep), keep);
    bufferOffset += static_cast<std::int64_t>(filled - keep);
    filled = keep;
  }
}

StreamCopyStatus CopyStreamBytes(std::FILE* from, std::FILE* to, std::int64_t length,
                                 PayloadChecksum* checksum) {
  std::vector<char> buffer(kCopyBufferSize);
  for (std::int64_t remaining = length; remaining > 0;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(remaining, kCopyBufferSize));
    const std::size_t got = std::fread(buffer.data(), 1, want, from);
    // A read that delivers nothing while bytes remain (read error, shrunken
    // file) would otherwise repeat forever.
    if (got == 0) return StreamCopyStatus::ReadFailed;
    if (checksum != nullptr) checksum->Update(buffer.data(), got);
    if (to != nullptr && std::fwrite(buffer.data(), 1, got, to) != got) {
      return StreamCopyStatus::WriteFailed;
    }
    remaining -= static_cast<std::int64_t>(got);
  }
  return StreamCopyStatus::Ok;
}

bool ChecksumFileRange(std::FILE* file, std::int64_t start, std::int64_t length,
                       std::uint64_t& checksum) {
  if (start < 0 || length < 0 || !SeekFile(file, start)) return false;
  PayloadChecksum running;
  if (CopyStreamBytes(file, nullptr, length, &running) != StreamCopyStatus::Ok) return false;
  checksum = running.Value();
  return true;
}

}  // namespace payload
