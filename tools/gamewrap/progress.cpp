#include "tools/gamewrap/progress.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace gamewrap {

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

void ProgressLine::Update(std::int64_t done, std::int64_t total) {
  if (!enabled_ || total < kProgressMinimumBytes) return;
  const int percent = static_cast<int>(done * 100 / total);
  if (percent <= shownPercent_) return;
  shownPercent_ = percent;
  std::fprintf(out_, "\r%s %3d%%", label_, percent);
  std::fflush(out_);
}

void ProgressLine::Finish() {
  if (shownPercent_ < 0) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  shownPercent_ = -1;
}

}  // namespace gamewrap
