#include "tests/e2e/harness/launcher_run.h"

#include <set>
#include <vector>

#include "common/text_rules.h"
#include "common/win32/handles.h"
#include "common/win32/process_text.h"

namespace e2e {

namespace {

constexpr DWORD kDebugEventWaitMs = 20;
constexpr DWORD kExitAfterKillMs = 10000;
constexpr DWORD kTimedOutExitCode = 0xDEAD;
// Control ids of a message box's text and icon.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 0x0440;
constexpr UINT kAskBoxTimeoutMs = 500;

std::string WindowText(HWND window) {
  // For windows of other processes this reads the text the system keeps,
  // without sending the window a message (the launcher may be held at a
  // debug event meanwhile).
  char text[4096];
  const int length = GetWindowTextA(window, text, sizeof(text));
  return std::string(text, length > 0 ? length : 0);
}

struct BoxSearch {
  DWORD processId;
  std::vector<HWND> boxes;
};

BOOL CALLBACK CollectMessageBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[16];
  if (owner == search->processId && IsWindowVisible(window) &&
      GetClassNameA(window, className, sizeof(className)) > 0 &&
      std::string(className) == "#32770") {
    search->boxes.push_back(window);
  }
  return TRUE;
}

// The icon control holds an icon only when the box was given one. The kind of
// icon cannot be told from outside: its handle is only good in the launcher's
// process. Asking may fail while the launcher is held at a debug event.
bool ReadIconShown(HWND box, bool& shown) {
  DWORD_PTR icon = 0;
  if (!SendMessageTimeoutA(GetDlgItem(box, kMessageBoxIconId), STM_GETICON, 0, 0, SMTO_ABORTIFHUNG,
                           kAskBoxTimeoutMs, &icon)) {
    return false;
  }
  shown = icon != 0;
  return true;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM param) {
  auto* buttons = reinterpret_cast<std::vector<ButtonSeen>*>(param);
  char className[16];
  if (IsWindowVisible(child) && GetClassNameA(child, className, sizeof(className)) > 0 &&
      std::string(className) == "Button") {
    buttons->push_back(ButtonSeen{GetDlgCtrlID(child), WindowText(child)});
  }
  return TRUE;
}

// Reads and answers the message boxes of `processId` not yet answered.
void AnswerMessageBoxes(DWORD processId, std::set<HWND>& answered,
                        std::vector<MessageBoxSeen>& seen) {
  BoxSearch search{processId, {}};
  EnumWindows(CollectMessageBox, reinterpret_cast<LPARAM>(&search));
  for (HWND box : search.boxes) {
    if (answered.count(box) != 0) continue;
    MessageBoxSeen entry;
    if (!ReadIconShown(box, entry.showsIcon)) continue;  // tried again next round
    entry.caption = WindowText(box);
    entry.text = WindowText(GetDlgItem(box, kMessageBoxTextId));
    EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&entry.buttons));
    seen.push_back(entry);
    answered.insert(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
}

std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  if (info.fUnicode) {
    std::wstring wide(info.nDebugStringLength, L'\0');
    SIZE_T got = 0;
    ReadProcessMemory(process, info.lpDebugStringData, &wide[0], wide.size() * sizeof(wchar_t),
                      &got);
    wide.resize(got / sizeof(wchar_t));
    while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
    std::string narrow;
    for (wchar_t c : wide) narrow.push_back(static_cast<char>(c));
    return narrow;
  }
  std::string text(info.nDebugStringLength, '\0');
  SIZE_T got = 0;
  ReadProcessMemory(process, info.lpDebugStringData, &text[0], text.size(), &got);
  text.resize(got);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::string LowerCaseFileName(std::string path) {
  const std::size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) path.erase(0, separator + 1);
  for (char& c : path) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return path;
}

// The loaded DLL's name: from its file handle, else from the name the loader
// points at in the debuggee (a pointer to the name, which may be absent).
std::string LoadedDllName(HANDLE process, const LOAD_DLL_DEBUG_INFO& info) {
  if (info.hFile != nullptr) {
    char path[MAX_PATH * 2] = {};
    const DWORD length = GetFinalPathNameByHandleA(info.hFile, path, sizeof(path), 0);
    if (length > 0 && length < sizeof(path)) return LowerCaseFileName(path);
  }
  void* name = nullptr;
  SIZE_T got = 0;
  if (info.lpImageName == nullptr ||
      !ReadProcessMemory(process, info.lpImageName, &name, sizeof(name), &got) ||
      got != sizeof(name) || name == nullptr) {
    return "";
  }
  std::string narrow;
  for (std::size_t i = 0; i < MAX_PATH; ++i) {
    wchar_t wide = 0;
    char single = 0;
    const bool read =
        info.fUnicode != 0
            ? ReadProcessMemory(process, static_cast<wchar_t*>(name) + i, &wide, sizeof(wide),
                                &got) &&
                  got == sizeof(wide)
            : ReadProcessMemory(process, static_cast<char*>(name) + i, &single, 1, &got) &&
                  got == 1;
    const char c = info.fUnicode != 0 ? static_cast<char>(wide) : single;
    if (!read || c == '\0') break;
    narrow.push_back(c);
  }
  return LowerCaseFileName(narrow);
}

// Takes what the launcher reports to its debugger; returns how it goes on.
DWORD HandleDebugEvent(const DEBUG_EVENT& event, HANDLE process, LauncherRun& run, bool& exited) {
  switch (event.dwDebugEventCode) {
    case CREATE_PROCESS_DEBUG_EVENT:
      if (event.u.CreateProcessInfo.hFile != nullptr) CloseHandle(event.u.CreateProcessInfo.hFile);
      break;
    case LOAD_DLL_DEBUG_EVENT:
      run.dllsLoaded.push_back(LoadedDllName(process, event.u.LoadDll));
      if (event.u.LoadDll.hFile != nullptr) CloseHandle(event.u.LoadDll.hFile);
      break;
    case OUTPUT_DEBUG_STRING_EVENT:
      run.debugLines.push_back(ReadDebugString(process, event.u.DebugString));
      break;
    case EXCEPTION_DEBUG_EVENT:
      // The system's breakpoint at start is ours to pass; every other
      // exception goes back to the launcher as if no debugger were there.
      if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
        return DBG_EXCEPTION_NOT_HANDLED;
      }
      break;
    case EXIT_PROCESS_DEBUG_EVENT:
      run.exitCode = event.u.ExitProcess.dwExitCode;
      exited = true;
      break;
    default:
      break;
  }
  return DBG_CONTINUE;
}

win32::UniqueHandle MakeKillOnCloseJob() {
  win32::UniqueHandle job(CreateJobObjectA(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  return job;
}

}  // namespace

LauncherRun RunLauncher(const std::string& launcherPath, const LaunchOptions& options) {
  LauncherRun run;
  const std::string launcherDirectory = text::DirectoryOfPath(launcherPath);
  const std::string currentDirectory =
      options.currentDirectory.empty() ? launcherDirectory : options.currentDirectory;

  std::string commandLine = "\"" + launcherPath + "\"";
  if (!options.arguments.empty()) commandLine += " " + options.arguments;
  std::vector<char> writableCommandLine = win32::WritableCommandLine(commandLine);

  win32::UniqueHandle job = MakeKillOnCloseJob();
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION created = {};
  if (!CreateProcessA(launcherPath.c_str(), writableCommandLine.data(), nullptr, nullptr, FALSE,
                      DEBUG_ONLY_THIS_PROCESS | CREATE_SUSPENDED, nullptr, currentDirectory.c_str(),
                      &startup, &created)) {
    return run;
  }
  run.started = true;
  win32::OwnedProcess launcher(created);
  const HANDLE process = launcher.process.get();
  if (job) AssignProcessToJobObject(job.get(), process);
  ResumeThread(launcher.thread.get());

  const ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
  std::set<HWND> answered;
  bool exited = false;
  while (!exited) {
    DEBUG_EVENT event;
    if (WaitForDebugEvent(&event, kDebugEventWaitMs)) {
      const DWORD continueStatus = HandleDebugEvent(event, process, run, exited);
      ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
    if (!exited) AnswerMessageBoxes(created.dwProcessId, answered, run.boxes);
    if (!exited && !run.timedOut && GetTickCount64() > deadline) {
      run.timedOut = true;
      TerminateProcess(process, kTimedOutExitCode);
    }
    if (!exited && run.timedOut && GetTickCount64() > deadline + kExitAfterKillMs) break;
  }
  WaitForSingleObject(process, kExitAfterKillMs);
  job.reset();
  run.filesLeft = ListDirectory(launcherDirectory);
  return run;
}

}  // namespace e2e
