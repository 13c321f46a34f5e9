#!/usr/bin/env bash
# Every injection point of every torture operation (the test command runs a
# shallow pass of at most 12 per operation): the fault-injection build under
# ASan+UBSan and LeakSanitizer, against a fresh qvn-server. Prints the table
# of operations, injection points, runs and faults found; exits non-zero when
# any run shows a fault, with the command that repeats it.
#   bash scripts/torture.sh [--op NAME]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQVN_SANITIZE=ON -DQVN_FAULT_INJECTION=ON \
  -DQVN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target qvn_torture qvn-server qvn-cli >/dev/null
exec bash tests/win/with_server.sh "$build/bin/qvn-server" \
  "$build/bin/qvn_torture" --all --cli "$build/bin/qvn" "$@"
