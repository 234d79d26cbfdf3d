// Reading the build identifier from the payload header block of the launcher's
// own file.
#pragma once

// Sets LauncherState::buildIdentifier and returns true; on failure shows its
// message box and returns false.
bool ReadBuildIdentifier();
