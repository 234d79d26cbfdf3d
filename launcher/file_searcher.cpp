#include "launcher/file_searcher.h"

FileSearcher::~FileSearcher() { Close(); }

bool FileSearcher::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "rb");
  return file_ != nullptr;
}

void FileSearcher::Close() {
  count_ = 0;
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
    pushedBack_.clear();
  }
}

bool FileSearcher::AtEnd() const {
  if (file_ == nullptr) return true;
  if (!pushedBack_.empty()) return false;
  return std::feof(file_) != 0 || std::ferror(file_) != 0;
}

int FileSearcher::Take() {
  ++count_;
  if (!pushedBack_.empty()) {
    int character = pushedBack_.back();
    pushedBack_.pop_back();
    return character;
  }
  if (file_ == nullptr) return -1;
  int character = std::getc(file_);
  return character == EOF ? -1 : character;
}

void FileSearcher::PushBack(int character) {
  --count_;
  pushedBack_.push_back(character);
}

std::int64_t FileSearcher::Find(const std::string& text) {
  if (text.empty() || AtEnd()) return -1;
  const auto textAt = [&text](std::size_t i) {
    // Past the last character the text's terminator is compared.
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
  };
  for (;;) {
    if (Take() != textAt(0)) {
      if (AtEnd()) return -1;
      continue;
    }
    // Compare the following characters, up to and including the terminator.
    std::size_t compared = 1;
    int last = Take();
    while (last == textAt(compared) && compared < text.size()) {
      ++compared;
      last = Take();
    }
    const bool matched = compared >= text.size();
    // Undo the comparison so that the next take returns the character after
    // the one that matched the first character of the text.
    PushBack(last);
    for (std::size_t i = compared - 1; i >= 1; --i) PushBack(textAt(i));
    if (matched) return count_ - 1;
    if (AtEnd()) return -1;
  }
}
