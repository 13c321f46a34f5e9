#include "base/bytes.h"

namespace qvn {

Bytes TextToBytes(TextView text) {
  Bytes out(2 * text.size());
  PutTextBytes(text, out.data());
  return out;
}

void PutTextBytes(TextView text, uint8_t* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<uint8_t>(text[i]);
    out[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
}

Text BytesToText(const uint8_t* data, size_t n, bool big_endian) {
  Text out(n / 2, u'\0');
  const size_t lo = big_endian ? 1 : 0, hi = 1 - lo;
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(data[2 * i + lo] | (data[2 * i + hi] << 8));
  }
  return out;
}

}  // namespace qvn
