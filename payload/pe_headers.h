// Reading the headers of a Windows program (PE/COFF): the MZ header, the PE
// signature and file header, the optional header with its data directories,
// and the section table. The publisher's tool checks its inputs with them and
// finds a wrapped launcher's certificate table with them.
//
// Each step reports a PeResult: Ok, or what stopped it and in which part of
// the headers. Every offset is checked against the file's size (and against
// the bytes at hand) before anything is read at it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace payload {

constexpr std::uint16_t kPeMachineI386 = 0x014C;
constexpr std::uint16_t kPeMachineAmd64 = 0x8664;
constexpr std::uint16_t kPeMagicPe32 = 0x010B;        // the optional header of a 32-bit image
constexpr std::uint16_t kPeMagicPe32Plus = 0x020B;    // the optional header of a 64-bit image
constexpr std::uint16_t kPeExecutableImage = 0x0002;  // file header characteristics
constexpr std::uint16_t kPeDll = 0x2000;
// The data directory whose entry gives the certificate table's file offset
// and size (the only entry that holds a file offset, not a virtual address).
constexpr std::size_t kPeSecurityDirectory = 4;

enum class PeStatus {
  Ok,
  NoMzHeader,            // the file does not start with "MZ"
  PastEnd,               // the part runs past the end of the file
  BeyondHead,            // the part lies within the file but past the bytes at hand
  ReadFailed,            // reading the part from the file failed
  NewHeaderOutsideFile,  // e_lfanew leaves no room for the PE header in the file
  NoPeSignature,         // no "PE\0\0" where e_lfanew points
  NoOptionalHeader,      // the file header gives the optional header fewer than 2 bytes
};

enum class PePart { MzHeader, PeHeader, OptionalHeader, SectionTable };

struct PeResult {
  PeStatus status = PeStatus::Ok;
  PePart part = PePart::MzHeader;  // where reading stopped, when status is not Ok

  bool Ok() const { return status == PeStatus::Ok; }
};

// The bytes a reader sees of a file of `fileSize` bytes: either its first
// bytes, held in memory (`head`, at most the whole file), or the file itself,
// read on demand from the stream `file`.
class PeBytes {
 public:
  PeBytes(std::string_view head, std::uint64_t fileSize) : head_(head), fileSize_(fileSize) {}
  PeBytes(std::FILE* file, std::uint64_t fileSize) : file_(file), fileSize_(fileSize) {}

  std::uint64_t FileSize() const { return fileSize_; }

  // The `size` bytes at `offset`, which belong to `part`.
  PeResult Read(std::uint64_t offset, std::uint64_t size, PePart part, std::string& bytes) const;

 private:
  std::string_view head_;
  std::FILE* file_ = nullptr;
  std::uint64_t fileSize_ = 0;
};

// The COFF file header and where it stands.
struct PeFileHeader {
  std::uint32_t newHeaderOffset = 0;  // e_lfanew: where "PE\0\0" stands
  std::uint16_t machine = 0;
  std::uint16_t sectionCount = 0;
  std::uint16_t optionalHeaderSize = 0;
  std::uint16_t characteristics = 0;

  std::uint64_t OptionalHeaderOffset() const;
  std::uint64_t SectionTableOffset() const;
};

// Reads the MZ header (64 bytes), the PE signature and the file header.
PeResult ReadPeFileHeader(const PeBytes& bytes, PeFileHeader& header);

struct PeOptionalHeader {
  std::uint16_t magic = 0;  // kPeMagicPe32, kPeMagicPe32Plus or anything else
  std::string bytes;        // the whole optional header, as long as the file header says
};

// Reads the optional header behind `header`.
PeResult ReadPeOptionalHeader(const PeBytes& bytes, const PeFileHeader& header,
                              PeOptionalHeader& optional);

struct PeDataDirectory {
  std::uint32_t address = 0;
  std::uint32_t size = 0;
};

// Entry `index` of the optional header's data directories. False when the
// magic is neither PE32 nor PE32+, or the header holds no such entry (by its
// count of entries or by its size).
bool FindPeDataDirectory(const PeOptionalHeader& optional, std::size_t index,
                         PeDataDirectory& entry);

struct PeSection {
  std::string name;             // the 8 bytes of the name field, zero-padded
  std::uint32_t rawSize = 0;    // bytes of the section in the file
  std::uint32_t rawOffset = 0;  // file offset of the section's first byte
};

// Reads the section table behind the optional header.
PeResult ReadPeSections(const PeBytes& bytes, const PeFileHeader& header,
                        std::vector<PeSection>& sections);

}  // namespace payload
