// Escaping must undo itself exactly, and decoding anything must be safe.
#include "codecs/entities.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qvn_fuzz::FuzzInput in(data, size);
  qvn::Text text = in.Rest();
  QVN_FUZZ_CHECK(qvn::DataDecode(qvn::DataEncode(text)) == text);
  (void)qvn::DataDecode(text);
  return 0;
}
