#include "launcher/payload_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/file_position.h"
#include "common/unique_file.h"
#include "launcher/file_searcher.h"
#include "launcher/payload_format.h"

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

std::int64_t FindMarker(std::FILE* stream, const std::string& marker) {
  if (marker.empty()) return -1;
  // The last marker.size() - 1 bytes of each block are kept in front of the
  // next one, so a marker that straddles two blocks is found without comparing
  // a whole window at every byte.
  const std::size_t carryLength = marker.size() - 1;
  std::vector<unsigned char> buffer(carryLength + kSearchBlockSize);
  const std::int64_t start = TellFile(stream);
  std::int64_t bufferOffset = start < 0 ? 0 : start;  // file offset of buffer[0]
  std::size_t filled = 0;
  for (;;) {
    const std::size_t got = std::fread(buffer.data() + filled, 1, kSearchBlockSize, stream);
    if (got == 0) return -1;
    filled += got;
    const std::int64_t hit = FindIn(buffer.data(), filled, marker);
    if (hit >= 0) return bufferOffset + hit;
    const std::size_t keep = std::min(filled, carryLength);
    std::memmove(buffer.data(), buffer.data() + (filled - keep), keep);
    bufferOffset += static_cast<std::int64_t>(filled - keep);
    filled = keep;
  }
}

BuildIdStatus ReadBuildIdentifierFromFile(const std::string& path, const std::string& buildInfoText,
                                          std::int32_t& buildIdentifier) {
  std::int64_t found;
  {
    FileSearcher searcher;
    searcher.Open(path);  // a file that cannot be opened simply yields no match
    found = searcher.Find(buildInfoText);
  }
  if (found < 0) return BuildIdStatus::MarkerNotFound;

  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file) return BuildIdStatus::CannotOpen;
  char field[payload::kBuildIdLength + 1] = {};
  // A field that cannot be reached or read stays zero and gives 0, as a field
  // holding no digits does.
  if (SeekFile(file.get(), found + static_cast<std::int64_t>(payload::kBuildIdOffset))) {
    std::fread(field, 1, payload::kBuildIdLength, file.get());
  }
  buildIdentifier = payload::BuildIdFromField(field);
  return BuildIdStatus::Ok;
}

namespace {

// What the header block behind `markerOffset` holds at the record's place in
// a file of `fileSize` bytes. A file that ends there gives only the bytes it
// has: the tag alone tells a damaged record from none. False on a read error.
bool ReadRecord(std::FILE* launcher, std::int64_t fileSize, std::int64_t markerOffset,
                std::size_t markerLength, payload::RecordStatus& status,
                payload::PayloadRecord& record) {
  const std::int64_t recordAt = markerOffset + static_cast<std::int64_t>(markerLength) +
                                static_cast<std::int64_t>(payload::kRecordOffset);
  std::string bytes(static_cast<std::size_t>(std::clamp<std::int64_t>(
                        fileSize - recordAt, 0, static_cast<std::int64_t>(payload::kRecordSize))),
                    '\0');
  if (!bytes.empty() && (!SeekFile(launcher, recordAt) ||
                         std::fread(&bytes[0], 1, bytes.size(), launcher) != bytes.size())) {
    return false;
  }
  status = payload::ParsePayloadRecord(bytes, record);
  return true;
}

// Copies `length` bytes from the current position of `from` to `to`, feeding
// `checksum` when given.
PayloadCopyStatus CopyBytes(std::FILE* from, std::FILE* to, std::int64_t length,
                            payload::PayloadChecksum* checksum) {
  std::vector<char> buffer(kCopyBufferSize);
  for (std::int64_t remaining = length; remaining > 0;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(remaining, kCopyBufferSize));
    const std::size_t got = std::fread(buffer.data(), 1, want, from);
    // A read that delivers nothing while bytes remain (read error, shrunken
    // file) would otherwise repeat forever.
    if (got == 0) return PayloadCopyStatus::ReadFailed;
    if (checksum != nullptr) checksum->Update(buffer.data(), got);
    if (to != nullptr && std::fwrite(buffer.data(), 1, got, to) != got) {
      return PayloadCopyStatus::WriteFailed;
    }
    remaining -= static_cast<std::int64_t>(got);
  }
  return PayloadCopyStatus::Ok;
}

}  // namespace

PayloadCopyStatus CopyPayload(std::FILE* launcher, std::FILE* out, const std::string& marker) {
  // A size that cannot be measured must not pass for an empty payload: the
  // game would be started cut short or not at all, with no word why.
  const std::int64_t fileSize = MeasureFileSize(launcher);
  if (fileSize < 0) return PayloadCopyStatus::ReadFailed;

  const std::int64_t markerOffset = FindMarker(launcher, marker);
  if (markerOffset < 0) {
    // A search cut short by a read error has not shown that the marker is missing.
    return std::ferror(launcher) != 0 ? PayloadCopyStatus::ReadFailed
                                      : PayloadCopyStatus::MarkerNotFound;
  }

  const std::int64_t start =
      markerOffset + static_cast<std::int64_t>(marker.size() + payload::kHeaderSize);
  payload::RecordStatus recordStatus = payload::RecordStatus::Absent;
  payload::PayloadRecord record;
  if (!ReadRecord(launcher, fileSize, markerOffset, marker.size(), recordStatus, record)) {
    return PayloadCopyStatus::ReadFailed;
  }
  if (recordStatus == payload::RecordStatus::Damaged) return PayloadCopyStatus::RecordDamaged;
  const std::int64_t available = fileSize - start;
  if (recordStatus == payload::RecordStatus::Absent) {
    if (available <= 0) return PayloadCopyStatus::Ok;  // nothing behind the header
    if (!SeekFile(launcher, start)) return PayloadCopyStatus::ReadFailed;
    return CopyBytes(launcher, out, available, nullptr);
  }
  // An intact record that claims more than the file holds belongs to a file
  // cut short, a download broken off: never run part of a game. A file that
  // ends before the game's first byte holds none of it.
  if (available < 0 || record.payloadLength > static_cast<std::uint64_t>(available)) {
    return PayloadCopyStatus::ReadFailed;
  }
  if (!SeekFile(launcher, start)) return PayloadCopyStatus::ReadFailed;

  payload::PayloadChecksum checksum;
  const PayloadCopyStatus copied =
      CopyBytes(launcher, out, static_cast<std::int64_t>(record.payloadLength), &checksum);
  if (copied != PayloadCopyStatus::Ok) return copied;
  return checksum.Value() == record.payloadChecksum ? PayloadCopyStatus::Ok
                                                    : PayloadCopyStatus::ChecksumMismatch;
}

bool ChecksumFileRange(std::FILE* file, std::int64_t start, std::int64_t length,
                       std::uint64_t& checksum) {
  if (start < 0 || length < 0 || !SeekFile(file, start)) return false;
  payload::PayloadChecksum running;
  if (CopyBytes(file, nullptr, length, &running) != PayloadCopyStatus::Ok) return false;
  checksum = running.Value();
  return true;
}
