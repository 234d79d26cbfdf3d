// Placeholder until the signing subcommands land.
#include <cstdio>

#include "tools/gamewrap/commands.h"

namespace gamewrap {

int RunSign(const Args&) {
  std::fputs("gamewrap: sign is not available yet\n", stderr);
  return kExitFailure;
}

int RunVerify(const Args&) {
  std::fputs("gamewrap: verify is not available yet\n", stderr);
  return kExitFailure;
}

}  // namespace gamewrap
