// Copying the game out of the launcher's own file into a new hidden temporary
// file in the launcher's directory.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/unique_file.h"
#include "common/win32/handles.h"
#include "launcher/win32/message_boxes.h"

// The extraction's message for a game that cannot be copied out whole, and for
// a launcher file found damaged.
inline constexpr char kCannotExtractMessage[] = "Unable to extract game executable.";

struct ExtractionResult {
  std::string tempFilePath;  // the hidden temporary file holding the game
  // A read-only handle on that file that lets others only read it: until it
  // is closed, nobody can change, delete or take over the file. The game can
  // still be started from it.
  win32::UniqueFileHandle tempFileHold;
  int exitCode = 0;  // non-zero after the failure's message box

  bool Succeeded() const { return exitCode == 0; }
};

// Where the extraction takes its files from and where its failures go.
struct ExtractionIo {
  // Opens the launcher's own file for binary reading, denying others nothing.
  std::function<UniqueFile(const std::string& path)> openLauncher;
  // Makes the stream that writes the game through `tempFile`, the handle that
  // created the temporary file. Closing the stream must leave `tempFile` open.
  std::function<UniqueFile(HANDLE tempFile)> openTempStream;
  std::function<void(const FatalError&)> showFatalError;
};

// The launcher's own: C-library files and message boxes.
ExtractionIo LauncherExtractionIo();

// Removes stale temporary files from `directory` (ending in a separator),
// creates the run's own one there and copies everything from 418 bytes behind
// `marker` in the file `launcherPath` into it.
ExtractionResult ExtractPayloadFrom(const std::string& launcherPath, const std::string& directory,
                                    const std::string& marker, const ExtractionIo& io);

// ExtractPayloadFrom the launcher's own file into its directory.
ExtractionResult ExtractPayload();
