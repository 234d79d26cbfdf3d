#!/usr/bin/env bash
# Builds the publisher's kit: the release launcher stubs (Windows x86_64 and
# i686, size-optimised and stripped), gamewrap for Linux and for Windows, the
# client library and the documents. Lays the kit out in build/kit/<name>/,
# packs build/kit/<name>.tar.gz and .zip, and checks that the kit's own
# gamewrap wraps the demo game with the kit's stubs, without --stub, that
# the kit's client folder compiles on its own, and that it holds the MSVC
# import libraries, the development launchers and a well-formed Unity package
# with both DLLs.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then
  scripts/install-deps.sh || echo "warning: installing the dependencies failed (see above)"
fi

# The version is the project's, from the top CMakeLists.txt.
version=$(sed -n 's/^project(kova_launcher VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 1; }
name=kova-publisher-kit-$version
out=build/kit
kit=$out/$name

# The Windows builds first: the Linux build's archive takes their files.
for preset in release-windows release-windows-i686 release-linux; do
  echo "== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2 >/dev/null
done

echo "== laying out $kit"
rm -rf "$out"
mkdir -p "$out"
for preset in release-linux release-windows release-windows-i686; do
  cmake --install "build/$preset" --prefix "$kit" >/dev/null
done

echo "== packing the archives"
(cd "$out" && cpack --config ../release-linux/CPackConfig.cmake -B . >/dev/null)
rm -rf "$out/_CPack_Packages"

echo "== checking the kit: its gamewrap wraps the demo game with its own stubs"
check=$out/check
mkdir -p "$check"
"$kit/bin/gamewrap" pack --game build/release-windows/bin/demo_game.exe \
  --build-id 00000001 -o "$check/DemoGame-x86_64.exe" >/dev/null
"$kit/bin/gamewrap" pack --arch i686 --game build/release-windows-i686/bin/demo_game.exe \
  --build-id 00000001 -o "$check/DemoGame-i686.exe" >/dev/null
"$kit/bin/gamewrap" inspect "$check/DemoGame-i686.exe" >/dev/null

echo "== checking the kit: its client folder compiles on its own, as C and as C++"
x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Wpedantic -Werror \
  -c "$kit/client/kova_client.c" -o "$check/kova_client.o"
x86_64-w64-mingw32-g++-posix -x c++ -std=c++11 -Wall -Wextra -Wpedantic -Werror \
  -c "$kit/client/kova_client.c" -o "$check/kova_client_cxx.o"

echo "== checking the kit: MSVC import libraries, development launchers and the Unity package for both architectures"
for arch in x86_64 i686; do
  for file in kova_client.dll kova_client.lib; do
    [ -f "$kit/client/bin/$arch/$file" ] || { echo "missing: client/bin/$arch/$file" >&2; exit 1; }
  done
  [ -f "$kit/devlauncher/$arch/devlauncher.exe" ] ||
    { echo "missing: devlauncher/$arch/devlauncher.exe" >&2; exit 1; }
done
python3 tests/kit/check_unity_package.py --installed --package "$kit/unity/com.kova.client" \
  --header "$kit/client/kova_client.h" --binding "$kit/client/bindings/KovaClient.cs" \
  --dll x86_64 --dll x86
rm -rf "$check"

echo "== the kit"
(cd "$kit" && find . -type f | sort | while read -r file; do
  printf '  %-36s %9d bytes\n' "${file#./}" "$(stat -c %s "$file")"
done)
for archive in "$out"/*.tar.gz "$out"/*.zip; do echo "  $archive"; done
