// The credentials line dbpassword@user@password that scripts and checks need.
#ifndef QVN_CLI_CREDENTIALS_H_
#define QVN_CLI_CREDENTIALS_H_

#include <optional>
#include <string>

#include "options.h"
#include "wide.h"

namespace qvn_cli {

// Built with -U from the password sources, or the argument itself ("-": a
// line of standard input), or built for $QVN_USER when neither is given.
Wide Credentials(const Args& a, const std::optional<std::string>& argument);

// The line dbpassword@user@password from the password sources.
Wide CredentialsFor(const Args& a, const std::string& user);

// The database password and a user's password from their sources: the
// argument, the environment, the password file, a prompt.
std::string DbPassword(const Args& a, const std::optional<std::string>& argument);
std::string UserPassword(const Args& a, const std::string& user,
                         const std::optional<std::string>& argument);

}  // namespace qvn_cli

#endif  // QVN_CLI_CREDENTIALS_H_
