#include "progress_bar.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/environment.h"
#include "platform/terminal.h"

namespace qvn_cli {
namespace {

struct CodePoint {
  char32_t value;
  size_t offset, length;  // in the UTF-8 text
};

// Code points of UTF-8 text; a byte that begins no well-formed sequence is
// one U+FFFD of its own.
std::vector<CodePoint> Decode(std::string_view s) {
  std::vector<CodePoint> out;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 1 : b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3
             : b >= 0xF0 && b < 0xF5 ? 4 : 0;
    char32_t c = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
    for (size_t k = 1; k < n; ++k) {
      const auto cont = static_cast<unsigned char>(i + k < s.size() ? s[i + k] : 0);
      if ((cont & 0xC0) != 0x80) {
        n = 0;
        break;
      }
      c = (c << 6) | (cont & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are no text either.
    if (n == 3 && (c < 0x800 || (c >= 0xD800 && c < 0xE000))) n = 0;
    if (n == 4 && (c < 0x10000 || c > 0x10FFFF)) n = 0;
    if (n == 0) {
      out.push_back({0xFFFD, i, 1});
      ++i;
    } else {
      out.push_back({c, i, n});
      i += n;
    }
  }
  return out;
}

struct Range {
  char32_t first, last;
};

constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
    {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
    {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A}, {0x23E9, 0x23EC},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <size_t N>
bool In(const Range (&ranges)[N], char32_t c) {
  return std::any_of(std::begin(ranges), std::end(ranges),
                     [c](const Range& r) { return c >= r.first && c <= r.last; });
}

int Columns(char32_t c) {
  if (In(kZeroWidth, c)) return 0;
  return In(kWide, c) ? 2 : 1;
}

// A name as the terminal may show it: control characters (C0, DEL, C1)
// become "?", so that no name moves the cursor or starts an escape.
std::string Printable(std::string_view s) {
  std::string out;
  for (const CodePoint& p : Decode(s)) {
    bool control = p.value < 0x20 || (p.value >= 0x7F && p.value < 0xA0);
    out.append(control ? std::string_view("?") : s.substr(p.offset, p.length));
  }
  return out;
}

}  // namespace

std::string HumanSize(int64_t bytes) {
  char buf[32];
  if (bytes < 1024) {
    std::snprintf(buf, sizeof buf, "%lld B", static_cast<long long>(bytes));
  } else if (bytes < 1024 * 1024) {
    std::snprintf(buf, sizeof buf, "%.1f KiB", bytes / 1024.0);
  } else {
    std::snprintf(buf, sizeof buf, "%.1f MiB", bytes / (1024.0 * 1024.0));
  }
  return buf;
}

int DisplayColumns(std::string_view utf8) {
  int n = 0;
  for (const CodePoint& p : Decode(utf8)) n += Columns(p.value);
  return n;
}

std::string ShortenMiddle(std::string_view utf8, int columns) {
  if (DisplayColumns(utf8) <= columns) return std::string(utf8);
  if (columns <= 0) return "";
  const std::vector<CodePoint> points = Decode(utf8);
  const int keep = columns - 1;  // "…" takes one
  size_t head = 0;
  int used = 0;
  while (head < points.size() && used + Columns(points[head].value) <= (keep + 1) / 2) {
    used += Columns(points[head++].value);
  }
  // What a wide character left unused at the start goes to the end.
  size_t tail = points.size();
  for (int right = 0; tail > head && right + Columns(points[tail - 1].value) <= keep - used;) {
    right += Columns(points[--tail].value);
  }
  // Marks whose letter was cut away go with it.
  while (tail < points.size() && Columns(points[tail].value) == 0) ++tail;
  std::string out(utf8.substr(0, head < points.size() ? points[head].offset : utf8.size()));
  out += "\u2026";
  if (tail < points.size()) out += utf8.substr(points[tail].offset);
  return out;
}

std::string BarLine(const BarState& state, int columns) {
  constexpr int kMostCells = 30, kFewestCells = 10, kShortName = 12, kShortestName = 5;
  const int avail = std::max(columns - 1, 0);
  const double share =
      state.size > 0
          ? std::clamp(static_cast<double>(state.count) / static_cast<double>(state.size), 0.0, 1.0)
          : 0.0;
  char percent[16];
  std::snprintf(percent, sizeof percent, "%6.2f%%", 100.0 * share);
  const std::string sizes = HumanSize(state.count) + " / " + HumanSize(state.size);
  const std::string names = Printable(state.names);
  // Everything but the names is ASCII: its length is its width.
  auto line = [&](int cells, bool with_sizes, const std::string& name) {
    std::string s = state.upload ? "upload   " : "download ";
    if (cells > 0) {
      const int filled = static_cast<int>(share * cells + 0.5);
      s += "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(cells - filled), '.') + "] ";
    }
    s += percent;
    if (with_sizes) s += "  " + sizes;
    if (!name.empty()) s += "  " + name;
    return s;
  };
  auto room = [&](int cells, bool with_sizes) {  // for the names, after their "  "
    return avail - static_cast<int>(line(cells, with_sizes, "").size()) - 2;
  };
  const int name_columns = DisplayColumns(names);
  const int cells = std::min(kMostCells, room(0, true) - 3 - name_columns);  // "[" and "] "
  if (cells >= kFewestCells) return line(cells, true, names);
  if (room(kFewestCells, true) >= kShortName) {
    return line(kFewestCells, true, ShortenMiddle(names, room(kFewestCells, true)));
  }
  if (room(kFewestCells, false) >= kShortName) {
    return line(kFewestCells, false, ShortenMiddle(names, room(kFewestCells, false)));
  }
  if (room(0, false) >= kShortestName) return line(0, false, ShortenMiddle(names, room(0, false)));
  return line(0, false, "").substr(0, static_cast<size_t>(avail));
}

int BarColumns() {
  if (int columns = qvn::platform::StderrTerminalColumns(); columns > 0) return columns;
  const std::string value = qvn::platform::EnvironmentValue("COLUMNS");
  int columns = 0;
  for (char c : value) {
    if (c < '0' || c > '9' || columns > 100000) return 80;
    columns = columns * 10 + (c - '0');
  }
  return columns > 0 ? columns : 80;
}

}  // namespace qvn_cli
