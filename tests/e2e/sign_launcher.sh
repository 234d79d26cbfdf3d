#!/bin/sh
# Signs DIR/unsigned.exe into DIR/signed.exe with a self-signed certificate made
# for the purpose, and checks that the signature verifies.
#
#   sign_launcher.sh DIR          unsigned.exe into signed.exe
#   sign_launcher.sh DIR keyed    unsigned-keyed.exe (packed with a publisher key)
#                                 into signed-keyed.exe, and checks that the code
#                                 signature covers the key block: with one byte of
#                                 the block changed it no longer verifies
set -eu
dir=$1
kind=${2:-}
suffix=${kind:+-$kind}
command -v osslsigncode >/dev/null || { echo "osslsigncode is not installed" >&2; exit 1; }
cd "$dir"
rm -f "signed$suffix.exe" "key$suffix.pem" "cert$suffix.pem"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "key$suffix.pem" -out "cert$suffix.pem" \
  -days 2 -subj "/CN=Test" 2>/dev/null
osslsigncode sign -certs "cert$suffix.pem" -key "key$suffix.pem" -in "unsigned$suffix.exe" \
  -out "signed$suffix.exe"
verdict=$(osslsigncode verify -CAfile "cert$suffix.pem" -in "signed$suffix.exe" 2>&1) || true
echo "$verdict" | tail -3
echo "$verdict" | grep -q "Succeeded" || { echo "the signature does not verify" >&2; exit 1; }

[ "$kind" = keyed ] || exit 0
# The key block lies 200 bytes into the header block, which follows the
# 18-byte payload marker; one byte of its first key entry is changed.
marker_at=$(grep -obUa '!tamberwrapmarker!' "signed$suffix.exe" | head -n 1 | cut -d: -f1)
[ -n "$marker_at" ] || { echo "no payload marker in signed$suffix.exe" >&2; exit 1; }
at=$((marker_at + 18 + 200 + 40))
cp "signed$suffix.exe" changed-key-block.exe
old=$(od -An -tu1 -j "$at" -N 1 changed-key-block.exe | tr -d ' ')
printf '%b' "\\0$(printf '%03o' $(((old + 1) % 256)))" |
  dd of=changed-key-block.exe bs=1 seek="$at" conv=notrunc 2>/dev/null
cmp -s "signed$suffix.exe" changed-key-block.exe && { echo "the byte was not changed" >&2; exit 1; }
if osslsigncode verify -CAfile "cert$suffix.pem" -in changed-key-block.exe >/dev/null 2>&1; then
  echo "the code signature still verifies with a key block byte changed" >&2
  exit 1
fi
echo "with one byte of the key block changed the code signature fails, as it must"
rm -f changed-key-block.exe
