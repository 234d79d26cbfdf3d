#!/usr/bin/env bash
# The main job, end to end: builds the launcher (Windows) and the packing tool
# (native), wraps the demo game behind the launcher, and runs the wrapped
# launcher under Wine, headless, showing what happened.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then
  # The demo runs the x86_64 build only: it goes on without 32-bit Wine.
  scripts/install-deps.sh || echo "warning: installing the dependencies failed (see above)"
fi

echo "== building the packing tool (native), the launcher and the demo game (Windows x86_64)"
cmake --preset linux >/dev/null
cmake --build --preset linux --target gamewrap >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target launcher demo_game watch_launcher >/dev/null

gamewrap=build/linux/bin/gamewrap
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo/properties"

echo "== wrapping the demo game (build identifier 00000001)"
"$gamewrap" pack --stub build/windows/bin/launcher.exe --game build/windows/bin/demo_game.exe \
  --build-id 00000001 -o "$demo/DemoGame.exe"
"$gamewrap" inspect "$demo/DemoGame.exe"

echo "== signing the partner properties for that build identifier"
cp examples/partner.xml "$demo/properties/partner.xml"
"$gamewrap" sign --key examples/dev-key.txt --build-id 1 "$demo/properties/partner.xml"
"$gamewrap" verify --build-id 1 "$demo/properties/partner.xml"

prefix=$PWD/build/windows/wineprefix
scripts/wine-prefix.sh start "$prefix"
trap 'scripts/wine-prefix.sh stop "$prefix"' EXIT
wine_run=$PWD/build/windows/wine-run.sh
watch=$PWD/build/windows/bin/watch_launcher.exe

# Runs the wrapped launcher in $1 under Wine as a user would, headless, and
# prints its message boxes, debugger output and exit code.
run_launcher() {
  (cd "$1" && timeout 90 "$wine_run" "$watch" DemoGame.exe 60000 2>/dev/null | tr -d '\r' |
    sed 's/^/  /')
}

echo "== running the wrapped launcher under Wine"
run_launcher "$demo"
echo "== what the demo game asked the launcher and got"
if [ -f "$demo/demo-game-report.txt" ]; then
  tr -d '\r' <"$demo/demo-game-report.txt" | sed 's/^/  /'
else
  echo "  The demo game did not run (no report)."
fi
echo "== left in $demo (the game's temporary file is gone):"
find "$demo" -mindepth 1 -maxdepth 1 -printf '  %f\n' | sort

echo "== the same launcher after partner.xml was edited without signing it again"
tampered=build/demo-tampered
rm -rf "$tampered"
cp -r "$demo" "$tampered"
rm -f "$tampered/demo-game-report.txt"
sed -i 's/>Trial</>Full</' "$tampered/properties/partner.xml"
"$gamewrap" verify --build-id 1 "$tampered/properties/partner.xml" 2>&1 | sed 's/^/  /' || true
run_launcher "$tampered"
if [ -f "$tampered/demo-game-report.txt" ]; then
  echo "  The demo game ran, which it must not."
else
  echo "  The game was not extracted or started."
fi
