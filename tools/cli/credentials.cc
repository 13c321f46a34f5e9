#include "credentials.h"

#include "passfile.h"
#include "passwords.h"
#include "status.h"

namespace qvn_cli {

std::string DbPassword(const Args& a, const std::optional<std::string>& argument) {
  return Secret(argument, "QVN_DB_PASSWORD", [&] { return StoredPassword(a.host, a.port, ""); },
                "Database password: ");
}

std::string UserPassword(const Args& a, const std::string& user,
                         const std::optional<std::string>& argument) {
  return Secret(argument, "QVN_PASSWORD", [&] { return StoredPassword(a.host, a.port, user); },
                "Password for " + user + ": ");
}

Wide CredentialsFor(const Args& a, const std::string& user) {
  std::string db = DbPassword(a, std::nullopt);
  return FromUtf8(db + "@" + user + "@" + UserPassword(a, user, std::nullopt));
}

Wide Credentials(const Args& a, const std::optional<std::string>& argument) {
  if (a.user) {
    if (argument) throw UsageError("give either -U USER or a CREDENTIALS line, not both");
    return CredentialsFor(a, *a.user);
  }
  if (argument) return FromUtf8(*argument == "-" ? StdinLine() : *argument);
  if (a.env_user) return CredentialsFor(a, *a.env_user);
  throw UsageError("no credentials: give -U USER (or set QVN_USER) or a CREDENTIALS line");
}

}  // namespace qvn_cli
