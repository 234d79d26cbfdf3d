#include "tools/gamewrap/input_checks.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/file_position.h"
#include "common/unique_file.h"
#include "payload/launcher_identity.h"
#include "payload/pe_headers.h"

namespace gamewrap {

namespace {

// Headers lie near the front of every real program; reading only this much
// keeps the checks cheap for games of gigabytes.
constexpr std::size_t kHeaderReadLimit = 64 * 1024;

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// Machines a user may meet, named so the message says what the game was built for.
std::string MachineName(std::uint16_t machine) {
  switch (machine) {
    case 0x01C0:
      return "ARM";
    case 0x01C4:
      return "ARM Thumb-2";
    case 0xAA64:
      return "ARM64";
    case 0x0200:
      return "Itanium";
    default:
      return "an unknown machine";
  }
}

const char* PartName(payload::PePart part) {
  switch (part) {
    case payload::PePart::MzHeader:
      return "MZ header";
    case payload::PePart::PeHeader:
      return "PE header";
    case payload::PePart::OptionalHeader:
      return "optional header";
    case payload::PePart::SectionTable:
      break;
  }
  return "section table";
}

// Why the headers could not be read, phrased to follow "it ".
std::string ReasonFor(const payload::PeResult& result, const payload::PeFileHeader& header) {
  const std::string part = PartName(result.part);
  switch (result.status) {
    case payload::PeStatus::NoMzHeader:
      return "has no MZ header";
    case payload::PeStatus::BeyondHead:
      return "has its " + part + " beyond the first " + std::to_string(kHeaderReadLimit / 1024) +
             " KiB";
    case payload::PeStatus::NewHeaderOutsideFile:
      return "has an e_lfanew (" + Hex(header.newHeaderOffset) + ") that points outside the file";
    case payload::PeStatus::NoPeSignature:
      return "has no PE signature where its e_lfanew (" + Hex(header.newHeaderOffset) + ") points";
    case payload::PeStatus::NoOptionalHeader:
      return "has no optional header";
    case payload::PeStatus::ReadFailed:
      return "cannot be read in its " + part;
    case payload::PeStatus::PastEnd:
    case payload::PeStatus::Ok:
      break;
  }
  return "ends inside its " + part;
}

// The first bytes of the file at `path` (up to kHeaderReadLimit) and its size.
bool ReadHead(const std::string& path, const char* role, std::string& head, std::uint64_t& fileSize,
              std::string& error) {
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = std::string("cannot open ") + role + " '" + path + "': " + std::strerror(errno);
    return false;
  }
  const std::int64_t size = MeasureFileSize(file.get());
  if (size < 0) {
    error = std::string("cannot read ") + role + " '" + path + "'";
    return false;
  }
  const std::size_t want = static_cast<std::uint64_t>(size) < kHeaderReadLimit
                               ? static_cast<std::size_t>(size)
                               : kHeaderReadLimit;
  head.assign(want, '\0');
  if (want != 0 && std::fread(&head[0], 1, want, file.get()) != want) {
    error = std::string("cannot read ") + role + " '" + path + "'";
    return false;
  }
  fileSize = static_cast<std::uint64_t>(size);
  return true;
}

// Whether the program's resource section holds the launcher's identification.
// Read in pieces that overlap by the identification's length, so a game with
// large resources costs no more memory than a small one.
bool ResourcesHoldIdentity(const std::string& path, const ExecutableInfo& info, bool& holds,
                           std::string& error) {
  holds = false;
  if (info.resourceSize == 0) return true;
  const std::string_view identity = KOVA_LAUNCHER_IDENTITY;
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file || !SeekFile(file.get(), static_cast<std::int64_t>(info.resourceOffset))) {
    error = "cannot read the resources of '" + path + "'";
    return false;
  }
  constexpr std::size_t kPiece = 1 << 20;
  std::string window;
  for (std::uint64_t remaining = info.resourceSize; remaining > 0 && !holds;) {
    const std::size_t keep = std::min(window.size(), identity.size() - 1);
    window.erase(0, window.size() - keep);
    const std::size_t want = remaining < kPiece ? static_cast<std::size_t>(remaining) : kPiece;
    window.resize(keep + want);
    if (std::fread(&window[keep], 1, want, file.get()) != want) {
      error = "cannot read the resources of '" + path + "'";
      return false;
    }
    remaining -= want;
    holds = window.find(identity) != std::string::npos;
  }
  return true;
}

// Reads `path`'s headers and looks for the identification in its resources;
// false with a message naming `role`.
bool ReadProgram(const std::string& path, const char* role, const char* notWhat,
                 ExecutableInfo& info, bool& isLauncherStub, std::string& error) {
  std::string head;
  std::uint64_t fileSize = 0;
  if (!ReadHead(path, role, head, fileSize, error)) return false;
  std::string reason;
  if (!ReadExecutableHeaders(head, fileSize, info, reason)) {
    error = std::string(role) + " '" + path + "' " + notWhat + ": it " + reason;
    return false;
  }
  return ResourcesHoldIdentity(path, info, isLauncherStub, error);
}

}  // namespace

const char* ArchitectureName(Architecture architecture) {
  return architecture == Architecture::I686 ? "i686" : "x86_64";
}

bool ParseArchitectureName(std::string_view name, Architecture& architecture) {
  if (name == "i686") {
    architecture = Architecture::I686;
    return true;
  }
  if (name == "x86_64") {
    architecture = Architecture::X86_64;
    return true;
  }
  return false;
}

bool ReadExecutableHeaders(std::string_view head, std::uint64_t fileSize, ExecutableInfo& info,
                           std::string& reason) {
  // `fileSize` only tells a damaged file from headers placed unusually far in.
  const payload::PeBytes bytes(head, fileSize);
  payload::PeFileHeader header;
  payload::PeResult read = payload::ReadPeFileHeader(bytes, header);
  if (!read.Ok()) {
    reason = ReasonFor(read, header);
    return false;
  }
  const std::uint16_t machine = header.machine;
  if (machine != payload::kPeMachineI386 && machine != payload::kPeMachineAmd64) {
    reason = "is built for " + MachineName(machine) + " (machine " + Hex(machine) +
             "), not for i386 or AMD64";
    return false;
  }
  if ((header.characteristics & payload::kPeDll) != 0) {
    reason = "is a DLL, not a program";
    return false;
  }
  if ((header.characteristics & payload::kPeExecutableImage) == 0) {
    reason = "is not marked as an executable image (an object file or a failed link?)";
    return false;
  }

  payload::PeOptionalHeader optional;
  read = payload::ReadPeOptionalHeader(bytes, header, optional);
  if (!read.Ok()) {
    reason = ReasonFor(read, header);
    return false;
  }
  const std::uint16_t expectedMagic =
      machine == payload::kPeMachineI386 ? payload::kPeMagicPe32 : payload::kPeMagicPe32Plus;
  if (optional.magic != expectedMagic) {
    reason = "has an optional header that does not match its machine " + Hex(machine);
    return false;
  }

  std::vector<payload::PeSection> sections;
  read = payload::ReadPeSections(bytes, header, sections);
  if (!read.Ok()) {
    reason = ReasonFor(read, header);
    return false;
  }
  info = ExecutableInfo{};
  info.architecture =
      machine == payload::kPeMachineI386 ? Architecture::I686 : Architecture::X86_64;
  for (const payload::PeSection& section : sections) {
    if (section.name != std::string_view(".rsrc\0\0\0", 8)) continue;
    const std::uint64_t size = section.rawSize;
    const std::uint64_t offset = section.rawOffset;
    if (offset + size > fileSize) {
      reason = "ends inside its resource section";
      return false;
    }
    info.resourceOffset = offset;
    info.resourceSize = size;
    break;
  }
  return true;
}

bool CheckGame(const std::string& path, ExecutableInfo& info, std::string& error) {
  bool isLauncherStub = false;
  if (!ReadProgram(path, "game", "is not a Windows program for x86 or x64", info, isLauncherStub,
                   error)) {
    return false;
  }
  if (isLauncherStub) {
    error = "game '" + path + "' is a launcher stub, not a game (were --stub and --game swapped?)";
    return false;
  }
  return true;
}

bool CheckStub(const std::string& path, ExecutableInfo& info, std::string& error) {
  bool isLauncherStub = false;
  if (!ReadProgram(path, "stub", "is not a launcher stub", info, isLauncherStub, error)) {
    return false;
  }
  if (!isLauncherStub) {
    error = "stub '" + path +
            "' is a Windows program but not a launcher stub built by this project: it lacks the "
            "launcher's identification (were --stub and --game swapped?)";
    return false;
  }
  return true;
}

std::string ArchitectureLine(const ExecutableInfo& game, const ExecutableInfo& stub) {
  return std::string("game: ") + ArchitectureName(game.architecture) +
         ", stub: " + ArchitectureName(stub.architecture);
}

std::string ArchitectureWarning(const ExecutableInfo& game, const ExecutableInfo& stub) {
  if (game.architecture == Architecture::X86_64 && stub.architecture == Architecture::I686) {
    return "a 64-bit game behind the 32-bit stub cannot run on 32-bit Windows "
           "(--arch x86_64 takes the 64-bit stub)";
  }
  return "";
}

}  // namespace gamewrap
