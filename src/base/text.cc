#include "base/text.h"

#include <utility>

#include "base/text_search.h"
#include "platform/case_map.h"
#include "platform/memory_hint.h"

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

TextView TrimView(TextView text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

void TrimInPlace(Text& text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  text.resize(end);
  size_t begin = 0;
  while (begin < end && IsBlank(text[begin])) ++begin;
  if (begin > 0) text.erase(0, begin);
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

Text ReplaceText(TextView text, TextView pattern, TextView replacement) {
  if (pattern.empty()) return Text(text);
  const Text keys = UpperCase(pattern);
  Finder find(text, keys, Cases().upper());
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

std::vector<Text> SplitLines(TextView text) {
  size_t nul = text.find(u'\0');
  if (nul != TextView::npos) text = text.substr(0, nul);
  std::vector<Text> lines;
  size_t start = 0;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
      start = i + 1;
    }
  }
  if (start < n) lines.emplace_back(text.substr(start));
  return lines;
}

Text JoinLines(const std::vector<Text>& lines) {
  size_t total = 0;
  for (const Text& l : lines) total += l.size() + 2;
  Text out;
  out.reserve(total);
  for (const Text& l : lines) {
    out += l;
    out += u"\r\n";
  }
  return out;
}

std::string TextToUtf8(TextView text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

Text Utf8ToText(std::string_view s) {
  Text out;
  out.reserve(s.size());
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    uint8_t b = static_cast<uint8_t>(s[i]);
    uint32_t c;
    size_t len;
    if (b < 0x80) {
      c = b;
      len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      len = 4;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    bool ok = i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      uint8_t cb = static_cast<uint8_t>(s[i + k]);
      if ((cb & 0xC0) != 0x80) ok = false;
      else c = (c << 6) | (cb & 0x3F);
    }
    static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += len;
  }
  return out;
}

Text Latin1ToText(std::string_view s) {
  Text out(s.size(), u'\0');
  for (size_t i = 0; i < s.size(); ++i) out[i] = static_cast<uint8_t>(s[i]);
  return out;
}

Text DecimalText(int64_t value) {
  if (value < 0) {
    // Negate as unsigned so INT64_MIN is written right.
    Text out = UnsignedDecimalText(0 - static_cast<uint64_t>(value));
    out.insert(out.begin(), u'-');  // (operator+ here trips a false GCC 12 -Wrestrict)
    return out;
  }
  return UnsignedDecimalText(static_cast<uint64_t>(value));
}

Text UnsignedDecimalText(uint64_t value) {
  char16_t buf[24];
  size_t pos = sizeof(buf) / sizeof(buf[0]);
  do {
    buf[--pos] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  return Text(buf + pos, buf + sizeof(buf) / sizeof(buf[0]));
}

}  // namespace qvn
