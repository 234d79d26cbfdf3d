#!/bin/bash
# Runs the native gamewrap and the Windows gamewrap.exe (under Wine) on the
# same inputs and compares what they do: the files written byte for byte, and
# each command's exit code, standard output and standard error (Windows
# programs end lines with CRLF; that alone is not a difference).
#
# usage: gamewrap_exe_matches_native.sh NATIVE_GAMEWRAP GAMEWRAP_EXE WINE_RUNNER LAUNCHER GAME KEY
# Exits 77 (skipped) when NATIVE_GAMEWRAP has not been built.
set -u
native=$1 exe=$2 wine_runner=$3 launcher=$4 game=$5 key=$6

if [ ! -x "$native" ]; then
  echo "SKIPPED: no native gamewrap at $native (build the linux preset first)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for side in native windows; do
  mkdir "$work/$side"
  cp "$launcher" "$work/$side/launcher.exe"
  cp "$game" "$work/$side/game.exe"
  cp "$key" "$work/$side/key.txt"
  printf '<Properties><String id="Name">Kova</String></Properties>\n' >"$work/$side/doc.xml"
done

failures=0
step=0
# Runs one gamewrap command line on both sides, each in its own folder with
# the same relative names, and compares the results.
compare() {
  step=$((step + 1))
  local out="$work/results/$step"
  mkdir -p "$out"
  (cd "$work/native" && "$native" "$@" >"$out/native.out" 2>"$out/native.err")
  echo $? >"$out/native.rc"
  (cd "$work/windows" && "$wine_runner" "$exe" "$@" >"$out/windows.out" 2>"$out/windows.err")
  echo $? >"$out/windows.rc"
  local stream
  for stream in rc out err; do
    if ! cmp -s "$out/native.$stream" <(tr -d '\r' <"$out/windows.$stream"); then
      echo "DIFFERS: gamewrap $* ($stream)"
      diff <(cat -v "$out/native.$stream") <(tr -d '\r' <"$out/windows.$stream" | cat -v)
      failures=$((failures + 1))
    fi
  done
  echo "gamewrap $*: exit $(cat "$out/native.rc") on both sides"
}

# Compares a file both sides wrote.
compare_file() {
  if ! cmp "$work/native/$1" "$work/windows/$1"; then
    echo "DIFFERS: $1"
    failures=$((failures + 1))
  fi
}

compare --version
compare pack --stub launcher.exe --game game.exe --build-id 00000042 -o wrapped.exe
compare_file wrapped.exe
compare inspect wrapped.exe
compare inspect --json wrapped.exe
compare inspect --json game.exe
compare sign --key key.txt --build-id 42 doc.xml
compare_file doc.xml.sig
compare verify --build-id 42 doc.xml
compare verify --json --build-id 42 doc.xml
compare verify --json --build-id 43 doc.xml
compare verify --json --build-id 42 missing.xml
compare verify --build-id 123456789 doc.xml

if [ "$(cat "$work/results/1/native.rc")" != 0 ]; then
  echo "FAILED: pack failed; the comparison proves nothing"
  cat "$work/results/1/native.err"
  failures=$((failures + 1))
fi
if [ "$failures" -ne 0 ]; then
  echo "FAILED: $failures differences between gamewrap and gamewrap.exe"
  exit 1
fi
echo "gamewrap.exe under Wine matches the native gamewrap"
