// Where the CLI takes passwords from, so that they need not stand on the
// command line (where every user of the machine can read them).
#ifndef QVN_CLI_PASSWORDS_H_
#define QVN_CLI_PASSWORDS_H_

#include <functional>
#include <optional>
#include <string>

namespace qvn_cli {

// A password: the argument when one was given ("-": the next line of
// standard input), else the environment variable, else what `stored` finds
// (the password file; may be empty), else a prompt without echo when standard
// input is a terminal. Throws std::invalid_argument when there is none.
std::string Secret(const std::optional<std::string>& argument, const char* env,
                   const std::function<std::optional<std::string>()>& stored,
                   const std::string& prompt);

// A prompt without echo on stderr, the answer from standard input.
std::string PromptSecret(const std::string& prompt);

// The next line of standard input, without its line break.
std::string StdinLine();

}  // namespace qvn_cli

#endif  // QVN_CLI_PASSWORDS_H_
