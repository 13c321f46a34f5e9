#!/usr/bin/env bash
# Builds the Free Pascal units that Windows (win64) programs using
# bindings/pascal/qvn.pas need (system, sysinit, objpas, fpintres, windows, sysutils and
# what they use) from Debian's fpc-source, so that `fpc -Twin64` works on a
# Linux machine with only the Linux units installed.
#
#   fpc-win64-units.sh OUTPUT_DIR     builds them there, unless already built
#
# Prints OUTPUT_DIR; compile with  fpc -Twin64 -n -FuOUTPUT_DIR ...
set -euo pipefail
out=${1:?usage: $0 OUTPUT_DIR}
version=$(fpc -iV)
src=/usr/share/fpcsrc/$version/rtl
[ -d "$src/win64" ] || { echo "no $src/win64: install fpc-source" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
stamp=$out/.built-$version
if [ -f "$stamp" ] && [ -f "$out/sysutils.ppu" ]; then
  echo "$out"
  exit 0
fi
rm -f "$out"/*.ppu "$out"/*.o "$out"/*.a
log=$out/build.log
: >"$log"
# The include and unit paths of the RTL's own win64 makefile.
paths=(-Fi"$src/win" -Fi"$src/inc" -Fi"$src/x86_64" -Fi"$src/objpas" -Fi"$src/objpas/sysutils"
  -Fi"$src/win/wininc" -Fi"$src/win64" -Fu"$src/win/wininc" -Fu"$src/win" -Fu"$src/inc"
  -Fu"$src/objpas" -Fu"$src/win64" -Fu"$src/x86_64")
compile() { fpc -n -Twin64 -Px86_64 -O2 -FU"$out" -Fu"$out" "$@" >>"$log" 2>&1 || {
  cat "$log" >&2; echo "fpc-win64-units.sh: building $* failed" >&2; exit 1; }; }
(cd "$src/win64" && compile -Us -Sg "${paths[@]}" system.pp)
(cd "$src/win64" && compile "${paths[@]}" "$src/objpas/objpas.pp")
# fpintres: the resources every win64 program links.
for unit in sysinit.pp "$src/inc/fpintres.pp" windows.pp ../win/sysutils.pp; do
  (cd "$src/win64" && compile "${paths[@]}" "$unit")
done
touch "$stamp"
echo "$out"
