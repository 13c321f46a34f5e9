// The commands that ask the server one thing each.
#include <cstdio>
#include <optional>
#include <string>

#include "answers.h"
#include "commands.h"
#include "credentials.h"
#include "input.h"
#include "passwords.h"
#include "qvn.h"
#include "status.h"

namespace qvn_cli {

int RunTryConnect(const Args& a) {
  Need(a, 0, "try-connect [--probe-ms N]");
  Wide host = FromUtf8(a.host);
  bool ok = TryConnect(reinterpret_cast<const qvn_char*>(host.c_str()), a.port, a.probe_ms);
  std::puts(ok ? "true" : "false");
  if (!ok) {
    std::optional<std::string> problem = ConnectProblem(a);
    throw Unreachable("no server at " + Where(a) + ": " +
                      problem.value_or("connected, but not ready within " +
                                       std::to_string(a.probe_ms) + " ms"));
  }
  return 0;
}

int RunDbName(const Args& a) {
  Need(a, 0, "db-name");
  Wide host = FromUtf8(a.host);
  return Answer(a, TakeResult(ShowDbName(QVN_TEXT(host), a.port)));
}

int RunCheckPassword(const Args& a) {
  if (a.rest.size() > 1) throw UsageError("usage: qvn check-password [-U USER | CREDENTIALS|-]");
  Wide host = FromUtf8(a.host), cred = Credentials(a, Arg(a, 0));
  return Answer(a, TakeResult(TryDbPassword(QVN_TEXT(host), a.port, QVN_TEXT(cred))));
}

int RunChangePassword(const Args& a) {
  const char* synopsis = "usage: qvn change-password USER | DB_PASSWORD USER PASSWORD NEW_PASSWORD";
  if (a.rest.size() != 1 && a.rest.size() != 4) throw UsageError(synopsis);
  bool one = a.rest.size() == 1;
  const std::string& name = one ? a.rest[0] : a.rest[1];
  auto slot = [&](size_t i) { return one ? std::nullopt : Arg(a, i); };
  std::string db = DbPassword(a, slot(0));
  std::string pw = UserPassword(a, name, slot(2));
  std::string fresh = Secret(slot(3), "QVN_NEW_PASSWORD", nullptr, "New password for " + name + ": ");
  Wide host = FromUtf8(a.host), wdb = FromUtf8(db), user = FromUtf8(name), wpw = FromUtf8(pw),
       wfresh = FromUtf8(fresh);
  return Answer(a, TakeResult(ChangeUniquePass(QVN_TEXT(host), a.port, QVN_TEXT(wdb), QVN_TEXT(user),
                                               QVN_TEXT(wpw), QVN_TEXT(wfresh))));
}

int RunMessage(const Args& a) {
  const char* synopsis = "message pipe TEXT | message file TEXT | message tcp HOST PORT TEXT";
  if (a.rest.empty()) throw UsageError(std::string("usage: qvn ") + synopsis);
  Wide host = FromUtf8(a.host);
  const std::string& channel = a.rest[0];
  if (channel == "pipe" || channel == "file") {
    if (a.rest.size() != 2) throw UsageError(std::string("usage: qvn ") + synopsis);
    Wide text = TextArg(a.rest[1]);
    qvn_char* r = channel == "pipe" ? DbMessagePipe(QVN_TEXT(host), a.port, QVN_TEXT(text))
                                    : DbMessageFile(QVN_TEXT(host), a.port, QVN_TEXT(text));
    return Answer(a, TakeResult(r));
  }
  if (channel == "tcp") {
    if (a.rest.size() != 4) throw UsageError(std::string("usage: qvn ") + synopsis);
    Wide receiver = FromUtf8(a.rest[1]);
    uint16_t port = PortNumber("receiver port", a.rest[2]);
    Wide text = TextArg(a.rest[3]);
    return Answer(a, TakeResult(DbMessageTcp(QVN_TEXT(host), a.port, QVN_TEXT(receiver), port,
                                             QVN_TEXT(text))));
  }
  throw UsageError(std::string("usage: qvn ") + synopsis);
}

int RunAuth(const Args& a) {
  if (a.rest.empty() || a.rest.size() > 2) throw UsageError("usage: qvn auth USER [PASSWORD|-]");
  std::string pw = UserPassword(a, a.rest[0], Arg(a, 1));
  Wide host = FromUtf8(a.host), user = FromUtf8(a.rest[0]), wpw = FromUtf8(pw);
  Wide r = TakeResult(UserAuthentication(QVN_TEXT(host), a.port, QVN_TEXT(user), QVN_TEXT(wpw)));
  if (r.empty()) {
    if (ConnectProblem(a)) throw Unreachable(NoAnswer(a));
    throw Failure("authentication refused (empty answer from " + Where(a) + ")");
  }
  return Answer(a, r);
}

int RunUpdateAvailable(const Args& a) {
  // -U (or $QVN_USER with no CREDENTIALS argument) builds the line.
  bool built = a.user || (a.env_user && a.rest.size() == 4);
  size_t given = built ? 4 : 5;
  if (a.rest.size() != given) {
    throw UsageError(
        "usage: qvn update-available [-U USER | CREDENTIALS|-] TABLE SEARCH_FIELD SEARCH_TEXT "
        "VERSION_FIELD");
  }
  size_t at = built ? 0 : 1;
  Wide host = FromUtf8(a.host), cred = Credentials(a, built ? std::nullopt : Arg(a, 0)),
       table = FromUtf8(a.rest[at]), search = FromUtf8(a.rest[at + 2]);
  int32_t field = IntNumber("SEARCH_FIELD", a.rest[at + 1]);
  int32_t version = IntNumber("VERSION_FIELD", a.rest[at + 3]);
  bool r = UpdateIsAvailable(QVN_TEXT(host), a.port, QVN_TEXT(cred), QVN_TEXT(table), field,
                             QVN_TEXT(search), version);
  // false is also the answer of a server that could not be reached.
  if (!r && ConnectProblem(a)) throw Unreachable(NoAnswer(a));
  std::puts(r ? "true" : "false");
  return 0;
}

}  // namespace qvn_cli
