#!/usr/bin/env bash
# qvn.dll must import only Windows' own DLLs and export every function by
# name at its fixed ordinal.
set -eu
dll=$1
dump=$(x86_64-w64-mingw32-objdump -p "$dll")
imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
bad=$(echo "$imports" | grep -vE '^(kernel32|advapi32|ws2_32|ole32|oleaut32|user32|version|msvcrt|ucrtbase|ntdll|shell32|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$' || true)
if [ -n "$bad" ]; then echo "non-system imports: $bad"; exit 1; fi
# objdump lists names with their index into the address table; the
# ordinal is that index plus the ordinal base.
base=$(echo "$dump" | sed -n 's/^Ordinal Base[[:space:]]*\([0-9]*\).*/\1/p' | head -n1)
fail=0
while read -r name ord; do
  idx=$(echo "$dump" | sed -n "/Ordinal\/Name Pointer/,\$ s/^[[:space:]]*\[ *\([0-9]*\)\] $name\$/\1/p" | head -n1)
  if [ -z "$idx" ] || [ $((base + idx)) != "$ord" ]; then
    echo "export $name is not at ordinal $ord"; fail=1
  fi
done < <(sed -n 's/^ *\([A-Za-z]*\) @\([0-9]*\)$/\1 \2/p' "$(dirname "$0")/../src/api/qvn.def")
[ $fail = 0 ] || exit 1
echo "DLL OK: imports $(echo $imports)"
