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

echo "== building the packing tool (native) and the launcher (Windows x86_64)"
cmake --preset linux >/dev/null
cmake --build --preset linux --target gamewrap >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target launcher demo_game >/dev/null

gamewrap=build/linux/bin/gamewrap
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"

echo "== wrapping the demo game"
"$gamewrap" pack --stub build/windows/bin/launcher.exe --game build/windows/bin/demo_game.exe \
  --build-id 00000001 -o "$demo/DemoGame.exe"
"$gamewrap" inspect "$demo/DemoGame.exe"

echo "== running the wrapped launcher under Wine"
prefix=$PWD/build/windows/wineprefix
scripts/wine-prefix.sh start "$prefix"
trap 'scripts/wine-prefix.sh stop "$prefix"' EXIT
wine_run=$PWD/build/windows/wine-run.sh
set +e
output=$(cd "$demo" && WINEDEBUG=-all,+debugstr timeout 60 "$wine_run" ./DemoGame.exe 2>&1)
status=$?
set -e
printf '%s\n' "$output" | grep -a 'OutputDebugStringA' | sed 's/^.*OutputDebugStringA /  debugger output: /' || true
echo "== launcher exit code: $status"
if [ -f "$demo/demo-game-report.txt" ]; then
  tr -d '\r' <"$demo/demo-game-report.txt"
else
  echo "The demo game did not run (no report)."
fi
echo "== left in $demo:"
ls -A "$demo"
