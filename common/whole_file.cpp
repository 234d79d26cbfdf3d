#include "common/whole_file.h"

#include <utility>

#include "common/file_position.h"
#include "common/unique_file.h"

WholeFileStatus ReadWholeStream(std::FILE* file, std::string& contents) {
  contents.clear();
  const std::int64_t size = MeasureFileSize(file);
  if (size < 0) return WholeFileStatus::CannotRead;
  if (size >= kWholeFileSizeLimit) return WholeFileStatus::NotWhole;
  std::string read(static_cast<std::size_t>(size), '\0');
  if (std::fread(read.data(), 1, read.size(), file) != read.size()) {
    return std::ferror(file) != 0 ? WholeFileStatus::CannotRead : WholeFileStatus::NotWhole;
  }
  contents = std::move(read);
  return WholeFileStatus::Ok;
}

WholeFileStatus ReadWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file) return WholeFileStatus::CannotOpen;
  return ReadWholeStream(file.get(), contents);
}
