// The credentials line dbpassword@user@password that scripts and checks need.
#ifndef QVN_CLI_CREDENTIALS_H_
#define QVN_CLI_CREDENTIALS_H_

#include <optional>
#include <string>

#include "options.h"
#include "wide.h"

namespace qvn_cli {

// Built with -U from the password sources, or the argument itself ("-": a
// line of standard input).
Wide Credentials(const Args& a, const std::optional<std::string>& argument);

}  // namespace qvn_cli

#endif  // QVN_CLI_CREDENTIALS_H_
