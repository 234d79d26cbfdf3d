// A program kept running in the background for the length of a test, for
// example to hold its own file so that nobody can delete it. Ended (killed) and
// waited for when the object goes.
#pragma once

#include <string>

#include "launcher/win32/win32_handles.h"

namespace e2e {

class RunningProgram {
 public:
  RunningProgram() = default;
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  ~RunningProgram() { Stop(); }

  // Runs exactly the file `path`, whatever its name, in `currentDirectory`.
  bool Start(const std::string& path, const std::string& currentDirectory);
  void Stop();

 private:
  UniqueHandle process_;
};

}  // namespace e2e
