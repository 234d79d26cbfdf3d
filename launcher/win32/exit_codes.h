// The launcher's process exit codes. The game's own exit code is never passed on.
#pragma once

enum LauncherExitCode : int {
  // The game ran, or a failure before the extraction was reported in a message box.
  kExitNormal = 0,
  kExitCannotOpenLauncher = 3,
  kExitGameContentMissing = 5,
  kExitCannotCreateTempFile = 6,
  kExitCannotWriteTempFile = 7,
};
