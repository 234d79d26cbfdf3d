#!/bin/sh
# Signs DIR/unsigned.exe into DIR/signed.exe with a self-signed certificate made
# for the purpose, and checks that the signature verifies.
set -eu
dir=$1
command -v osslsigncode >/dev/null || { echo "osslsigncode is not installed" >&2; exit 1; }
cd "$dir"
rm -f signed.exe key.pem cert.pem
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Test" 2>/dev/null
osslsigncode sign -certs cert.pem -key key.pem -in unsigned.exe -out signed.exe
verdict=$(osslsigncode verify -CAfile cert.pem -in signed.exe 2>&1) || true
echo "$verdict" | tail -3
echo "$verdict" | grep -q "Succeeded" || { echo "the signature does not verify" >&2; exit 1; }
