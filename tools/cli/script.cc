#include <cstdio>
#include <cstdlib>
#include <vector>

#include "answers.h"
#include "commands.h"
#include "conversation/answer_words.h"
#include "credentials.h"
#include "input.h"
#include "platform/terminal.h"
#include "progress.h"
#include "script.h"
#include "script_checks.h"
#include "status.h"
#include "transfer/file_sections.h"

namespace qvn_cli {

int RunScript(const Args& a) {
  Wide script;
  if (!a.statements.empty()) {
    // -c: the statements are the script, the credentials line is built.
    if (!a.rest.empty()) throw UsageError("-c takes no FILE");
    if (!a.user && !a.env_user) throw UsageError("-c needs a user: give -U USER or set QVN_USER");
    for (const std::string& statement : a.statements) script += FromUtf8(statement) + u"\r\n";
    if (IsBlankText(script)) throw UsageError("-c with nothing to send");
    script = Credentials(a, std::nullopt) + u"\r\n" + script;
  } else {
    if (a.rest.size() > 1) throw UsageError("usage: qvn script [FILE|-]");
    script = ReadScript(a.rest.empty() ? "-" : a.rest[0]);
    // A script file carries its own credentials line unless -U says otherwise.
    if (a.user) script = Credentials(a, std::nullopt) + u"\r\n" + script;
  }
  int status = RunOneScript(a, script);
  std::fflush(stdout);
  std::fflush(stderr);
  // The library's transfer thread may still be closing its last connection
  // (or running a transfer that never reported): leave without tearing down
  // what it may still use.
  std::_Exit(status);
}

int RunOneScript(const Args& a, const Wide& script) {
  WarnAboutFileEntries(script);
  std::vector<qvn::FileEntry> entries;
  if (a.file_port != 0 && a.port != 0) entries = qvn::ListScriptFileEntries(script);
  const bool transfers = !entries.empty();
  // The board outlives main: the library's transfer thread may still call it.
  // It is never freed.
  auto* board = new TransferBoard(std::move(entries), qvn::platform::IsTerminal(qvn::platform::StdStream::kError), a.quiet);
  Wide host = FromUtf8(a.host);
  Wide answer = TakeResult(Script(board->window(), QVN_TEXT(script), QVN_TEXT(host), a.port,
                                  a.file_port));
  if (!answer.empty()) board->Print(ForTerminal(answer));
  bool none = answer == qvn::kNoneAnswer || answer.ends_with(u"\r\n" + Wide(qvn::kNoneAnswer));
  bool connection_error = false;
  size_t failed_statements = 0;  // as psql: a statement that failed fails the run
  for (const Wide& line : qvn::SplitLines(answer)) {
    if (line == qvn::kConnectionError) connection_error = true;
    if (line == u"DENIED" || line.starts_with(u"ERROR:")) ++failed_statements;
  }
  // An empty answer to a request that was sent: the server did not accept
  // the credentials (it has no key to answer under).
  std::vector<Wide> commands = qvn::SplitLines(script), file_sections;
  qvn::SplitFileSections(commands, file_sections);
  bool refused = answer.empty() && a.port != 0 && commands.size() > 1;
  int status = 0;
  if (transfers) {
    board->Wait(a.timeout_s, a.idle_s);
    if (board->Failed() > 0) status = kRefused;
  }
  if (connection_error) {
    std::fprintf(stderr, "qvn: script: server not reachable: %s\n", NoAnswer(a).c_str());
    status = kUnreachable;
  } else if (none) {
    if (std::optional<std::string> problem = ConnectProblem(a)) {
      std::fprintf(stderr, "qvn: script: server not reachable: no answer from %s: %s\n",
                   Where(a).c_str(), problem->c_str());
      status = kUnreachable;
    } else {
      std::fprintf(stderr, "qvn: script: NONE: the request was refused or obtained nothing (from %s)\n",
                   Where(a).c_str());
      status = kRefused;
    }
  } else if (refused) {
    std::fprintf(stderr, "qvn: script: refused (no answer to the credentials line from %s)\n",
                 Where(a).c_str());
    status = kRefused;
  } else if (failed_statements > 0) {
    std::fprintf(stderr, "qvn: script: %zu statement(s) failed (DENIED or ERROR: above)\n",
                 failed_statements);
    status = kRefused;
  }
  return status;
}

}  // namespace qvn_cli
