import base64, re, zlib
def h(s): return s.encode('utf-16-le').hex()
def lines(s):
    s = s.split('\0')[0]
    out = re.split('\r\n|\r|\n', s)
    if out and out[-1] == '': out.pop()
    return ''.join(l + '\r\n' for l in out)
def trim(s):
    return s.strip(''.join(map(chr, range(33))))
def carry(stream):
    return base64.b64encode(stream[:len(stream) & ~1]).decode()
print('# Packed texts made with CPython zlib/base64, Windows-1252 as the code page.')
print('# P <input UTF-16LE hex|-> <packed> <unpacked UTF-16LE hex>: PackString(input) == packed')
print('#   and UnPackString(packed) == unpacked.  U - <packed> <unpacked>: UnPackString only.')
print('# Made by: python3 tests/data/make_packing_vectors.py > tests/data/packing_vectors.txt')
P = ['', 'a', '   \t\r\n ', 'x\ny', 'x\ry', 'x\r\ny\r\n\r\n', '  Hello, World!  \r\n\r\nSecond line\tTab ',
     'Caf\u00e9 cr\u00e8me \u20ac 5 \u2014 na\u00efve', '\u201cquoted\u201d \u2018s\u2019 \u2026 \u0160\u017e\u0178 \u00a0\u00ff',
     '\u4e2d\u6587 text', 'a\0b', 'line1\r\nline2\n\nline4\r',
     '\r\n'.join('line %d: the quick brown fox; jumps & over {the} lazy dog' % i for i in range(300)),
     ''.join(chr(0x20 + (i * 7919) % 0x5f) for i in range(5000))]
for s in P:
    t = trim(s)
    joined = lines(t)
    packed = carry(zlib.compress(joined.encode('cp1252', errors='replace'), 9))
    unpacked = trim(lines(joined.encode('cp1252', errors='replace').decode('cp1252')))
    print('P', h(s) if s else '-', packed, h(unpacked) if unpacked else '-', sep='\t')
U = [b'\xef\xbb\xbf' + 'Gr\u00fc\u00dfe \u4e2d\r\n'.encode('utf-8'),
     b'\xff\xfe' + 'Little \u4e2d\u6587\r\n'.encode('utf-16-le'),
     b'\xfe\xff' + 'Big \u4e2d\u6587\r\n'.encode('utf-16-be'),
     b'\xef\xbb\xbf\xff\xfe' + 'not utf16'.encode('utf-8'),
     b'one\ntwo\rthree\x00gone']
for b in U:
    if b.startswith(b'\xef\xbb\xbf'): text = b[3:].decode('utf-8', errors='replace')
    elif b.startswith(b'\xff\xfe'): text = b[2:].decode('utf-16-le')
    elif b.startswith(b'\xfe\xff'): text = b[2:].decode('utf-16-be')
    else: text = b.decode('cp1252')
    out = trim(lines(text))
    print('U', '-', carry(zlib.compress(b, 9)), h(out) if out else '-', sep='\t')
