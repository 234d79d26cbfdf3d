#include "launcher/payload_reader.h"

#include <algorithm>

#include "common/file_position.h"
#include "common/unique_file.h"
#include "launcher/file_searcher.h"
#include "payload/payload_format.h"
#include "payload/stream_reading.h"

std::int64_t FindMarker(std::FILE* stream, const std::string& marker) {
  return payload::FindInStream(stream, marker);
}

namespace {

// The key block of the header block that starts at `headerAt` in `file`.
HeaderKeyBlock ReadKeyBlock(std::FILE* file, std::int64_t headerAt) {
  HeaderKeyBlock read;
  std::string bytes(payload::kKeyBlockSize, '\0');
  if (!SeekFile(file, headerAt + static_cast<std::int64_t>(payload::kKeyBlockOffset))) {
    read.status = payload::KeyBlockStatus::Damaged;
    return read;
  }
  const std::size_t got = std::fread(&bytes[0], 1, bytes.size(), file);
  if (std::ferror(file) != 0) {
    read.status = payload::KeyBlockStatus::Damaged;
    return read;
  }
  bytes.resize(got);
  read.status = payload::ParseKeyBlock(bytes, read.block);
  return read;
}

}  // namespace

BuildIdStatus ReadBuildIdentifierFromFile(const std::string& path, const std::string& buildInfoText,
                                          std::int32_t& buildIdentifier, HeaderKeyBlock* keyBlock) {
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
  if (keyBlock != nullptr) *keyBlock = ReadKeyBlock(file.get(), found);
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
  switch (payload::CopyStreamBytes(from, to, length, checksum)) {
    case payload::StreamCopyStatus::Ok:
      return PayloadCopyStatus::Ok;
    case payload::StreamCopyStatus::WriteFailed:
      return PayloadCopyStatus::WriteFailed;
    case payload::StreamCopyStatus::ReadFailed:
      break;
  }
  return PayloadCopyStatus::ReadFailed;
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
