#include "sections.h"

#include <sys/stat.h>

namespace qvn_cli {
namespace {

bool Blank(char16_t c) { return c <= 0x20; }

Wide Trim(std::u16string_view t) {
  size_t b = 0, e = t.size();
  while (b < e && Blank(t[b])) ++b;
  while (e > b && Blank(t[e - 1])) --e;
  return Wide(t.substr(b, e - b));
}

// The patterns below hold no letters, so ASCII folding matches the library.
Wide Upper(std::u16string_view t) {
  Wide out(t);
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return out;
}

Wide ReplaceAll(const Wide& t, const Wide& pattern, const Wide& by) {
  Wide out;
  size_t start = 0;
  for (;;) {
    size_t k = t.find(pattern, start);
    if (k == Wide::npos) break;
    out += t.substr(start, k - start);
    out += by;
    start = k + pattern.size();
  }
  return out + t.substr(start);
}

Wide Collapse(std::u16string_view t, const Wide& pattern, const Wide& by) {
  Wide s = Trim(t);
  while (s.find(pattern) != Wide::npos) s = ReplaceAll(s, pattern, by);
  return s;
}

std::vector<Wide> Lines(std::u16string_view t) {
  std::vector<Wide> out;
  size_t nul = t.find(u'\0');
  if (nul != std::u16string_view::npos) t = t.substr(0, nul);
  size_t start = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == u'\r' || t[i] == u'\n') {
      out.emplace_back(t.substr(start, i - start));
      if (t[i] == u'\r' && i + 1 < t.size() && t[i + 1] == u'\n') ++i;
      start = i + 1;
    }
  }
  if (start < t.size()) out.emplace_back(t.substr(start));
  return out;
}

Wide Join(const std::vector<Wide>& lines) {
  Wide out;
  for (const Wide& l : lines) out += l + u"\r\n";
  return out;
}

bool StartsWith(const Wide& t, std::u16string_view p) { return t.compare(0, p.size(), p) == 0; }

const std::u16string_view kHeaders[] = {u"FILES [UPLOAD]", u"FILES [DOWNLOAD]",
                                        u"CONTENT [UPLOAD]", u"CONTENT [DOWNLOAD]"};

// -1 when the path is not a regular file.
long long RegularFileSize(const Wide& path) {
  struct stat st{};
  if (::stat(ToUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

// Field `index` (0 or 1) of the text split at sep.
Wide Field(const Wide& text, int index, const Wide& sep) {
  Wide s = Trim(text);
  size_t first = s.find(sep);
  if (index == 0) return first == Wide::npos ? s : s.substr(0, first);
  if (first == Wide::npos) return Wide();
  size_t second = s.find(sep, first + 1);
  size_t from = first + sep.size();
  if (second == Wide::npos) return s.substr(from);
  return second <= from ? Wide() : s.substr(from, second - from);
}

}  // namespace

std::vector<Transfer> ExpectedTransfers(const Wide& script) {
  // Tidying: trimmed script, trimmed lines, no blank or "/" lines, brackets
  // and braces pulled together.
  std::vector<Wide> lines;
  for (const Wide& raw : Lines(Trim(script))) {
    Wide l = Trim(raw);
    if (!l.empty() && l[0] != u'/') lines.push_back(l);
  }
  Wide text = Join(lines);
  text = Collapse(text, u"[ ", u"[");
  text = Collapse(text, u" ]", u"]");
  text = Collapse(text, u"{\r\n", u"{");
  text = Collapse(text, u"\r\n}", u"}");
  lines = Lines(text);

  // The sections, with the credentials line first.
  std::vector<Wide> files;
  if (lines.empty()) return {};
  files.push_back(lines[0]);
  for (size_t k = 0; k < lines.size(); ++k) {
    Wide u = Upper(Trim(Collapse(Trim(lines[k]), u"  ", u" ")));
    bool header = false;
    for (auto h : kHeaders) header = header || StartsWith(u, h);
    if (!header) continue;
    for (size_t i = k; i < lines.size(); ++i) {
      files.push_back(lines[i]);
      bool end = !lines[i].empty() && lines[i].back() == u'}';
      lines[i].clear();
      if (end) break;
    }
  }

  // What the transfer thread does with them.
  std::vector<Transfer> out;
  for (size_t i = 1; i < files.size(); ++i) {
    Wide h = Upper(Trim(files[i]));
    h = Collapse(h, u"  ", u" ");
    h = Collapse(h, u"  [", u" [");
    h = Collapse(h, u"[ ", u"[");
    h = Collapse(h, u"] ", u"]");
    h = Collapse(h, u" ]", u"]");
    int which = -1;
    for (int n = 0; n < 4; ++n) {
      if (StartsWith(h, kHeaders[n])) {
        which = n;
        break;
      }
    }
    if (which < 0) continue;
    bool upload = which == 0 || which == 2;
    Wide pre = which < 2 ? Wide(u"..\\") : Wide(u".@\\");
    Wide sep = u"," + pre;
    for (size_t j = i + 1; j < files.size(); ++j) {
      if (Trim(files[j]).empty()) continue;
      Wide e = Collapse(files[j], u" " + pre, pre);
      e = Collapse(e, pre + u" ", pre);
      e = Collapse(e, u" {", u"{");
      e = Collapse(e, u"} ", u"}");
      bool end = false;
      if (!e.empty() && e.back() == u'}') {
        e.pop_back();
        end = true;
        if (e.empty()) break;
      }
      if (!e.empty() && e[0] == u'{') e.erase(0, 1);
      Transfer t;
      t.upload = upload;
      t.client = Trim(Field(e, 0, sep));
      t.server = pre + Trim(Field(e, 1, sep));
      long long size = upload ? RegularFileSize(t.client) : 0;
      t.silent = upload && size == 0;
      if (size >= 0) out.push_back(t);
      if (end) break;
    }
  }
  return out;
}

}  // namespace qvn_cli
