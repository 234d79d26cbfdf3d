// The fuzz targets' assertion: a broken promise ends the run as a crash, which
// the fuzzer (and the corpus replay in the tests) reports with its input.
#pragma once

#include <cstdlib>

namespace fuzzcheck {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace fuzzcheck
