// Turns a fuzzer's bytes into the library's inputs: UTF-16 text (two bytes per
// code unit, low byte first) and a few small numbers.
#ifndef QVN_FUZZ_FUZZ_INPUT_H_
#define QVN_FUZZ_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>

#include "base/text.h"

namespace qvn_fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // A text of up to max_units code units; an 0xFFFF unit ends it early so one
  // input can carry several texts.
  qvn::Text TextPiece(size_t max_units) {
    qvn::Text out;
    while (out.size() < max_units && pos_ + 1 < size_) {
      char16_t c = static_cast<char16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
      pos_ += 2;
      if (c == 0xFFFF) break;
      out += c;
    }
    return out;
  }
  qvn::Text Rest() { return TextPiece(SIZE_MAX); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Stops the run loudly: the replay driver and libFuzzer both report an abort.
#define QVN_FUZZ_CHECK(cond)                                              \
  do {                                                                    \
    if (!(cond)) {                                                        \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                       \
    }                                                                     \
  } while (0)

}  // namespace qvn_fuzz

#endif  // QVN_FUZZ_FUZZ_INPUT_H_
