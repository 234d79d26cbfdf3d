// Making and reading wrapped launchers: a launcher stub followed by the payload
// marker, the 400-byte payload header block and the game's executable.
#pragma once

#include <cstdint>
#include <string>

#include "tools/gamewrap/file_io.h"

namespace gamewrap {

struct PackRequest {
  std::string stubPath;    // the built launcher
  std::string gamePath;    // the game's executable
  std::string outputPath;  // the wrapped launcher to write (replaced atomically)
  std::string buildId;     // exactly eight decimal digits
  CopyProgress progress = {};  // told of the game's bytes as they are copied; may be empty
};

// Writes stub + marker + header + game. False with a message in `error` on bad
// input or I/O failure; then nothing has been written.
bool PackGame(const PackRequest& request, std::string& error);

struct Inspection {
  std::int64_t markerOffset = -1;
  std::string buildId;  // the eight bytes of the field, as stored
  std::int64_t payloadSize = 0;
};

// Reads a wrapped file's layout. False with a message when it is not one.
bool InspectWrapped(const std::string& path, Inspection& result, std::string& error);

}  // namespace gamewrap
