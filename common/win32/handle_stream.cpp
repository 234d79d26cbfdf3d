#include "common/win32/handle_stream.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstring>

namespace win32 {

UniqueFileHandle DuplicateFileHandle(HANDLE file, DWORD access) {
  HANDLE duplicate = INVALID_HANDLE_VALUE;
  const HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, file, self, &duplicate, access, FALSE,
                       access == 0 ? DUPLICATE_SAME_ACCESS : 0)) {
    return UniqueFileHandle();
  }
  return UniqueFileHandle(duplicate);
}

UniqueFile StreamTakingOver(UniqueFileHandle file, const char* mode) {
  if (!file) return UniqueFile();
  const bool reads = std::strchr(mode, 'r') != nullptr || std::strchr(mode, '+') != nullptr;
  const bool writes = std::strchr(mode, 'r') == nullptr || std::strchr(mode, '+') != nullptr;
  const int access = reads && writes ? _O_RDWR : (writes ? _O_WRONLY : _O_RDONLY);
  const int descriptor =
      _open_osfhandle(reinterpret_cast<std::intptr_t>(file.get()), access | _O_BINARY);
  if (descriptor < 0) return UniqueFile();  // `file` still owns the handle
  static_cast<void>(file.release());        // the descriptor owns it now
  std::FILE* const stream = _fdopen(descriptor, mode);
  if (stream == nullptr) _close(descriptor);
  return UniqueFile(stream);
}

}  // namespace win32
