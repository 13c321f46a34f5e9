#include "codecs/entities.h"

#include <array>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/text.h"
#include "platform/case_map.h"
#include "platform/memory_hint.h"

namespace qvn {
namespace {

struct Entity {
  char16_t ch;
  TextView text;
};

// In encoding order; decoding runs through it backwards.
constexpr std::array<Entity, 8> kEntities = {{
    {u';', u"&#59;"},
    {u'&', u"&amp;"},
    {u',', u"&#44;"},
    {u'\t', u"&tab;"},
    {u'\r', u"&cr;"},
    {u'\n', u"&lf;"},
    {u'{', u"&#123;"},
    {u'}', u"&#125;"},
}};

// The defining form: one ReplaceText pass per entity.
Text EncodeByPasses(TextView text) {
  Text t(text);
  for (const Entity& e : kEntities) t = ReplaceText(t, TextView(&e.ch, 1), e.text);
  return t;
}

Text DecodeByPasses(TextView text) {
  Text t(text);
  for (auto it = kEntities.rbegin(); it != kEntities.rend(); ++it) {
    t = ReplaceText(t, it->text, TextView(&it->ch, 1));
  }
  return t;
}

// The one-pass codecs below give exactly the results of the passes; the
// conditions that make this so depend on the system's case mapping and are
// checked here once.
//
// Encoding: a pass with a one-unit pattern replaces each matching unit on its
// own, so the eight passes together replace every unit u by the eight passes
// applied to u alone. That text is worked out once per unit that any pass
// matches; every other unit stays as it is.
//
// Decoding: every entity starts with '&' and has no other unit that matches
// '&', and only '&' matches '&', so the entities of a text never overlap and
// each starts at an '&'. The characters that passes 1 to 6 produce match no
// unit of any entity, so they form no new entity. Pass 7 produces '&', which
// starts a new "&#59;" for pass 8 exactly where the input had "&amp;"
// directly followed by units matching "#59;". So one left-to-right scan that
// replaces each entity it meets (taking "&amp;#59;" as ';') is the same.
struct Plan {
  const char16_t* upper = nullptr;
  bool one_pass = false;         // decoding
  bool encode_one_pass = false;
  // Units that some encoding pass matches, and what the passes make of them.
  std::vector<uint8_t> encode_slot;  // 65536 entries; 0: unit stays
  std::vector<Text> encoded;         // by slot - 1
  bool encode_specials_are_exact = false;  // the slots are exactly the eight characters
  std::array<Text, 8> keys;                // upper-cased entity texts
  Text amp_tail_keys;                      // "#59;" upper-cased

  Plan() {
    upper = platform::UpperCaseTable();
    encode_slot.assign(65536, 0);
    size_t matched = 0;
    for (unsigned c = 0; c < 65536; ++c) {
      bool hit = false;
      for (const Entity& e : kEntities) hit = hit || upper[c] == upper[e.ch];
      if (!hit) continue;
      ++matched;
      const char16_t unit = static_cast<char16_t>(c);
      encoded.push_back(EncodeByPasses(TextView(&unit, 1)));
      if (encoded.size() > 250) break;  // not a mapping any system has; keep the passes
      encode_slot[c] = static_cast<uint8_t>(encoded.size());
    }
    encode_one_pass = encoded.size() <= 250;
    encode_specials_are_exact = matched == kEntities.size();
    for (const Entity& e : kEntities) {
      encode_specials_are_exact = encode_specials_are_exact && encode_slot[e.ch] != 0;
    }

    const char16_t amp = upper[u'&'];
    bool ok = true;
    for (unsigned c = 0; c < 65536; ++c) ok = ok && (upper[c] != amp || c == u'&');
    for (size_t k = 0; k < kEntities.size(); ++k) {
      keys[k] = UpperCase(kEntities[k].text);
      for (size_t j = 1; j < keys[k].size(); ++j) ok = ok && keys[k][j] != amp;
      ok = ok && keys[k][0] == amp;
    }
    // Characters produced by the passes before the "&amp;" one.
    for (size_t k = 2; k < kEntities.size(); ++k) {
      const char16_t produced = upper[kEntities[k].ch];
      for (const Text& key : keys) {
        for (char16_t u : key) ok = ok && u != produced;
      }
    }
    amp_tail_keys = keys[0].substr(1);
    one_pass = ok;
  }
};

const Plan& GetPlan() {
  static const Plan& plan = *new Plan;  // never destroyed, as it may be used at exit
  return plan;
}

#if defined(__SSE2__)
inline unsigned MaskOf(__m128i x, const __m128i* v, size_t k) {
  __m128i m = _mm_cmpeq_epi16(x, v[0]);
  for (size_t j = 1; j < k; ++j) m = _mm_or_si128(m, _mm_cmpeq_epi16(x, v[j]));
  return static_cast<unsigned>(_mm_movemask_epi8(m));
}
#endif

// First i in [from, n) with s[i] among set[0..k); n when none.
template <size_t K>
size_t FindAny(const char16_t* s, size_t from, size_t n, const std::array<char16_t, K>& set) {
  size_t i = from;
#if defined(__SSE2__)
  __m128i v[K];
  for (size_t j = 0; j < K; ++j) v[j] = _mm_set1_epi16(static_cast<short>(set[j]));
  for (; i + 16 <= n; i += 16) {
    unsigned m = MaskOf(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)), v, K) |
                 (MaskOf(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8)), v, K)
                  << 16);
    if (m != 0) return i + (static_cast<unsigned>(__builtin_ctz(m)) >> 1);
  }
#endif
  for (; i < n; ++i) {
    for (char16_t c : set) {
      if (s[i] == c) return i;
    }
  }
  return n;
}

Text EncodeOnePass(TextView text, const Plan& plan) {
  const char16_t* s = text.data();
  const size_t n = text.size();
  Text out;
  out.reserve(n + n / 8 + 16);
  platform::HintLargeWrite(out.data(), out.capacity() * sizeof(char16_t));
  size_t last = 0;
  auto emit = [&](size_t i) {
    out.append(s + last, i - last);
    out.append(plan.encoded[plan.encode_slot[s[i]] - 1]);
    last = i + 1;
  };
  if (plan.encode_specials_are_exact) {
    std::array<char16_t, 8> set;
    for (size_t k = 0; k < set.size(); ++k) set[k] = kEntities[k].ch;
    for (size_t i = FindAny(s, 0, n, set); i < n; i = FindAny(s, i + 1, n, set)) emit(i);
  } else {
    for (size_t i = 0; i < n; ++i) {
      if (plan.encode_slot[s[i]] != 0) emit(i);
    }
  }
  out.append(s + last, n - last);
  return out;
}

bool MatchesAt(TextView text, size_t i, TextView keys, const char16_t* upper) {
  if (text.size() - i < keys.size()) return false;
  for (size_t j = 0; j < keys.size(); ++j) {
    if (upper[text[i + j]] != keys[j]) return false;
  }
  return true;
}

Text DecodeOnePass(TextView text, const Plan& plan) {
  const char16_t* s = text.data();
  const size_t n = text.size();
  const std::array<char16_t, 1> amp = {u'&'};
  Text out;
  out.reserve(n);
  platform::HintLargeWrite(out.data(), out.capacity() * sizeof(char16_t));
  size_t last = 0;
  for (size_t i = FindAny(s, 0, n, amp); i < n; i = FindAny(s, i, n, amp)) {
    out.append(s + last, i - last);
    // Entities in pass order: the first that matches is the one its pass takes.
    size_t k = kEntities.size();
    while (k-- > 0 && !MatchesAt(text, i, plan.keys[k], plan.upper)) {
    }
    if (k >= kEntities.size()) {
      out += u'&';
      i += 1;
    } else if (k == 1 && MatchesAt(text, i + plan.keys[1].size(), plan.amp_tail_keys, plan.upper)) {
      out += u';';  // "&amp;" gives '&', which with "#59;" is the last pass's entity
      i += plan.keys[1].size() + plan.amp_tail_keys.size();
    } else {
      out += kEntities[k].ch;
      i += plan.keys[k].size();
    }
    last = i;
  }
  out.append(s + last, n - last);
  return out;
}

}  // namespace

Text DataEncode(TextView text) {
  const Plan& plan = GetPlan();
  return plan.encode_one_pass ? EncodeOnePass(text, plan) : EncodeByPasses(text);
}

Text DataDecode(TextView text) {
  if (text.find(u'&') == TextView::npos) return Text(text);
  const Plan& plan = GetPlan();
  return plan.one_pass ? DecodeOnePass(text, plan) : DecodeByPasses(text);
}

}  // namespace qvn
