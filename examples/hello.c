/* hello.c: the smallest complete qvn program. It asks a Quarven server for
 * its database's name, runs a two-statement script and prints the answers.
 *
 *   hello HOST PORT CREDENTIALS       e.g.  hello 127.0.0.1 7711 'dbpw@alice@secret'
 *
 * The library speaks UTF-16 (qvn_char); a C program usually holds UTF-8, so
 * the text is converted at the edge, in both directions. Every text the
 * library returns is released with ScriptFree.
 */
#include <qvn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* UTF-8 to a new NUL-terminated UTF-16 text (invalid bytes become U+FFFD). */
static qvn_char* to_utf16(const char* s) {
  size_t n = strlen(s), i = 0, o = 0;
  qvn_char* out = malloc((n + 1) * sizeof *out); /* never more units than bytes */
  if (out == NULL) return NULL;
  while (i < n) {
    unsigned char c = (unsigned char)s[i];
    unsigned long cp = 0xFFFD;
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || (size_t)extra > n - i - 1) {
      ++i;
    } else {
      cp = extra == 0 ? c : (unsigned long)(c & (0x3F >> extra));
      int k;
      for (k = 1; k <= extra && ((unsigned char)s[i + k] >> 6) == 2; ++k) {
        cp = (cp << 6) | ((unsigned char)s[i + k] & 0x3F);
      }
      if (k <= extra || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
      i += (size_t)k;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out[o++] = (qvn_char)(0xD800 + (cp >> 10));
      out[o++] = (qvn_char)(0xDC00 + (cp & 0x3FF));
    } else {
      out[o++] = (qvn_char)cp;
    }
  }
  out[o] = 0;
  return out;
}

/* A NUL-terminated UTF-16 text to a new UTF-8 string (lone surrogates: U+FFFD). */
static char* to_utf8(const qvn_char* s) {
  size_t n = 0, o = 0;
  while (s[n] != 0) ++n;
  char* out = malloc(3 * n + 1); /* a pair of units makes 4 bytes, one unit at most 3 */
  if (out == NULL) return NULL;
  for (size_t i = 0; i < n; ++i) {
    unsigned long cp = (unsigned long)s[i] & 0xFFFF;
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && (s[i + 1] & 0xFC00) == 0xDC00) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + ((unsigned long)s[++i] & 0x3FF);
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out[o++] = (char)cp;
    } else if (cp < 0x800) {
      out[o++] = (char)(0xC0 | (cp >> 6));
      out[o++] = (char)(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out[o++] = (char)(0xE0 | (cp >> 12));
      out[o++] = (char)(0x80 | ((cp >> 6) & 0x3F));
      out[o++] = (char)(0x80 | (cp & 0x3F));
    } else {
      out[o++] = (char)(0xF0 | (cp >> 18));
      out[o++] = (char)(0x80 | ((cp >> 12) & 0x3F));
      out[o++] = (char)(0x80 | ((cp >> 6) & 0x3F));
      out[o++] = (char)(0x80 | (cp & 0x3F));
    }
  }
  out[o] = 0;
  return out;
}

/* Prints a library result as UTF-8 and releases it; returns whether it was
 * a real answer (not empty, not one of the failure words). */
static int print_result(const char* label, qvn_char* result) {
  char* text = to_utf8(result);
  ScriptFree(result);
  if (text == NULL) return 0;
  printf("%s: %s\n", label, text);
  int ok = text[0] != 0 && strcmp(text, "CONNECTION_ERROR") != 0 && strcmp(text, "NONE") != 0;
  free(text);
  return ok;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s HOST PORT CREDENTIALS\n", argv[0]);
    return 2;
  }
  qvn_char* host = to_utf16(argv[1]);
  uint16_t port = (uint16_t)strtoul(argv[2], NULL, 10);
  /* The first script line is the credentials line; the rest are statements.
   * The text is UTF-8 here and goes to the server as UTF-16. */
  size_t size = strlen(argv[3]) + 128;
  char* script_utf8 = malloc(size);
  if (host == NULL || script_utf8 == NULL) return 1;
  snprintf(script_utf8, size, "%s\r\nadd Greetings=Grüße aus qvn ✓\r\nlist Greetings", argv[3]);
  qvn_char* script = to_utf16(script_utf8);
  free(script_utf8);
  if (script == NULL) return 1;

  int ok = print_result("database", ShowDbName(host, port));
  /* No window for progress (NULL) and no file port (0): this script moves no files. */
  ok = print_result("script", Script(NULL, script, host, port, 0)) && ok;

  free(script);
  free(host);
  return ok ? 0 : 1;
}
