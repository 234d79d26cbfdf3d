// The owner of a C stream.
#pragma once

#include <cstdio>

#include "common/unique_resource.h"

struct StdioFileTraits {
  using Value = std::FILE*;
  static Value Invalid() { return nullptr; }
  static void Close(Value file) { std::fclose(file); }
};

using UniqueFile = UniqueResource<StdioFileTraits>;

// Closes the stream held and reports whether the close succeeded: for a
// written stream, false means its last buffered bytes did not all arrive.
inline bool CloseChecked(UniqueFile& file) {
  std::FILE* const stream = file.release();
  return stream == nullptr || std::fclose(stream) == 0;
}
