#!/usr/bin/env bash
# A 1 GiB upload and download through the library against qvn-server on
# loopback; prints the client's peak resident size after each.
#   bash bench/transfer_memory.sh [BUILD_DIR] [MIB]
set -euo pipefail
build=${1:-build/linux}
mib=${2:-1024}
work=$(mktemp -d)
trap 'kill "${pid:-}" 2>/dev/null || true; wait "${pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
"$build/bin/qvn-server" init "$work/data" --db-name bench --db-password bench-db --user u:u-pass >/dev/null
"$build/bin/qvn-server" --data "$work/data" --port 0 --file-port 0 --quiet >"$work/out" 2>"$work/log" &
pid=$!
for _ in $(seq 100); do grep -q listening "$work/out" 2>/dev/null && break; sleep 0.1; done
file_port=$(sed -n 's/.*file-port=\([0-9]*\).*/\1/p' "$work/out")
head -c $((mib << 20)) /dev/urandom >"$work/file.bin"
"$build/bin/qvn_transfer_memory" 127.0.0.1 "$file_port" "bench-db@u@u-pass" "$work/file.bin"
cmp "$work/file.bin" "$work/file.bin.down" && echo "download identical ($mib MiB)"
