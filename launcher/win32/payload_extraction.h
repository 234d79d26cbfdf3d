// Copying the game out of the launcher's own file into a new hidden temporary
// file in the launcher's directory.
#pragma once

#include <string>

struct ExtractionResult {
  std::string tempFilePath;  // the hidden temporary file holding the game
  int exitCode = 0;          // non-zero after the failure's message box

  bool Succeeded() const { return exitCode == 0; }
};

// Removes stale temporary files, creates the run's own one and copies the
// payload into it.
ExtractionResult ExtractPayload();
