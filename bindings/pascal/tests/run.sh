#!/usr/bin/env bash
# Compiles a Pascal program that uses the Qvn unit and runs it against a fresh
# qvn-server (tests/win/with_server.sh) with ARGUMENTS, a shell text in which
# $QVN_TEST_PORT and $QVN_TEST_FILE_PORT are the server's ports (its database:
# "Wine test base", user alice, credentials dbsecret@alice@alicepw).
#
#   run.sh linux LIBDIR SERVER OUTDIR SOURCE ARGUMENTS   over LIBDIR/libqvn.so
#   run.sh win64 DLL SERVER OUTDIR SOURCE ARGUMENTS      fpc -Twin64, under Wine over DLL
#
# Exits 77 (the ctest's SKIP_RETURN_CODE) when fpc is not installed.
set -euo pipefail
mode=$1 lib=$2 server=$3 out=$4 source=$5 arguments=$6
root=$(cd "$(dirname "$0")/../../.." && pwd)
command -v fpc >/dev/null || { echo "fpc is not installed (scripts/deps.sh installs it)"; exit 77; }
name=$(basename "$source" .lpr)
mkdir -p "$out/units-$mode"
cp "$root/tests/support/timeout_values.tsv" "$out/"  # the shared table, read from the work folder
flags=(-Fu"$root/bindings/pascal" -Fi"$root/bindings/pascal" -FU"$out/units-$mode" -FE"$out" -vew -Sew)
case "$mode" in
  linux)
    fpc "${flags[@]}" -Fl"$lib" -k-rpath="$lib" "$source" >"$out/$name-$mode.log" 2>&1 ||
      { cat "$out/$name-$mode.log"; exit 1; }
    run=("$out/$name")
    ;;
  win64)
    units=$("$root/scripts/fpc-win64-units.sh" "$(dirname "$lib")/../fpc-win64-units")
    fpc -n -Twin64 "${flags[@]}" -Fu"$units" "$source" >"$out/$name-$mode.log" 2>&1 ||
      { cat "$out/$name-$mode.log"; exit 1; }
    cp "$lib" "$out/"  # beside the program, where Windows looks first
    run=(wine "$out/$name.exe")
    ;;
  *) echo "usage: $0 linux|win64 LIB SERVER OUTDIR SOURCE" >&2; exit 2 ;;
esac
exec bash "$root/tests/win/with_server.sh" "$server" sh -c \
  "cd \"\$0\" && exec \"\$@\" $arguments" "$out" "${run[@]}"
