// A progress line for long copies, shown only to a person watching a terminal:
// redirected output (a log, a pipe, a build system) stays free of it.
#pragma once

#include <cstdint>
#include <cstdio>

namespace gamewrap {

// Copies smaller than this end too soon for a progress line to help.
constexpr std::int64_t kProgressMinimumBytes = std::int64_t{16} << 20;

// True when standard error is a terminal.
bool StandardErrorIsTerminal();

// Writes "\r<label> NN%" to `out` each time the whole percentage grows, when
// `enabled` and the total is at least kProgressMinimumBytes; Finish() ends the
// line if any was written.
class ProgressLine {
 public:
  ProgressLine(std::FILE* out, const char* label, bool enabled)
      : out_(out), label_(label), enabled_(enabled) {}
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ~ProgressLine() { Finish(); }

  void Update(std::int64_t done, std::int64_t total);
  void Finish();

 private:
  std::FILE* out_;
  const char* label_;
  bool enabled_;
  int shownPercent_ = -1;
};

}  // namespace gamewrap
