/* hello.c: the smallest complete qvn program. It asks a Quarven server for
 * its database's name, runs a two-statement script and prints the answers.
 *
 *   hello HOST PORT CREDENTIALS       e.g.  hello 127.0.0.1 7711 'dbpw@alice@secret'
 *
 * The library speaks UTF-16; qvn_utf8.h converts at the edge (and frees results).
 */
#include <qvn.h>
#include <qvn_utf8.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Prints a result; a real answer is neither empty nor a failure word. */
static int print_result(const char* label, char* text) {
  int ok = text != NULL && text[0] != 0 && strcmp(text, "CONNECTION_ERROR") != 0 &&
           strcmp(text, "NONE") != 0;
  printf("%s: %s\n", label, text != NULL ? text : "(out of memory)");
  free(text);
  return ok;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s HOST PORT CREDENTIALS\n", argv[0]);
    return 2;
  }
  char text[1024]; /* the credentials line, then one statement a line */
  snprintf(text, sizeof text, "%s\r\nadd Greetings=Grüße aus qvn ✓\r\nlist Greetings", argv[3]);
  qvn_char* host = qvn_from_utf8(argv[1]);
  qvn_char* script = qvn_from_utf8(text);
  uint16_t port = (uint16_t)strtoul(argv[2], NULL, 10);
  if (host == NULL || script == NULL) return 1;
  int ok = print_result("database", qvn_take_utf8(ShowDbName(host, port)));
  /* No window for progress (NULL) and no file port (0): this script moves no files. */
  ok = print_result("script", qvn_take_utf8(Script(NULL, script, host, port, 0))) && ok;
  free(script);
  free(host);
  return ok ? 0 : 1;
}
