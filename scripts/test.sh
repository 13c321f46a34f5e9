#!/usr/bin/env bash
# Builds qvn and runs every test: Linux, the Python binding, Linux under
# ASan+UBSan, Linux under ThreadSanitizer, the fuzz targets briefly, static
# analysis of src/, the Windows DLL (mingw-w64) under Wine, and last the
# release artifacts (scripts/release.sh), checked by scripts/check-release.sh.
# Exits non-zero on any failure.
set -euo pipefail
QVN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$QVN_ROOT"
bash scripts/deps.sh all
jobs=$(nproc)
status=0
run() {  # name, ctest exclusion regex, configure args...
  local name=$1 exclude=$2; shift 2
  local repeat=()
  # A Wine program now and then dies at start-up without a word when two start
  # at once; one more try tells that apart from a failing test.
  [ "$name" = windows ] && repeat=(--repeat until-pass:2)
  echo "=== $name: configure and build"
  cmake -S . -B "build/$name" -G Ninja "$@" >/dev/null
  cmake --build "build/$name" -j "$jobs"
  echo "=== $name: test"
  ctest --test-dir "build/$name" --output-on-failure -j "$jobs" "${repeat[@]}" ${exclude:+-E "$exclude"} || status=1
}
run linux "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The Python binding, installed offline into a fresh virtual environment (the
# distribution's Python and setuptools) and tested against this build's
# library and qvn-server. pytest's "no tests ran" (5) fails like any other.
# The package ships py.typed, so the installed copy must pass mypy --strict.
echo "=== python: install bindings/python, type-check and test it"
python_tests() {
  local python=/usr/bin/python3 venv=build/pyvenv
  [ -x "$python" ] || python=python3
  # (set -e does not hold inside a function called with ||: each step is chained)
  rm -rf "$venv" bindings/python/build &&
    "$python" -m venv --system-site-packages "$venv" &&
    "$venv/bin/pip" install -q --no-build-isolation --no-index bindings/python &&
    (cd build && mypy --strict --python-executable "$QVN_ROOT/$venv/bin/python" -p qvn) &&
    (cd build && QVN_LIBRARY="$QVN_ROOT/build/linux/lib/libqvn.so.1" \
      "$QVN_ROOT/$venv/bin/python" -m pytest -q -p no:cacheprovider "$QVN_ROOT/bindings/python/tests")
}
python_tests || status=1
# A sanitized library cannot be dlopen'ed by, or linked into, a program
# without the sanitizer runtime first (the unload and install tests, the
# Pascal and Mono programs); those run in the plain build. This build can
# also fail each fallible request in turn: the torture runner's shallow pass
# runs here (scripts/torture.sh runs every point).
run asan "LibraryUnloadPosixTest|install_and_consume|readme_commands|pascal_|dotnet_binding" -DCMAKE_BUILD_TYPE=Debug -DQVN_SANITIZE=ON -DQVN_FAULT_INJECTION=ON -DQVN_BUILD_BENCH=OFF
# ThreadSanitizer over the same suite (the transfer thread, the concurrency
# tests and the test kit's own threads); the exit test and the fuzz replays
# add nothing there.
run tsan "LibraryUnloadPosixTest|install_and_consume|readme_commands|pascal_|dotnet_binding|ProcessExitPosixTest|_replay" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVN_SANITIZE=thread -DQVN_BUILD_BENCH=OFF
# Each fuzz target briefly under libFuzzer (the replays above cover the corpora).
echo "=== fuzz: a few seconds per target"
bash fuzz/run.sh 3 || status=1
bash scripts/lint.sh || status=1
source scripts/wine-env.sh
run windows "" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release -DQVN_FAULT_INJECTION=ON \
  -DQVN_LINUX_SERVER="$QVN_ROOT/build/linux/bin/qvn-server" \
  -DQVN_LINUX_CLI="$QVN_ROOT/build/linux/bin/qvn"
# Last: the check installs the Debian packages into this machine for a while,
# where no stage before it could pick them up (CI's machine is a throwaway one).
echo "=== release: every artifact, then the same bytes twice, lintian, the zip under Wine, the packages installed, used and purged"
{ bash scripts/release.sh && bash scripts/check-release.sh; } || status=1
wineserver -k >/dev/null 2>&1 || true
[ $status = 0 ] && echo "=== all test runs passed" || echo "=== some tests FAILED"
exit $status
