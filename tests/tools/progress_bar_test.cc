// The CLI's progress bar line: it fits the terminal at every width, and what
// gives way first when it does not.
#include "progress_bar.h"

#include <string>

#include <gtest/gtest.h>

namespace qvn_cli {
namespace {

TEST(ProgressBarTest, DisplayColumnsAndShortening) {
  struct Case {
    std::string text;
    int columns;      // DisplayColumns(text)
    int fit;          // shortened to this many columns
    std::string out;  // ShortenMiddle(text, fit)
  } cases[] = {
      {"abcdefghij", 10, 10, "abcdefghij"},
      {"abcdefghij", 10, 5, "ab\u2026ij"},
      {"abcdefghij", 10, 4, "ab\u2026j"},
      {"abcdefghij", 10, 1, "\u2026"},
      {"abcdefghij", 10, 0, ""},
      // Wide letters take two columns; one left over at the start goes to the end.
      {"\u65e5\u672c\u8a9e\u30d5\u30a1\u30a4\u30eb.bin", 18, 6, "\u65e5\u2026bin"},
      {"\u65e5\u672c\u8a9e\u30d5\u30a1\u30a4\u30eb", 14, 6, "\u65e5\u2026\u30eb"},
      {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 6, 4, "\xF0\x9F\x98\x80\u2026"},
      // A combining mark adds nothing, and goes with its letter when that is cut.
      {"e\u0301e\u0301e\u0301e\u0301e\u0301", 5, 3, "e\u0301\u2026e\u0301"},
      {"abcde\u0301fg", 7, 5, "ab\u2026fg"},
      // A byte that is no UTF-8 is one column of its own.
      {"ab\xFF" "cdef", 7, 6, "ab\xFF\u2026ef"},
      {"\xE6\x97", 2, 2, "\xE6\x97"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DisplayColumns(c.text), c.columns) << c.text;
    std::string out = ShortenMiddle(c.text, c.fit);
    EXPECT_EQ(out, c.out) << c.text << " in " << c.fit;
    EXPECT_LE(DisplayColumns(out), c.fit) << c.text;
  }
}

TEST(ProgressBarTest, LineFitsEveryWidth) {
  const std::string long_names =
      "reports/2026/quarterly-figures-final-really-final.csv -> ..\\archive\\2026\\figures.csv";
  const std::string wide_names = "\u5e74\u5ea6\u5831\u544a\u66f8\u30c7\u30fc\u30bf.bin -> "
                                 "..\\\u4fdd\u5b58\\\u5e74\u5ea6\u5831\u544a\u66f8.bin";
  const std::string kCut = "\u2026";
  struct Case {
    std::string names;
    int columns;
    bool bar, sizes;
    std::string shows;  // the names whole, or kCut: shortened in the middle
  } cases[] = {
      {"a.bin -> ..\\a.bin", 200, true, true, "a.bin -> ..\\a.bin"},
      {long_names, 200, true, true, long_names},
      {wide_names, 200, true, true, wide_names},
      {"a.bin -> ..\\a.bin", 80, true, true, "a.bin -> ..\\a.bin"},
      {long_names, 80, true, true, kCut},
      {wide_names, 80, true, true, kCut},
      {"a.bin -> ..\\a.bin", 40, false, false, "a.bin -> ..\\a.bin"},
      {long_names, 40, false, false, kCut},
      {wide_names, 40, false, false, kCut},
      {long_names, 20, false, false, ""},
      {wide_names, 20, false, false, ""},
      // A control character in a name never reaches the terminal.
      {"a\x1b[2Jb -> ..\\c", 80, true, true, "a?[2Jb -> ..\\c"},
  };
  for (const Case& c : cases) {
    const BarState state{true, 400 << 20, 168 << 20, c.names};
    const std::string line = BarLine(state, c.columns);
    const std::string what = c.names + " at " + std::to_string(c.columns) + ": " + line;
    EXPECT_LE(DisplayColumns(line), c.columns - 1) << what;
    EXPECT_TRUE(line.starts_with(c.bar ? "upload   [" : "upload    42.00%")) << what;
    EXPECT_NE(line.find(" 42.00%"), std::string::npos) << what;
    EXPECT_EQ(line.find("168.0 MiB / 400.0 MiB") != std::string::npos, c.sizes) << what;
    EXPECT_NE(line.find(c.shows), std::string::npos) << what;
    if (c.shows == kCut) {
      // The client's name begins the rest, the server's ends it.
      EXPECT_NE(line.find("  " + c.names.substr(0, 3)), std::string::npos) << what;
      EXPECT_TRUE(line.ends_with(c.names.substr(c.names.size() - 4))) << what;
    }
    if (c.shows.empty()) {
      EXPECT_EQ(line, "upload    42.00%") << what;
    }
  }
  // Every width, down to none at all.
  for (int columns = 0; columns <= 120; ++columns) {
    for (const std::string& names : {long_names, wide_names}) {
      const std::string line = BarLine({false, 1 << 20, 1 << 19, names}, columns);
      EXPECT_LE(DisplayColumns(line), std::max(columns - 1, 0)) << columns << ": " << line;
    }
  }
}

}  // namespace
}  // namespace qvn_cli
