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
echo "=== catch-alls"
# A thread ended inside the library (pthread_exit, pthread_cancel, a runtime
# shutting down) unwinds through it; a catch-all that swallows that unwind
# aborts the process. Each one must start with RethrowThreadExit() (or
# rethrow, or follow a handler of abi::__forced_unwind within three lines).
bare=$(git ls-files src tools include | grep -E '\.(cc|h|hpp)$' | grep -v '^src/base/thread_exit\.h$' |
  xargs awk '
    inside && /RethrowThreadExit\(\);|^[ \t]*throw;/ { inside = 0 }
    inside && /^[ \t]*}/ { print at; inside = 0 }
    FNR == 1 { unwind_at = -10 }
    /__forced_unwind/ { unwind_at = FNR }
    /catch \(\.\.\.\)/ && FNR - unwind_at > 3 { at = FILENAME ":" FNR; inside = 1 }')
if [ -n "$bare" ]; then
  echo "catch (...) that would swallow a thread's end (add RethrowThreadExit()):"; echo "$bare"; status=1
fi
[ $status = 0 ] && echo "=== lint clean" || echo "=== lint FOUND PROBLEMS"
exit $status
