// The names of the launcher's temporary files: "tmb", four upper-case
// hexadecimal digits, ".tmp" (the extension in any case). A file that a run
// could not delete keeps that form, and a later start recognises it by it.
#pragma once

#include <string>
#include <string_view>

// The name for `number` (taken modulo 0x10000).
std::string LauncherTempFileName(unsigned number);

// True for every name of that form: files left by earlier runs, files of
// games that other launchers are running, and this run's own file alike.
bool IsLauncherTempFileName(std::string_view name);
