// C streams over Win32 file handles, for code that writes through the C
// library into a file it opened with the system's own call.
#pragma once

#include <windows.h>

#include "common/unique_file.h"
#include "common/win32/handles.h"

namespace win32 {

// A second handle on the same open file, with `access`, or with the access of
// `file` when `access` is 0. Invalid when the system refuses.
UniqueFileHandle DuplicateFileHandle(HANDLE file, DWORD access = 0);

// A C stream in `mode` ("rb", "wb", ...) that takes `file` over: closing the
// stream closes the handle. Null when the run-time library cannot wrap it;
// the handle is closed then too.
UniqueFile StreamTakingOver(UniqueFileHandle file, const char* mode);

}  // namespace win32
