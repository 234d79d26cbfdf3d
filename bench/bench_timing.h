// Timing shared by the benchmarks: the best of several runs, which is the
// least disturbed by whatever else the machine is doing.
#pragma once

#include <algorithm>
#include <chrono>

template <typename Work>
double BestSeconds(int runs, Work work) {
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    best = std::min(best, elapsed.count());
  }
  return best;
}
