// The development launcher: runs a game under development behind the real
// game channel, answering from a properties document named on its command
// line. A console program; see docs/client.md.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "channel/win32/game_channel.h"
#include "common/whole_file.h"
#include "common/win32/handles.h"
#include "launcher/win32/game_process.h"
#include "properties/partner_properties.h"
#include "properties/properties_store.h"
#include "tools/devlauncher/devlauncher_options.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitProperties = 3;
constexpr int kExitProgram = 4;
constexpr DWORD kPollIntervalMs = 100;

// Everything goes out through the handle, unchanged: the channel's lines end
// in "\r\n" already, which a C stream in text mode would double.
void WriteTo(DWORD which, const std::string& text) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Say(const std::string& line) { WriteTo(STD_OUTPUT_HANDLE, "devlauncher: " + line + "\r\n"); }

int Fail(int exitCode, const std::string& line) {
  WriteTo(STD_ERROR_HANDLE, "devlauncher: error: " + line + "\r\n");
  return exitCode;
}

// The channel's debugger line, on standard output instead of the debugger.
void WINAPI WriteDebugLine(const char* line) { WriteTo(STD_OUTPUT_HANDLE, line); }

// Whether a process of `job` is still running.
bool JobHasProcesses(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                 sizeof(accounting), nullptr)) {
    return false;
  }
  return accounting.ActiveProcesses != 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const devlauncher::ParsedOptions parsed = devlauncher::ParseOptions(arguments);
  if (!parsed.ok) return Fail(kExitUsage, parsed.error + "; " + devlauncher::kUsage);
  const devlauncher::Options& options = parsed.options;

  Say("a development tool, not the launcher: it answers from " + options.properties +
      " without checking any signature, and extracts nothing. Not for players.");

  std::string document;
  if (ReadWholeFile(options.properties, document) != WholeFileStatus::Ok) {
    return Fail(kExitProperties, "cannot read the properties document " + options.properties);
  }
  PropertiesStore store;
  const ReadResult parse = ParsePartnerDocument(document, store);
  if (!parse) {
    Say("warning: " + options.properties + ": " + parse.message +
        "; the values read before it are answered, as the launcher does");
  }

  std::string commandLine = devlauncher::CommandLine(options.program, options.arguments);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  // The program is found as the system finds a command line's first word.
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      options.directory.empty() ? nullptr : options.directory.c_str(), &startup,
                      &created)) {
    return Fail(kExitProgram, "cannot start " + options.program + " (system error " +
                                  std::to_string(GetLastError()) + ")");
  }
  win32::OwnedProcess program(created);
  // In the job before its first instruction, so every process it starts is in
  // it too; the end is told by the job when there is one.
  win32::UniqueHandle job = MakeGameJob();
  if (job && !AssignProcessToJobObject(job.get(), program.process.get())) job.reset();
  if (!job) Say("warning: no job for the program: only the program itself is waited for");

  DWORD exitCode = 0;
  {
    GameChannel channel(
        [&store](const std::string& name) {
          const std::string* value = FindStoredString(store, name);
          return value != nullptr ? *value : std::string();
        },
        WriteDebugLine);
    channel.SetGameProcessId(program.processId);
    channel.SetGameJob(job.get());
    if (!ResumeGameOrEndIt(program.thread.get(), program.process.get())) {
      return Fail(kExitProgram, "cannot let " + options.program + " run");
    }
    WaitForSingleObject(program.process.get(), INFINITE);
    GetExitCodeProcess(program.process.get(), &exitCode);
    while (job && JobHasProcesses(job.get())) Sleep(kPollIntervalMs);
  }
  return static_cast<int>(exitCode);
}
