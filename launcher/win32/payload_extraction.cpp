#include "launcher/win32/payload_extraction.h"

#include <windows.h>

#include "common/launcher_state.h"
#include "launcher/payload_reader.h"
#include "launcher/win32/exit_codes.h"
#include "launcher/win32/message_boxes.h"
#include "launcher/win32/temp_files.h"

namespace {

constexpr char kCannotExtract[] = "Unable to extract game executable.";
constexpr char kGameContentMissing[] = "Unable to locate game content.";

ExtractionResult Failure(const char* message, int exitCode) {
  ShowGameFatalError(message);
  return ExtractionResult{std::string(), exitCode};
}

}  // namespace

ExtractionResult ExtractPayload() {
  const LauncherState& state = GetLauncherState();

  // The C library opens files without denying other processes any access.
  ExtractionStream launcher;
  if (!launcher.Open(state.modulePath, "rb"))
    return Failure(kCannotExtract, kExitCannotOpenLauncher);

  RemoveStaleTempFiles();

  const std::string tempPath = CreateOwnTempFile(state.appDirectory);
  if (tempPath.empty()) return Failure(kCannotExtract, kExitCannotCreateTempFile);
  ExtractionStream temp;
  if (!temp.Open(tempPath, "wb")) return Failure(kCannotExtract, kExitCannotCreateTempFile);

  const PayloadCopyStatus copied = CopyPayload(launcher.get(), temp.get(), state.payloadMarker);
  launcher.Close();
  // Closing writes the stream's last buffered bytes: a failure there leaves
  // the game cut short just as a failed write does.
  const bool tempComplete = temp.Close();

  if (copied == PayloadCopyStatus::MarkerNotFound) {
    return Failure(kGameContentMissing, kExitGameContentMissing);
  }
  if (copied != PayloadCopyStatus::Ok || !tempComplete) {
    ShowGameFatalError(kCannotExtract);
    DeleteFileWithRetries(tempPath);
    return ExtractionResult{std::string(), kExitCannotWriteTempFile};
  }

  SetFileAttributesA(tempPath.c_str(), FILE_ATTRIBUTE_HIDDEN);
  return ExtractionResult{tempPath, kExitNormal};
}
