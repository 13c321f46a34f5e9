#!/usr/bin/env bash
# Runs a Windows test program under Wine against the Linux stand-in server:
# starts qvn-server on free loopback ports with a fresh data folder, passes the
# ports in QVN_TEST_PORT / QVN_TEST_FILE_PORT, and stops the server afterwards.
set -euo pipefail
source "$(dirname "$0")/../../scripts/start-server.sh"
server=$1; shift
data=$(mktemp -d)
out=$(mktemp)
cleanup() { qvn_stop_server; rm -rf "$data" "$out"; }
trap cleanup EXIT
"$server" init "$data" --db-name "Wine test base" --db-password dbsecret --user alice:alicepw >/dev/null
qvn_start_server "$server" "$data" "$out" --quiet
export QVN_TEST_PORT=$QVN_SERVER_PORT QVN_TEST_FILE_PORT=$QVN_SERVER_FILE_PORT
export WINEDEBUG=-all
"$@"
