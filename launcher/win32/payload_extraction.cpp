#include "launcher/win32/payload_extraction.h"

#include <windows.h>

#include <share.h>

#include <cstdio>

#include "launcher/launcher_state.h"
#include "launcher/payload_reader.h"
#include "launcher/win32/exit_codes.h"
#include "launcher/win32/message_boxes.h"
#include "launcher/win32/temp_files.h"
#include "launcher/win32/win32_handles.h"

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

  // Other processes keep full access to the launcher's file meanwhile.
  UniqueStdioFile launcher(_fsopen(state.modulePath.c_str(), "rb", _SH_DENYNO));
  if (!launcher) return Failure(kCannotExtract, kExitCannotOpenLauncher);

  RemoveStaleTempFiles();

  const std::string tempPath = CreateOwnTempFile(state.appDirectory);
  if (tempPath.empty()) return Failure(kCannotExtract, kExitCannotCreateTempFile);
  UniqueStdioFile temp(std::fopen(tempPath.c_str(), "wb"));
  if (!temp) return Failure(kCannotExtract, kExitCannotCreateTempFile);

  const PayloadCopyStatus copied = CopyPayload(launcher.get(), temp.get(), state.payloadMarker);
  launcher.reset();
  // Closing writes the stream's last buffered bytes: a failure there leaves
  // the game cut short just as a failed write does.
  const bool closed = std::fclose(temp.release()) == 0;

  if (copied == PayloadCopyStatus::MarkerNotFound) {
    return Failure(kGameContentMissing, kExitGameContentMissing);
  }
  if (copied != PayloadCopyStatus::Ok || !closed) {
    ShowGameFatalError(kCannotExtract);
    DeleteFileWithRetries(tempPath);
    return ExtractionResult{std::string(), kExitCannotWriteTempFile};
  }

  SetFileAttributesA(tempPath.c_str(), FILE_ATTRIBUTE_HIDDEN);
  return ExtractionResult{tempPath, kExitNormal};
}
