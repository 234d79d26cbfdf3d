#!/bin/sh
# Installs what building and testing need on a Debian machine (run as root).
# Idempotent: installs only what is missing.
#
# 32-bit Wine (wine32, from the i386 architecture) runs the i686 build. It must
# be in place before any Wine prefix is made: a prefix made with 64-bit Wine
# alone keeps an empty syswow64 folder, and once wine32 arrives every program in
# it fails to start (scripts/wine-prefix.sh remakes such a prefix).
#
# Wine's bcrypt.dll does its cryptography with GnuTLS, loaded at run time and
# only recommended by Wine's packages: without libgnutls30 (and libgnutls30:i386
# for 32-bit programs) every CNG key import fails, and the launcher refuses
# every partner folder that needs a publisher signature.
set -eu
export DEBIAN_FRONTEND=noninteractive

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

packages="cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev \
  libgmp-dev libssl-dev libpugixml-dev libxxhash-dev osslsigncode python3 wine wine64 \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 clang-format clang-tidy cppcheck shellcheck \
  mono-mcs mono-runtime pkg-config lld llvm libgnutls30 openssl"
missing=""
for package in $packages; do
  is_installed "$package" || missing="$missing $package"
done
updated=no
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  apt-get update -qq
  updated=yes
  # shellcheck disable=SC2086
  apt-get install -y -qq $missing >/dev/null
fi

if ! is_installed wine32:i386; then
  echo "Installing: wine32:i386 (32-bit Wine, runs the i686 build)"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    updated=no
  fi
  [ "$updated" = yes ] || apt-get update -qq
  updated=yes
  if ! apt-get install -y -qq wine32:i386 >/dev/null; then
    echo "ERROR: 32-bit Wine (wine32:i386) could not be installed." >&2
    echo "  Often the amd64 and i386 archives hold different versions of Wine for a while" >&2
    echo "  (a version skew); compare: apt-cache policy wine64 wine32:i386" >&2
    echo "  Without it the i686 build cannot run: its tests will fail." >&2
    exit 1
  fi
fi

# After the i386 architecture is in: GnuTLS for 32-bit Wine's bcrypt.dll.
if ! is_installed libgnutls30:i386; then
  echo "Installing: libgnutls30:i386 (CNG under 32-bit Wine)"
  [ "$updated" = yes ] || apt-get update -qq
  if ! apt-get install -y -qq libgnutls30:i386 >/dev/null; then
    echo "ERROR: libgnutls30:i386 could not be installed; under 32-bit Wine every" >&2
    echo "  publisher signature check will then fail." >&2
    exit 1
  fi
fi
