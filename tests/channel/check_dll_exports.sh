#!/bin/sh
# Checks a built kova_client.dll against kova_client.def: the DLL exports
# exactly the names the .def lists, undecorated, and imports only DLLs that
# every Windows has (so a game ships it alone).
# Usage: check_dll_exports.sh OBJDUMP DLL DEF
set -eu
objdump=$1
dll=$2
def=$3

# The .def's EXPORTS list: one name a line, comments and blanks dropped.
want=$(sed -n '/^EXPORTS/,$p' "$def" | sed '1d; s/;.*//; s/[[:space:]]//g; /^$/d' | sort)
headers=$("$objdump" -p "$dll")
got=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)
if [ -z "$want" ] || [ "$got" != "$want" ]; then
  echo "exports of $dll differ from $def"
  echo "in the .def:"
  printf '%s\n' "$want" | sed 's/^/  /'
  echo "exported:"
  printf '%s\n' "$got" | sed 's/^/  /'
  exit 1
fi

imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p')
for import in $imports; do
  case $(printf '%s' "$import" | tr '[:upper:]' '[:lower:]') in
    kernel32.dll | user32.dll | msvcrt.dll) ;;
    *)
      echo "$dll imports $import, which is not a system DLL"
      exit 1
      ;;
  esac
done
echo "$dll exports the $(printf '%s\n' "$want" | wc -l) names of $def and imports only:" \
  "$(printf '%s\n' "$imports" | tr '\n' ' ')"
