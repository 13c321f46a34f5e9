#!/usr/bin/env bash
# Builds the binding and its test program with Mono's mcs and runs them with
# mono against qvn-server over this build's libqvn.so:
#   run.sh LIBRARY_DIR QVN_SERVER OUTPUT_DIR
# (the test also reads tests/support/timeout_values.tsv)
# Exits 77 (a skip) when mcs or mono is not installed (scripts/deps.sh linux installs them).
set -euo pipefail
lib=$(cd "$1" && pwd) server=$2 out=$3  # the test changes its working folder
here=$(cd "$(dirname "$0")/.." && pwd)
if ! command -v mcs >/dev/null || ! command -v mono >/dev/null; then
  echo "mcs or mono not found: skipped (scripts/deps.sh linux installs mono-mcs and mono-runtime)"
  exit 77
fi
mkdir -p "$out"
mcs -langversion:7 -target:library -warnaserror -out:"$out/Qvn.dll" "$here"/*.cs
cp "$here/Qvn.dll.config" "$out/"
mcs -langversion:7 -warnaserror -out:"$out/QvnTests.exe" -r:"$out/Qvn.dll" "$here/tests/QvnTests.cs"
# Mono's dllmap names libqvn.so.1; LD_LIBRARY_PATH makes it this build's.
LD_LIBRARY_PATH="$lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" exec mono "$out/QvnTests.exe" "$server" \
  "$here/../../tests/support/timeout_values.tsv"
