#!/usr/bin/env bash
# Runs a command (a Windows test program under Wine, a Linux client) against
# a stand-in server, SERVER: the Linux qvn-server or the Windows qvn-server.exe
# under Wine. Starts it on free loopback ports with a fresh data folder, passes
# the ports in QVN_TEST_PORT / QVN_TEST_FILE_PORT and the data folder in
# QVN_TEST_DATA, and stops it afterwards.
set -euo pipefail
source "$(dirname "$0")/../../scripts/start-server.sh"
server=$1; shift
data=$(mktemp -d)
out=$(mktemp)
cleanup() { qvn_stop_server; rm -rf "$data" "$out"; }
trap cleanup EXIT
qvn_server_command "$server"
"${QVN_SERVER_COMMAND[@]}" init "$(qvn_server_path "$server" "$data")" --db-name "Wine test base" --db-password dbsecret --user alice:alicepw >/dev/null
qvn_start_server "$server" "$data" "$out" --quiet
export QVN_TEST_PORT=$QVN_SERVER_PORT QVN_TEST_FILE_PORT=$QVN_SERVER_FILE_PORT QVN_TEST_DATA=$data
export WINEDEBUG=-all
"$@"
