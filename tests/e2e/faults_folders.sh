#!/bin/sh
# Folders for the fault tests that only Linux can make: a launcher folder that
# turns read-only once the launcher and its properties are in place, and a
# small folder that the tests fill up. Both are tmpfs mounts.
#
#   faults_folders.sh setup DIR RUN GAMEWRAP STUB GAME KEY PARTNER
#   faults_folders.sh cleanup DIR
#
# RUN runs a Windows program (the Wine runner); GAMEWRAP, STUB and GAME are
# this build's programs. Where mounting is not allowed, setup writes the
# reason to DIR/skip-reason and succeeds, and the tests skip with it.
set -u
action=$1
dir=$2
readonly_dir=$dir/readonly
full_dir=$dir/full

unmount_all() {
  for mounted in "$readonly_dir" "$full_dir"; do
    if mountpoint -q "$mounted" 2>/dev/null; then umount "$mounted"; fi
  done
}

skip() {
  echo "$1" > "$dir/skip-reason"
  echo "fault folders not made: $1"
  unmount_all
  exit 0
}

case $action in
  setup)
    run=$3 gamewrap=$4 stub=$5 game=$6 key=$7 partner=$8
    mkdir -p "$dir"
    unmount_all
    rm -rf "$readonly_dir" "$full_dir" "$dir/skip-reason"
    mkdir -p "$readonly_dir" "$full_dir"
    [ "$(id -u)" = 0 ] || skip "mounting a tmpfs needs root"
    mount -t tmpfs -o size=64m,mode=0777 tmpfs "$readonly_dir" 2>/dev/null ||
      skip "tmpfs cannot be mounted here"
    mount -t tmpfs -o size=16m,mode=0777 tmpfs "$full_dir" 2>/dev/null ||
      skip "tmpfs cannot be mounted here"

    mkdir -p "$readonly_dir/properties"
    cp "$partner" "$readonly_dir/properties/partner.xml"
    "$run" "$gamewrap" pack --stub "$stub" --game "$game" --build-id 12345678 \
      -o "$readonly_dir/launcher.exe" >/dev/null || skip "the launcher could not be wrapped"
    "$run" "$gamewrap" sign --key "$key" --build-id 12345678 \
      "$readonly_dir/properties/partner.xml" >/dev/null || skip "the properties could not be signed"
    # A leftover of an earlier run, which the launcher cannot remove here either.
    echo "left by an earlier run" > "$readonly_dir/tmb0001.tmp"
    mount -o remount,ro "$readonly_dir" || skip "tmpfs cannot be made read-only here"
    echo "fault folders ready in $dir"
    ;;
  cleanup)
    unmount_all
    rm -rf "$readonly_dir" "$full_dir" "$dir/skip-reason"
    ;;
  *)
    echo "usage: $0 setup|cleanup DIR ..." >&2
    exit 2
    ;;
esac
