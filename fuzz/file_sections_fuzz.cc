// Script tidying and file-section extraction: any script splits without
// fault, every line ends up in exactly one of the two parts, and the
// sections begin with the script's line 0.
#include <vector>

#include "base/text.h"
#include "transfer/file_sections.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qvn_fuzz::FuzzInput in(data, size);
  std::vector<qvn::Text> lines = qvn::SplitLines(in.Rest());
  std::vector<qvn::Text> tidied = lines;
  qvn::TidyScriptLines(tidied);
  for (const qvn::Text& line : tidied) QVN_FUZZ_CHECK(!line.empty() && line[0] != u'/');

  std::vector<qvn::Text> script = tidied, sections;
  qvn::ExtractFileSections(script, sections);
  if (!sections.empty()) {
    QVN_FUZZ_CHECK(!tidied.empty() && sections[0] == tidied[0]);
    QVN_FUZZ_CHECK(script.size() + sections.size() - 1 == tidied.size());
  } else {
    QVN_FUZZ_CHECK(script.size() == tidied.size());
  }

  std::vector<qvn::Text> whole = lines, whole_sections;
  qvn::SplitFileSections(whole, whole_sections);
  QVN_FUZZ_CHECK(whole == script && whole_sections == sections);
  return 0;
}
