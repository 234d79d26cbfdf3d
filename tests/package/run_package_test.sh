#!/bin/sh
# Uses this build's kit as a game's build would: installs it into a scratch
# folder, builds the game project beside this script against it (CMake
# package: one game with Kova::client, one with Kova::client_shared; and one
# game compiled by hand with the pkg-config file's flags), wraps each game with
# the kit's gamewrap.exe and stub, signs the kit's sample partner document for
# it, runs the wrapped launcher under Wine and checks the value the game got.
#
#   run_package_test.sh BUILD TOOLCHAIN ARCH RUN WATCH CC
#
# BUILD is this build's folder, TOOLCHAIN its toolchain file, ARCH x86_64 or
# i686, RUN the Wine runner, WATCH watch_launcher.exe (answers message boxes,
# stops a launcher that does not end), CC the build's C compiler.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$1 toolchain=$2 arch=$3 run=$4 watch=$5 cc=$6
work=$build/package-test
kit=$work/kit
games=$work/build
build_id=12345678
expected='DisplayName=Demo Game & Friends'

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

echo "== installing the kit into $kit"
step install cmake --install "$build" --prefix "$kit"

# The library's run-time version must be the one its header declares.
version=$(sed -n 's/^#define KOVA_CLIENT_VERSION \([0-9]*\).*/\1/p' "$kit/client/kova_client.h")

echo "== building the game project against it (find_package(KovaClient CONFIG))"
step configure cmake -S "$here" -B "$games" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$kit"
step build cmake --build "$games"

echo "== checking that the version file serves 32-bit and 64-bit builds alike"
# A kit holds one version file, installed by whichever build came last.
for bits in 4 8; do
  cat >"$work/version-$bits.cmake" <<CHECK
cmake_minimum_required(VERSION 3.21)
set(CMAKE_SIZEOF_VOID_P $bits)
set(PACKAGE_FIND_VERSION 1.1)
set(PACKAGE_FIND_VERSION_MAJOR 1)
set(PACKAGE_FIND_VERSION_MINOR 1)
set(PACKAGE_FIND_VERSION_COUNT 2)
include("$kit/lib/cmake/KovaClient/KovaClientConfigVersion.cmake")
if(NOT PACKAGE_VERSION_COMPATIBLE OR PACKAGE_VERSION_UNSUITABLE)
  message(FATAL_ERROR "version \${PACKAGE_VERSION} refused for 1.1 with pointers of $bits bytes")
endif()
CHECK
  step "version-$bits" cmake -P "$work/version-$bits.cmake"
done

echo "== building a game with the flags of kova-client.pc"
# shellcheck disable=SC2046 # pkg-config's output is a list of words
step pkgconfig "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror -mwindows "$here/game.c" \
  -o "$games/game_pkgconfig.exe" $(PKG_CONFIG_PATH='' PKG_CONFIG_LIBDIR="$kit/lib/pkgconfig" \
  pkg-config --define-variable=arch="$arch" --cflags --libs kova-client)

failed=0
for game in game_static game_shared game_pkgconfig; do
  dir=$work/run-$game
  mkdir -p "$dir/properties"
  step "$game-pack" "$run" "$kit/bin/gamewrap.exe" pack --arch "$arch" \
    --game "$games/$game.exe" --build-id "$build_id" -o "$dir/Game.exe"
  cp "$kit/examples/partner.xml" "$dir/properties/partner.xml"
  step "$game-sign" "$run" "$kit/bin/gamewrap.exe" sign --key "$kit/examples/dev-key.txt" \
    --build-id "$build_id" "$dir/properties/partner.xml"
  case $game in
    # The DLL the game's build copied beside it.
    game_shared) cp "$games/kova_client.dll" "$dir/" ;;
    game_pkgconfig) cp "$kit/client/bin/$arch/kova_client.dll" "$dir/" ;;
  esac
  (cd "$dir" && timeout 120 "$run" "$watch" Game.exe 60000) >"$dir/watch.txt" 2>&1 || true
  report=$(tr -d '\r' <"$dir/package-game.txt" 2>/dev/null || echo "(the game wrote no report)")
  if [ "$report" = "version=$version
$expected" ]; then
    echo "-- $game ($arch): $expected"
  else
    echo "FAILED: $game ($arch) reported:"
    echo "$report" | sed 's/^/  /'
    echo "  the launcher:"
    tr -d '\r' <"$dir/watch.txt" | sed 's/^/  /'
    failed=1
  fi
done
exit "$failed"
