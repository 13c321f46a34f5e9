#!/usr/bin/env bash
# Builds qvn (Release, build/demo), starts the stand-in server with a fresh
# database on free loopback ports, runs examples/demo.qvs through the qvn
# client (queries, a change, a directive, an upload and a download of a few
# megabytes with progress bars) and stops the server again.
set -euo pipefail
# Only what this build needs: no test frameworks, no mingw-w64, no Wine.
bash "$(dirname "$0")/deps.sh" build
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build="$root/build/demo"

echo "=== building qvn (Release) in build/demo"
mkdir -p "$build"
# Ninja's "[done/all]" lines, as a count redrawn in place on a terminal and
# a line per tenth otherwise; everything the build says goes to its log.
build_progress() {
  if [ -t 1 ]; then
    awk -F'[][/]' '/^\[[0-9]+\/[0-9]+\]/ { shown = 1; printf "\r  built %d of %d steps", $2, $3; fflush() }
      END { if (shown) printf "\n" }'
  else
    awk -F'[][/]' '/^\[[0-9]+\/[0-9]+\]/ && int(10 * $2 / $3) > tenth {
      tenth = int(10 * $2 / $3); print "  built " $2 " of " $3 " steps"; fflush() }'
  fi
}
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
         -DQVN_BUILD_TESTS=OFF -DQVN_BUILD_BENCH=OFF &&
       cmake --build "$build" -j "$(nproc)"; } 2>&1 | tee "$build/build.log" | build_progress; then
  tail -40 "$build/build.log"
  echo "build failed (whole log: build/demo/build.log)"
  exit 1
fi
server="$build/bin/qvn-server"
qvn="$build/bin/qvn"

data="$build/demo-data"
work="$build/demo-work"
rm -rf "$data" "$work"
mkdir -p "$work"
echo "=== a fresh database in build/demo/demo-data"
"$server" init "$data" --db-name "Quarven demo" --db-password demo-db --user demo:demo-pass

source "$root/scripts/start-server.sh"
trap qvn_stop_server EXIT
qvn_start_server "$server" "$data" "$work/server.out"
port=$QVN_SERVER_PORT file_port=$QVN_SERVER_FILE_PORT
echo "=== qvn-server listening on 127.0.0.1 port $port, file port $file_port"
export QVN_PORT=$port QVN_FILE_PORT=$file_port

echo "=== qvn db-name / check-password / auth"
"$qvn" db-name
"$qvn" check-password 'demo-db@demo@demo-pass'
# Passwords from the environment (or a prompt) stay off the command line.
QVN_PASSWORD=demo-pass "$qvn" auth demo

# The script names its local files relative to the folder it runs in.
head -c $((4 * 1024 * 1024 + 12345)) /dev/urandom > "$work/payload.bin"
echo "=== qvn script examples/demo.qvs"
(cd "$work" && "$qvn" script "$root/examples/demo.qvs")
cmp "$work/payload.bin" "$work/payload-copy.bin"
echo "=== the downloaded copy matches the uploaded file ($(stat -c %s "$work/payload.bin") bytes)"

echo "=== what the server has recorded since (BUILD SHOW)"
printf 'demo-db@demo@demo-pass\nBUILD SHOW[3]\n' | "$qvn" script -
echo "=== done; the server stops now"
