#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer + ASan + UBSan) and runs each
# for SECONDS (default 10) over a scratch copy of its corpus; findings land in
# build/fuzz/findings/. With --merge the committed corpora are replaced by the
# minimised union of what the runs found.
#   bash fuzz/run.sh [SECONDS] [--merge]
set -euo pipefail
QVN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$QVN_ROOT"
seconds=${1:-10}
merge=${2:-}
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQVN_FUZZ=ON -DQVN_SANITIZE=ON -DQVN_BUILD_BENCH=OFF -DQVN_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target $(cd fuzz && ls *_fuzz.cc | sed 's/\.cc$//')
mkdir -p "$build/findings"
status=0
for source in fuzz/*_fuzz.cc; do
  name=$(basename "$source" .cc)
  work="$build/corpus/$name"
  mkdir -p "$work" "fuzz/corpus/$name"
  cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true
  echo "=== $name: ${seconds}s"
  if ! "$build/bin/$name" -max_total_time="$seconds" -print_final_stats=1 -max_len=4096 \
      -artifact_prefix="$build/findings/$name-" "$work" 2>"$build/$name.log"; then
    status=1
    tail -30 "$build/$name.log"
  fi
  grep -E "stat::number_of_executed_units" "$build/$name.log" || true
  if [ "$merge" = --merge ]; then
    rm -rf "$build/merged" && mkdir -p "$build/merged"
    "$build/bin/$name" -merge=1 "$build/merged" "$work" fuzz/corpus/"$name" 2>/dev/null
    rm -f fuzz/corpus/"$name"/* && cp "$build/merged"/* fuzz/corpus/"$name"/
  fi
done
exit $status
