// Where gamewrap finds the launcher stub when it is not told: in the
// publisher's kit, beside the folder that holds gamewrap itself
// (<kit>/bin/gamewrap -> <kit>/stubs/launcher-<arch>.exe).
#pragma once

#include <string>

#include "tools/gamewrap/input_checks.h"

namespace gamewrap {

// The kit's stub for `architecture`, given the path of the running gamewrap.
std::string KitStubPath(const std::string& toolPath, Architecture architecture);

// The full path of the running program; empty when the system cannot say.
std::string OwnExecutablePath();

}  // namespace gamewrap
