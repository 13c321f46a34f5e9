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
# The first Wine program of a server starts its system processes (services.exe
# and the rest), which inherit that program's open files and outlive it. When
# that program was a test, they kept ctest's output pipe open and the test
# "hung at exit" until its time-out: start them here, holding nothing.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
