// The exported text codecs: value lists, entity escaping and packed text.
#include <cstdlib>
#include <cstring>

#include "api/boundary.h"
#include "codecs/entities.h"
#include "codecs/packing.h"
#include "codecs/value_list.h"

namespace qvn {
namespace {

// Like ResultText, but an empty answer is an allocation too (just the
// terminator): the host may expect one for every field it reads.
qvn_char* AllocatedResult(TextView answer) {
  const size_t nul = answer.find(u'\0');
  if (nul != TextView::npos) answer = answer.substr(0, nul);
  auto* p = static_cast<qvn_char*>(std::malloc((answer.size() + 1) * sizeof(qvn_char)));
  if (p == nullptr) return EmptyResult();
  std::memcpy(p, answer.data(), answer.size() * sizeof(qvn_char));
  p[answer.size()] = 0;
  return p;
}

}  // namespace
}  // namespace qvn

extern "C" QVN_API int32_t ValueCount(const qvn_char* source, const qvn_char* delimiter,
                                      bool count_single) {
  return qvn::Guarded(int32_t{0}, [&] {
    return qvn::ValueCount(qvn::ArgText(source), qvn::ArgText(delimiter), count_single);
  });
}

extern "C" QVN_API qvn_char* ValueFromString(const qvn_char* source, int32_t index,
                                             const qvn_char* delimiter) {
  if (source == nullptr || source[0] == 0) return qvn::EmptyResult();
  return qvn::Guarded(qvn::EmptyResult(), [&] {
    return qvn::AllocatedResult(
        qvn::ValueFromString(qvn::ArgText(source), index, qvn::ArgText(delimiter)));
  });
}

extern "C" QVN_API qvn_char* DataEncode(const qvn_char* text) {
  return qvn::Guarded(qvn::EmptyResult(),
                      [&] { return qvn::ResultText(qvn::DataEncode(qvn::ArgText(text))); });
}

extern "C" QVN_API qvn_char* DataDecode(const qvn_char* text) {
  return qvn::Guarded(qvn::EmptyResult(),
                      [&] { return qvn::ResultText(qvn::DataDecode(qvn::ArgText(text))); });
}

extern "C" QVN_API qvn_char* PackString(const qvn_char* text) {
  return qvn::Guarded(qvn::EmptyResult(),
                      [&] { return qvn::ResultText(qvn::PackString(qvn::ArgText(text))); });
}

extern "C" QVN_API qvn_char* UnPackString(const qvn_char* text) {
  return qvn::Guarded(qvn::EmptyResult(),
                      [&] { return qvn::ResultText(qvn::UnPackString(qvn::ArgText(text))); });
}
