#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "answers.h"
#include "commands.h"
#include "credentials.h"
#include "line_editor.h"
#include "passwords.h"
#include "script.h"

namespace qvn_cli {

// Interactive: the credentials once, then scripts typed line by line, each
// sent on an empty line. Without a terminal the same from standard input.
int RunShell(const Args& a) {
  Need(a, 0, "shell [-U USER]");
  bool terminal = ::isatty(STDIN_FILENO) != 0;
  Wide credentials;
  if (a.user) {
    credentials = Credentials(a, std::nullopt);
  } else if (terminal) {
    std::fputs("User: ", stderr);
    Args named = a;
    named.user = StdinLine();
    credentials = Credentials(named, std::nullopt);
  } else {
    credentials = FromUtf8(StdinLine());
  }
  const char* home = std::getenv("HOME");
  LineEditor editor(std::string(home != nullptr ? home : ".") + "/.qvn_history");
  if (terminal) {
    std::printf("qvn shell on %s: a script line by line, an empty line sends it, Ctrl-D ends.\n",
                Where(a).c_str());
  }
  int status = 0;
  for (;;) {
    Wide script;
    bool end = false;
    for (;;) {
      std::optional<std::string> line;
      if (terminal) {
        std::fflush(stdout);
        line = editor.ReadLine(script.empty() ? "qvn> " : "...> ");
      } else if (std::cin.good() && std::cin.peek() != EOF) {
        line = StdinLine();
      }
      if (!line) {
        end = true;
        break;
      }
      if (line->empty()) break;
      script += FromUtf8(*line) + u"\r\n";
    }
    if (!script.empty()) status = RunOneScript(a, credentials + u"\r\n" + script);
    std::fflush(stdout);
    if (end) break;
  }
  std::fflush(stderr);
  std::_Exit(status);
}

}  // namespace qvn_cli
