#include "answers.h"

#include <cstdio>

#include "conversation/answer_words.h"
#include "status.h"

namespace qvn_cli {

std::string Where(const Args& a) { return a.host + ":" + std::to_string(a.port); }

bool Reachable(const Args& a) {
  Wide host = FromUtf8(a.host);
  return TryConnect(reinterpret_cast<const qvn_char*>(host.c_str()), a.port, 5000);
}

int Answer(const Args& a, const Wide& answer) {
  if (answer == qvn::kConnectionError) {
    throw Unreachable(ToUtf8(answer) + " (no answer from " + Where(a) + ")");
  }
  if (answer == qvn::kNoneAnswer) throw Failure("NONE (nothing obtained from " + Where(a) + ")");
  std::string out = ForTerminal(answer);
  std::fputs(out.c_str(), stdout);
  std::fputs("\n", stdout);
  if (answer == u"DENIED" || answer.starts_with(u"ERROR")) {
    std::fprintf(stderr, "qvn: %s: refused by %s\n", a.command.c_str(), Where(a).c_str());
    return kRefused;
  }
  return 0;
}

int PrintText(const Wide& text) {
  std::string out = ForTerminal(text);
  std::fputs(out.c_str(), stdout);
  std::fputs("\n", stdout);
  return 0;
}

}  // namespace qvn_cli
