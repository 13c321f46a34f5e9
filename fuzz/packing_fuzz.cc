// Unpacking hostile text never fails or crashes; packing ASCII text round-trips.
#include "base/errors.h"
#include "base/text.h"
#include "codecs/packing.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qvn_fuzz::FuzzInput in(data, size);
  qvn::Text text = in.Rest();
  (void)qvn::UnPackString(text);

  // The raw bytes as a packed stream: Base64 of them must decompress safely.
  qvn::Bytes raw(data, data + size);
  try {
    qvn::DecompressBuffer(raw);
  } catch (const qvn::Error&) {
  }

  bool ascii = true;
  for (char16_t c : text) ascii = ascii && c < 0x80 && c != 0;
  if (ascii) {
    qvn::Text expected = qvn::Trim(qvn::JoinLines(qvn::SplitLines(qvn::Trim(text))));
    QVN_FUZZ_CHECK(qvn::UnPackString(qvn::PackString(text)) == expected);
  }
  return 0;
}
