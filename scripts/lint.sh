#!/usr/bin/env bash
# Static analysis of the library's sources (src/, Linux build): clang-tidy
# with a small set of checks that find real faults rather than style, and
# cppcheck's warning class. Exits non-zero on any finding.
#   bugprone-*           use after move, dangling handles, suspicious memset /
#                        string construction / sizeof, unchecked results...
#                        (minus the two that flag the C API's own shapes:
#                        adjacent same-typed parameters, implicit widening)
#   clang-analyzer-*     the path-sensitive analyser: null dereference,
#                        leaks, uninitialised reads, dead stores
#   performance-unnecessary-copy-initialization, -move-const-arg
#                        copies of Text and buffers made by mistake
set -euo pipefail
QVN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$QVN_ROOT"
build=build/lint
cmake -S . -B "$build" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DQVN_BUILD_TESTS=OFF \
  -DQVN_BUILD_BENCH=OFF -DQVN_BUILD_TOOLS=OFF >/dev/null
checks='-*,bugprone-*,-bugprone-easily-swappable-parameters,-bugprone-implicit-widening-of-multiplication-result,clang-analyzer-*,performance-unnecessary-copy-initialization,performance-move-const-arg'
sources=$(ls src/*/*.cc | grep -v '_win\.cc$')
status=0
echo "=== clang-tidy"
printf '%s\n' $sources | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet \
  --checks="$checks" --warnings-as-errors='*' --header-filter="$QVN_ROOT/src/.*" 2>/dev/null || status=1
echo "=== cppcheck"
cppcheck --quiet --error-exitcode=1 --enable=warning,portability --std=c++20 --inline-suppr \
  -I src -I include -I "$build/include" -D__linux__ $sources || status=1
[ $status = 0 ] && echo "=== lint clean" || echo "=== lint FOUND PROBLEMS"
exit $status
