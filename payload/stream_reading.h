// Reading a wrapped launcher's file as a C stream: finding the first
// occurrence of a text, and copying or checksumming a range of its bytes. The
// launcher's extraction and the publisher's tool both read the file this way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "payload/payload_format.h"

namespace payload {

// Offset of the first byte of the first occurrence of `text` in `stream`,
// searched from the stream's current position to its end; -1 when `text` is
// empty, does not occur, or a read fails first. Reads blocks of 1024 bytes;
// an occurrence straddling two blocks is found. Offsets are 64-bit: launcher
// files may exceed 2 GiB. Leaves the stream at an unspecified position.
std::int64_t FindInStream(std::FILE* stream, const std::string& text);

enum class StreamCopyStatus { Ok, ReadFailed, WriteFailed };

// Copies `length` bytes from the current position of `from` to `to` through
// one buffer of 4096 bytes, feeding `checksum` on the way. Either of `to` and
// `checksum` may be null. ReadFailed when `from` delivers nothing while bytes
// remain (a read error, a file that has shrunk).
StreamCopyStatus CopyStreamBytes(std::FILE* from, std::FILE* to, std::int64_t length,
                                 PayloadChecksum* checksum);

// XXH3-64 of `length` bytes of `file` from `start`, as the payload record
// holds it. False when they cannot all be read.
bool ChecksumFileRange(std::FILE* file, std::int64_t start, std::int64_t length,
                       std::uint64_t& checksum);

}  // namespace payload
