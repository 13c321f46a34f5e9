// Counted UTF-16 text, the library's own string, and the few helpers every
// subsystem shares: blanks, trimming, line lists, UTF-8 conversion and
// decimals. All O(n). Letter case and replacing, which follow the system's
// case mapping, are text/letter_case.h and text/replace_text.h.
#ifndef QVN_BASE_TEXT_H_
#define QVN_BASE_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvn {

using Text = std::u16string;
using TextView = std::u16string_view;
using Bytes = std::vector<uint8_t>;

// Any code unit up to U+0020 is a blank (space, TAB, CR, LF, NUL, controls).
inline bool IsBlank(char16_t c) { return c <= 0x20; }

// Removes every leading and trailing blank. TrimView points into `text`.
TextView TrimView(TextView text);
inline Text Trim(TextView text) { return Text(TrimView(text)); }
// Trim without a copy when nothing leads: trailing blanks cost only their count.
void TrimInPlace(Text& text);

// Splits at CR LF, a lone CR or a lone LF. The text ends at its first NUL; an
// empty text has no lines; a final line break starts no extra line.
std::vector<Text> SplitLines(TextView text);

// Every line followed by CR LF, the last one included.
Text JoinLines(const std::vector<Text>& lines);

// UTF-8 <-> UTF-16. Unpaired surrogates become U+FFFD on the way to UTF-8;
// invalid UTF-8 sequences become U+FFFD on the way back.
std::string TextToUtf8(TextView text);
Text Utf8ToText(std::string_view utf8);

// True when a surrogate code unit stands without its partner (no UTF-8 form).
bool HasLoneSurrogate(TextView text);

// ASCII or Latin-1 literal to text, one code unit per byte.
Text Latin1ToText(std::string_view s);

// Signed decimal without leading zeros, as the server's requests write numbers.
Text DecimalText(int64_t value);
Text UnsignedDecimalText(uint64_t value);

}  // namespace qvn

#endif  // QVN_BASE_TEXT_H_
