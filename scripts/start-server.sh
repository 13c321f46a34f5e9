# Sourced by scripts that need the stand-in server (scripts/demo.sh,
# tests/win/with_server.sh):
#   qvn_start_server SERVER DATA_FOLDER OUTPUT_FILE [server options...]
# starts SERVER on free loopback ports in the background, waits for its
# "listening:" line and sets QVN_SERVER_PID, QVN_SERVER_PORT and
# QVN_SERVER_FILE_PORT. Returns non-zero (after showing the output) when it
# does not start. qvn_stop_server stops it again.
qvn_start_server() {
  local server=$1 data=$2 out=$3 line=
  shift 3
  "$server" --data "$data" --port 0 --file-port 0 "$@" >"$out" 2>&1 &
  QVN_SERVER_PID=$!
  for _ in $(seq 100); do
    line=$(grep -m1 'listening:' "$out" 2>/dev/null || true)
    [ -n "$line" ] && break
    kill -0 "$QVN_SERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$line" ]; then
    echo "qvn-server did not start:"
    cat "$out"
    return 1
  fi
  # "qvn-server listening: port=N file-port=M"
  QVN_SERVER_PORT=$(echo "$line" | sed -n 's/.* port=\([0-9]*\).*/\1/p')
  QVN_SERVER_FILE_PORT=$(echo "$line" | sed -n 's/.*file-port=\([0-9]*\).*/\1/p')
}

qvn_stop_server() {
  [ -n "${QVN_SERVER_PID:-}" ] || return 0
  kill "$QVN_SERVER_PID" 2>/dev/null || true
  wait "$QVN_SERVER_PID" 2>/dev/null || true
  QVN_SERVER_PID=
}
