#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "answers.h"
#include "conversation/answer_words.h"
#include "commands.h"
#include "credentials.h"
#include "line_editor.h"
#include "passwords.h"
#include "output.h"
#include "platform/terminal.h"
#include "platform/user_files.h"
#include "qvn.h"
#include "script.h"
#include "status.h"

namespace qvn_cli {
namespace {

constexpr char kShellHelp[] =
    "Type a script line by line; an empty line sends it and prints the answers.\n"
    "Alone on the first line of a script these are the shell's own, not statements:\n"
    "  \\q, quit, exit   end the shell (as Ctrl-D does)\n"
    "  help, \\?         this text\n";

enum class ShellWord { kNone, kQuit, kHelp };

ShellWord WordOf(const std::string& line) {
  std::string w = ToUtf8(qvn::Trim(FromUtf8(line)));
  if (w == "\\q" || w == "quit" || w == "exit") return ShellWord::kQuit;
  if (w == "help" || w == "\\?") return ShellWord::kHelp;
  return ShellWord::kNone;
}

std::string UserPrompt() {
  WriteErr("User: ");
  std::fflush(stderr);
  if (qvn::platform::IsTerminal(qvn::platform::StdStream::kInput)) {
    return qvn::platform::ReadTerminalLine(true, "").value_or("");
  }
  return StdinLine();
}

// The credentials line of the session, checked with the server before the
// first statement. On a terminal a refused line may be typed again (three
// tries in all); the passwords then come from prompts only, since the other
// sources gave the refused ones.
Wide CheckedCredentials(const Args& a, bool terminal) {
  std::optional<std::string> user = a.user ? a.user : a.env_user;
  Wide host = FromUtf8(a.host);
  constexpr int kTries = 3;
  for (int attempt = 1;; ++attempt) {
    Wide line;
    if (attempt == 1) {
      if (!user && !terminal) {
        line = FromUtf8(StdinLine());
      } else {
        line = CredentialsFor(a, user ? *user : UserPrompt());
      }
    } else {
      std::string name = user ? *user : UserPrompt();
      std::string db = PromptSecret("Database password: ");
      line = FromUtf8(db + "@" + name + "@" + PromptSecret("Password for " + name + ": "));
    }
    Wide answer = TakeResult(TryDbPassword(QVN_TEXT(host), a.port, QVN_TEXT(line)));
    if (answer == u"OK") return line;
    if (answer == qvn::kConnectionError) throw Unreachable(NoAnswer(a));
    std::string why = "the server refused the credentials (" + ToUtf8(answer) + ")";
    if (!terminal || attempt == kTries) throw Failure(why);
    std::fprintf(stderr, "qvn: shell: %s; try again\n", why.c_str());
  }
}

}  // namespace

// Interactive: the credentials once, then scripts typed line by line, each
// sent on an empty line. Without a terminal the same from standard input.
int RunShell(const Args& a) {
  Need(a, 0, "shell [-U USER]");
  bool terminal = qvn::platform::IsTerminal(qvn::platform::StdStream::kInput);
  Wide credentials = CheckedCredentials(a, terminal);
  // ~/.qvn_history; Windows: %APPDATA%\qvn\qvn_history.
  std::string history = qvn::platform::UserFilePath("qvn_history");
  LineEditor editor(history.empty() ? ".qvn_history" : history);
  if (terminal) {
    std::printf("qvn shell on %s: a script line by line, an empty line sends it, \\q ends, "
                "help explains.\n",
                Where(a).c_str());
  }
  int status = 0;
  for (bool end = false; !end;) {
    Wide script;
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
      ShellWord word = script.empty() ? WordOf(*line) : ShellWord::kNone;
      if (word == ShellWord::kQuit) {
        end = true;
        break;
      }
      if (word == ShellWord::kHelp) {
        std::fputs(kShellHelp, stdout);
        break;
      }
      script += FromUtf8(*line) + u"\r\n";
    }
    if (!script.empty()) status = RunOneScript(a, credentials + u"\r\n" + script);
    std::fflush(stdout);
  }
  std::fflush(stderr);
  std::_Exit(status);
}

}  // namespace qvn_cli
