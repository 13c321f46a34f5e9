#!/usr/bin/env bash
# Runs the README's commands as a reader would, in order, so that they cannot
# drift: every shell block but the quick start, with the C example saved as
# hello.c and the Python one as my_program.py, in a copy of the source tree
# with a HOME of its own. The server's ports 7711 and 7712 become free ones,
# so the run disturbs nothing else on the machine.
#   check_readme.sh SOURCE_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
work=$(mktemp -d)
server_pids() { pgrep -f "$work/home/qvn/bin/qvn-server" || true; }
cleanup() {
  local pids
  pids=$(server_pids)
  [ -z "$pids" ] || kill $pids 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/src" "$work/home"
tar -C "$source_dir" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/src" -xf -

# The blocks, in order: sh (the first is the quick start), c and python.
awk -v dir="$work" '
  /^```/ && !inside { inside = 1; kind = substr($0, 4); n[kind]++
                      out = dir "/" kind "." n[kind]; next }
  /^```/ && inside  { inside = 0; close(out); next }
  inside            { print > out }' "$source_dir/README.md"
[ -f "$work/sh.2" ] && [ -f "$work/c.1" ] && [ -f "$work/python.1" ] || {
  echo "README.md no longer has its example blocks"; exit 1; }
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free_port) file_port=$(free_port)
ports() { sed -e "s/7711/$port/g" -e "s/7712/$file_port/g" "$1"; }
ports "$work/c.1" > "$work/src/hello.c"
ports "$work/python.1" > "$work/src/my_program.py"
script="$work/readme.sh"
echo 'set -euo pipefail' > "$script"
for block in $(ls "$work"/sh.* | sort -t. -k2 -n | tail -n +2); do ports "$block" >> "$script"; done

cd "$work/src"
# A fresh Debian machine's python3 is the distribution's, with its setuptools.
HOME="$work/home" PATH="/usr/bin:/bin:$PATH" bash "$script"
