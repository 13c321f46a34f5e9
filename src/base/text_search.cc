#include "base/text_search.h"

#include <algorithm>

#include "base/simd.h"

namespace qvn {
namespace {

// First i in [from, n) with s[i] one of set[0..k), k in 1..4; n when none.
size_t FindAnyOf(const char16_t* s, size_t from, size_t n, const char16_t* set, size_t k) {
  size_t i = from;
#if QVN_SIMD_SSE2
  __m128i v[4];
  for (size_t j = 0; j < 4; ++j) v[j] = _mm_set1_epi16(static_cast<short>(set[j < k ? j : 0]));
  for (; i + 16 <= n; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8));
    __m128i ma = _mm_cmpeq_epi16(a, v[0]), mb = _mm_cmpeq_epi16(b, v[0]);
    for (size_t j = 1; j < k; ++j) {
      ma = _mm_or_si128(ma, _mm_cmpeq_epi16(a, v[j]));
      mb = _mm_or_si128(mb, _mm_cmpeq_epi16(b, v[j]));
    }
    unsigned m = static_cast<unsigned>(_mm_movemask_epi8(ma)) |
                 (static_cast<unsigned>(_mm_movemask_epi8(mb)) << 16);
    if (m != 0) return i + (static_cast<unsigned>(__builtin_ctz(m)) >> 1);
  }
#endif
  for (; i < n; ++i) {
    for (size_t j = 0; j < k; ++j) {
      if (s[i] == set[j]) return i;
    }
  }
  return n;
}

}  // namespace

CaseIndex::CaseIndex(const char16_t* upper) : upper_(upper) {
  for (unsigned c = 0; c < 65536; ++c) {
    if (upper_[c] != c) changed_.emplace_back(upper_[c], static_cast<char16_t>(c));
  }
  std::sort(changed_.begin(), changed_.end());
}

size_t CaseIndex::UnitsWithUpper(char16_t u, char16_t* out, size_t max) const {
  size_t count = 0;
  auto put = [&](char16_t c) {
    if (count < max) out[count] = c;
    ++count;
  };
  if (upper_[u] == u) put(u);
  auto it = std::lower_bound(changed_.begin(), changed_.end(), std::make_pair(u, char16_t{0}));
  for (; it != changed_.end() && it->first == u; ++it) put(it->second);
  return count;
}

Finder::Finder(TextView text, TextView keys, const CaseIndex* cases)
    : text_(text), keys_(keys), map_(cases != nullptr ? cases->upper() : nullptr) {
  const size_t l = keys_.size();
  if (l > 1) {
    fail_.assign(l + 1, 0);
    size_t k = 0;
    for (size_t i = 1; i < l; ++i) {
      while (k > 0 && keys_[i] != keys_[k]) k = fail_[k];
      if (keys_[i] == keys_[k]) ++k;
      fail_[i + 1] = k;
    }
  }
  if (cases == nullptr) {
    first_[0] = keys_[0];
    first_count_ = 1;
  } else {
    first_count_ = cases->UnitsWithUpper(keys_[0], first_, 4);
  }
}

size_t Finder::Next(size_t from) {
  const size_t n = text_.size(), l = keys_.size();
  if (from > pos_) {
    pos_ = from;
    state_ = 0;
  } else {
    while (state_ > 0 && pos_ - state_ < from) state_ = fail_[state_];
  }
  for (;;) {
    if (state_ == 0) {
      size_t i = ScanFirst(pos_);
      if (i >= n) {
        pos_ = n;
        return kNotFound;
      }
      pos_ = i + 1;
      state_ = 1;
    } else {
      if (pos_ >= n) return kNotFound;
      const char16_t c = Key(pos_);
      while (state_ > 0 && c != keys_[state_]) state_ = fail_[state_];
      if (c == keys_[state_]) ++state_;
      ++pos_;
    }
    if (state_ == l) {
      state_ = l == 1 ? 0 : fail_[l];
      return pos_ - l;
    }
  }
}

size_t Finder::ScanFirst(size_t from) const {
  const size_t n = text_.size();
  if (first_count_ >= 1 && first_count_ <= 4) {
    return FindAnyOf(text_.data(), from, n, first_, first_count_);
  }
  for (size_t i = from; i < n; ++i) {
    if (Key(i) == keys_[0]) return i;
  }
  return n;
}

}  // namespace qvn
