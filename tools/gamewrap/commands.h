// The subcommands of gamewrap. Each takes the arguments after its name, prints
// results on stdout and errors on stderr, and returns the process exit code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace gamewrap {

using Args = std::vector<std::string>;

int RunPack(const Args& args);
int RunInspect(const Args& args);
int RunSign(const Args& args);
int RunVerify(const Args& args);
int RunKeygen(const Args& args);

// Exit codes shared by the subcommands.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the operation failed (bad input, I/O, check failed)
constexpr int kExitUsage = 2;    // the command line itself was wrong

inline bool IsHelpOption(const std::string& arg) { return arg == "-h" || arg == "--help"; }

// Reports a command-line error with the subcommand's usage text.
inline int UsageError(const std::string& message, const char* usage) {
  std::fprintf(stderr, "gamewrap: %s\n\n%s", message.c_str(), usage);
  return kExitUsage;
}

}  // namespace gamewrap
