#!/usr/bin/env bash
# Run by with_server.sh: the qvn CLI given ($1) uploads files to the server
# and downloads them again; the server's copies and the downloads must be the
# uploads' very bytes. Then a link in the server's files root that leads out
# of it: neither an upload nor a download may pass through it.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
run() {  # a script through the CLI; its exit status
  printf 'dbsecret@alice@alicepw\r\n%s\r\n' "$1" >script.qvs
  "$cli" -q -p "$QVN_TEST_PORT" script --file-port "$QVN_TEST_FILE_PORT" script.qvs
}
fail() { echo "FAIL: $*"; exit 1; }

# Sizes: empty, one byte short of a block, a whole block, several batches and
# a part; a name the ANSI code page cannot spell.
head -c 0 /dev/urandom >empty.bin
head -c 32767 /dev/urandom >short.bin
head -c 32768 /dev/urandom >block.bin
head -c 4194405 /dev/urandom >'grüße ✓.bin'
names=(empty.bin short.bin block.bin 'grüße ✓.bin')
up= down=
for n in "${names[@]}"; do
  up+=$'\r\n'"$n,..\\in\\$n"
  down+=$'\r\n'"back-$n,..\\in\\$n"
done
run "FILES [UPLOAD]"$'\r\n'"{${up#$'\r\n'}}" >/dev/null || fail "upload"
run "FILES [DOWNLOAD]"$'\r\n'"{${down#$'\r\n'}}" >/dev/null || fail "download"
for n in "${names[@]}"; do
  cmp "$n" "$QVN_TEST_DATA/files/in/$n" || fail "the server's copy of $n"
  cmp "$n" "back-$n" || fail "the download of $n"
done

# files/out leads out of the root.
mkdir outside
echo secret >outside/secret.txt
ln -s "$work/outside" "$QVN_TEST_DATA/files/out"
if run "FILES [UPLOAD]"$'\r\n'"{short.bin,..\\out\\new\\x.bin}" >/dev/null 2>&1; then :; fi
if run "FILES [DOWNLOAD]"$'\r\n'"{stolen.txt,..\\out\\secret.txt}" >/dev/null 2>&1; then
  fail "a download through the link completed"
fi
[ ! -e outside/new ] || fail "an upload made a folder through the link"
[ ! -s stolen.txt ] || fail "a download read through the link"
echo "round trip OK: ${names[*]}; the link out of the root refused"
