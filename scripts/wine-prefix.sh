#!/bin/sh
# Prepares and serves the headless Wine prefix that the Windows tests run in.
#   wine-prefix.sh start PREFIX   create the prefix once (64-bit with 32-bit support, null
#                                 graphics driver, no crash dialog), then start a persistent
#                                 server and one Wine process so that ctest neither crawls
#                                 nor hangs
#   wine-prefix.sh stop PREFIX    stop that server
set -eu
action=$1
# Wine accepts only an absolute prefix path.
mkdir -p "$2"
WINEPREFIX=$(cd "$2" && pwd)
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# 32-bit Wine's loader (Debian's wine32 package); the i686 build needs it.
wine32_loader=/usr/lib/wine/wine

case "$action" in
start)
  # A prefix made while only 64-bit Wine was installed has an empty syswow64
  # folder; with 32-bit Wine installed since, every program in it, 64-bit ones
  # too, fails to load kernel32.dll (c0000135). Such a prefix is made anew.
  if [ -x "$wine32_loader" ] && [ -f "$WINEPREFIX/system.reg" ] &&
     [ -z "$(find "$WINEPREFIX/drive_c/windows/syswow64" -mindepth 1 -print -quit 2>/dev/null)" ]; then
    echo "Wine prefix $WINEPREFIX lacks 32-bit support (empty syswow64): making it anew" >&2
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/.kova-ready" ]; then
    if [ ! -x "$wine32_loader" ]; then
      echo "warning: 32-bit Wine is not installed (scripts/install-deps.sh installs it);" \
           "i686 programs will not run in $WINEPREFIX" >&2
    fi
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # The next server must start with the null driver for windows of different
    # processes to see each other.
    wineserver -w
    touch "$WINEPREFIX/.kova-ready"
  fi
  # The persistent server must not hold the caller's output open, or a caller
  # that reads it (a pipe) would wait for the server to end.
  # (A server that already runs for this prefix is fine.)
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  ;;
stop)
  wineserver -k >/dev/null 2>&1 || true
  ;;
*)
  echo "usage: $0 start|stop PREFIX" >&2
  exit 2
  ;;
esac
