#!/usr/bin/env bash
# qvn.dll must import only Windows' own DLLs and export every function by
# name at its fixed ordinal.
set -eu
dll=$1
dump=$(x86_64-w64-mingw32-objdump -p "$dll")
imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
bad=$(echo "$imports" | grep -vE '^(kernel32|advapi32|ws2_32|ole32|oleaut32|user32|version|msvcrt|ucrtbase|ntdll|shell32|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$' || true)
if [ -n "$bad" ]; then echo "non-system imports: $bad"; exit 1; fi
fail=0
while read -r name ord; do
  # objdump lists the export table as: [index] +base[ ordinal] name
  if ! echo "$dump" | grep -Eq "\[ *[0-9]+\] \+base\[ *$ord\] [0-9a-f]+ $name\$"; then
    echo "missing export $name @$ord"; fail=1
  fi
done < <(sed -n 's/^ *\([A-Za-z]*\) @\([0-9]*\)$/\1 \2/p' "$(dirname "$0")/../src/api/qvn.def")
[ $fail = 0 ] || { echo "$dump" | sed -n '/Export Address/,/^$/p;/Ordinal\/Name Pointer/,/^$/p'; exit 1; }
echo "DLL OK: imports $(echo $imports)"
