// Reading the build identifier, and the publisher key block beside it, from
// the payload header block of the launcher's own file.
#pragma once

#include "launcher/payload_reader.h"

// Sets LauncherState::buildIdentifier and the launcher's key block (below)
// and returns true; on failure shows its message box and returns false.
bool ReadBuildIdentifier();

// The key block read by ReadBuildIdentifier from the same header as the build
// identifier: Absent before it ran, and for launchers packed without a
// publisher key. Written once on the main thread before any other thread
// exists, like LauncherState.
const HeaderKeyBlock& GetLauncherKeyBlock();

// False, after the extraction's message box ("Unable to extract game
// executable.", caption "Fatal Error"), when the key block carries its tag
// but is damaged: the launcher's file is, and nothing of it is trusted.
bool CheckKeyBlockNotDamaged();
