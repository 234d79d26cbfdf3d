// Making and reading wrapped launchers: a launcher stub followed by the payload
// marker, the 400-byte payload header block and the game's executable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "payload/key_block.h"
#include "payload/payload_format.h"
#include "tools/gamewrap/file_io.h"

namespace gamewrap {

struct PackRequest {
  std::string stubPath;        // the built launcher
  std::string gamePath;        // the game's executable
  std::string outputPath;      // the wrapped launcher to write (replaced atomically)
  std::string buildId;         // exactly eight decimal digits
  CopyProgress progress = {};  // told of the game's bytes as they are copied; may be empty
  // The publisher key block to write into the header; without it the header's
  // bytes behind the payload record stay zero.
  std::optional<payload::KeyBlock> keyBlock = std::nullopt;
};

// Writes stub + marker + header + game, the header carrying the payload record
// of the game (its length and checksum). False with a message in `error` on
// bad input or I/O failure (also when the game changes while it is read);
// then nothing has been written.
bool PackGame(const PackRequest& request, std::string& error);

// Where a Windows program's certificate table lies: the file offset and size
// that its security data directory gives.
struct CertificateTable {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

// Reads the certificate table entry of the PE image at the start of `file`
// (`fileSize` bytes long). False when the file is not a PE image, or its entry
// is empty or points outside the file.
bool FindCertificateTable(std::FILE* file, std::int64_t fileSize, CertificateTable& table);

enum class PayloadMatch {
  NotChecked,  // no intact record, or one whose payload runs past the file's end
  Matches,
  Differs,
};

struct Inspection {
  std::int64_t markerOffset = -1;
  std::string buildId;           // the eight bytes of the field, as stored
  std::int64_t payloadSize = 0;  // everything behind the header block
  payload::RecordStatus recordStatus = payload::RecordStatus::Absent;
  payload::PayloadRecord record;  // when recordStatus is Intact
  // An intact record whose payload runs past the end of the file: a file cut
  // short, which the launcher refuses to run.
  bool recordPastEnd = false;
  PayloadMatch payloadMatch = PayloadMatch::NotChecked;
  bool hasCertificateTable = false;
  CertificateTable certificateTable;
  payload::KeyBlockStatus keyBlockStatus = payload::KeyBlockStatus::Absent;
  payload::KeyBlock keyBlock;  // when keyBlockStatus is Intact
};

// Reads a wrapped file's layout, record and certificate table, and checks the
// payload against its record. False with a message when it is not a wrapped
// file or cannot be read.
bool InspectWrapped(const std::string& path, Inspection& result, std::string& error);

}  // namespace gamewrap
