#!/bin/bash
# Runs the native gamewrap and the Windows gamewrap.exe (under Wine) on the
# same inputs and compares what they do: the files written byte for byte, and
# each command's exit code, standard output and standard error (Windows
# programs end lines with CRLF; that alone is not a difference). Publisher
# signatures are ECDSA, randomized, so their files are not compared: each side
# verifies the other side's instead (OpenSSL natively, CNG in gamewrap.exe).
#
# usage: gamewrap_exe_matches_native.sh NATIVE_GAMEWRAP GAMEWRAP_EXE WINE_RUNNER LAUNCHER GAME KEY
#                                       PUBLISHER_KEYS
# PUBLISHER_KEYS is a folder holding current.key/.pub and next.key/.pub.
# Exits 77 (skipped) when NATIVE_GAMEWRAP has not been built.
set -u
native=$1 exe=$2 wine_runner=$3 launcher=$4 game=$5 key=$6 publisher_keys=$7

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
  printf '<Properties><String id="Name">Other</String></Properties>\n' >"$work/$side/doc2.xml"
  printf '<?xml version="1.0" encoding="windows-1252"?>\n<Properties><String id="T">Caf\351</String></Properties>\n' \
    >"$work/$side/cp1252.xml"
  cp "$publisher_keys"/current.key "$publisher_keys"/current.pub "$publisher_keys"/next.key \
    "$publisher_keys"/next.pub "$work/$side/"
done

failures=0
step=0
# What compare compares; commands whose output names a new random key leave out "out".
streams="rc out err"
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
  for stream in $streams; do
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
# A document in another encoding than UTF-8 is warned of alike.
compare sign --key key.txt --build-id 42 cp1252.xml
if ! grep -q 'warning: cp1252.xml: declares the encoding "windows-1252"' \
  "$work/results/$step/native.err"; then
  echo "FAILED: sign gave no encoding warning for cp1252.xml"
  failures=$((failures + 1))
fi
compare_file cp1252.xml.sig
compare verify --json --build-id 42 cp1252.xml

# The last command's exit code on the native side must be $1.
expect_exit() {
  if [ "$(cat "$work/results/$step/native.rc")" != "$1" ]; then
    echo "FAILED: step $step exited $(cat "$work/results/$step/native.rc"), not $1"
    cat "$work/results/$step/native.err"
    failures=$((failures + 1))
  fi
}

# Exchanges a file between the two sides.
swap() {
  mv "$work/native/$1" "$work/swap.tmp"
  mv "$work/windows/$1" "$work/native/$1"
  mv "$work/swap.tmp" "$work/windows/$1"
}

# The publisher key block: the same bytes from both (key ids are SHA-256).
compare pack --stub launcher.exe --game game.exe --build-id 00000042 \
  --publisher-key current.pub --publisher-key next.pub -o keyed.exe
expect_exit 0
compare_file keyed.exe
compare inspect keyed.exe
compare inspect --json keyed.exe
# Signed on each side, each verifies the other's: OpenSSL's signatures by CNG
# and CNG's by OpenSSL.
compare sign --key key.txt --publisher-key current.key --build-id 42 doc.xml doc2.xml
expect_exit 0
compare_file doc.xml.sig
compare_file doc2.xml.sig
swap doc.xml.psig
swap doc2.xml.psig
compare verify --build-id 42 --publisher-key current.pub doc.xml
expect_exit 0
compare verify --json --launcher keyed.exe doc.xml
expect_exit 0
compare verify --launcher keyed.exe doc2.xml
expect_exit 0
compare sign --key key.txt --publisher-key next.key --build-id 42 doc2.xml
swap doc2.xml.psig
compare verify --json --launcher keyed.exe doc2.xml
expect_exit 0
# Refused alike: the other key, and a document changed after signing.
compare verify --json --build-id 42 --publisher-key next.pub doc.xml
compare verify --launcher wrapped.exe doc.xml
printf ' ' >>"$work/native/doc.xml"
printf ' ' >>"$work/windows/doc.xml"
compare verify --json --launcher keyed.exe doc.xml
# Keys made by one implementation sign and verify in the other. Their key ids
# are random, and so is the output that names them.
streams="rc err"
compare keygen --out made
expect_exit 0
compare keygen --out made
swap made.key
swap made.pub
compare sign --key key.txt --publisher-key made.key --build-id 42 doc2.xml
expect_exit 0
compare verify --build-id 42 --publisher-key made.pub doc2.xml
expect_exit 0
streams="rc out err"

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
