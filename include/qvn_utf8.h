/* qvn_utf8.h: UTF-8 at the edge of the qvn interface, for C (and C++).
 *
 * The library speaks NUL-terminated UTF-16 (qvn_char); most programs hold
 * UTF-8. Header-only, no library code of its own:
 *
 *   qvn_char* host = qvn_from_utf8("127.0.0.1");            free() it
 *   char* name = qvn_take_utf8(ShowDbName(host, 7711));      free() it
 *
 * Invalid input never cuts a text short: each maximal invalid subsequence of
 * UTF-8 (overlong forms, encoded surrogates, code points above U+10FFFF,
 * truncated sequences, stray bytes) becomes one U+FFFD, as Python's and the
 * browsers' decoders do, and so does each unpaired surrogate of UTF-16.
 */
#ifndef QVN_UTF8_H_
#define QVN_UTF8_H_

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "qvn.h"

#define QVN_REPLACEMENT_CHARACTER 0xFFFDu

/* Decodes the code point at the start of s[0, n) (n > 0) and sets *used to the
 * bytes it took (at least 1). An invalid start gives U+FFFD for its maximal
 * subpart: the longest prefix of a well-formed sequence, or the first byte. */
static inline uint32_t qvn_utf8_decode(const unsigned char* s, size_t n, size_t* used) {
  const unsigned char b = s[0];
  size_t length;
  uint32_t cp;
  unsigned char low = 0x80, high = 0xBF; /* range of the second byte */
  *used = 1;
  if (b < 0x80) return b;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    cp = b & 0x1Fu;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    cp = b & 0x0Fu;
    if (b == 0xE0) low = 0xA0;  /* below: overlong */
    if (b == 0xED) high = 0x9F; /* above: surrogates */
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    cp = b & 0x07u;
    if (b == 0xF0) low = 0x90;  /* below: overlong */
    if (b == 0xF4) high = 0x8F; /* above: beyond U+10FFFF */
  } else {
    return QVN_REPLACEMENT_CHARACTER; /* 80..C1 (C0, C1: always overlong), F5..FF */
  }
  for (size_t k = 1; k < length; ++k) {
    if (k >= n || s[k] < low || s[k] > high) return QVN_REPLACEMENT_CHARACTER;
    cp = (cp << 6) | (s[k] & 0x3Fu);
    *used = k + 1;
    low = 0x80;
    high = 0xBF;
  }
  return cp;
}

/* Writes code point cp (at most U+10FFFF, not a surrogate) as 1 to 4 bytes of
 * UTF-8 to out; returns how many. */
static inline size_t qvn_utf8_encode(uint32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = (char)cp;
    return 1;
  }
  if (cp < 0x800) {
    out[0] = (char)(0xC0 | (cp >> 6));
    out[1] = (char)(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = (char)(0xE0 | (cp >> 12));
    out[1] = (char)(0x80 | ((cp >> 6) & 0x3F));
    out[2] = (char)(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = (char)(0xF0 | (cp >> 18));
  out[1] = (char)(0x80 | ((cp >> 12) & 0x3F));
  out[2] = (char)(0x80 | ((cp >> 6) & 0x3F));
  out[3] = (char)(0x80 | (cp & 0x3F));
  return 4;
}

/* Decodes the UTF-16 code point that begins with unit (next: the unit after
 * it, 0 at the end) and sets *used to the units it took (1 or 2); an unpaired
 * surrogate gives U+FFFD. */
static inline uint32_t qvn_utf16_decode(uint32_t unit, uint32_t next, size_t* used) {
  *used = 1;
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit <= 0xDBFF && (next & 0xFC00u) == 0xDC00u) {
    *used = 2;
    return 0x10000u + ((unit - 0xD800u) << 10) + (next & 0x3FFu);
  }
  return QVN_REPLACEMENT_CHARACTER;
}

/* Writes code point cp (at most U+10FFFF) as 1 or 2 units of UTF-16 to out;
 * returns how many. */
static inline size_t qvn_utf16_encode(uint32_t cp, uint16_t* out) {
  if (cp < 0x10000) {
    out[0] = (uint16_t)cp;
    return 1;
  }
  out[0] = (uint16_t)(0xD800 + ((cp - 0x10000) >> 10));
  out[1] = (uint16_t)(0xDC00 + ((cp - 0x10000) & 0x3FF));
  return 2;
}

/* A new NUL-terminated UTF-16 copy of the UTF-8 string utf8 (NULL: empty),
 * released with free(); NULL only when memory runs out. */
static inline qvn_char* qvn_from_utf8(const char* utf8) {
  const unsigned char* s = (const unsigned char*)(utf8 != NULL ? utf8 : "");
  const size_t n = strlen((const char*)s);
  /* Never more units than bytes: 4 bytes make 2 units, the rest 1 unit or fewer. */
  qvn_char* out = (qvn_char*)malloc((n + 1) * sizeof *out);
  size_t i = 0, o = 0;
  if (out == NULL) return NULL;
  while (i < n) {
    size_t used, k;
    uint16_t units[2];
    const size_t count = qvn_utf16_encode(qvn_utf8_decode(s + i, n - i, &used), units);
    i += used;
    for (k = 0; k < count; ++k) out[o++] = (qvn_char)units[k];
  }
  out[o] = 0;
  return out;
}

/* A new UTF-8 copy of the NUL-terminated UTF-16 text (NULL: ""), released
 * with free(); NULL only when memory runs out. */
static inline char* qvn_to_utf8(const qvn_char* text) {
  size_t n = 0, i = 0, o = 0;
  char* out;
  if (text != NULL) {
    while (text[n] != 0) ++n;
  }
  /* A pair of units makes 4 bytes, any other unit at most 3. */
  out = (char*)malloc(3 * n + 1);
  if (out == NULL) return NULL;
  while (i < n) {
    size_t used;
    uint32_t cp = qvn_utf16_decode((uint32_t)text[i] & 0xFFFFu,
                                   i + 1 < n ? (uint32_t)text[i + 1] & 0xFFFFu : 0, &used);
    i += used;
    o += qvn_utf8_encode(cp, out + o);
  }
  out[o] = 0;
  return out;
}

/* Converts a text result of the library to a new UTF-8 string (free() it) and
 * releases the result with ScriptFree, so that one line does both:
 *   char* name = qvn_take_utf8(ShowDbName(host, port));
 * NULL only when memory runs out (the result is released all the same). */
static inline char* qvn_take_utf8(qvn_char* result) {
  char* out = qvn_to_utf8(result);
  ScriptFree(result);
  return out;
}

#endif /* QVN_UTF8_H_ */
