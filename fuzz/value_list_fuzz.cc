// Field reading agrees with a plain split for one-unit delimiters, and the
// count with the number of fields it can read.
#include <vector>

#include "base/text.h"
#include "codecs/value_list.h"
#include "fuzz_input.h"
#include "text/letter_case.h"
#include "text/replace_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qvn_fuzz::FuzzInput in(data, size);
  uint8_t selector = in.Byte();
  qvn::Text delimiter = in.TextPiece(selector % 4);
  qvn::Text text = in.Rest();

  int32_t count = qvn::ValueCount(text, delimiter, true);
  qvn::Text trimmed = qvn::Trim(text);
  QVN_FUZZ_CHECK(count >= 0);
  if (trimmed.empty() || delimiter.empty()) QVN_FUZZ_CHECK(count == 0);

  if (delimiter.size() == 1 && !trimmed.empty()) {
    std::vector<qvn::Text> fields(1);
    for (char16_t c : trimmed) {
      if (c == delimiter[0]) fields.emplace_back();
      else fields.back() += c;
    }
    QVN_FUZZ_CHECK(count == static_cast<int32_t>(fields.size()));
    for (size_t i = 0; i < fields.size() && i < 64; ++i) {
      QVN_FUZZ_CHECK(qvn::ValueFromString(text, static_cast<int32_t>(i), delimiter) == fields[i]);
    }
    QVN_FUZZ_CHECK(qvn::ValueFromString(text, static_cast<int32_t>(fields.size()), delimiter).empty());
  }
  for (int32_t index : {0, 1, 2, 7, -1, INT32_MAX}) (void)qvn::ValueFromString(text, index, delimiter);

  qvn::Text pattern = in.TextPiece(3);
  qvn::Text upper = qvn::UpperCase(text);
  QVN_FUZZ_CHECK(upper.size() == text.size());
  if (!pattern.empty()) (void)qvn::ReplaceText(text, pattern, u"x");
  return 0;
}
