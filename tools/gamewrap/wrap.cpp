#include "tools/gamewrap/wrap.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "common/file_position.h"
#include "common/unique_file.h"
#include "payload/payload_format.h"
#include "payload/pe_headers.h"
#include "payload/stream_reading.h"
#include "tools/gamewrap/file_io.h"

namespace gamewrap {

namespace {

// The tool's cap on a wrapped launcher: just under 2 GiB, kept from the first
// launchers, whose offsets were signed 32 bits. Today's launcher keeps offsets
// in 64 bits and reads files past 2 GiB (the launcher's large-file test).
constexpr std::int64_t kMaxWrappedSize = 0x7FFFFFFF;

// The launcher takes the first occurrence of each search text as the start of
// its appended data. A stub holding one of them whole (an already wrapped
// launcher), or ending in the first bytes of one so that the appended copy
// matches early, would make it read a wrong build identifier or copy a corrupt
// game. Each text must therefore first occur exactly where the tool puts it.
bool CheckSearchTextsLand(const std::string& front, std::size_t stubSize,
                          const std::string& stubPath, std::string& error) {
  const std::pair<std::string, std::size_t> expected[] = {
      {payload::PayloadMarker(), stubSize},
      {payload::BuildInfoText(), stubSize + payload::kMarkerLength}};
  for (const auto& [text, where] : expected) {
    const std::size_t found = front.find(text);
    if (found == where) continue;
    error = found + text.size() <= stubSize
                ? "stub '" + stubPath +
                      "' already contains a payload search text (is it an already wrapped "
                      "launcher?)"
                : "stub '" + stubPath +
                      "' ends in the first bytes of a payload search text, which would make the "
                      "launcher find its appended data in the wrong place";
    return false;
  }
  return true;
}

// Reads the stub whole and checks that it held the size measured before.
bool ReadStub(const std::string& path, std::string& stub, std::string& error) {
  std::error_code ec;
  const std::uintmax_t measured = std::filesystem::file_size(path, ec);
  if (!ReadWholeFile(path, stub, error)) return false;
  if (ec || stub.size() != measured) {
    error = "stub '" + path + "' changed size while it was being read";
    return false;
  }
  return true;
}

}  // namespace

bool PackGame(const PackRequest& request, std::string& error) {
  if (!payload::IsBuildIdField(request.buildId)) {
    error = "build identifier '" + request.buildId + "' is not exactly eight decimal digits";
    return false;
  }
  if (SameFile(request.outputPath, request.stubPath) ||
      SameFile(request.outputPath, request.gamePath)) {
    error = "output '" + request.outputPath + "' is one of the input files";
    return false;
  }

  std::string stub;
  if (!ReadStub(request.stubPath, stub, error)) return false;
  std::string front = stub + payload::MakeAppendedData(request.buildId, "");
  if (!CheckSearchTextsLand(front, stub.size(), request.stubPath, error)) return false;

  UniqueFile game(std::fopen(request.gamePath.c_str(), "rb"));
  if (!game) {
    error = "cannot open game '" + request.gamePath + "': " + std::strerror(errno);
    return false;
  }
  const std::int64_t gameSize = MeasureFileSize(game.get());
  if (gameSize < 0) {
    error = "cannot read game '" + request.gamePath + "'";
    return false;
  }
  if (gameSize == 0) {
    error = "game '" + request.gamePath + "' is empty";
    return false;
  }
  const std::int64_t total = static_cast<std::int64_t>(stub.size()) +
                             static_cast<std::int64_t>(payload::kPayloadOffset) + gameSize;
  if (total > kMaxWrappedSize) {
    error = "wrapped launcher would be 2 GiB or larger, which the launcher cannot read";
    return false;
  }

  // The record goes in front of the game, so the game is read twice: once for
  // its checksum, once to copy it. The bytes copied are checksummed as they
  // are written: a game changed in between, or while it is copied, would
  // otherwise give a launcher that every user's copy refuses.
  payload::PayloadRecord record;
  record.payloadLength = static_cast<std::uint64_t>(gameSize);
  if (!payload::ChecksumFileRange(game.get(), 0, gameSize, record.payloadChecksum) ||
      !SeekFile(game.get(), 0)) {
    error = "cannot read game '" + request.gamePath + "'";
    return false;
  }
  front.replace(stub.size() + payload::kMarkerLength + payload::kRecordOffset, payload::kRecordSize,
                payload::MakePayloadRecord(record));
  if (request.keyBlock) {
    const std::size_t count = request.keyBlock->entries.size();
    if (count < 1 || count > payload::kKeyBlockMaxEntries) {
      error = "a publisher key block holds one or two keys";
      return false;
    }
    front.replace(stub.size() + payload::kMarkerLength + payload::kKeyBlockOffset,
                  payload::kKeyBlockSize, payload::MakeKeyBlock(*request.keyBlock));
  }

  AtomicOutput output(request.outputPath);
  if (!output.Open(error)) return false;
  payload::PayloadChecksum copied;
  if (!output.Write(front.data(), front.size(), error) ||
      !CopyExactly(game.get(), gameSize, "game '" + request.gamePath + "'", output, error,
                   request.progress,
                   [&copied](const char* data, std::size_t size) { copied.Update(data, size); })) {
    return false;
  }
  if (copied.Value() != record.payloadChecksum) {
    error = "game '" + request.gamePath + "' changed while it was being read";
    return false;
  }
  return output.Commit(error);
}

bool FindCertificateTable(std::FILE* file, std::int64_t fileSize, CertificateTable& table) {
  if (fileSize < 0) return false;
  const payload::PeBytes bytes(file, static_cast<std::uint64_t>(fileSize));
  payload::PeFileHeader header;
  payload::PeOptionalHeader optional;
  payload::PeDataDirectory entry;
  if (!payload::ReadPeFileHeader(bytes, header).Ok() ||
      !payload::ReadPeOptionalHeader(bytes, header, optional).Ok() ||
      !payload::FindPeDataDirectory(optional, payload::kPeSecurityDirectory, entry)) {
    return false;
  }
  // This one entry holds a file offset, not a virtual address.
  if (entry.address == 0 || entry.size == 0 ||
      static_cast<std::int64_t>(entry.address) + entry.size > fileSize) {
    return false;
  }
  table.offset = entry.address;
  table.size = entry.size;
  return true;
}

namespace {

// How the launcher ends a file of `size` bytes that ends inside the header
// block behind the marker at `marker`, in the words docs/security.md uses.
std::string CutHeaderOutcome(std::FILE* file, std::int64_t marker, std::int64_t size) {
  const std::int64_t held = size - marker - static_cast<std::int64_t>(payload::kMarkerLength);
  if (held < static_cast<std::int64_t>(payload::kBuildInfoLength)) {
    return ", within its build-information text: the launcher shows that it cannot find it "
           "(exit code 0)";
  }
  if (held < static_cast<std::int64_t>(payload::kRecordOffset)) {
    return ", within or before its build identifier: the launcher reads another build "
           "identifier and refuses the properties signature (exit code 0)";
  }
  std::string tag(payload::kRecordTagLength, '\0');
  const bool tagComplete =
      held >= static_cast<std::int64_t>(payload::kRecordOffset + payload::kRecordTagLength) &&
      SeekFile(file, marker + static_cast<std::int64_t>(payload::kMarkerLength +
                                                        payload::kRecordOffset)) &&
      std::fread(&tag[0], 1, tag.size(), file) == tag.size() && tag == payload::kRecordTag;
  if (tagComplete) {
    return ", behind a payload record's tag: the launcher refuses to run it "
           "(\"Unable to extract game executable.\", exit code 7)";
  }
  return ", before any payload record's tag is complete: the launcher extracts nothing and "
         "shows \"Failed to execute game\" (exit code 0)";
}

}  // namespace

bool InspectWrapped(const std::string& path, Inspection& result, std::string& error) {
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  const std::int64_t size = MeasureFileSize(file.get());
  if (size < 0) {
    error = "cannot read '" + path + "'";
    return false;
  }
  const std::int64_t marker = payload::FindInStream(file.get(), payload::PayloadMarker());
  if (marker < 0) {
    error = "'" + path + "' holds no payload marker: it is not a wrapped launcher";
    return false;
  }
  const std::int64_t payloadStart = marker + static_cast<std::int64_t>(payload::kPayloadOffset);
  if (size < payloadStart) {
    error = "'" + path + "' ends inside its payload header block" +
            CutHeaderOutcome(file.get(), marker, size);
    return false;
  }
  std::string header(payload::kHeaderSize, '\0');
  if (!SeekFile(file.get(), marker + static_cast<std::int64_t>(payload::kMarkerLength)) ||
      std::fread(&header[0], 1, header.size(), file.get()) != header.size()) {
    error = "cannot read the payload header block of '" + path + "'";
    return false;
  }
  payload::HeaderFields fields;
  if (!payload::ParseHeader(header, fields)) {
    error = "'" + path + "' has no build-information text behind its payload marker";
    return false;
  }
  result.markerOffset = marker;
  result.buildId = fields.buildIdField;
  result.payloadSize = size - payloadStart;
  result.recordStatus = fields.recordStatus;
  result.record = fields.record;
  result.recordPastEnd = false;
  result.payloadMatch = PayloadMatch::NotChecked;
  if (fields.recordStatus == payload::RecordStatus::Intact) {
    result.recordPastEnd =
        fields.record.payloadLength > static_cast<std::uint64_t>(result.payloadSize);
    if (!result.recordPastEnd) {
      std::uint64_t checksum = 0;
      if (!payload::ChecksumFileRange(file.get(), payloadStart,
                                      static_cast<std::int64_t>(fields.record.payloadLength),
                                      checksum)) {
        error = "cannot read the payload of '" + path + "'";
        return false;
      }
      result.payloadMatch =
          checksum == fields.record.payloadChecksum ? PayloadMatch::Matches : PayloadMatch::Differs;
    }
  }
  result.hasCertificateTable = FindCertificateTable(file.get(), size, result.certificateTable);
  result.keyBlock = payload::KeyBlock();
  result.keyBlockStatus = payload::ParseKeyBlock(
      std::string_view(header).substr(payload::kKeyBlockOffset), result.keyBlock);
  return true;
}

}  // namespace gamewrap
