#include "launcher/file_searcher.h"

FileSearcher::~FileSearcher() { Close(); }

bool FileSearcher::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return false;
  block_.resize(kReadBlockSize);
  return true;
}

void FileSearcher::Close() {
  count_ = 0;
  pushedBack_.clear();
  blockNext_ = 0;
  blockEnd_ = 0;
  exhausted_ = false;
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

bool FileSearcher::AtEnd() const {
  if (file_ == nullptr) return true;
  if (!pushedBack_.empty()) return false;
  return exhausted_;
}

int FileSearcher::Take() {
  ++count_;
  if (!pushedBack_.empty()) {
    int character = pushedBack_.back();
    pushedBack_.pop_back();
    return character;
  }
  if (file_ == nullptr || exhausted_) return -1;
  if (blockNext_ == blockEnd_) {
    blockNext_ = 0;
    blockEnd_ = std::fread(block_.data(), 1, block_.size(), file_);
    if (blockEnd_ == 0) {
      exhausted_ = true;
      return -1;
    }
  }
  return block_[blockNext_++];
}

void FileSearcher::PushBack(int character) {
  --count_;
  pushedBack_.push_back(character);
}

std::int64_t FileSearcher::Find(const std::string& text) {
  if (text.empty() || AtEnd()) return -1;
  const auto textAt = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  for (;;) {
    if (Take() != textAt(0)) {
      if (AtEnd()) return -1;
      continue;
    }
    // Take the following characters while they match the text. One character
    // more than matched is always taken (on a match, the one after the text,
    // or -1 at the end); it is pushed back with the others below.
    std::size_t compared = 1;
    int last = Take();
    while (compared < text.size() && last == textAt(compared)) {
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
