#include "transfer/file_sections.h"

#include <algorithm>
#include <iterator>

#include "base/text.h"
#include "codecs/value_list.h"
#include "text/letter_case.h"
#include "text/replace_text.h"

namespace qvn {
namespace {

bool IsAllBlank(TextView line) { return std::all_of(line.begin(), line.end(), IsBlank); }

bool BeginsWithHeader(TextView u) {
  for (const char16_t* header : kFileSectionHeaders) {
    if (u.starts_with(header)) return true;
  }
  return false;
}

struct SectionForm {
  TransferDirection direction;
  FileSectionKind kind;
  const char16_t* separator;
  const char16_t* prefix;
};

constexpr SectionForm kSectionForms[] = {
    {TransferDirection::kUpload, FileSectionKind::kFiles, u",..\\", u"..\\"},
    {TransferDirection::kDownload, FileSectionKind::kFiles, u",..\\", u"..\\"},
    {TransferDirection::kUpload, FileSectionKind::kContent, u",.@\\", u".@\\"},
    {TransferDirection::kDownload, FileSectionKind::kContent, u",.@\\", u".@\\"},
};
static_assert(std::size(kSectionForms) == std::size(kFileSectionHeaders));

// The section a file-section list line opens, or null.
const SectionForm* SectionOf(TextView line) {
  Text h = UpperTrim(line);
  h = CollapseText(h, u"  ", u" ");
  h = CollapseText(h, u"  [", u" [");
  h = CollapseText(h, u"[ ", u"[");
  h = CollapseText(h, u"] ", u"]");
  h = CollapseText(h, u" ]", u"]");
  for (size_t s = 0; s < std::size(kSectionForms); ++s) {
    if (TextView(h).starts_with(kFileSectionHeaders[s])) return &kSectionForms[s];
  }
  return nullptr;
}

// Adds the entry of one line to out; true when the line closes the section.
bool ReadEntry(const Text& line, const SectionForm& form, std::vector<FileEntry>& out) {
  if (IsAllBlank(line)) return false;
  const Text pre = form.prefix;
  Text entry = CollapseText(line, u" " + pre, pre);
  entry = CollapseText(entry, pre + u" ", pre);
  entry = CollapseText(entry, u" {", u"{");
  entry = CollapseText(entry, u"} ", u"}");

  bool section_ends = false;
  if (!entry.empty() && entry.back() == u'}') {
    entry.pop_back();
    section_ends = true;
    if (entry.empty()) return true;  // a lone "}" only closes the section
  }
  if (!entry.empty() && entry.front() == u'{') entry.erase(0, 1);
  out.push_back({form.direction, form.kind, Trim(ValueFromString(entry, 0, form.separator)),
                 pre + Trim(ValueFromString(entry, 1, form.separator))});
  return section_ends;
}

}  // namespace

bool IsFileSectionHeader(TextView line) {
  return BeginsWithHeader(UpperTrim(CollapseText(Trim(line), u"  ", u" ")));
}

void TidyScriptLines(std::vector<Text>& script_lines) {
  std::vector<Text> lines = SplitLines(Trim(JoinLines(script_lines)));
  // Kept lines are compacted in one pass: erasing one at a time is quadratic.
  size_t kept = 0;
  for (Text& raw : lines) {
    Text line = Trim(raw);
    if (!line.empty() && line[0] != u'/') lines[kept++] = std::move(line);
  }
  lines.resize(kept);
  Text text = JoinLines(lines);
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
    if (!IsFileSectionHeader(script_lines[k])) continue;
    for (size_t i = k; i < count; ++i) {
      Text line = std::move(script_lines[i]);
      script_lines[i].clear();
      bool closes = !line.empty() && line.back() == u'}';
      file_sections.push_back(std::move(line));
      if (closes) break;
    }
  }
  std::erase_if(script_lines, [](const Text& line) { return IsAllBlank(line); });
}

void SplitFileSections(std::vector<Text>& script_lines, std::vector<Text>& file_sections) {
  TidyScriptLines(script_lines);
  ExtractFileSections(script_lines, file_sections);
}

std::vector<FileEntry> ListFileEntries(const std::vector<Text>& file_sections) {
  std::vector<FileEntry> entries;
  const size_t count = file_sections.size();
  // Every line is tested as a header, entry lines too: a section without its
  // "}" runs into the next header, whose entries then come twice.
  for (size_t i = 1; i < count; ++i) {
    const SectionForm* form = SectionOf(file_sections[i]);
    if (form == nullptr) continue;
    for (size_t j = i + 1; j < count; ++j) {
      if (ReadEntry(file_sections[j], *form, entries)) break;
    }
  }
  return entries;
}

std::vector<FileEntry> ListScriptFileEntries(TextView script) {
  std::vector<Text> lines = SplitLines(script);
  std::vector<Text> file_sections;
  SplitFileSections(lines, file_sections);
  return ListFileEntries(file_sections);
}

}  // namespace qvn
