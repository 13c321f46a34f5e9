#!/bin/bash
# Writes crypto_vectors.txt with independent tools only (openssl, python3),
# never with the library: each record follows the commands that made it.
#   bash tests/data/make_crypto_vectors.sh > tests/data/crypto_vectors.txt
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

# UTF-16LE hex of a Python string literal; "-" for empty text.
u16() { python3 -c "import sys; print(eval(sys.argv[1]).encode('utf-16-le', 'surrogatepass').hex() or '-')" "$1"; }

run() {  # shows a command in the header of its record, then runs it
  echo "#   $*"
  eval "$@" >/dev/null
}

key_of() {  # AES key (hex) of the UTF-16LE key text in file $1
  openssl dgst -sha256 -binary "$1" | head -c 16 | xxd -p -c 64
}

cat <<'HDR'
# Known answers for the cipher, the text encryption and the digest text,
# made with openssl, python3 and xxd alone. Fields are hex unless said otherwise;
# texts are given as their UTF-16LE bytes, "-" standing for empty text.
#   key   <key text> <AES key: first 16 bytes of SHA-256 of the key text>
#   aes   <key text> <plain> <cipher>
#   aesd  <key text> <plain length, plain byte i = (31*i+7) mod 256> <SHA-256 of cipher>
#   text  <key text> <text> <encrypted text, Base64>
#   twice <inner key text> <outer key text> <text> <encrypted text, Base64>
#   md5   <text> <digest text>
# Plain and key files come from:
#   python3 -c "open('F','wb').write(<str literal>.encode('utf-16-le','surrogatepass'))"
HDR

mkfile() {  # $1 file, $2 python string literal
  python3 -c "import sys; open(sys.argv[1],'wb').write(eval(sys.argv[2]).encode('utf-16-le','surrogatepass'))" "$1" "$2"
}

keyrec() {  # $1 key literal
  mkfile k.bin "$1"
  echo "# key text $1"
  run "openssl dgst -sha256 -binary k.bin | head -c 16 | xxd -p"
  echo "key $(u16 "$1") $(key_of k.bin)"
}

aesrec() {  # $1 key literal, $2 plain hex
  mkfile k.bin "$1"
  echo -n "$2" | xxd -r -p > p.bin
  local k; k=$(key_of k.bin)
  echo "# key text $1, plain $(stat -c %s p.bin) bytes"
  run "openssl enc -aes-128-cbc -K $k -iv 00000000000000000000000000000000 -in p.bin -out c.bin"
  echo "aes $(u16 "$1") $2 $(xxd -p c.bin | tr -d '\n')"
}

aesdrec() {  # $1 key literal, $2 length
  mkfile k.bin "$1"
  local k; k=$(key_of k.bin)
  echo "# key text $1, $2 patterned bytes"
  run "python3 -c \"open('p.bin','wb').write(bytes((31*i+7)%256 for i in range($2)))\""
  run "openssl enc -aes-128-cbc -K $k -iv 00000000000000000000000000000000 -in p.bin -out c.bin"
  run "openssl dgst -sha256 -binary c.bin | xxd -p -c 64"
  echo "aesd $(u16 "$1") $2 $(openssl dgst -sha256 -binary c.bin | xxd -p -c 64)"
}

textrec() {  # $1 key literal, $2 text literal
  mkfile k.bin "$1"
  mkfile t.bin "$2"
  local k; k=$(key_of k.bin)
  echo "# key text $1, text $2"
  run "openssl enc -aes-128-cbc -K $k -iv 00000000000000000000000000000000 -in t.bin -out c.bin"
  run "python3 -c \"import base64; print(base64.b64encode(open('c.bin','rb').read()).decode())\""
  echo "text $(u16 "$1") $(u16 "$2") $(python3 -c "import base64; print(base64.b64encode(open('c.bin','rb').read()).decode())")"
}

twicerec() {  # $1 inner key literal, $2 outer key literal, $3 text literal
  mkfile k.bin "$1"
  mkfile k2.bin "$2"
  mkfile t.bin "$3"
  local k k2; k=$(key_of k.bin); k2=$(key_of k2.bin)
  echo "# inner key text $1, outer key text $2, text $3"
  run "openssl enc -aes-128-cbc -K $k -iv 00000000000000000000000000000000 -in t.bin -out c.bin"
  run "python3 -c \"import base64; open('m.bin','wb').write(base64.b64encode(open('c.bin','rb').read()).decode().encode('utf-16-le'))\""
  run "openssl enc -aes-128-cbc -K $k2 -iv 00000000000000000000000000000000 -in m.bin -out c2.bin"
  echo "twice $(u16 "$1") $(u16 "$2") $(u16 "$3") $(python3 -c "import base64; print(base64.b64encode(open('c2.bin','rb').read()).decode())")"
}

md5rec() {  # $1 text literal; one byte per code unit, '?' from U+0080 up
  echo "# text $1"
  run "python3 -c \"open('n.bin','wb').write(bytes(c if c < 128 else 63 for c in memoryview($1.encode('utf-16-le','surrogatepass')).cast('H')))\""
  run "openssl dgst -md5 -binary n.bin | xxd -p | tr a-f A-F"
  echo "md5 $(u16 "$1") $(openssl dgst -md5 -binary n.bin | xxd -p | tr a-f A-F)"
}

md5hex() {  # digest text of an ASCII string
  echo -n "$1" | openssl dgst -md5 -binary | xxd -p | tr a-f A-F
}

keyrec "'secret'"
keyrec "'Secret'"
keyrec "'SECRET'"
keyrec "'5EBE2294ECD0E0F08EAB7690D2A6EE69'"
keyrec "'p\u00e4ssw\u00f6rd\u20ac'"
keyrec "'k\U0001F600'"

aesrec "'secret'" 41
aesrec "'secret'" 000102030405060708090a0b0c0d0e
aesrec "'secret'" 000102030405060708090a0b0c0d0e0f
aesrec "'secret'" 000102030405060708090a0b0c0d0e0f10
aesrec "'secret'" 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
aesrec "'5EBE2294ECD0E0F08EAB7690D2A6EE69'" 00000000000000000000000000000000ffffffffffffffffffffffffffffffff
aesrec "'p\u00e4ssw\u00f6rd\u20ac'" 48656c6c6f2c205175617276656e21
aesdrec "'5EBE2294ECD0E0F08EAB7690D2A6EE69'" 32767

textrec "'secret'" "'a'"
textrec "'secret'" "'abcdefgh'"
textrec "'secret'" "'Hello, Quarven!'"
textrec "'secret'" "'nul\0in\0the middle'"
textrec "'secret'" "'lone \ud800 high and \udc00 low'"
textrec "'p\u00e4ssw\u00f6rd\u20ac'" "'Gr\u00fc\u00dfe \u20ac \U0001F600'"
t=$(md5hex dbpass)
textrec "'$t'" "'$t'"

twicerec "'$(md5hex userpass)'" "'$(md5hex dbpass)'" "'SELECT * FROM users'"
twicerec "'secret'" "'Secret'" "'x'"

md5rec "''"
md5rec "'secret'"
md5rec "'dbpass'"
md5rec "'Gr\u00fc\u00dfe'"
md5rec "'a\U0001F600\x7f\x80'"
