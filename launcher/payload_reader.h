// The portable steps of reading the appended data: finding the marker, reading
// the build identifier and copying the payload. The launcher's Windows layer
// adds the message boxes, the temporary file and the exit codes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "payload/key_block.h"

// The stdio buffer that each of the extraction's two streams gets, so that
// the 1 KiB reads of the marker search and the 4 KiB reads and writes of the
// copy each cost a memory copy rather than a system call.
constexpr std::size_t kExtractionStreamBufferSize = 262144;

// Offset of the first byte of the first occurrence of `marker` (non-empty, no
// zero byte) in `stream`, which is positioned at its start; -1 when there is
// none or a read fails first. Reads blocks of 1024 bytes; a marker straddling
// two blocks is found. Offsets are 64-bit: launcher files may exceed 2 GiB.
// Leaves the stream at an unspecified position.
std::int64_t FindMarker(std::FILE* stream, const std::string& marker);

enum class BuildIdStatus { Ok, MarkerNotFound, CannotOpen };

// The publisher key block of the header that holds the build identifier.
struct HeaderKeyBlock {
  payload::KeyBlockStatus status = payload::KeyBlockStatus::Absent;
  payload::KeyBlock block;  // set when status is Intact
};

// Finds `buildInfoText` in the file at `path` and reads the eight-character
// build identifier field 160 bytes behind its start, as the C library's
// decimal conversion reads it (digits up to the first non-digit). When
// `keyBlock` is given, also reads the key block of the same header (block
// offset payload::kKeyBlockOffset): a file that ends inside it gives the
// bytes it has, and a read error there counts as damage, so that a failing
// read never makes a block requiring a publisher signature look absent.
BuildIdStatus ReadBuildIdentifierFromFile(const std::string& path, const std::string& buildInfoText,
                                          std::int32_t& buildIdentifier,
                                          HeaderKeyBlock* keyBlock = nullptr);

// Appended to, never renumbered.
enum class PayloadCopyStatus {
  Ok,
  MarkerNotFound,
  WriteFailed,
  ReadFailed,
  ChecksumMismatch,
  RecordDamaged,
};

// Copies the payload behind the first `marker` in `launcher` (positioned at
// its start) into `out`, through one buffer of 4096 bytes. The payload starts
// 418 bytes behind the marker. When the header block holds an intact payload
// record, exactly that many bytes are copied and checksummed on the way
// (ChecksumMismatch when they differ from the record; ReadFailed when the file
// holds fewer than the record claims: a file cut short, down to one that ends
// before the payload's first byte). A header block that carries the record's
// tag but no intact record (its own checksum fails, or the file ends inside
// it) gives RecordDamaged: the tag does not occur by chance, so the file is
// damaged. Without the tag everything to the end of the file is copied, and
// nothing when the file ends before the payload. Nothing is copied when the
// marker is missing. ReadFailed when the file's size cannot be measured, a
// read fails during the marker search or of the record, the payload's start
// cannot be reached, or the file delivers fewer bytes than its size promised.
// After any failure the caller must discard whatever reached `out`.
PayloadCopyStatus CopyPayload(std::FILE* launcher, std::FILE* out, const std::string& marker);
