#include "text/replace_text.h"

#include <utility>

#include "base/text_search.h"
#include "platform/memory_hint.h"
#include "text/letter_case.h"

namespace qvn {
namespace {

// True when matching the pattern with letter case ignored finds exactly what
// matching it exactly finds: each unit is its own upper case, and no other.
bool CaseFree(TextView pattern) {
  const CaseIndex& cases = Cases();
  for (char16_t p : pattern) {
    if (p < 0x80 && !((p | 0x20) >= u'a' && (p | 0x20) <= u'z')) continue;  // no case
    char16_t units[2];
    if (cases.upper()[p] != p || cases.UnitsWithUpper(p, units, 2) != 1) return false;
  }
  return true;
}

// Rewrites occurrences of the pattern until none is left, reading the text
// once. The output never holds the pattern, so a new occurrence can only end
// at the unit just added, and only when that is the pattern's last unit: the
// text up to the next such unit is copied at once. A replacement is fed back
// through the same check. Each rewrite shortens the text, so there are at
// most n of them.
Text RewriteToEnd(TextView text, TextView pattern, TextView replacement) {
  const size_t l = pattern.size();
  const char16_t last = pattern.back();
  Text out;
  out.reserve(text.size());
  Text pending;  // units to add before the rest of the text, last one first
  size_t next = 0;
  for (;;) {
    if (!pending.empty()) {
      out.push_back(pending.back());
      pending.pop_back();
    } else if (next < text.size()) {
      const size_t stop = text.find(last, next);
      if (stop == TextView::npos) {
        out.append(text.substr(next));
        return out;
      }
      out.append(text.substr(next, stop + 1 - next));
      next = stop + 1;
    } else {
      return out;
    }
    if (out.back() == last && out.size() >= l && TextView(out).substr(out.size() - l) == pattern) {
      out.resize(out.size() - l);
      pending.append(replacement.rbegin(), replacement.rend());
    }
  }
}

// Whether every order of rewriting ends in the same text (so the one above
// equals pass after pass): the rule's self-overlaps, its critical pairs,
// must each come to one text.
bool RewritesInAnyOrderAgree(TextView pattern, TextView replacement) {
  const size_t l = pattern.size();
  for (size_t k = 1; k < l; ++k) {
    if (pattern.substr(0, k) != pattern.substr(l - k)) continue;
    const Text left = Text(replacement) + Text(pattern.substr(k));
    const Text right = Text(pattern.substr(0, l - k)) + Text(replacement);
    if (RewriteToEnd(left, pattern, replacement) != RewriteToEnd(right, pattern, replacement)) {
      return false;
    }
  }
  return true;
}

}  // namespace

Text ReplaceText(TextView text, TextView pattern, TextView replacement) {
  if (pattern.empty()) return Text(text);
  const Text keys = UpperCase(pattern);
  Finder find(text, keys, &Cases());
  Text out;
  size_t last = 0;
  size_t p = find.Next(0);
  if (p == kNotFound) return Text(text);
  out.reserve(text.size() + replacement.size());
  platform::HintLargeWrite(out.data(), out.capacity() * sizeof(char16_t));
  while (p != kNotFound) {
    out.append(text.substr(last, p - last));
    out.append(replacement);
    last = p + pattern.size();
    p = find.Next(last);
  }
  out.append(text.substr(last));
  return out;
}

Text CollapseText(TextView text, TextView pattern, TextView replacement) {
  const TextView trimmed = TrimView(text);
  if (pattern.empty()) return Text(trimmed);
  // The pairs the library tidies with ("  " into " ", " ]" into "]"...) are
  // rewritten in one reading; pass after pass would cost a pass per blank.
  if (replacement.size() < pattern.size() && CaseFree(pattern) &&
      RewritesInAnyOrderAgree(pattern, replacement)) {
    return RewriteToEnd(trimmed, pattern, replacement);
  }
  Text t(trimmed);
  while (Finder(t, pattern, nullptr).Next(0) != kNotFound) {
    Text next = ReplaceText(t, pattern, replacement);
    // A pass that does not shorten the text would repeat for ever (or grow it
    // without end); such a pair gets its one pass and no more.
    const bool shorter = next.size() < t.size();
    t = std::move(next);
    if (!shorter) break;
  }
  return t;
}

}  // namespace qvn
