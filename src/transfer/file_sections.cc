#include "transfer/file_sections.h"

#include "base/text.h"

namespace qvn {
namespace {

bool BeginsWithHeader(const Text& u) {
  for (const char16_t* header : kFileSectionHeaders) {
    if (TextView(u).starts_with(header)) return true;
  }
  return false;
}

}  // namespace

void TidyScriptLines(std::vector<Text>& script_lines) {
  script_lines = SplitLines(Trim(JoinLines(script_lines)));
  for (size_t i = script_lines.size(); i-- > 0;) {
    Text line = Trim(script_lines[i]);
    if (line.empty() || line[0] == u'/') {
      script_lines.erase(script_lines.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      script_lines[i] = std::move(line);
    }
  }
  Text text = JoinLines(script_lines);
  text = CollapseText(text, u"[ ", u"[");
  text = CollapseText(text, u" ]", u"]");
  text = CollapseText(text, u"{\r\n", u"{");
  text = CollapseText(text, u"\r\n}", u"}");
  script_lines = SplitLines(text);
}

void ExtractFileSections(std::vector<Text>& script_lines, std::vector<Text>& file_sections) {
  file_sections.clear();
  if (script_lines.empty()) return;
  file_sections.push_back(script_lines[0]);
  const size_t count = script_lines.size();
  for (size_t k = 0; k < count; ++k) {
    Text u = UpperTrim(CollapseText(Trim(script_lines[k]), u"  ", u" "));
    if (!BeginsWithHeader(u)) continue;
    for (size_t i = k; i < count; ++i) {
      Text line = std::move(script_lines[i]);
      script_lines[i].clear();
      bool closes = !line.empty() && line.back() == u'}';
      file_sections.push_back(std::move(line));
      if (closes) break;
    }
  }
  for (size_t i = script_lines.size(); i-- > 0;) {
    if (Trim(script_lines[i]).empty())
      script_lines.erase(script_lines.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void SplitFileSections(std::vector<Text>& script_lines, std::vector<Text>& file_sections) {
  TidyScriptLines(script_lines);
  ExtractFileSections(script_lines, file_sections);
}

}  // namespace qvn
