#!/bin/sh
# Installs what building and testing need on a Debian machine (run as root).
# Idempotent: installs only what is missing.
set -eu
packages="cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev \
  libgmp-dev libssl-dev libpugixml-dev wine wine64 \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686"
missing=""
for package in $packages; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq $missing >/dev/null
fi
