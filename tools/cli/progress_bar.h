// The line of a file transfer's progress bar, laid out for the terminal's
// width: redrawn in place with "\r", it must never reach the last column, or
// the terminal wraps it and every redraw leaves a line behind.
#ifndef QVN_CLI_PROGRESS_BAR_H_
#define QVN_CLI_PROGRESS_BAR_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace qvn_cli {

// "512 B", "683.6 KiB", "381.0 MiB".
std::string HumanSize(int64_t bytes);

// The columns a terminal gives UTF-8 text: 2 for East Asian wide and
// full-width letters and emoji, 0 for combining marks and zero-width
// characters, 1 for the rest (a byte that is no UTF-8 counts as one).
int DisplayColumns(std::string_view utf8);

// The text itself when it fits in `columns`; otherwise its beginning and its
// end joined by "…", together at most `columns` wide.
std::string ShortenMiddle(std::string_view utf8, int columns);

struct BarState {
  bool upload = false;
  int64_t size = 0, count = 0;
  std::string names;  // "client -> server" or "server -> client"
};

// The bar's line for a terminal `columns` wide, at most columns - 1 columns:
//   upload   [#########.....]  42.00%  160.0 MiB / 381.0 MiB  a.bin -> ..\a.bin
// To fit, the bar's cells go from 30 down to 10 first, then the names are
// shortened in the middle, then the sizes go, then the bar; a terminal too
// narrow even for the rest gets the line's start.
std::string BarLine(const BarState& state, int columns);

// The width to lay the bar out for: standard error's terminal, else the
// COLUMNS variable, else 80.
int BarColumns();

}  // namespace qvn_cli

#endif  // QVN_CLI_PROGRESS_BAR_H_
