#!/usr/bin/env bash
# Makes every release artifact from this source tree, into build/release-artifacts/:
#
#   libqvn1_V_ARCH.deb, libqvn-dev_V_ARCH.deb, qvn-tools_V_ARCH.deb
#                            the Debian packages (cpack; cmake/QvnDebian.cmake)
#   qvn-V-win64.zip          qvn.dll, its import libraries for MinGW and MSVC,
#                            qvn.exe and qvn-server.exe, the headers, the Pascal
#                            unit and the C# binding, the examples' sources, the
#                            manual with the man pages as HTML, a README
#   qvn-V-py3-none-any.whl, qvn-V.tar.gz
#                            the Python package bindings/python and its sdist
#   SHA256SUMS               of all of the above
#
# V is the project's version (project() in CMakeLists.txt). The builds are
# reproducible: SOURCE_DATE_EPOCH (unless set, the time of the last commit)
# stands for every time stamp, build paths are mapped out of the binaries and
# archives list their members in order, so one commit gives the same bytes in
# any folder (scripts/check-release.sh checks that).
#
#   release.sh               everything above
#   release.sh --libraries   only build/release-linux/lib/libqvn.so.V and
#                            build/release-windows/bin/qvn.dll, with the very
#                            same settings: the second build of that check
set -euo pipefail
QVN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$QVN_ROOT"
libraries_only=false
case "${1:-}" in
  "") ;;
  --libraries) libraries_only=true ;;
  *) echo "usage: $0 [--libraries]" >&2; exit 2 ;;
esac
$libraries_only || bash scripts/deps.sh release

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) ||
    { echo "release.sh: not a git checkout; set SOURCE_DATE_EPOCH" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
# Files the build writes (the wheel's metadata among them) get the same modes anywhere.
umask 022
jobs=$(nproc)
linux=build/release-linux windows=build/release-windows out=build/release-artifacts
# Release builds make no tests, benchmarks or examples.
common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DQVN_BUILD_TESTS=OFF -DQVN_BUILD_BENCH=OFF
  -DQVN_REPRODUCIBLE=ON)

# Every release is built from scratch: a build left from another commit could
# keep objects made under another SOURCE_DATE_EPOCH (qvn-server names its
# build date, which GCC takes from it).
rm -rf "$linux" "$windows"

# Linux, laid out for /usr as the Debian packages want it, with Debian's
# hardening flags (fortified functions, stack protector, relocations read-only
# and bound at start) but without -g: the packages carry no debug information;
# nor -Wdate-time, which would warn about that build date.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP="-g -O2" \
  DEB_CXXFLAGS_MAINT_STRIP="-g -O2" DEB_CPPFLAGS_MAINT_STRIP=-Wdate-time
tools=ON targets=(qvn qvn-cli qvn-server api_man_pages)
$libraries_only && tools=OFF targets=(qvn)
echo "=== release: Linux build (${targets[*]})"
CFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S . -B "$linux" "${common[@]}" -DQVN_BUILD_TOOLS=$tools -DCMAKE_INSTALL_PREFIX=/usr \
    -DQVN_DEBIAN_PACKAGES=ON >/dev/null
cmake --build "$linux" -j "$jobs" --target "${targets[@]}"

windows_targets=(qvn qvn-cli qvn-server)
$libraries_only && windows_targets=(qvn)
echo "=== release: Windows build (${windows_targets[*]})"
cmake -S . -B "$windows" "${common[@]}" -DQVN_BUILD_TOOLS=$tools \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
cmake --build "$windows" -j "$jobs" --target "${windows_targets[@]}"
$libraries_only && exit 0

rm -rf "$out"
mkdir -p "$out"
version=$(sed -n 's/^#define QVN_VERSION_STRING "\(.*\)"$/\1/p' "$windows/include/qvn_version.h")

echo "=== release: Debian packages"
rm -rf "$linux/packages"
(cd "$linux" && cpack -G DEB | sed "/^CPack: -/d")
cp "$linux"/packages/*.deb "$out/"

echo "=== release: qvn-$version-win64.zip"
name=qvn-$version-win64
stage=$windows/zip/$name
rm -rf "$windows/zip"
mkdir -p "$stage"/{bin,lib,include,examples/pascal,docs/man,bindings/pascal,bindings/dotnet}
cp "$windows/bin/qvn.dll" "$windows/bin/qvn.exe" "$windows/bin/qvn-server.exe" "$stage/bin/"
x86_64-w64-mingw32-strip "$stage/bin/qvn.exe" "$stage/bin/qvn-server.exe"
cp "$windows/lib/libqvn.dll.a" src/api/qvn.def "$stage/lib/"
# The MSVC import library, from the export list with its ordinals.
x86_64-w64-mingw32-dlltool -m i386:x86-64 -d src/api/qvn.def -l "$stage/lib/qvn.lib"
cp include/qvn.h include/qvn_utf8.h include/qvn.hpp "$windows/include/qvn_version.h" "$stage/include/"
cp examples/hello.c examples/transfer.c examples/hello.cpp "$stage/examples/"
cp examples/pascal/hello.lpr "$stage/examples/pascal/"
# The host-language bindings are sources over the same exports.
cp bindings/pascal/qvn.pas bindings/pascal/qvn_answers.inc "$stage/bindings/pascal/"
cp bindings/dotnet/*.cs bindings/dotnet/Qvn.csproj "$stage/bindings/dotnet/"
cp docs/*.md "$stage/docs/"
# The programs' and the library's man pages, for readers without man(1).
for page in qvn.1 qvn-server.1 qvn.3; do
  mandoc -T html -O fragment "docs/man/$page" >"$stage/docs/man/$page.html"
done
cp LICENSE CHANGELOG.md "$stage/"
sed "s/@VERSION@/$version/g" packaging/windows/README.txt >"$stage/README.txt"
# Fixed times and modes, members in name order, no extra attributes.
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
find "$stage" -type d -exec chmod 755 {} + && find "$stage" -type f -exec chmod 644 {} +
(cd "$windows/zip" && find "$name" | sort | zip -q -X -D -@ "$QVN_ROOT/$out/$name.zip")

echo "=== release: the Python package"
# Offline, with the distribution's setuptools and wheel (what pip wheel
# --no-build-isolation would call), from a copy of bindings/python with fixed
# modes and times beside the CMakeLists.txt that setup.py takes the version from.
python=build/release-python
rm -rf "$python"
mkdir -p "$python"
cp CMakeLists.txt "$python/"
git ls-files -z --cached --others --exclude-standard bindings/python |
  tar --null -T - -cf - | tar -xf - -C "$python"
find "$python" -type d -exec chmod 755 {} + && find "$python" -type f -exec chmod 644 {} +
find "$python" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
# (Each in a process of its own: the backend keeps state between the two.)
log=$(mktemp)
for kind in wheel sdist; do
  (cd "$python/bindings/python" && /usr/bin/python3 -W ignore -c '
import sys
from setuptools import build_meta
getattr(build_meta, "build_" + sys.argv[1])(sys.argv[2])' $kind "$QVN_ROOT/$out" >"$log" 2>&1) ||
    { cat "$log"; exit 1; }
done
rm -f "$log"
# The sdist's gzip header has the time of the build, and the files setuptools
# writes into it (PKG-INFO, the egg-info) their own times: written again with
# SOURCE_DATE_EPOCH, members in name order.
/usr/bin/python3 - "$out/qvn-$version.tar.gz" "$SOURCE_DATE_EPOCH" <<'PY'
import gzip, io, sys, tarfile
path, epoch = sys.argv[1], int(sys.argv[2])
tar = io.BytesIO()
with tarfile.open(path) as source, tarfile.open(fileobj=tar, mode="w", format=tarfile.PAX_FORMAT) as target:
    for member in sorted(source.getmembers(), key=lambda m: m.name):
        member.mtime, member.uid, member.gid, member.uname, member.gname = epoch, 0, 0, "", ""
        member.mode = 0o755 if member.isdir() else 0o644
        member.pax_headers = {}
        target.addfile(member, source.extractfile(member) if member.isfile() else None)
with open(path, "wb") as file, gzip.GzipFile("", "wb", 9, file, mtime=epoch) as packed:
    packed.write(tar.getvalue())
PY

(cd "$out" && sha256sum -- *.deb *.zip *.whl *.tar.gz >SHA256SUMS)
echo "=== release: $out"
ls -l "$out"
