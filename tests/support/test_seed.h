// The seed of the randomised tests: 4711 unless KOVA_TEST_SEED says otherwise.
// Tests print it on failure (SeedTrace) so that a failing run can be repeated.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

namespace testsupport {

inline std::uint64_t TestSeed() {
  const char* text = std::getenv("KOVA_TEST_SEED");
  return text != nullptr ? std::strtoull(text, nullptr, 10) : 4711;
}

// For SCOPED_TRACE: names the seed and how to repeat the run.
inline std::string SeedTrace(std::uint64_t seed) {
  return "seed " + std::to_string(seed) + " (set KOVA_TEST_SEED to repeat)";
}

}  // namespace testsupport
