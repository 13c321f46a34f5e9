#!/usr/bin/env bash
# Installs a built tree into a temporary prefix (cmake --install) and builds
# examples/hello.c against it the three ways docs/install.md shows: plain
# compiler flags, pkg-config, and find_package(qvn) (with hello.cpp over
# qvn.hpp too). Each program then runs against the installed qvn-server.
# The prefix must also hold the version header, the man pages and the license,
# and a consumer gets its product version with the installed
# qvn_set_product_version.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(dirname "$(find "$prefix" -name 'libqvn.so.1' | head -1)")
for f in libqvn.so libqvn.so.1; do
  [ -L "$libdir/$f" ] || { echo "missing SONAME link $f"; exit 1; }
done
for h in qvn.h qvn_utf8.h qvn.hpp qvn_version.h; do
  [ -f "$prefix/include/$h" ] || { echo "$h not installed"; exit 1; }
done
for f in cmake/qvn/QvnVersion.cmake pkgconfig/qvn.pc; do
  [ -f "$libdir/$f" ] || { echo "lib/$f not installed"; exit 1; }
done
pages=(man3/qvn.3 man3/Script.3 man3/ValueFromString.3 man1/qvn-server.1)
[ -e "$build/bin/qvn" ] && pages+=(man1/qvn.1)
for f in "${pages[@]/#/man/}" doc/qvn/LICENSE doc/qvn/CHANGELOG.md doc/qvn/api.md \
  qvn/bindings/pascal/qvn.pas qvn/bindings/pascal/qvn_answers.inc qvn/bindings/dotnet/Client.cs \
  qvn/bindings/dotnet/Answers.g.cs qvn/bindings/dotnet/Qvn.csproj; do
  [ -s "$prefix/share/$f" ] || { echo "share/$f not installed"; exit 1; }
done
run() {  # program: runs it against a fresh installed qvn-server
  bash "$src/tests/win/with_server.sh" "$prefix/bin/qvn-server" \
    sh -c 'exec "$0" 127.0.0.1 "$QVN_TEST_PORT" dbsecret@alice@alicepw' "$1" >/dev/null
}

echo "--- compiler flags"
cc -std=c11 -Wall -Wextra -Werror "$src/examples/hello.c" -o "$work/hello-flags" \
  -I"$prefix/include" -L"$libdir" -lqvn -Wl,-rpath,"$libdir"
run "$work/hello-flags"

echo "--- pkg-config"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc -std=c11 -Wall -Wextra -Werror "$src/examples/hello.c" -o "$work/hello-pc" \
  $(pkg-config --cflags --libs qvn) -Wl,-rpath,"$(pkg-config --variable=libdir qvn)"
run "$work/hello-pc"

echo "--- find_package"
mkdir -p "$work/consumer"
cp "$src/examples/hello.c" "$src/examples/hello.cpp" "$work/consumer/"
cat > "$work/consumer/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.25)
project(consumer C CXX)
find_package(qvn 1 REQUIRED)
add_executable(hello hello.c)
add_executable(hello_cpp hello.cpp)
set_property(TARGET hello PROPERTY C_STANDARD 11)
set_property(TARGET hello_cpp PROPERTY CXX_STANDARD 17)
target_link_libraries(hello PRIVATE qvn::qvn)
target_link_libraries(hello_cpp PRIVATE qvn::qvn)
CM
cmake -S "$work/consumer" -B "$work/consumer-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer-build" >/dev/null
run "$work/consumer-build/hello"
run "$work/consumer-build/hello_cpp"

echo "--- version macros and qvn_set_product_version, in a C++-only project"
mkdir -p "$work/versioned"
cat > "$work/versioned/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.25)
project(versioned CXX)
find_package(qvn 1 REQUIRED)
add_executable(versioned versioned.cc)
target_link_libraries(versioned PRIVATE qvn::qvn)
qvn_set_product_version(versioned 4.3.2.1)
CM
cat > "$work/versioned/versioned.cc" <<'CC'
#include <qvn.h>
#include <cstdio>
int main() {
  std::printf("%d.%d.%d %s\n", QVN_VERSION_MAJOR, QVN_VERSION_MINOR, QVN_VERSION_PATCH,
              QVN_VERSION_STRING);
}
CC
cmake -S "$work/versioned" -B "$work/versioned-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/versioned-build" >/dev/null
version=$(pkg-config --modversion qvn)
[ "$("$work/versioned-build/versioned")" = "$version $version" ] ||
  { echo "QVN_VERSION_* do not say $version: $("$work/versioned-build/versioned")"; exit 1; }
objcopy -O binary --only-section=.qvn_version "$work/versioned-build/versioned" "$work/section"
[ "$(od -An -v -tx1 "$work/section" | tr -d ' \n')" = 51564e50525645520400030002000100 ] ||
  { echo "no product version 4.3.2.1 in the consumer"; exit 1; }

echo "--- tools"
"$prefix/bin/qvn-server" --help >/dev/null
if [ -e "$build/bin/qvn" ]; then
  "$prefix/bin/qvn" --help >/dev/null
  [ "$("$prefix/bin/qvn" value 'x@y' 1 @)" = y ] || { echo "installed qvn does not run"; exit 1; }
fi
echo "install OK"
