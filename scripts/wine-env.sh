# Sourced by the scripts: one Wine prefix inside the build tree, and one
# wineserver kept up so that each test program starts in well under a second.
export WINEPREFIX="${WINEPREFIX:-$QVN_ROOT/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
fi
wineserver -p >/dev/null 2>&1 || true
