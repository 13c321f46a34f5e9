// Where the CLI takes passwords from, so that they need not stand on the
// command line (where every user of the machine can read them).
#ifndef QVN_CLI_PASSWORDS_H_
#define QVN_CLI_PASSWORDS_H_

#include <optional>
#include <string>

namespace qvn_cli {

// A password: the argument when one was given ("-": the next line of
// standard input), else the environment variable, else a prompt without echo
// when standard input is a terminal. Throws std::invalid_argument when there
// is none of these.
std::string Secret(const std::optional<std::string>& argument, const char* env,
                   const std::string& prompt);

// The next line of standard input, without its line break.
std::string StdinLine();

}  // namespace qvn_cli

#endif  // QVN_CLI_PASSWORDS_H_
