#!/bin/sh
# Links a game against this build's kova_client.lib the way MSVC's toolchain
# does, and runs it behind the real launcher: compiles msvc_game.c beside this
# script for the *-pc-windows-msvc target (clang, no Windows SDK, no C
# run-time), links it with lld-link against kova_client.lib and a KERNEL32
# import library made here in the same format, checks what the program
# imports, wraps it with this build's gamewrap.exe and launcher, signs the
# sample partner document for it, runs the wrapped launcher under Wine with
# kova_client.dll beside it and checks the value the game got.
#
#   run_msvc_link_test.sh WORK ARCH RUN WATCH GAMEWRAP STUB DLL LIB SOURCE CLANG LLD_LINK DLLTOOL OBJDUMP
#
# WORK a scratch folder, ARCH x86_64 or i686, RUN the Wine runner, WATCH
# watch_launcher.exe, GAMEWRAP gamewrap.exe, STUB the launcher, DLL and LIB
# kova_client.dll and kova_client.lib, SOURCE the project's folder, then the
# tools.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$1 arch=$2 run=$3 watch=$4 gamewrap=$5 stub=$6 dll=$7 lib=$8 source=$9
shift 9
clang=$1 lld_link=$2 dlltool=$3 objdump=$4
build_id=12345678
expected='DisplayName=Demo Game & Friends'

case $arch in
  x86_64) machine=x64 dlltool_machine=i386:x86-64 ;;
  i686) machine=x86 dlltool_machine=i386 ;;
  *) echo "unknown architecture $arch" >&2; exit 1 ;;
esac

rm -rf "$work"
mkdir -p "$work"

step() {
  log=$work/$1.log
  shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log"
    echo "FAILED: $*"
    exit 1
  fi
}

echo "== a KERNEL32 import library in MSVC's format, for the four functions the game calls"
# 32-bit __stdcall names carry their argument bytes; -k imports them without.
{
  echo "LIBRARY KERNEL32.dll"
  echo "EXPORTS"
  echo "CreateFileA@28"
  echo "WriteFile@20"
  echo "CloseHandle@4"
  echo "ExitProcess@4"
} >"$work/kernel32.def"
if [ "$arch" = x86_64 ]; then sed -i 's/@[0-9]*$//' "$work/kernel32.def"; fi
step kernel32 "$dlltool" -m "$dlltool_machine" -k -d "$work/kernel32.def" -l "$work/kernel32.lib"

echo "== compiling for $arch-pc-windows-msvc and linking with lld-link against kova_client.lib"
step compile "$clang" --target="$arch-pc-windows-msvc" -ffreestanding -O1 -std=c99 \
  -Wall -Wextra -Wpedantic -Werror -Wno-language-extension-token \
  -DKOVA_CLIENT_USE_DLL -I "$source/client" -c "$here/msvc_game.c" -o "$work/msvc_game.obj"
step link "$lld_link" /nologo /machine:"$machine" /subsystem:windows /entry:GameStart \
  /nodefaultlib /out:"$work/msvc_game.exe" "$work/msvc_game.obj" "$lib" "$work/kernel32.lib"

echo "== checking that the program imports the client's functions from kova_client.dll"
step imports "$objdump" -p "$work/msvc_game.exe"
imports=$(tr -d '\r' <"$work/imports.log" | awk '
  /DLL Name:/ { dll = $3 }
  dll == "kova_client.dll" { for (i = 1; i <= NF; i++) if ($i ~ /^KovaClient/) print $i }' |
  sort | tr '\n' ' ')
if [ "$imports" != "KovaClientConnect KovaClientDisconnect KovaClientGetString KovaClientResultText KovaClientVersion " ]; then
  echo "FAILED: the program imports from kova_client.dll: '$imports'"
  exit 1
fi

echo "== running it behind the wrapped launcher"
dir=$work/run
mkdir -p "$dir/properties"
step pack "$run" "$gamewrap" pack --stub "$stub" --game "$work/msvc_game.exe" \
  --build-id "$build_id" -o "$dir/Game.exe"
cp "$source/examples/partner.xml" "$dir/properties/partner.xml"
step sign "$run" "$gamewrap" sign --key "$source/examples/dev-key.txt" \
  --build-id "$build_id" "$dir/properties/partner.xml"
cp "$dll" "$dir/kova_client.dll"
(cd "$dir" && timeout 120 "$run" "$watch" Game.exe 60000) >"$dir/watch.txt" 2>&1 || true
report=$(tr -d '\r' <"$dir/msvc-game.txt" 2>/dev/null || echo "(the game wrote no report)")
version=$(sed -n 's/^#define KOVA_CLIENT_VERSION \([0-9]*\).*/\1/p' "$source/client/kova_client.h")
if [ "$report" = "version=$version
$expected" ]; then
  echo "-- msvc_game ($arch): $expected"
else
  echo "FAILED: msvc_game ($arch) reported:"
  echo "$report" | sed 's/^/  /'
  echo "  the launcher:"
  tr -d '\r' <"$dir/watch.txt" | sed 's/^/  /'
  exit 1
fi
