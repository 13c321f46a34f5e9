# Sourced by scripts that need the stand-in server (scripts/demo.sh,
# tests/win/with_server.sh):
#   qvn_start_server SERVER DATA_FOLDER OUTPUT_FILE [server options...]
# starts SERVER on free loopback ports in the background, waits for its
# "listening:" line and sets QVN_SERVER_PID, QVN_SERVER_PORT and
# QVN_SERVER_FILE_PORT. Returns non-zero (after showing the output) when it
# does not start. qvn_stop_server stops it again. SERVER may be the Windows
# build's qvn-server.exe: it runs under Wine ($QVN_WINE, else wine), in the
# Wine prefix the caller set up (scripts/wine-env.sh).

# QVN_SERVER_COMMAND: how to run SERVER (qvn_server_command SERVER).
qvn_server_command() {
  case $1 in
    *.exe) QVN_SERVER_COMMAND=("${QVN_WINE:-wine}" "$1") ;;
    *) QVN_SERVER_COMMAND=("$1") ;;
  esac
}

# A folder as SERVER takes it: qvn-server.exe a Windows path ("Z:\tmp\..."),
# since Wine's file replacement fails on a rooted path without a drive.
qvn_server_path() {
  case $1 in
    *.exe) winepath -w "$2" 2>/dev/null ;;
    *) printf '%s\n' "$2" ;;
  esac
}

qvn_start_server() {
  local server=$1 data out=$3 line=
  data=$(qvn_server_path "$server" "$2")
  shift 3
  qvn_server_command "$server"
  # Wine runs the program in the process it is started as (wine execs), so
  # the PID is the server's.
  "${QVN_SERVER_COMMAND[@]}" --data "$data" --port 0 --file-port 0 "$@" >"$out" 2>&1 &
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
