/* A program built as Microsoft's tools build one: clang in MSVC mode, no C
 * runtime, linked by lld-link against the release zip's qvn.lib. It exits 0
 * when the codecs it calls through that import library answer right. */
#include "qvn.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned code);

static int Same(const qvn_char* a, const qvn_char* b) {
  while (*a && *a == *b) { ++a; ++b; }
  return *a == *b;
}

void Start(void) {
  qvn_char* encoded = DataEncode(L"a;b<c>");
  qvn_char* decoded = DataDecode(encoded);
  int ok = !Same(encoded, L"a;b<c>") && Same(decoded, L"a;b<c>");
  ScriptFree(encoded);
  ScriptFree(decoded);
  ExitProcess(ok ? 0 : 1);
}
