#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages that qvn needs and the machine lacks,
# and does nothing when everything is there. Runs as root, or through sudo.
#
#   deps.sh build   compiler, CMake, Ninja, OpenSSL 3 and zlib headers, Python 3
#                   (the man pages made from docs/api.md): enough
#                   to build the library and the tools (scripts/demo.sh)
#   deps.sh linux   build + GoogleTest, Google Benchmark, pkg-config, mandoc
#                   (the man pages' lint), and Python's venv, setuptools, wheel,
#                   pytest, tqdm and mypy, Mono's mcs and runtime: the Linux tests, the
#                   Python binding's tests and type check, the .NET binding's tests,
#                   and the benchmarks; Free Pascal (the compiler, its RTL units and
#                   fpc-source, from which scripts/fpc-win64-units.sh builds the
#                   Windows units): the Pascal unit's tests
#   deps.sh release build + mingw-w64 (with its zlib), Python's setuptools and
#                   wheel, dpkg-dev (dpkg-shlibdeps, dpkg-buildflags), file (cpack
#                   reads the binaries' types with it), lintian, zip and unzip:
#                   every release artifact (scripts/release.sh); Free Pascal and
#                   Mono's mcs for their checks (scripts/check-release.sh)
#   deps.sh all     linux + release + clang with its sanitizer/libFuzzer runtime (the
#                   brief fuzz runs), lld (lld-link tries the zip's qvn.lib),
#                   clang-tidy and cppcheck (scripts/lint.sh) and Wine: the Windows
#                   DLL and its tests under Wine (scripts/test.sh). The default.
#
# Known to work on Debian 12 and Ubuntu 24.04 (there the mingw-w64 and Wine
# packages come from "universe", which must be enabled). Elsewhere, install
# by hand: a C++20 compiler (GCC 12+), CMake 3.25+, Ninja, OpenSSL 3 and zlib
# development files, GoogleTest, Google Benchmark, pkg-config, mandoc (or
# groff); for Windows builds mingw-w64 (x86_64, posix threads) with a static
# zlib, and Wine 8+; for releases dpkg-dev, file, lintian, zip and unzip.
set -euo pipefail
set_name=${1:-all}
build=(cmake ninja-build g++ libssl-dev zlib1g-dev python3)
linux=("${build[@]}" pkg-config libgtest-dev googletest libbenchmark-dev)
linux+=(mandoc)  # the man pages' lint (a ctest)
linux+=(python3-venv python3-setuptools python3-wheel python3-pytest python3-tqdm mypy)  # bindings/python
# bindings/pascal: the compiler and the RTL, not the "fpc" package's every unit set.
linux+=(fp-compiler fp-units-rtl fpc-source)
linux+=(mono-mcs mono-runtime)  # bindings/dotnet: its test program under Mono
mingw=(mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev)
packaging=(python3-setuptools python3-wheel dpkg-dev file lintian zip unzip)
packaging+=(mandoc)  # the zip's man pages as HTML
# The release check builds the zip's Pascal example and compiles libqvn-dev's C# binding.
packaging+=(fp-compiler fp-units-rtl fpc-source mono-mcs)
release=("${build[@]}" "${mingw[@]}" "${packaging[@]}")
all=("${linux[@]}" "${mingw[@]}" "${packaging[@]}" clang lld libclang-rt-14-dev clang-tidy cppcheck wine wine64)
case "$set_name" in
  build) need=("${build[@]}") ;;
  linux) need=("${linux[@]}") ;;
  release) need=("${release[@]}") ;;
  all) need=("${all[@]}") ;;
  *) echo "usage: $0 [build|linux|release|all]" >&2; exit 2 ;;
esac

if [ -r /etc/os-release ]; then
  . /etc/os-release
  case "${ID:-}:${VERSION_ID:-}" in
    debian:12 | ubuntu:24.04) ;;
    *) echo "deps.sh: ${PRETTY_NAME:-this system} is untested; the package names are Debian 12's" >&2 ;;
  esac
fi
command -v dpkg-query >/dev/null || {
  echo "deps.sh: no dpkg here; install by hand: ${need[*]}" >&2
  exit 1
}
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps.sh ($set_name): installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
