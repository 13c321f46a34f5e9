#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace qvn::platform {
namespace {

// Cases as the Microsoft C runtime splits them (its documented examples
// among them), the program's name dropped.
TEST(SplitWindowsCommandLineTest, SplitsAsTheCRuntimeDoes) {
  struct Case {
    const char16_t* line;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {u"qvn-server.exe", {}},
      {u"\"C:\\Program Files\\q\\qvn-server.exe\" init d", {"init", "d"}},
      {u"\"C:\\a b\\x.exe\"tail  one", {"one"}},
      {u"x.exe  --data \t \"C:\\my data\\base\"  ", {"--data", "C:\\my data\\base"}},
      {u"x \"a b c\" d e", {"a b c", "d", "e"}},
      {u"x \"ab\\\"c\" \"\\\\\" d", {"ab\"c", "\\", "d"}},
      {u"x a\\\\\\b d\"e f\"g h", {"a\\\\\\b", "de fg", "h"}},
      {u"x a\\\\\\\"b c d", {"a\\\"b", "c", "d"}},
      {u"x a\\\\\\\\\"b c\" d e", {"a\\\\b c", "d", "e"}},
      {u"x \"\" \"a\"\"b\" c", {"", "a\"b", "c"}},
      {u"x C:\\dir\\ \"end\\\\\"", {"C:\\dir\\", "end\\"}},
      {u"x gr\u00fc\u00dfe \u2713", {"gr\xc3\xbc\xc3\x9f" "e", "\xe2\x9c\x93"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitWindowsCommandLine(c.line), c.args) << TextToUtf8(c.line);
  }
}

}  // namespace
}  // namespace qvn::platform
