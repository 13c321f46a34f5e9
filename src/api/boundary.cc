#include "api/boundary.h"

#include <cstdlib>
#include <cstring>

namespace qvn {
namespace {
qvn_char g_empty_result[1] = {0};
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

qvn_char* ResultText(TextView answer) {
  size_t nul = answer.find(u'\0');
  if (nul != TextView::npos) answer = answer.substr(0, nul);
  if (answer.empty()) return g_empty_result;
  auto* p = static_cast<qvn_char*>(std::malloc((answer.size() + 1) * sizeof(qvn_char)));
  if (p == nullptr) return g_empty_result;
  std::memcpy(p, answer.data(), answer.size() * sizeof(char16_t));
  p[answer.size()] = 0;
  return p;
}

}  // namespace qvn

extern "C" QVN_API void ScriptFree(qvn_char* p) {
  if (p == nullptr || p == qvn::EmptyResult()) return;
  std::free(p);
}
