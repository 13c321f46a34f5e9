#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <vector>

#include "answers.h"
#include "commands.h"
#include "conversation/answer_words.h"
#include "credentials.h"
#include "input.h"
#include "progress.h"
#include "script.h"
#include "status.h"
#include "transfer/file_sections.h"

namespace qvn_cli {
namespace {

ProgressBoard* g_board = nullptr;

// Lines that begin with "/" are comments to the library, even inside a file
// section, where they look like absolute paths: say so before sending.
void WarnAboutSlashEntries(const Wide& script) {
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
    } else if (line.ends_with(u"}")) {
      inside = false;
    }
  }
}

}  // namespace

int RunScript(const Args& a) {
  if (a.rest.size() > 1) throw UsageError("usage: qvn script [FILE|-]");
  std::string source;
  if (a.rest.empty() || a.rest[0] == "-") {
    source = ReadAll(std::cin);
  } else {
    std::ifstream file(a.rest[0], std::ios::binary);
    if (!file) throw Failure("cannot read " + a.rest[0]);
    source = ReadAll(file);
  }
  Wide script = FromUtf8(source);
  if (a.user) script = Credentials(a, std::nullopt) + u"\r\n" + script;
  int status = RunOneScript(a, script);
  std::fflush(stdout);
  std::fflush(stderr);
  // The library's transfer thread may still be closing its last connection
  // (or running a transfer that never reported): leave without tearing down
  // what it may still use.
  std::_Exit(status);
}

int RunOneScript(const Args& a, const Wide& script) {
  WarnAboutSlashEntries(script);
  std::vector<Transfer> expected;
  if (a.file_port != 0 && a.port != 0) expected = ExpectedTransfers(script);
  size_t transfers = expected.size();
  // The board outlives main: the library's transfer thread may still call it
  // (a final message can come twice). It is never freed.
  g_board = new ProgressBoard(std::move(expected), isatty(STDOUT_FILENO) != 0);
  ProgressBoard* board = g_board;
  Wide host = FromUtf8(a.host);
  Wide answer = TakeResult(Script(board->window(), reinterpret_cast<const qvn_char*>(script.c_str()),
                                  reinterpret_cast<const qvn_char*>(host.c_str()), a.port,
                                  a.file_port));
  if (!answer.empty()) board->Print(ForTerminal(answer));
  bool none = answer == qvn::kNoneAnswer || answer.ends_with(u"\r\n" + Wide(qvn::kNoneAnswer));
  bool connection_error = false;
  for (const Wide& line : qvn::SplitLines(answer)) {
    if (line == qvn::kConnectionError) connection_error = true;
  }
  // An empty answer to a request that was sent: the server did not accept
  // the credentials (it has no key to answer under).
  std::vector<Wide> commands = qvn::SplitLines(script), file_sections;
  qvn::SplitFileSections(commands, file_sections);
  bool refused = answer.empty() && a.port != 0 && commands.size() > 1;
  int status = 0;
  if (transfers > 0 && !board->Wait(a.timeout_s, a.idle_s)) {
    for (const std::string& m : board->Missing()) std::fprintf(stderr, "qvn: script: %s\n", m.c_str());
    status = kRefused;
  }
  if (none || connection_error) {
    bool down = connection_error || !Reachable(a);
    std::fprintf(stderr, "qvn: script: %s (from %s)\n",
                 down ? "server not reachable" : "NONE: the request was refused or obtained nothing",
                 Where(a).c_str());
    status = down ? kUnreachable : kRefused;
  } else if (refused) {
    std::fprintf(stderr, "qvn: script: refused (no answer to the credentials line from %s)\n",
                 Where(a).c_str());
    status = kRefused;
  }
  return status;
}

}  // namespace qvn_cli
