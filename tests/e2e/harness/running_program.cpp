#include "tests/e2e/harness/running_program.h"

#include <vector>

#include "common/win32/process_text.h"

namespace e2e {

bool RunningProgram::Start(const std::string& path, const std::string& currentDirectory) {
  Stop();
  std::vector<char> commandLine = win32::WritableCommandLine("\"" + path + "\"");
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      currentDirectory.c_str(), &startup, &created)) {
    return false;
  }
  win32::OwnedProcess started(created);
  process_ = std::move(started.process);
  return true;
}

void RunningProgram::Stop() {
  if (!process_) return;
  TerminateProcess(process_.get(), 1);
  WaitForSingleObject(process_.get(), 10000);
  process_.reset();
}

}  // namespace e2e
