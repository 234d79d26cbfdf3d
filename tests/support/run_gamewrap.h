// Runs the built gamewrap as a user would (native builds only; the test target
// defines GAMEWRAP_PATH).
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace testsupport {

struct ToolRun {
  int exitCode;
  std::string out;
  std::string err;
};

// Runs the program `tool` with `arguments`; its output goes to a directory of
// its own so that a directory under test holds only what the tool wrote.
inline ToolRun RunTool(const std::string& tool, const std::string& arguments) {
  static const TempDir outputDir;
  const std::string out = outputDir.File("stdout.txt"), err = outputDir.File("stderr.txt");
  const std::string command = tool + " " + arguments + " >" + out + " 2>" + err;
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

// Runs the built gamewrap with `arguments`.
inline ToolRun Gamewrap(const std::string& arguments) { return RunTool(GAMEWRAP_PATH, arguments); }

#ifdef KOVA_JSON_FIELDS
// The values of the one JSON object in `json` (gamewrap's --json output), read
// by a real JSON reader: tests/tools/json_fields.py, whose header describes the
// lines it prints. Exit code 1 and a message when it is not one JSON object.
inline ToolRun JsonFields(const std::string& json) {
  static const TempDir inputDir;
  const std::string input = inputDir.Write("output.json", json);
  return RunTool(KOVA_PYTHON, std::string("'") + KOVA_JSON_FIELDS + "' <" + input);
}
#endif

}  // namespace testsupport
