#include "api/boundary.h"

#include <cstdlib>
#include <cstring>

#include "platform/fault_injection.h"

namespace qvn {
namespace {
qvn_char g_empty_result[1] = {0};
// qvn_char is wchar_t on Windows, char16_t elsewhere: the same 16-bit units.
static_assert(sizeof(qvn_char) == sizeof(char16_t));
char16_t g_connection_error[] = u"CONNECTION_ERROR";
char16_t g_none[] = u"NONE";
char16_t g_transfer_started_only[] = u"File transfer started";

qvn_char* AsResult(char16_t* text) { return reinterpret_cast<qvn_char*>(text); }

bool IsStatic(const qvn_char* p) {
  return p == g_empty_result || p == AsResult(g_connection_error) || p == AsResult(g_none) ||
         p == AsResult(g_transfer_started_only);
}
}  // namespace

Text ArgText(const qvn_char* p) {
  if (p == nullptr) return Text();
  size_t n = 0;
  while (p[n] != 0) ++n;
  Text out(n, u'\0');
  static_assert(sizeof(qvn_char) == sizeof(char16_t));
  std::memcpy(out.data(), p, n * sizeof(char16_t));
  return out;
}

qvn_char* EmptyResult() { return g_empty_result; }
qvn_char* ConnectionErrorResult() { return AsResult(g_connection_error); }
qvn_char* NoneResult() { return AsResult(g_none); }
qvn_char* TransferStartedOnlyResult() { return AsResult(g_transfer_started_only); }

qvn_char* ResultText(TextView answer, qvn_char* out_of_memory) {
  size_t nul = answer.find(u'\0');
  if (nul != TextView::npos) answer = answer.substr(0, nul);
  if (answer.empty()) return g_empty_result;
  auto* p = platform::fault::Injected(platform::fault::Op::kAllocate)
                ? nullptr
                : static_cast<qvn_char*>(std::malloc((answer.size() + 1) * sizeof(qvn_char)));
  if (p == nullptr) return out_of_memory;
  std::memcpy(p, answer.data(), answer.size() * sizeof(char16_t));
  p[answer.size()] = 0;
  return p;
}

}  // namespace qvn

extern "C" QVN_API void ScriptFree(qvn_char* p) {
  if (p == nullptr || qvn::IsStatic(p)) return;
  std::free(p);
}
