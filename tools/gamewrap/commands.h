// The subcommands of gamewrap. Each takes the arguments after its name, prints
// results on stdout and errors on stderr, and returns the process exit code.
#pragma once

#include <string>
#include <vector>

namespace gamewrap {

using Args = std::vector<std::string>;

int RunPack(const Args& args);
int RunInspect(const Args& args);
int RunSign(const Args& args);
int RunVerify(const Args& args);

// Exit codes shared by the subcommands.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the operation failed (bad input, I/O, check failed)
constexpr int kExitUsage = 2;    // the command line itself was wrong

}  // namespace gamewrap
