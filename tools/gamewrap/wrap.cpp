#include "tools/gamewrap/wrap.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "common/file_position.h"
#include "common/unique_file.h"
#include "launcher/payload_format.h"
#include "launcher/payload_reader.h"
#include "tools/gamewrap/file_io.h"

namespace gamewrap {

namespace {

// The launcher keeps file offsets in signed 32 bits.
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
  if (!ChecksumFileRange(game.get(), 0, gameSize, record.payloadChecksum) ||
      !SeekFile(game.get(), 0)) {
    error = "cannot read game '" + request.gamePath + "'";
    return false;
  }
  front.replace(stub.size() + payload::kMarkerLength + payload::kRecordOffset, payload::kRecordSize,
                payload::MakePayloadRecord(record));

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

namespace {

// Bytes of `file` at `offset`, all of them within its `fileSize` bytes.
bool ReadAt(std::FILE* file, std::int64_t fileSize, std::int64_t offset, std::size_t size,
            std::string& bytes) {
  if (offset < 0 || offset > fileSize || static_cast<std::int64_t>(size) > fileSize - offset) {
    return false;
  }
  bytes.assign(size, '\0');
  return SeekFile(file, offset) && std::fread(&bytes[0], 1, size, file) == size;
}

std::uint32_t LittleEndian(const std::string& bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

bool FindCertificateTable(std::FILE* file, std::int64_t fileSize, CertificateTable& table) {
  // DOS header: "MZ", and at 0x3C the offset of the PE signature.
  constexpr std::size_t kDosHeaderSize = 64;
  constexpr std::size_t kPeOffsetAt = 0x3C;
  // PE signature (4 bytes) and COFF file header (20 bytes), whose bytes 16-17
  // give the optional header's size.
  constexpr std::size_t kPeHeadersSize = 24;
  constexpr std::size_t kOptionalSizeAt = 4 + 16;
  // Optional header: where the count of data directories and the directories
  // themselves lie, for 32-bit (PE32) and 64-bit (PE32+) images.
  constexpr std::uint32_t kPe32Magic = 0x10B;
  constexpr std::uint32_t kPe32PlusMagic = 0x20B;
  constexpr std::size_t kSecurityDirectory = 4;
  constexpr std::size_t kDirectoryEntrySize = 8;

  std::string dos;
  if (!ReadAt(file, fileSize, 0, kDosHeaderSize, dos) || dos.compare(0, 2, "MZ") != 0) return false;
  const std::int64_t peOffset = LittleEndian(dos, kPeOffsetAt, 4);
  std::string pe;
  if (!ReadAt(file, fileSize, peOffset, kPeHeadersSize, pe) ||
      pe.compare(0, 4, std::string("PE\0\0", 4)) != 0) {
    return false;
  }
  const std::size_t optionalSize = LittleEndian(pe, kOptionalSizeAt, 2);
  std::string optional;
  if (optionalSize < 2 ||
      !ReadAt(file, fileSize, peOffset + static_cast<std::int64_t>(kPeHeadersSize), optionalSize,
              optional)) {
    return false;
  }
  const std::uint32_t magic = LittleEndian(optional, 0, 2);
  std::size_t countAt = 0;
  if (magic == kPe32Magic)
    countAt = 92;
  else if (magic == kPe32PlusMagic)
    countAt = 108;
  else
    return false;
  const std::size_t entryAt = countAt + 4 + kSecurityDirectory * kDirectoryEntrySize;
  if (entryAt + kDirectoryEntrySize > optionalSize) return false;
  if (LittleEndian(optional, countAt, 4) <= kSecurityDirectory) return false;

  // This one entry holds a file offset, not a virtual address.
  CertificateTable found;
  found.offset = LittleEndian(optional, entryAt, 4);
  found.size = LittleEndian(optional, entryAt + 4, 4);
  if (found.offset == 0 || found.size == 0 ||
      static_cast<std::int64_t>(found.offset) + found.size > fileSize) {
    return false;
  }
  table = found;
  return true;
}

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
  const std::int64_t marker = FindMarker(file.get(), payload::PayloadMarker());
  if (marker < 0) {
    error = "'" + path + "' holds no payload marker: it is not a wrapped launcher";
    return false;
  }
  const std::int64_t payloadStart = marker + static_cast<std::int64_t>(payload::kPayloadOffset);
  if (size < payloadStart) {
    error = "'" + path + "' ends inside its payload header block";
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
      if (!ChecksumFileRange(file.get(), payloadStart,
                             static_cast<std::int64_t>(fields.record.payloadLength), checksum)) {
        error = "cannot read the payload of '" + path + "'";
        return false;
      }
      result.payloadMatch =
          checksum == fields.record.payloadChecksum ? PayloadMatch::Matches : PayloadMatch::Differs;
    }
  }
  result.hasCertificateTable = FindCertificateTable(file.get(), size, result.certificateTable);
  return true;
}

}  // namespace gamewrap
