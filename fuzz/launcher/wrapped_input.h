// Turns fuzzer bytes into the contents of a launcher file with appended data.
// Random bytes almost never hold the 18-byte marker, the 80-byte
// build-information text and a record whose own checksum holds, so most inputs
// describe such a file instead of being it:
//
//   byte 0        mode: bit 0 clear = the rest is the file as it is
//   bytes 1-8     claimed payload length, little-endian (bit 1 of the mode set:
//                 the game's true length instead)
//   byte 9        bit 0: record checksum matches the game; bit 1: break the
//                 record's own checksum; bit 2: no record at all; bit 3: drop
//                 the build-information text; bit 4: cut the file inside the
//                 header block (at the offset in byte 11); bit 5: leave the marker
//                 out and keep only the header block
//   bytes 10-11   stub length (taken modulo 4096), then the stub, then the game
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/kova_little_endian.h"
#include "payload/payload_format.h"

namespace fuzzinput {

inline std::string MakeLauncherFile(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  const std::uint8_t mode = data[0];
  if ((mode & 1) == 0 || size < 12) {
    return std::string(reinterpret_cast<const char*>(data + 1), size - 1);
  }
  const std::uint64_t claimedLength = KovaReadLe64(data + 1);
  const std::uint8_t flags = data[9];
  const std::size_t rest = size - 12;
  std::size_t stubLength = KovaReadLe16(data + 10) % 4096;
  if (stubLength > rest) stubLength = rest;
  const std::string_view stub(reinterpret_cast<const char*>(data + 12), stubLength);
  const std::string_view game(reinterpret_cast<const char*>(data + 12 + stubLength),
                              rest - stubLength);

  std::optional<payload::PayloadRecord> record;
  if ((flags & 4) == 0) {
    payload::PayloadRecord made;
    made.payloadLength = (mode & 2) != 0 ? game.size() : claimedLength;
    const std::string_view covered = game.substr(
        0, static_cast<std::size_t>(std::min<std::uint64_t>(made.payloadLength, game.size())));
    made.payloadChecksum = payload::ChecksumOf(covered) ^ ((flags & 1) != 0 ? 0 : 1);
    record = made;
  }
  std::string header = payload::MakeHeader("12345678", record);
  if ((flags & 2) != 0) header[payload::kRecordOffset + payload::kRecordSize - 1] ^= 0x5A;
  if ((flags & 8) != 0) header[0] = 'X';

  std::string file(stub);
  if ((flags & 32) == 0) file += payload::PayloadMarker();
  file += header;
  if ((flags & 16) != 0) {
    file.resize(file.size() - payload::kHeaderSize + data[11] % payload::kHeaderSize);
  } else {
    file += game;
  }
  return file;
}

}  // namespace fuzzinput
