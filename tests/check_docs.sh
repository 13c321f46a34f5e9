#!/usr/bin/env bash
# The manual keeps up with the interface: every export in the library's
# export list has its section in docs/api.md, its line in qvn(3) and in the
# README's API table and, given the folder a build made them in, its own man
# page; every name qvn.h defines for hosts is explained in docs/api.md. A new
# export or macro without its documentation fails here.
#   check_docs.sh [PAGES_DIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
pages=${1:-}
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
  if [ -n "$pages" ]; then
    grep -q "^\.SH SYNOPSIS" "$pages/$name.3" 2>/dev/null &&
      grep -q "[ *]$name(" "$pages/$name.3" || missing "$pages: no man page $name.3 declaring $name"
  fi
done

# Every QVN_* macro, type and record a host can use (qvn.h's own guard, export
# marker and build switch aside), and the version macros.
names=$(grep -oE '\b(QVN_[A-Z0-9_]+|Qvn[A-Za-z]+)\b' "$src/include/qvn.h" |
  grep -vxE 'QVN_H_|QVN_API|QVN_BUILDING|.*_' | sort -u)
for name in $names; do
  grep -q "\b$name\b" "$src/docs/api.md" || missing "docs/api.md: $name is not explained"
done

[ $status = 0 ] && echo "docs name all $count exports${pages:+, each with its man page,} and every name of qvn.h"
exit $status
