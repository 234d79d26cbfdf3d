#!/usr/bin/env bash
# The static gates of the test command. Each gate prints PASS or FAIL with
# what it found; the last line is 'N passed, N failed' over the gates.
#   clang-format  the C and C++ sources follow .clang-format
#   clang-tidy    the portable product code is clean under .clang-tidy (needs
#                 build/linux/compile_commands.json: build the linux preset first)
#   cppcheck      product code, tests, benchmarks and examples
#   shell scripts checked by shellcheck
# Tests and benchmarks are left to cppcheck rather than clang-tidy: GoogleTest's
# macros and deliberate faults (a test game that crashes on purpose) would need
# more exceptions than they are worth.
set -u
cd "$(dirname "$0")/.." || exit 1

passed=0
failed=0
gate() {
  local name=$1
  shift
  local log
  if log=$("$@" 2>&1); then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    printf '%s\n' "$log" | tail -n 40
    echo "FAIL $name"
    failed=$((failed + 1))
  fi
}

mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h' '*.hpp')
mapfile -t portable < <(git ls-files 'common/*.cpp' 'payload/*.cpp' 'launcher/*.cpp' 'properties/*.cpp' \
  'signature/*.cpp' 'channel/*.cpp' 'tools/*.cpp' | grep -v '/win32/')
mapfile -t scripts < <(git ls-files '*.sh' 'bench/run' '.ci/run')

gate clang-format clang-format --dry-run -Werror "${sources[@]}"
if [ -f build/linux/compile_commands.json ]; then
  gate clang-tidy clang-tidy -p build/linux --quiet "${portable[@]}"
else
  echo "FAIL clang-tidy (no build/linux/compile_commands.json: build the linux preset first)"
  failed=$((failed + 1))
fi
gate cppcheck cppcheck --quiet --std=c++17 --enable=warning,performance,portability \
  --inline-suppr --error-exitcode=1 -I . common payload launcher properties signature channel client tools
gate cppcheck-tests cppcheck --quiet --library=googletest --std=c++17 \
  --enable=warning,performance,portability --inline-suppr --error-exitcode=1 -I . tests bench examples
gate shellcheck shellcheck "${scripts[@]}"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
