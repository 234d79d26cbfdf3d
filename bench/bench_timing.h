// Timing shared by the benchmarks: the best of several runs, which is the
// least disturbed by whatever else the machine is doing.
#pragma once

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace bench {

// The middle value of several samples (the upper one of the two middle ones
// for an even count), which a few disturbed runs do not move.
inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// `prepare` runs before each timed run, outside the timing.
template <typename Prepare, typename Work>
double BestSeconds(int runs, Prepare prepare, Work work) {
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    prepare();
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    best = std::min(best, elapsed.count());
  }
  return best;
}

template <typename Work>
double BestSeconds(int runs, Work work) {
  return BestSeconds(
      runs, [] {}, work);
}

// The best of several runs of `first` and of `second`, taken in turns, so that
// a slow spell of the machine (or of its disk) falls on both alike.
template <typename Prepare, typename First, typename Second>
std::pair<double, double> BestSecondsInTurns(int runs, Prepare prepare, First first,
                                             Second second) {
  std::pair<double, double> best{1e300, 1e300};
  for (int run = 0; run < runs; ++run) {
    best.first = std::min(best.first, BestSeconds(1, prepare, first));
    best.second = std::min(best.second, BestSeconds(1, prepare, second));
  }
  return best;
}

}  // namespace bench
