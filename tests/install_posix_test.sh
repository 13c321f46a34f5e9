#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and builds a small C program
# against it both ways, with pkg-config and with find_package(qvn), then runs
# both and the installed tools.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(dirname "$(find "$prefix" -name 'libqvn.so.1' | head -1)")
for f in libqvn.so libqvn.so.1; do
  [ -L "$libdir/$f" ] || { echo "missing SONAME link $f"; exit 1; }
done
[ -f "$prefix/include/qvn.h" ] || { echo "qvn.h not installed"; exit 1; }

mkdir -p "$work/consumer"
cat > "$work/consumer/consumer.c" <<'C'
#include <qvn.h>
#include <stdio.h>
#include <string.h>

static int same(const qvn_char* a, const char* b) {
  size_t i = 0;
  for (; a[i] != 0 && b[i] != 0; ++i) if (a[i] != (qvn_char)b[i]) return 0;
  return a[i] == 0 && b[i] == 0;
}

int main(void) {
  int failures = 0;
  if (ValueCount(u"a;b;c", u";", false) != 3) { puts("ValueCount"); ++failures; }
  qvn_char* field = ValueFromString(u"  a@b@c  ", 1, u"@");
  if (!same(field, "b")) { puts("ValueFromString"); ++failures; }
  ScriptFree(field);
  qvn_char* encoded = DataEncode(u"a;b");
  if (!same(encoded, "a&amp;#59;b")) { puts("DataEncode"); ++failures; }
  ScriptFree(encoded);
  qvn_char* name = ShowDbName(u"127.0.0.1", 0);  /* port 0: no network */
  if (!same(name, "CONNECTION_ERROR")) { puts("ShowDbName"); ++failures; }
  ScriptFree(name);
  puts(failures == 0 ? "consumer OK" : "consumer FAILED");
  return failures;
}
C
cat > "$work/consumer/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(qvn 1 REQUIRED)
add_executable(consumer consumer.c)
set_property(TARGET consumer PROPERTY C_STANDARD 11)
target_link_libraries(consumer PRIVATE qvn::qvn)
CM

echo "--- pkg-config"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc -std=c11 -Wall -Wextra -Werror "$work/consumer/consumer.c" -o "$work/consumer-pc" \
  $(pkg-config --cflags --libs qvn) -Wl,-rpath,"$(pkg-config --variable=libdir qvn)"
"$work/consumer-pc"

echo "--- find_package"
cmake -S "$work/consumer" -B "$work/consumer-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer-build" >/dev/null
"$work/consumer-build/consumer"

echo "--- tools"
"$prefix/bin/qvn-server" --help >/dev/null
if [ -e "$build/bin/qvn" ]; then
  "$prefix/bin/qvn" --help >/dev/null
  [ "$("$prefix/bin/qvn" value 'x@y' 1 @)" = y ] || { echo "installed qvn does not run"; exit 1; }
fi
echo "install OK"
