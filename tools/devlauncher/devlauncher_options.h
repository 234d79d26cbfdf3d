// The development launcher's command line, and the command line it gives the
// program it starts. Portable: no Windows types, so that the native tests
// reach it.
#pragma once

#include <string>
#include <vector>

namespace devlauncher {

// devlauncher.exe --properties FILE [--dir FOLDER] -- PROGRAM [ARGUMENTS...]
struct Options {
  std::string properties;  // the properties document, signed or not
  std::string directory;   // the program's current folder; empty: the current one
  std::string program;
  std::vector<std::string> arguments;
};

struct ParsedOptions {
  bool ok = false;
  std::string error;  // one line, without its line break, when not ok
  Options options;
};

// `arguments` are the devlauncher's own, without its program name. Everything
// behind the first "--" belongs to the program; before it, each option once.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

// The usage line shown with every error.
extern const char kUsage[];

// `argument` quoted so that a program splitting its command line by the
// Microsoft C run-time's rules gets it back as one argument, byte for byte:
// left bare when it holds no blank, tab, new line or quotation mark and is not
// empty; otherwise in quotation marks, with the backslashes before each
// quotation mark (and before the closing one) doubled and the mark escaped.
std::string QuoteArgument(const std::string& argument);

// The program and its arguments as one command line: each quoted, joined by blanks.
std::string CommandLine(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace devlauncher
