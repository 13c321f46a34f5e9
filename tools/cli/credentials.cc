#include "credentials.h"

#include "passwords.h"
#include "status.h"

namespace qvn_cli {

Wide Credentials(const Args& a, const std::optional<std::string>& argument) {
  if (a.user) {
    if (argument) throw UsageError("give either -U USER or a CREDENTIALS line, not both");
    std::string db = Secret(std::nullopt, "QVN_DB_PASSWORD", "Database password: ");
    std::string pw = Secret(std::nullopt, "QVN_PASSWORD", "Password for " + *a.user + ": ");
    return FromUtf8(db + "@" + *a.user + "@" + pw);
  }
  if (!argument) throw UsageError("no credentials: give -U USER or a CREDENTIALS line");
  return FromUtf8(*argument == "-" ? StdinLine() : *argument);
}

}  // namespace qvn_cli
