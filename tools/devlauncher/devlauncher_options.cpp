#include "tools/devlauncher/devlauncher_options.h"

#include <cstddef>

namespace devlauncher {

const char kUsage[] =
    "usage: devlauncher.exe --properties FILE [--dir FOLDER] -- PROGRAM [ARGUMENTS...]";

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
  bool haveProperties = false;
  bool haveDirectory = false;
  std::size_t at = 0;
  for (; at < arguments.size() && arguments[at] != "--"; ++at) {
    const std::string& option = arguments[at];
    const bool properties = option == "--properties";
    if (!properties && option != "--dir") {
      parsed.error = "unknown option '" + option + "' (the program goes behind --)";
      return parsed;
    }
    bool& seen = properties ? haveProperties : haveDirectory;
    if (seen) {
      parsed.error = option + " given twice";
      return parsed;
    }
    if (at + 1 >= arguments.size() || arguments[at + 1] == "--" || arguments[at + 1].empty()) {
      parsed.error = option + " needs a value";
      return parsed;
    }
    seen = true;
    (properties ? parsed.options.properties : parsed.options.directory) = arguments[++at];
  }
  if (!haveProperties) {
    parsed.error = "--properties FILE is missing";
    return parsed;
  }
  if (at >= arguments.size()) {
    parsed.error = "-- PROGRAM is missing";
    return parsed;
  }
  if (at + 1 >= arguments.size() || arguments[at + 1].empty()) {
    parsed.error = "no program behind --";
    return parsed;
  }
  parsed.options.program = arguments[at + 1];
  parsed.options.arguments.assign(arguments.begin() + static_cast<std::ptrdiff_t>(at) + 2,
                                  arguments.end());
  parsed.ok = true;
  return parsed;
}

std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double only before a quotation mark.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

std::string CommandLine(const std::string& program, const std::vector<std::string>& arguments) {
  std::string line = QuoteArgument(program);
  for (const std::string& argument : arguments) line += " " + QuoteArgument(argument);
  return line;
}

}  // namespace devlauncher
