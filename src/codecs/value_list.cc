#include "codecs/value_list.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/case_map.h"
#include "platform/memory_hint.h"

namespace qvn {
namespace {

constexpr size_t kNone = TextView::npos;

TextView TrimView(TextView t) {
  size_t begin = 0, end = t.size();
  while (begin < end && IsBlank(t[begin])) ++begin;
  while (end > begin && IsBlank(t[end - 1])) --end;
  return t.substr(begin, end - begin);
}

// The upper-case table and, for matching that ignores letter case, which code
// units share an upper-case form.
class CaseIndex {
 public:
  CaseIndex() : upper_(platform::UpperCaseTable()) {
    for (unsigned c = 0; c < 65536; ++c) {
      if (upper_[c] != c) changed_.emplace_back(upper_[c], static_cast<char16_t>(c));
    }
    std::sort(changed_.begin(), changed_.end());
  }

  const char16_t* upper() const { return upper_; }

  // Writes the code units whose upper-case form is u into out[0..max) and
  // returns how many there are (possibly more than max).
  size_t UnitsWithUpper(char16_t u, char16_t* out, size_t max) const {
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

 private:
  const char16_t* upper_;
  std::vector<std::pair<char16_t, char16_t>> changed_;  // (upper case, unit), sorted
};

const CaseIndex& Cases() {
  static const CaseIndex index;
  return index;
}

// First i in [from, n) with s[i] one of set[0..k), k in 1..4; n when none.
size_t FindAnyOf(const char16_t* s, size_t from, size_t n, const char16_t* set, size_t k) {
  size_t i = from;
#if defined(__SSE2__)
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

// Successive occurrences of a pattern in a text, for start positions that
// never decrease: Knuth-Morris-Pratt, so the whole search stays linear however
// the occurrences overlap, with a vectorised scan for the pattern's first unit.
// With a map, text units are compared through it (the pattern is given mapped).
class Finder {
 public:
  Finder(TextView text, TextView keys, const char16_t* map)
      : text_(text), keys_(keys), map_(map) {
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
    if (map_ == nullptr) {
      first_[0] = keys_[0];
      first_count_ = 1;
    } else {
      first_count_ = Cases().UnitsWithUpper(keys_[0], first_, 4);
    }
  }

  // Start of the first occurrence at or after `from`, or kNone.
  size_t Next(size_t from) {
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
          return kNone;
        }
        pos_ = i + 1;
        state_ = 1;
      } else {
        if (pos_ >= n) return kNone;
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

 private:
  char16_t Key(size_t i) const { return map_ == nullptr ? text_[i] : map_[text_[i]]; }

  size_t ScanFirst(size_t from) const {
    const size_t n = text_.size();
    if (first_count_ >= 1 && first_count_ <= 4) {
      return FindAnyOf(text_.data(), from, n, first_, first_count_);
    }
    for (size_t i = from; i < n; ++i) {
      if (Key(i) == keys_[0]) return i;
    }
    return n;
  }

  TextView text_, keys_;
  const char16_t* map_;
  std::vector<size_t> fail_;  // fail_[k]: longest proper border of keys_[0..k)
  char16_t first_[4] = {};
  size_t first_count_ = 0;
  size_t pos_ = 0;    // next text unit to read
  size_t state_ = 0;  // units of keys_ matched just before pos_
};

}  // namespace

Text ValueFromString(TextView text, int32_t index, TextView delimiter) {
  const TextView s = TrimView(text);
  if (s.empty()) return Text();
  if (delimiter.empty()) return Text(s);
  Finder find(s, delimiter, nullptr);
  size_t p = find.Next(0);
  if (p == kNone) return index == 0 ? Text(s) : Text();
  if (index == 0) return Text(s.substr(0, p));
  // A negative index reads as a huge one and runs out of delimiters.
  const auto wanted = static_cast<uint32_t>(index);
  const size_t l = delimiter.size();
  for (uint32_t n = 1;; ++n) {
    // The next search starts one past this occurrence's start, not its end,
    // so overlapping occurrences each end a field.
    if (n == wanted) {
      const size_t start = p + l;
      const size_t q = find.Next(p + 1);
      if (q == kNone) return Text(s.substr(start));
      return q <= start ? Text() : Text(s.substr(start, q - start));
    }
    p = find.Next(p + 1);
    if (p == kNone) return Text();
  }
}

int32_t ValueCount(TextView text, TextView delimiter, bool count_single) {
  const TextView s = TrimView(text);
  if (s.empty() || delimiter.empty()) return 0;
  Finder find(s, delimiter, nullptr);
  size_t p = find.Next(0);
  if (p == kNone) return count_single ? 1 : 0;
  int64_t count = 1;
  while (p != kNone) {
    ++count;
    p = find.Next(p + delimiter.size());
  }
  return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

Text ReplaceText(TextView text, TextView pattern, TextView replacement) {
  if (pattern.empty()) return Text(text);
  const Text keys = UpperCase(pattern);
  Finder find(text, keys, Cases().upper());
  Text out;
  size_t last = 0;
  size_t p = find.Next(0);
  if (p == kNone) return Text(text);
  out.reserve(text.size() + replacement.size());
  platform::HintLargeWrite(out.data(), out.capacity() * sizeof(char16_t));
  while (p != kNone) {
    out.append(text.substr(last, p - last));
    out.append(replacement);
    last = p + pattern.size();
    p = find.Next(last);
  }
  out.append(text.substr(last));
  return out;
}

Text CollapseText(TextView text, TextView pattern, TextView replacement) {
  Text t = Trim(text);
  if (pattern.empty()) return t;
  while (Finder(t, pattern, nullptr).Next(0) != kNone) {
    Text next = ReplaceText(t, pattern, replacement);
    // A pass that does not shorten the text would repeat for ever (or grow it
    // without end); such a pair gets its one pass and no more.
    const bool shorter = next.size() < t.size();
    t = std::move(next);
    if (!shorter) break;
  }
  return t;
}

Text UpperTrim(TextView text) { return UpperCase(TrimView(text)); }

Text UpperCase(TextView text) {
  const char16_t* upper = platform::UpperCaseTable();
  Text out;
  out.reserve(text.size());
  platform::HintLargeWrite(out.data(), out.capacity() * sizeof(char16_t));
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) out[i] = upper[text[i]];
  return out;
}

}  // namespace qvn
