#!/bin/sh
# Runs CsharpLoadFailure.cs (beside this script) with the C# binding under
# Mono, where kova_client cannot be loaded: first with no library at all, then
# beside a native library of that name that lacks the client's functions.
#
#   run_csharp_load_failure.sh WORK MCS MONO CC SOURCE
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$1 mcs=$2 mono=$3 cc=$4 source=$5
rm -rf "$work"
mkdir -p "$work"
"$mcs" -warnaserror+ -out:"$work/CsharpLoadFailure.exe" "$here/CsharpLoadFailure.cs" \
  "$source/client/bindings/KovaClient.cs"
"$mono" "$work/CsharpLoadFailure.exe" DllNotFoundException
echo 'int kova_client_placeholder(void) { return 0; }' >"$work/placeholder.c"
"$cc" -shared -fPIC -o "$work/libkova_client.so" "$work/placeholder.c"
"$mono" "$work/CsharpLoadFailure.exe" EntryPointNotFoundException
