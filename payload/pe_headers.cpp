#include "payload/pe_headers.h"

#include "common/file_position.h"
#include "payload/byte_fields.h"

namespace payload {

namespace {

constexpr std::size_t kMzHeaderSize = 64;
constexpr std::size_t kNewHeaderOffsetField = 0x3C;  // e_lfanew
constexpr std::size_t kSignatureSize = 4;            // "PE\0\0"
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kDirectoryEntrySize = 8;
// Where the optional header holds its count of data directories, which the
// directories follow.
constexpr std::size_t kDirectoryCountPe32 = 92;
constexpr std::size_t kDirectoryCountPe32Plus = 108;

PeResult Stopped(PeStatus status, PePart part) { return PeResult{status, part}; }

}  // namespace

PeResult PeBytes::Read(std::uint64_t offset, std::uint64_t size, PePart part,
                       std::string& bytes) const {
  if (offset > fileSize_ || size > fileSize_ - offset) return Stopped(PeStatus::PastEnd, part);
  if (file_ == nullptr) {
    if (offset + size > head_.size()) return Stopped(PeStatus::BeyondHead, part);
    bytes.assign(head_.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(size)));
    return {};
  }
  bytes.assign(static_cast<std::size_t>(size), '\0');
  if (size != 0 && (!SeekFile(file_, static_cast<std::int64_t>(offset)) ||
                    std::fread(&bytes[0], 1, bytes.size(), file_) != bytes.size())) {
    return Stopped(PeStatus::ReadFailed, part);
  }
  return {};
}

std::uint64_t PeFileHeader::OptionalHeaderOffset() const {
  return std::uint64_t{newHeaderOffset} + kSignatureSize + kFileHeaderSize;
}

std::uint64_t PeFileHeader::SectionTableOffset() const {
  return OptionalHeaderOffset() + optionalHeaderSize;
}

PeResult ReadPeFileHeader(const PeBytes& bytes, PeFileHeader& header) {
  std::string mz;
  if (!bytes.Read(0, 2, PePart::MzHeader, mz).Ok() || mz != "MZ") {
    return Stopped(PeStatus::NoMzHeader, PePart::MzHeader);
  }
  if (const PeResult read = bytes.Read(0, kMzHeaderSize, PePart::MzHeader, mz); !read.Ok()) {
    return read;
  }
  header = PeFileHeader{};
  header.newHeaderOffset = Le32At(mz, kNewHeaderOffsetField);
  if (std::uint64_t{header.newHeaderOffset} + kSignatureSize + kFileHeaderSize > bytes.FileSize()) {
    return Stopped(PeStatus::NewHeaderOutsideFile, PePart::PeHeader);
  }
  std::string pe;
  if (const PeResult read = bytes.Read(header.newHeaderOffset, kSignatureSize + kFileHeaderSize,
                                       PePart::PeHeader, pe);
      !read.Ok()) {
    return read;
  }
  if (pe.compare(0, kSignatureSize, "PE\0\0", kSignatureSize) != 0) {
    return Stopped(PeStatus::NoPeSignature, PePart::PeHeader);
  }
  header.machine = Le16At(pe, kSignatureSize);
  header.sectionCount = Le16At(pe, kSignatureSize + 2);
  header.optionalHeaderSize = Le16At(pe, kSignatureSize + 16);
  header.characteristics = Le16At(pe, kSignatureSize + 18);
  return {};
}

PeResult ReadPeOptionalHeader(const PeBytes& bytes, const PeFileHeader& header,
                              PeOptionalHeader& optional) {
  if (header.optionalHeaderSize < 2)
    return Stopped(PeStatus::NoOptionalHeader, PePart::OptionalHeader);
  if (const PeResult read = bytes.Read(header.OptionalHeaderOffset(), header.optionalHeaderSize,
                                       PePart::OptionalHeader, optional.bytes);
      !read.Ok()) {
    return read;
  }
  optional.magic = Le16At(optional.bytes, 0);
  return {};
}

bool FindPeDataDirectory(const PeOptionalHeader& optional, std::size_t index,
                         PeDataDirectory& entry) {
  std::size_t countAt = 0;
  if (optional.magic == kPeMagicPe32) {
    countAt = kDirectoryCountPe32;
  } else if (optional.magic == kPeMagicPe32Plus) {
    countAt = kDirectoryCountPe32Plus;
  } else {
    return false;
  }
  const std::size_t entryAt = countAt + 4 + index * kDirectoryEntrySize;
  if (entryAt + kDirectoryEntrySize > optional.bytes.size()) return false;
  if (Le32At(optional.bytes, countAt) <= index) return false;
  entry.address = Le32At(optional.bytes, entryAt);
  entry.size = Le32At(optional.bytes, entryAt + 4);
  return true;
}

PeResult ReadPeSections(const PeBytes& bytes, const PeFileHeader& header,
                        std::vector<PeSection>& sections) {
  std::string table;
  if (const PeResult read = bytes.Read(header.SectionTableOffset(),
                                       std::uint64_t{header.sectionCount} * kSectionHeaderSize,
                                       PePart::SectionTable, table);
      !read.Ok()) {
    return read;
  }
  sections.clear();
  for (std::size_t at = 0; at < table.size(); at += kSectionHeaderSize) {
    PeSection section;
    section.name = table.substr(at, 8);
    section.rawSize = Le32At(table, at + 16);
    section.rawOffset = Le32At(table, at + 20);
    sections.push_back(section);
  }
  return {};
}

}  // namespace payload
