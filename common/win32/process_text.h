// Texts that Win32 calls take from or give to a process: its module's path and
// a command line that CreateProcessA may write into.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace win32 {

// The full path of `module` (null: the process's program), however long: a
// path cut short would name some other file. Empty when the system cannot
// report it.
std::string GetModulePath(HMODULE module);

// `commandLine` as a writable, NUL-terminated buffer.
std::vector<char> WritableCommandLine(const std::string& commandLine);

}  // namespace win32
