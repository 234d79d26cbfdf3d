#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the native, sanitizer,
# Windows x86_64 and Windows i686 configurations, runs the native tests, the
# sanitizer tests and the Windows tests under Wine, and ends with the line
# 'N passed, N failed' (test cases, plus one failure for each configuration
# that does not build and each test program that crashed or timed out).
set -u
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then
  scripts/install-deps.sh
fi

passed=0
failed=0

build() {
  local preset=$1
  echo "== build $preset"
  mkdir -p build
  if cmake --preset "$preset" >"build/$preset.log" 2>&1 &&
     cmake --build --preset "$preset" >>"build/$preset.log" 2>&1; then
    rm -f "build/$preset.log"
    return 0
  fi
  tail -n 40 "build/$preset.log"
  echo "BUILD FAILED: $preset (log: build/$preset.log)"
  failed=$((failed + 1))
  return 1
}

# Adds the cases of one configuration's GoogleTest result files to the totals.
# A ctest entry that failed without a failing case in its file (a crash, a
# timeout, a missing file) counts as one failure.
count_results() {
  local dir=$1 junit=$1/ctest-junit.xml
  local file tests failures errors skipped
  for file in "$dir"/test-results/*.xml; do
    [ -f "$file" ] || continue
    read -r tests failures errors skipped < <(
      sed -n 's/.*<testsuites[^>]* tests="\([0-9]*\)" failures="\([0-9]*\)" disabled="[0-9]*" errors="\([0-9]*\)".*/\1 \2 \3 0/p' "$file" | head -n 1)
    [ -n "${tests:-}" ] || continue
    skipped=$(grep -c 'result="skipped"' "$file")
    passed=$((passed + tests - failures - errors - skipped))
    failed=$((failed + failures + errors))
  done
  [ -f "$junit" ] || return 0
  local name
  for name in $(grep -o '<testcase name="[^"]*"[^>]*status="fail"' "$junit" | sed 's/<testcase name="\([^"]*\)".*/\1/'); do
    file="$dir/test-results/$name.xml"
    if [ ! -f "$file" ] || ! grep -q '<failure' "$file"; then
      echo "FAILED without a failing case (crash or timeout): $name"
      failed=$((failed + 1))
    fi
  done
}

run_ctest() {
  local preset=$1 dir=build/$1
  echo "== test $preset"
  rm -f "$dir"/test-results/*.xml "$dir/ctest-junit.xml"
  ctest --preset "$preset" --output-junit "$PWD/$dir/ctest-junit.xml" 2>&1 | tail -n 25
  count_results "$dir"
}

if build linux; then run_ctest linux; fi
if build linux-asan; then run_ctest linux-asan; fi
build windows-i686 || true
if build windows; then
  prefix=$PWD/build/windows/wineprefix
  scripts/wine-prefix.sh start "$prefix"
  trap 'scripts/wine-prefix.sh stop "$prefix"' EXIT
  run_ctest windows
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
