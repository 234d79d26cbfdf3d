#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the native, sanitizer,
# Windows x86_64 and Windows i686 configurations, runs the native and sanitizer
# tests natively (two at a time) and both Windows builds' tests under Wine (one
# at a time), and ends with the line 'N passed, N failed'. Test cases are
# counted from the GoogleTest result files (scripts/sum-test-results.py); a configuration that does not build, a
# test program that crashed or timed out and a results file that is missing
# or unreadable count as one failure each.
set -u
cd "$(dirname "$0")/.." || exit 1

if [ "$(id -u)" = 0 ]; then
  scripts/install-deps.sh || echo "warning: installing the dependencies failed (see above)"
fi

python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3

passed=0
failed=0

build() {
  local preset=$1
  echo "== build $preset"
  mkdir -p build
  if cmake --preset "$preset" >"build/$preset.log" 2>&1 &&
     cmake --build --preset "$preset" -j 2 >>"build/$preset.log" 2>&1; then
    rm -f "build/$preset.log"
    return 0
  fi
  tail -n 40 "build/$preset.log"
  echo "BUILD FAILED: $preset (log: build/$preset.log)"
  failed=$((failed + 1))
  return 1
}

# run_ctest PRESET [JOBS]: runs one configuration's tests (JOBS at a time) and
# adds its cases to the totals.
run_ctest() {
  local preset=$1 jobs=${2:-1} dir=build/$1
  local tests_json=$dir/ctest-tests.json junit=$dir/ctest-junit.xml counts
  echo "== test $preset"
  rm -f "$dir"/test-results/*.xml "$junit"
  # Written just before the run: result files older than it are stale.
  ctest --preset "$preset" --show-only=json-v1 >"$tests_json" 2>/dev/null
  ctest --preset "$preset" -j "$jobs" --output-junit "$PWD/$junit" 2>&1 | tail -n 25
  counts=$("$python" scripts/sum-test-results.py "$tests_json" "$junit")
  if [[ "$counts" =~ ^([0-9]+)\ ([0-9]+)$ ]]; then
    echo "-- $preset: ${BASH_REMATCH[1]} passed, ${BASH_REMATCH[2]} failed"
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
  else
    echo "FAILED: the results of $preset could not be summed"
    failed=$((failed + 1))
  fi
}

# Windows tests run under Wine, each build in its own headless prefix (64-bit
# with 32-bit support), served only while that build's tests run.
run_wine_ctest() {
  local preset=$1 prefix=$PWD/build/$1/wineprefix
  scripts/wine-prefix.sh start "$prefix"
  # The prefix is fixed now: a later build's run sets its own trap.
  # shellcheck disable=SC2064
  trap "scripts/wine-prefix.sh stop '$prefix'" EXIT
  run_ctest "$preset"
  scripts/wine-prefix.sh stop "$prefix"
  trap - EXIT
}

# The static gates: formatting, clang-tidy, cppcheck, shellcheck.
run_lint() {
  local counts
  echo "== lint"
  local output
  output=$(scripts/lint.sh 2>&1)
  printf '%s\n' "$output"
  counts=$(printf '%s\n' "$output" | tail -n 1)
  if [[ "$counts" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
  else
    echo "FAILED: the static gates did not report"
    failed=$((failed + 1))
  fi
}

# The native tests are independent of each other (each in its own temporary
# folder) and run two at a time. The Windows tests share one Wine prefix, and
# with it one window station where tests look for each other's windows, and
# many of them bound waits on other processes: they run one at a time, with
# nothing built beside them.
if build linux; then run_ctest linux 2; fi
run_lint
# Built for its warnings (errors in every build); the fuzzers run by hand.
build fuzz || true
if build linux-asan; then run_ctest linux-asan 2; fi
if build windows; then run_wine_ctest windows; fi
if build windows-i686; then run_wine_ctest windows-i686; fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
