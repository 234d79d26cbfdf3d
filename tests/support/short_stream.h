// A C stream (glibc only) that delivers fewer bytes than its measured size
// promises: a file that shrank under its reader, or whose reads fail. Seeking
// to the end reports the claimed size; the reads then come up short.
#pragma once

#ifdef __GLIBC__

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "common/unique_file.h"

namespace testsupport {

class ShortStream {
 public:
  enum class Shortfall { EndsEarly, ReadsFail };

  ShortStream(std::string contents, std::int64_t claimedSize, Shortfall shortfall)
      : contents_(std::move(contents)), claimedSize_(claimedSize), shortfall_(shortfall) {}

  // The stream reads this object, which must outlive it.
  UniqueFile Open() {
    const cookie_io_functions_t functions{&ShortStream::Read, nullptr, &ShortStream::Seek, nullptr};
    return UniqueFile(fopencookie(this, "rb", functions));
  }

 private:
  // After this many failed reads the missing bytes arrive after all: a reader
  // that keeps retrying then finishes with everything, and its test fails at
  // once instead of hanging.
  static constexpr int kFailuresBeforeRecovery = 1000;

  static ssize_t Read(void* cookie, char* buffer, std::size_t size) {
    auto& self = *static_cast<ShortStream*>(cookie);
    std::int64_t available = static_cast<std::int64_t>(self.contents_.size()) - self.position_;
    if (available <= 0 && self.shortfall_ == Shortfall::ReadsFail) {
      if (++self.failedReads_ <= kFailuresBeforeRecovery) return -1;
      available = self.claimedSize_ - self.position_;
      self.contents_.resize(static_cast<std::size_t>(self.claimedSize_), 'z');
    }
    const std::size_t n = static_cast<std::size_t>(std::max<std::int64_t>(
        0, std::min<std::int64_t>(available, static_cast<std::int64_t>(size))));
    if (n == 0) return 0;
    std::memcpy(buffer, self.contents_.data() + self.position_, n);
    self.position_ += static_cast<std::int64_t>(n);
    return static_cast<ssize_t>(n);
  }

  static int Seek(void* cookie, off64_t* offset, int whence) {
    auto& self = *static_cast<ShortStream*>(cookie);
    const std::int64_t base = whence == SEEK_SET   ? 0
                              : whence == SEEK_CUR ? self.position_
                                                   : self.claimedSize_;
    self.position_ = base + *offset;
    *offset = self.position_;
    return 0;
  }

  std::string contents_;
  std::int64_t claimedSize_;
  Shortfall shortfall_;
  std::int64_t position_ = 0;
  int failedReads_ = 0;
};

}  // namespace testsupport

#endif  // __GLIBC__
