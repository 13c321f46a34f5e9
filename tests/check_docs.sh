#!/usr/bin/env bash
# The manual keeps up with the interface: every export in the library's
# export list has its section in docs/api.md and its line in qvn(3) and in the
# README's API table, and every name qvn.h defines for hosts is explained in
# docs/api.md. A new export or macro without its documentation fails here.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
status=0
missing() { echo "$1"; status=1; }

exports=$(sed -n '/global:/,/local:/p' "$src/src/api/qvn.map" | tr -s ' ;\t' '\n\n\n' |
  grep -E '^[A-Z][A-Za-z]+$')
count=$(wc -w <<<"$exports")
[ "$count" = 17 ] || missing "src/api/qvn.map lists $count exports, not 17"
for name in $exports; do
  grep -qx "## $name" "$src/docs/api.md" || missing "docs/api.md: no section '## $name'"
  grep -q "[ *]$name(" "$src/docs/man/qvn.3" || missing "docs/man/qvn.3: $name not in the synopsis"
  grep -q "^| .*\`$name" "$src/README.md" || missing "README.md: $name not in the API table"
done

# Every QVN_* macro, type and record a host can use (qvn.h's own guard, export
# marker and build switch aside), and the version macros.
names=$(grep -oE '\b(QVN_[A-Z0-9_]+|Qvn[A-Za-z]+)\b' "$src/include/qvn.h" |
  grep -vxE 'QVN_H_|QVN_API|QVN_BUILDING|.*_' | sort -u)
for name in $names; do
  grep -q "\b$name\b" "$src/docs/api.md" || missing "docs/api.md: $name is not explained"
done

[ $status = 0 ] && echo "docs name all $count exports and every name of qvn.h"
exit $status
