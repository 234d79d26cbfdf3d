// The checks that gamewrap pack makes on its inputs before it wraps anything:
// the game must be a Windows program for x86 or x64, and the stub a launcher
// stub built by this project. Each failure says which input and why.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gamewrap {

enum class Architecture { I686, X86_64 };

// "i686" or "x86_64": the names that --arch takes and the kit's stubs carry.
const char* ArchitectureName(Architecture architecture);
// False when `name` is neither name.
bool ParseArchitectureName(std::string_view name, Architecture& architecture);

// What the tool learns from a Windows program's headers.
struct ExecutableInfo {
  Architecture architecture = Architecture::X86_64;
  // Where the resource section lies in the file; size 0 when there is none.
  std::uint64_t resourceOffset = 0;
  std::uint64_t resourceSize = 0;
};

// Reads the headers of a Windows program from `head`, the first bytes of a
// file of `fileSize` bytes. Accepts only an executable image (not a DLL or an
// object file) for i386 or AMD64; otherwise false with the reason in `reason`,
// phrased to follow "it ", e.g. "has no MZ header".
bool ReadExecutableHeaders(std::string_view head, std::uint64_t fileSize, ExecutableInfo& info,
                           std::string& reason);

// The game to wrap: a Windows program that is not itself a launcher stub.
bool CheckGame(const std::string& path, ExecutableInfo& info, std::string& error);

// The stub to wrap behind: a Windows program carrying the launcher's
// identification in its resources.
bool CheckStub(const std::string& path, ExecutableInfo& info, std::string& error);

// "game: x86_64, stub: i686"
std::string ArchitectureLine(const ExecutableInfo& game, const ExecutableInfo& stub);

// A warning for a pairing that runs only on some systems; empty when there is
// none. A 64-bit game behind the 32-bit stub cannot run on 32-bit Windows.
std::string ArchitectureWarning(const ExecutableInfo& game, const ExecutableInfo& stub);

}  // namespace gamewrap
