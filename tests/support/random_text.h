// Texts drawn from a small alphabet, for the tests that compare a fast path
// with its definition on many generated inputs.
#ifndef QVN_TESTS_SUPPORT_RANDOM_TEXT_H_
#define QVN_TESTS_SUPPORT_RANDOM_TEXT_H_

#include <random>

#include "base/text.h"

namespace qvn::testing {

// Up to max_len units, each one of `alphabet`.
inline Text RandomText(std::mt19937& rng, const Text& alphabet, size_t max_len) {
  Text t(rng() % (max_len + 1), u'\0');
  for (auto& c : t) c = alphabet[rng() % alphabet.size()];
  return t;
}

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_RANDOM_TEXT_H_
