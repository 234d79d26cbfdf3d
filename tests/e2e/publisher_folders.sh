#!/bin/sh
# Files made by the Linux tool (OpenSSL) for the publisher signature tests that
# run under Wine: partner folders signed with the current and with the next
# test key, and a launcher packed with both keys.
#
#   publisher_folders.sh DIR NATIVE_GAMEWRAP STUB GAME DEV_KEY KEYS PARTNER
#
# KEYS is the folder of the test keys (current.key/.pub, next.key/.pub).
# Without the native tool nothing is made and the tests that need it skip.
set -eu
dir=$1 gamewrap=$2 stub=$3 game=$4 devkey=$5 keys=$6 partner=$7
rm -rf "$dir"
mkdir -p "$dir"
if [ ! -x "$gamewrap" ]; then
  echo "no native gamewrap at $gamewrap: nothing made"
  exit 0
fi
for key in current next; do
  mkdir -p "$dir/$key"
  cp "$partner" "$dir/$key/partner.xml"
  "$gamewrap" sign --key "$devkey" --publisher-key "$keys/$key.key" --build-id 12345678 \
    "$dir/$key/partner.xml"
  test -s "$dir/$key/partner.xml.psig"
done
"$gamewrap" pack --stub "$stub" --game "$game" --build-id 12345678 \
  --publisher-key "$keys/current.pub" --publisher-key "$keys/next.pub" -o "$dir/packed.exe"
