import random
def h8(b): return b.hex() if b else '-'
def h16(s): return s.encode('utf-16-le', errors='surrogatepass').hex() if s else '-'
print('# UTF-8 <-> UTF-16 conversions made with CPython\'s codecs (errors="replace").')
print('# D <UTF-8 hex|-> <UTF-16LE hex|->: bytes.decode("utf-8", "replace").')
print('# E <UTF-16LE hex|-> <UTF-8 hex|->: UTF-16LE decoded with "replace", encoded as UTF-8.')
print('# Made by: python3 tests/data/make_utf8_vectors.py > tests/data/utf8_vectors.txt')
D = [b'', b'a', bytes(range(1, 128)), 'Grüße aus qvn ✓'.encode(), '\U0001D11E pair'.encode(),
     b'abc\xc0\x80def', b'\xef\xbb\xbfbom']
# Boundaries of each length, just inside and outside the surrogates.
for cp in (0x7F, 0x80, 0x7FF, 0x800, 0xFFF, 0x1000, 0xCFFF, 0xD000, 0xD7FF, 0xE000, 0xFFFD,
           0xFFFF, 0x10000, 0x3FFFF, 0x40000, 0xFFFFF, 0x100000, 0x10FFFF):
    D.append(b'<' + chr(cp).encode() + b'>')
# Every byte that cannot begin a character, and every lead byte, before ASCII.
D += [bytes([b]) + b'A' for b in range(0x80, 0x100)]
# Each lead byte family against the edges of the second byte's range, with more
# continuation bytes after: overlong forms, encoded surrogates, above U+10FFFF.
leads = [0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4,
         0xF5, 0xF7, 0xF8, 0xFB, 0xFC, 0xFE]
for lead in leads:
    for second in (0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0):
        D.append(bytes([lead, second, 0x80, 0x80, 0x41]))
# Every prefix of multi-byte characters, at the end and before ASCII or another lead.
for ch in ('é', '€', '\uFFFD', '\U0001D11E', '\U0010FFFF'):
    b = ch.encode()
    for cut in range(1, len(b)):
        D += [b[:cut], b[:cut] + b'z', b[:cut] + b'\xe2\x82\xac', b[:cut] + b[:cut]]
D += [b'\xc0\x80', b'\xe0\x80\x80', b'\xf0\x80\x80\x80', b'\xf8\x88\x80\x80\x80',
      b'\xfc\x84\x80\x80\x80\x80', b'\xed\xa0\x80\xed\xb0\x80', b'\xf4\x90\x80\x80']
rng = random.Random(17)
pool = [0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEF,
        0xF0, 0xF1, 0xF4, 0xF5, 0xFF]
for _ in range(60):
    D.append(bytes(rng.choice(pool) for _ in range(rng.randint(1, 12))))
E = []
for b in D:
    s = b.decode('utf-8', errors='replace')
    print('D', h8(b), h16(s), sep='\t')
    if s not in E and not s.isascii(): E.append(s)
# Unpaired surrogates of UTF-16, alone, at either end, in the wrong order, doubled.
E += ['\ud800', '\udc00', 'a\ud800', '\ud800a', '\udfffa', '\udc00\ud800', '\ud800\ud800\udc00',
      '\ud800\udc00\udc00', '\udbff\udfff', '\ud800\udc00', 'x\ud83d\ude00y', '\ud83d\ud83d\ude00']
units = [0x41, 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFF]
for _ in range(40):
    E.append(''.join(chr(rng.choice(units)) for _ in range(rng.randint(1, 8))))
for s in E:
    raw = s.encode('utf-16-le', errors='surrogatepass')
    print('E', h16(s), h8(raw.decode('utf-16-le', errors='replace').encode()), sep='\t')
