#include "script_checks.h"

#include <cstdio>
#include <vector>

#include "transfer/file_sections.h"

namespace qvn_cli {

int WarnAboutFileEntries(const Wide& script) {
  int warnings = 0;
  // Lines that begin with "/" are comments to the library, even inside a
  // file section, where they look like absolute paths.
  std::vector<Wide> lines = qvn::SplitLines(script);
  bool inside = false;
  for (size_t n = 0; n < lines.size(); ++n) {
    Wide line = qvn::Trim(lines[n]);
    if (!inside) {
      inside = qvn::IsFileSectionHeader(line) && !line.ends_with(u"}");
      continue;
    }
    if (line.size() > 1 && line[0] == u'/' && !qvn::IsBlank(line[1]) && line[1] != u'/') {
      std::fprintf(stderr,
                   "qvn: warning: line %zu, '%s': a line that begins with '/' is a comment, so this "
                   "entry is not transferred; write the path relative to the folder qvn runs in, or "
                   "put it directly after the section's '{'\n",
                   n + 1, ToUtf8(line).c_str());
      ++warnings;
    } else if (line.ends_with(u"}")) {
      inside = false;
    }
  }
  // The library splits an entry at ",..\" (",.@\" in CONTENT sections): an
  // entry without it has no server name, only a prefix.
  for (const qvn::FileEntry& e : qvn::ListScriptFileEntries(script)) {
    if (e.server_file.size() > 3) continue;
    const char* prefix = e.kind == qvn::FileSectionKind::kFiles ? "..\\" : ".@\\";
    std::fprintf(stderr,
                 "qvn: warning: file entry '%s' has no server name the library can use: write "
                 "LOCAL,%sFOLDER\\NAME, with a backslash after '%.2s'\n",
                 ToUtf8(e.client_file).c_str(), prefix, prefix);
    ++warnings;
  }
  return warnings;
}

}  // namespace qvn_cli
