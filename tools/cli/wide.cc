#include "wide.h"

namespace qvn_cli {

Wide FromUtf8(std::string_view s) {
  Wide out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    auto cont = [&](size_t k) {
      return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    };
    auto bits = [&](size_t k) { return static_cast<uint32_t>(s[i + k]) & 0x3F; };
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c < 0xE0 && cont(1)) {
      cp = ((c & 0x1Fu) << 6) | bits(1);
      len = 2;
    } else if (c >= 0xE0 && c < 0xF0 && cont(1) && cont(2)) {
      cp = ((c & 0x0Fu) << 12) | (bits(1) << 6) | bits(2);
      len = 3;
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    } else if (c >= 0xF0 && c < 0xF5 && cont(1) && cont(2) && cont(3)) {
      cp = ((c & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
      len = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) cp = 0xFFFD;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

Wide TakeResult(qvn_char* result) {
  Wide out;
  if (result != nullptr) {
    for (size_t i = 0; result[i] != 0; ++i) out.push_back(static_cast<char16_t>(result[i]));
  }
  ScriptFree(result);
  return out;
}

std::string ForTerminal(std::u16string_view s) {
  std::string utf8 = ToUtf8(s);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
    } else {
      out.push_back(utf8[i]);
    }
  }
  return out;
}

}  // namespace qvn_cli
