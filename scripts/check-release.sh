#!/usr/bin/env bash
# Checks the artifacts of scripts/release.sh (run it first) as their users
# would meet them; the test command runs it last, once every other test is done.
#
#   1. Reproducible: a second, library-only build of the same sources in
#      another folder gives the same libqvn.so and qvn.dll, byte for byte.
#   2. lintian finds neither an error nor a warning in the Debian packages,
#      and libqvn1's symbols file lists exactly the library's exports.
#   3. The Windows zip: hello.c built with mingw-w64 against nothing but the
#      zip's contents (once with each import library) runs under Wine against
#      qvn-server; and a program built as MSVC builds (clang in MSVC mode,
#      lld-link) against qvn.lib runs under Wine; the zip's Pascal example
#      runs; README.txt's quick start (qvn-server.exe, then qvn.exe) runs in
#      cmd.exe under Wine and gets its answer.
#   4. The Debian packages are installed INTO THIS MACHINE with apt-get, as
#      root: this is meant for CI's throwaway Debian machine. hello.c is built
#      with pkg-config (and find_package) and runs against the installed
#      qvn-server, the wheel and the sdist run over the installed library; then the
#      packages are purged and every file they brought must be gone.
set -euo pipefail
QVN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$QVN_ROOT"
source scripts/start-server.sh
out=$QVN_ROOT/build/release-artifacts
linux=$QVN_ROOT/build/release-linux windows=$QVN_ROOT/build/release-windows
version=$(sed -n 's/^#define QVN_VERSION_STRING "\(.*\)"$/\1/p' "$windows/include/qvn_version.h")
[ -n "$version" ] && [ -f "$out/SHA256SUMS" ] || { echo "check-release.sh: run scripts/release.sh first" >&2; exit 1; }
(cd "$out" && sha256sum --quiet -c SHA256SUMS)
work=$(mktemp -d)
packages=(libqvn1 libqvn-dev qvn-tools)
installed() {  # those of the packages that are installed
  for p in "${packages[@]}"; do
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" = installed ] && echo "$p"
  done
  return 0
}
cleanup() {
  qvn_stop_server
  # The Wine server this script kept up (Wine's own services with it).
  [ -z "${WINEPREFIX:-}" ] || wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
  # Never leave the packages in the machine, whatever failed.
  if [ -n "$(installed)" ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${packages[@]}" >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT
# with_server.sh's database
credentials=dbsecret@alice@alicepw
run_hello() {  # server, hello program and how to start it (empty, or wine)
  bash tests/win/with_server.sh "$1" sh -c \
    'exec $2 "$1" 127.0.0.1 "$QVN_TEST_PORT" "$0"' "$credentials" "$2" "${3:-}" >"$work/hello.out" 2>&1 ||
    { cat "$work/hello.out"; return 1; }
  grep -q "Grüße aus qvn ✓" "$work/hello.out" || { cat "$work/hello.out"; return 1; }
}

echo "--- the same bytes from another folder"
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
copy=build/reproduce
rm -rf "$copy"
mkdir -p "$copy"
git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$copy"
start=$SECONDS
bash "$copy/scripts/release.sh" --libraries >"$work/reproduce.log" 2>&1 ||
  { cat "$work/reproduce.log"; exit 1; }
cmp "$linux/lib/libqvn.so.$version" "$copy/build/release-linux/lib/libqvn.so.$version"
cmp "$windows/bin/qvn.dll" "$copy/build/release-windows/bin/qvn.dll"
echo "libqvn.so.$version and qvn.dll are the same ($((SECONDS - start)) s for the second build)"
rm -rf "$copy"

echo "--- lintian, and libqvn1's symbols file against the library's exports"
lintian --fail-on error,warning "$out"/*.deb
mkdir -p "$work/symbols/debian"
dpkg-deb --raw-extract "$out/libqvn1_${version}_"*.deb "$work/symbols/tree"
printf 'Source: qvn\n\nPackage: libqvn1\nArchitecture: any\n' >"$work/symbols/debian/control"
(cd "$work/symbols" && dpkg-gensymbols -plibqvn1 -v"$version" -Ptree -c4 -Itree/DEBIAN/symbols \
  -Osymbols.out -etree/usr/lib/*/libqvn.so."$version")

echo "--- the Windows zip under Wine"
source scripts/wine-env.sh
unzip -q "$out/qvn-$version-win64.zip" -d "$work"
zip=$work/qvn-$version-win64
python3 tests/check_version_resource.py "$version" "$zip/bin/qvn.dll"
cp "$zip/bin/qvn.dll" "$work/"
for import in libqvn.dll.a:-lqvn qvn.lib:"$zip/lib/qvn.lib"; do
  x86_64-w64-mingw32-gcc-posix -std=c11 -Wall -Wextra -Werror "$zip/examples/hello.c" \
    -I"$zip/include" -L"$zip/lib" "${import#*:}" -o "$work/hello.exe"
  run_hello "$linux/bin/qvn-server" "$work/hello.exe" wine
  echo "hello.c linked with ${import%%:*} runs"
done
# MSVC's linker reads qvn.lib as lld-link does (Microsoft's tools are not at
# hand): a program without a C runtime, so without MSVC's headers either; the
# C header qvn.h wants from them gives wchar_t, which the compiler's own
# stddef.h has.
mkdir -p "$work/msvc"
echo "#include <stddef.h>" >"$work/msvc/wchar.h"
clang --target=x86_64-pc-windows-msvc -ffreestanding -Werror -I"$work/msvc" -I"$zip/include" \
  -c tests/win/msvc_link_probe.c -o "$work/msvc/probe.obj"
printf 'LIBRARY kernel32.dll\nEXPORTS\n  ExitProcess\n' >"$work/msvc/kernel32.def"
x86_64-w64-mingw32-dlltool -m i386:x86-64 -d "$work/msvc/kernel32.def" -l "$work/msvc/kernel32.lib"
lld-link /nologo /entry:Start /subsystem:console /nodefaultlib "$work/msvc/probe.obj" \
  "$zip/lib/qvn.lib" "$work/msvc/kernel32.lib" /out:"$work/probe.exe"
wine "$work/probe.exe" || { echo "the program linked by lld-link with qvn.lib failed"; exit 1; }
echo "a program linked by lld-link with qvn.lib runs"
# The zip's Pascal example, compiled against nothing but the zip's unit.
mkdir -p "$work/pascal/units"
units=$(scripts/fpc-win64-units.sh "$windows/fpc-win64-units")
fpc -n -Twin64 -Fu"$units" -Fu"$zip/bindings/pascal" -Fi"$zip/bindings/pascal" -FU"$work/pascal/units" \
  -FE"$work/pascal" -vew -Sew "$zip/examples/pascal/hello.lpr" >"$work/pascal.log" 2>&1 ||
  { cat "$work/pascal.log"; exit 1; }
cp "$zip/bin/qvn.dll" "$work/pascal/"
# WriteLn writes in the console's code page, so the greeting's letters are not
# checked here (the Pascal tests compare the texts themselves).
bash tests/win/with_server.sh "$linux/bin/qvn-server" sh -c \
  'exec wine "$1" 127.0.0.1 "$QVN_TEST_PORT" "$0"' "$credentials" "$work/pascal/hello.exe" \
  >"$work/pascal.out" 2>&1 && grep -q "^script: OK 1" "$work/pascal.out" ||
  { cat "$work/pascal.out"; exit 1; }
echo "the zip's Pascal example, built with fpc -Twin64 from the zip's unit, runs"
# README.txt's quick start, its three commands as cmd.exe runs them, on free
# ports instead of 7711 and 7712: the server in the background, then the
# question, asked again until the server listens.
ports=$(python3 -c 'import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')
read -r request_port file_port <<<"$ports"
mapfile -t quick < <(sed -n '/^Quick start/,/^What is here/p' "$zip/README.txt" |
  sed -n 's/^  \(bin\\.*\|start .*\)$/\1/p' | sed "s/7711/$request_port/; s/7712/$file_port/")
[ "${#quick[@]}" = 3 ] || { echo "README.txt's quick start is not three commands"; exit 1; }
# (No file named start.bat: Wine's "cmd /c start.bat" runs its own start.)
printf '@echo off\r\n%s\r\n%s\r\n' "${quick[0]}" "${quick[1]}" >"$zip/quick-start-1.bat"
printf '@echo off\r\n%s\r\n' "${quick[2]}" >"$zip/quick-start-2.bat"
(cd "$zip" && wine cmd /c quick-start-1.bat) >"$work/quick.log" 2>&1 || { cat "$work/quick.log"; exit 1; }
answer=
for _ in $(seq 40); do
  answer=$(cd "$zip" && wine cmd /c quick-start-2.bat 2>>"$work/quick.log" | tr -d '\r') || true
  [ "$answer" != "My base" ] || break
  sleep 0.25
done
pkill -f 'qvn-server.exe' || true
[ "$answer" = "My base" ] || { cat "$work/quick.log"; echo "quick start answered '$answer'"; exit 1; }
echo "README.txt's quick start, qvn-server.exe and qvn.exe under cmd.exe, answers: $answer"

echo "--- the Debian packages, installed into this machine"
# What each package brings that the machine does not have yet, to check
# afterwards that the purge took all of it away.
[ -z "$(installed)" ] || { echo "installed already, purge first:" $(installed) >&2; exit 1; }
for deb in "$out"/*.deb; do dpkg-deb --fsys-tarfile "$deb" | tar -t; done |
  sed 's|^\./|/|; s|/$||' | sort -u | while read -r path; do
    [ -z "$path" ] || [ -e "$path" ] || [ -L "$path" ] || echo "$path"
  done >"$work/new-paths"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "$out/libqvn1_${version}_"*.deb "$out/libqvn-dev_${version}_"*.deb \
  "$out/qvn-tools_${version}_"*.deb >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
[ "$(pkg-config --modversion qvn)" = "$version" ] || { echo "pkg-config: not $version"; exit 1; }
cc -std=c11 -Wall -Wextra -Werror examples/hello.c $(pkg-config --cflags --libs qvn) -o "$work/hello"
ldd "$work/hello" | grep -Eq "libqvn\.so\.1 => (/usr)?/lib/[^ ]*/libqvn\.so\.1 " ||
  { echo "hello does not load the installed library"; ldd "$work/hello"; exit 1; }
run_hello /usr/bin/qvn-server "$work/hello"
echo "hello.c built with pkg-config runs against /usr/bin/qvn-server"
mkdir -p "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<CM
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(qvn $version EXACT REQUIRED)
add_executable(hello $QVN_ROOT/examples/hello.c)
target_link_libraries(hello PRIVATE qvn::qvn)
CM
cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja >/dev/null
cmake --build "$work/consumer/build" >/dev/null
run_hello /usr/bin/qvn-server "$work/consumer/build/hello"
echo "hello.c built with find_package(qvn) runs"
[ "$(/usr/bin/qvn value 'x@y' 1 @)" = y ] || { echo "the installed qvn does not run"; exit 1; }
mcs -nologo -target:library -out:"$work/Qvn.dll" /usr/share/qvn/bindings/dotnet/*.cs ||
  { echo "libqvn-dev's C# binding does not compile"; exit 1; }
echo "libqvn-dev's C# binding compiles with mcs"
# The wheel, and the sdist built offline with the distribution's setuptools.
for package in "qvn-$version-py3-none-any.whl" "qvn-$version.tar.gz"; do
  rm -rf "$work/venv"
  /usr/bin/python3 -m venv --system-site-packages "$work/venv"
  "$work/venv/bin/pip" install -q --no-index --no-build-isolation "$out/$package"
  env -u QVN_LIBRARY "$work/venv/bin/python" -c '
import sys, qvn
assert qvn.__version__ == sys.argv[1], qvn.__version__
assert qvn.decode(qvn.encode("a;b")) == "a;b"' "$version"
  echo "$package runs over the installed library"
done
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${packages[@]}" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; exit 1; }
[ -z "$(installed)" ] || { echo "still installed after the purge:" $(installed); exit 1; }
left=$(while read -r path; do [ -e "$path" ] || [ -L "$path" ] && echo "$path"; done <"$work/new-paths" || true)
[ -z "$left" ] || { echo "left behind after the purge:"; echo "$left"; exit 1; }
echo "purged: none of the $(wc -l <"$work/new-paths") paths they brought is left"
echo "release artifacts OK"
