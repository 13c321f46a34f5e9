#include "platform/command_line.h"

namespace qvn::platform {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

// The C runtime's rules: the program's name ends at the next quote when it
// starts with one, else at a blank. Then 2n backslashes before a quote are n
// and the quote opens or closes a quoted part, 2n+1 are n and a literal quote,
// and other backslashes are themselves; "" inside a quoted part is a quote.
std::vector<std::string> SplitWindowsCommandLine(TextView line) {
  size_t i = 0;
  if (i < line.size() && line[i] == u'"') {
    i = line.find(u'"', 1);
    i = i == TextView::npos ? line.size() : i + 1;
  }
  while (i < line.size() && !IsBlank(line[i])) ++i;
  std::vector<std::string> args;
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) return args;
    Text arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      size_t slashes = 0;
      while (i < line.size() && line[i] == u'\\') ++slashes, ++i;
      if (i < line.size() && line[i] == u'"') {
        arg.append(slashes / 2, u'\\');
        if (slashes % 2 == 1) {
          arg += u'"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          arg += u'"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(slashes, u'\\');
        if (slashes == 0 && i < line.size()) arg += line[i++];
      }
    }
    args.push_back(TextToUtf8(arg));
  }
}

}  // namespace qvn::platform
