#!/usr/bin/env bash
# Runs a Windows test program under Wine against the Linux stand-in server:
# starts qvn-server on free loopback ports with a fresh data folder, passes the
# ports in QVN_TEST_PORT / QVN_TEST_FILE_PORT, and stops the server afterwards.
set -euo pipefail
server=$1; shift
data=$(mktemp -d)
out=$(mktemp)
cleanup() { [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; rm -rf "$data" "$out"; }
trap cleanup EXIT
"$server" init "$data" --db-name "Wine test base" --db-password dbsecret --user alice:alicepw >/dev/null
"$server" --data "$data" --port 0 --file-port 0 --quiet >"$out" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
  line=$(grep -m1 'listening:' "$out" || true)
  [ -n "$line" ] && break
  sleep 0.1
done
[ -n "$line" ] || { echo "qvn-server did not start:"; cat "$out"; exit 1; }
export QVN_TEST_PORT=$(echo "$line" | sed -n 's/.* port=\([0-9]*\).*/\1/p')
export QVN_TEST_FILE_PORT=$(echo "$line" | sed -n 's/.*file-port=\([0-9]*\).*/\1/p')
export WINEDEBUG=-all
"$@"
