#include "launcher/win32/payload_extraction.h"

#include <cstdio>
#include <memory>

#include "common/launcher_state.h"
#include "common/win32/handle_stream.h"
#include "launcher/payload_reader.h"
#include "launcher/win32/exit_codes.h"
#include "launcher/win32/temp_files.h"

namespace {

constexpr const char* kCannotExtract = kCannotExtractMessage;
constexpr char kGameContentMissing[] = "Unable to locate game content.";

ExtractionResult Failure(const ExtractionIo& io, const char* message, int exitCode) {
  io.showFatalError(GameFatalError(message));
  ExtractionResult failed;
  failed.exitCode = exitCode;
  return failed;
}

// The system will not start a program from a file that some handle may still
// write, so the writer gives way to a read-only handle, got through the open
// file rather than its name, which could meanwhile name another file. Both
// handles deny deletion, so the file is never unprotected. As long as the
// writer is open the reader must share writing; a second reader, made once
// the writer is gone, shares reading alone.
win32::UniqueFileHandle TradeWriterForReader(win32::UniqueFileHandle& writer) {
  win32::UniqueFileHandle bridge(
      ReOpenFile(writer.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
  if (!bridge) return bridge;
  writer.reset();
  win32::UniqueFileHandle reader(ReOpenFile(bridge.get(), GENERIC_READ, FILE_SHARE_READ, 0));
  return reader ? std::move(reader) : std::move(bridge);
}

}  // namespace

ExtractionIo LauncherExtractionIo() {
  ExtractionIo io;
  // The C library opens files without denying other processes any access.
  io.openLauncher = [](const std::string& path) {
    return UniqueFile(std::fopen(path.c_str(), "rb"));
  };
  io.openTempStream = [](HANDLE tempFile) {
    return win32::StreamTakingOver(win32::DuplicateFileHandle(tempFile), "wb");
  };
  io.showFatalError = ShowFatalError;
  return io;
}

ExtractionResult ExtractPayloadFrom(const std::string& launcherPath, const std::string& directory,
                                    const std::string& marker, const ExtractionIo& io) {
  // Declared before the streams, which use them until they are closed.
  const std::unique_ptr<char[]> launcherBuffer(new char[kExtractionStreamBufferSize]);
  const std::unique_ptr<char[]> tempBuffer(new char[kExtractionStreamBufferSize]);

  UniqueFile launcher = io.openLauncher(launcherPath);
  if (!launcher) return Failure(io, kCannotExtract, kExitCannotOpenLauncher);
  std::setvbuf(launcher.get(), launcherBuffer.get(), _IOFBF, kExtractionStreamBufferSize);

  RemoveStaleTempFilesIn(directory);

  OwnTempFile temp = CreateOwnTempFile(directory);
  if (!temp.Created()) return Failure(io, kCannotExtract, kExitCannotCreateTempFile);
  UniqueFile out = io.openTempStream(temp.writer.get());
  if (!out) return Failure(io, kCannotExtract, kExitCannotCreateTempFile);
  std::setvbuf(out.get(), tempBuffer.get(), _IOFBF, kExtractionStreamBufferSize);

  const PayloadCopyStatus copied = CopyPayload(launcher.get(), out.get(), marker);
  launcher.reset();
  // The stream's last buffered bytes are written apart from the close, since
  // some C libraries' close does not report their failure. A failure there
  // leaves the game cut short just as a failed write does.
  const bool flushed = std::fflush(out.get()) == 0;
  const bool outComplete = CloseChecked(out) && flushed;

  if (copied == PayloadCopyStatus::MarkerNotFound) {
    return Failure(io, kGameContentMissing, kExitGameContentMissing);
  }
  ExtractionResult extracted;
  if (copied == PayloadCopyStatus::Ok && outComplete) {
    SetFileAttributesA(temp.path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    extracted.tempFileHold = TradeWriterForReader(temp.writer);
  }
  if (!extracted.tempFileHold) {
    temp.writer.reset();
    io.showFatalError(GameFatalError(kCannotExtract));
    DeleteFileWithRetries(temp.path);
    extracted.exitCode = kExitCannotWriteTempFile;
    return extracted;
  }
  extracted.tempFilePath = temp.path;
  return extracted;
}

ExtractionResult ExtractPayload() {
  const LauncherState& state = GetLauncherState();
  return ExtractPayloadFrom(state.modulePath, state.appDirectory, state.payloadMarker,
                            LauncherExtractionIo());
}
