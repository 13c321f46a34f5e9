// The password file, as psql reads ~/.pgpass: $QVN_PASSFILE, else ~/.qvnpass
// (Windows: %APPDATA%\qvn\qvnpass), lines host:port:user:password, "*" matching anything in the first three
// fields, "\" escaping ":" and "\", "#" starting a comment line; the first
// matching line wins. A file that is not a plain file, or (Linux) that group
// or others may access, is ignored with a warning.
#ifndef QVN_CLI_PASSFILE_H_
#define QVN_CLI_PASSFILE_H_

#include <cstdint>
#include <optional>
#include <string>

namespace qvn_cli {

// The file in use ("" when there is no folder to look in).
std::string PassFilePath();

// The password stored for user at host:port. The database password is the
// one of a line whose user field is empty (never a "*" line).
std::optional<std::string> StoredPassword(const std::string& host, uint16_t port,
                                          const std::string& user);

}  // namespace qvn_cli

#endif  // QVN_CLI_PASSFILE_H_
