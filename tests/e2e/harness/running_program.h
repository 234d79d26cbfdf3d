// A program kept running in the background for the length of a test, for
// example to hold its own file so that nobody can delete it. Ended (killed) and
// waited for when the object goes.
#pragma once

#include <string>

#include "common/win32/handles.h"

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
  win32::UniqueHandle process_;
};

}  // namespace e2e
