#include "common/whole_file.h"

#include "common/unique_file.h"

WholeFileStatus ReadWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file) return WholeFileStatus::CannotOpen;
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) contents.append(buffer, got);
  return std::ferror(file.get()) != 0 ? WholeFileStatus::CannotRead : WholeFileStatus::Ok;
}
