// Text as bytes, the way the server and the codecs lay it out: UTF-16 code
// units little-endian, two bytes each (no byte order mark, no terminator),
// and the 4-byte big-endian counts that frame messages.
#ifndef QVN_BASE_BYTES_H_
#define QVN_BASE_BYTES_H_

#include <cstddef>
#include <cstdint>

#include "base/text.h"

namespace qvn {

// 2 x n bytes for n code units.
Bytes TextToBytes(TextView text);
// Writes the 2 x text.size() bytes to `out`.
void PutTextBytes(TextView text, uint8_t* out);

// floor(n / 2) code units, taken as they are (no surrogate checks); an odd
// final byte is ignored. `big_endian` reads byte-order-marked foreign text.
Text BytesToText(const uint8_t* data, size_t n, bool big_endian = false);
inline Text BytesToText(const Bytes& bytes) { return BytesToText(bytes.data(), bytes.size()); }

inline void PutBigEndian32(uint32_t value, uint8_t* out) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>(value >> 16);
  out[2] = static_cast<uint8_t>(value >> 8);
  out[3] = static_cast<uint8_t>(value);
}

inline uint32_t GetBigEndian32(const uint8_t* in) {
  return (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) | (uint32_t{in[2]} << 8) |
         uint32_t{in[3]};
}

}  // namespace qvn

#endif  // QVN_BASE_BYTES_H_
