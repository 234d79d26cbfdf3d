// Expectations about a whole launcher run that many end-to-end tests share.
#pragma once

#include <gtest/gtest.h>

#include "tests/e2e/harness/launcher_run.h"

namespace e2e {

// The launcher started, ended by itself with exit code 0 and showed no box.
inline void ExpectCleanEnd(const LauncherRun& run) {
  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.boxes.empty()) << run.boxes[0].caption << ": " << run.boxes[0].text;
}

}  // namespace e2e
