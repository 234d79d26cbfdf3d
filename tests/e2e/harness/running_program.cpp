#include "tests/e2e/harness/running_program.h"

#include <vector>

namespace e2e {

bool RunningProgram::Start(const std::string& path, const std::string& currentDirectory) {
  Stop();
  std::string quoted = "\"" + path + "\"";
  std::vector<char> commandLine(quoted.begin(), quoted.end());
  commandLine.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      currentDirectory.c_str(), &startup, &created)) {
    return false;
  }
  CloseHandle(created.hThread);
  process_.reset(created.hProcess);
  return true;
}

void RunningProgram::Stop() {
  if (!process_) return;
  TerminateProcess(process_.get(), 1);
  WaitForSingleObject(process_.get(), 10000);
  process_.reset();
}

}  // namespace e2e
