// Searching a text for a pattern in linear time, exactly or ignoring letter
// case, for the value lists and for replacing (text/replace_text.h). Portable:
// the upper-case table is the caller's.
#ifndef QVN_BASE_TEXT_SEARCH_H_
#define QVN_BASE_TEXT_SEARCH_H_

#include <cstddef>
#include <utility>
#include <vector>

#include "base/text.h"

namespace qvn {

inline constexpr size_t kNotFound = TextView::npos;

// An upper-case table (65,536 entries) and, for matching that ignores letter
// case, which code units share an upper-case form. The table is the caller's
// and must outlive the index (the system's one: text/letter_case.h).
class CaseIndex {
 public:
  explicit CaseIndex(const char16_t* upper);

  const char16_t* upper() const { return upper_; }

  // Writes the code units whose upper-case form is u into out[0..max) and
  // returns how many there are (possibly more than max).
  size_t UnitsWithUpper(char16_t u, char16_t* out, size_t max) const;

 private:
  const char16_t* upper_;
  std::vector<std::pair<char16_t, char16_t>> changed_;  // (upper case, unit), sorted
};

// Successive occurrences of a pattern in a text, for start positions that
// never decrease: Knuth-Morris-Pratt, so the whole search stays linear however
// the occurrences overlap, with a vectorised scan for the pattern's first unit.
// With a case index, text units are compared through its upper-case table
// (the pattern is given upper-cased); without one, exactly.
class Finder {
 public:
  Finder(TextView text, TextView keys, const CaseIndex* cases);

  // Start of the first occurrence at or after `from`, or kNotFound.
  size_t Next(size_t from);

 private:
  char16_t Key(size_t i) const { return map_ == nullptr ? text_[i] : map_[text_[i]]; }
  size_t ScanFirst(size_t from) const;

  TextView text_, keys_;
  const char16_t* map_;  // the index's upper-case table, or none
  std::vector<size_t> fail_;  // fail_[k]: longest proper border of keys_[0..k)
  char16_t first_[4] = {};
  size_t first_count_ = 0;
  size_t pos_ = 0;    // next text unit to read
  size_t state_ = 0;  // units of keys_ matched just before pos_
};

}  // namespace qvn

#endif  // QVN_BASE_TEXT_SEARCH_H_
