#!/usr/bin/env bash
# Runs every benchmark on a Release build and writes build/bench-report/:
# report.md (all figures, the machine's core count and load) and scaling.svg.
#   bash bench/run.sh [MiB per transfer, default 1024]
#   SOAK_SECONDS=60 bash bench/run.sh   # a shorter soak (default 600 s; 0: none)
# Transfers go through tmpfs (/dev/shm) so that they measure the cipher and the
# sockets, not the disk (qvn-server syncs every upload).
set -euo pipefail
cd "$(dirname "$0")/.."
MIB=${1:-1024}
SOAK_SECONDS=${SOAK_SECONDS:-600}
BUILD=build/release
OUT=build/bench-report
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVN_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target qvn_bench qvn_e2e_bench qvn_floor qvn_unpack_memory qvn-server qvn_soak >/dev/null
mkdir -p "$OUT"
WORK=$(mktemp -d /dev/shm/qvn-bench.XXXXXX)
SERVER_PID=
cleanup() { [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null; wait 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT

"$BUILD/bin/qvn-server" init "$WORK/data" --db-name Bench --db-password dbpass --user bench:secret >/dev/null
"$BUILD/bin/qvn-server" --data "$WORK/data" --port 0 --file-port 0 --quiet --max-connections 64 \
  > "$WORK/server.out" 2> "$WORK/server.err" &
SERVER_PID=$!
for _ in $(seq 100); do grep -q listening "$WORK/server.out" 2>/dev/null && break; sleep 0.1; done
PORT=$(sed -n 's/.*port=\([0-9]*\) file-port.*/\1/p' "$WORK/server.out")
FILE_PORT=$(sed -n 's/.*file-port=\([0-9]*\).*/\1/p' "$WORK/server.out")

{
  echo "# qvn benchmarks"
  echo
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs));"
  echo "load before: $(uptime | sed 's/.*load average/load average/'); Release build; transfers of $MIB MiB on tmpfs."
  if [ -d /sys/module/page_reporting ]; then
    echo "This system reports the memory it frees to a hypervisor (free page reporting): fresh pages"
    echo "can cost a fault in the host, and runs that write new files vary by as much as half."
  fi
  echo
  echo "## End to end (bench/e2e_runner.cc)"
  echo
  # At the host's own priority, beside qvn-server at its: what a host gets.
  "$BUILD/bin/qvn_e2e_bench" --dir "$WORK" --port "$PORT" --file-port "$FILE_PORT" \
    --credentials "dbpass@bench@secret" --mib "$MIB" --svg "$OUT/scaling.svg" --server-pid "$SERVER_PID"
  echo
  echo "![scaling](scaling.svg)"
  echo
  echo "## Google Benchmark (qvn_bench; rates from CPU time)"
  echo
  echo '```'
  nice -n 19 "$BUILD/bin/qvn_bench" --benchmark_counters_tabular=false 2>/dev/null
  echo '```'
  echo
  echo "## UnPackString of a text that inflates to 400 MB (bench/unpack_memory.cc)"
  echo
  echo '```'
  "$BUILD/bin/qvn_unpack_memory" 400
  echo '```'
  echo
  if [ "$SOAK_SECONDS" != 0 ]; then
    echo "## Soak: every export from 8 threads against the chaos server for $SOAK_SECONDS s (bench/soak/)"
    echo
    # Its exit status is in the report's verdict row; the other sections still count.
    "$BUILD/bin/qvn_soak" --seconds "$SOAK_SECONDS" 2>/dev/null || true
    echo
  fi
  echo "load after: $(uptime | sed 's/.*load average/load average/')"
} | tee "$OUT/report.md"
