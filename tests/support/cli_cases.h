// tests/support/cli_cases.tsv, the CLI's cases for both platforms: the Linux
// test runs them against qvn, tests/win/cli_cases.py against qvn.exe.
#ifndef QVN_TESTS_SUPPORT_CLI_CASES_H_
#define QVN_TESTS_SUPPORT_CLI_CASES_H_

#include <map>
#include <string>
#include <vector>

namespace qvn::testing {

struct CliCase {
  std::string name;
  std::vector<std::string> args;
  std::string input;
  std::vector<std::string> env;  // NAME=value
  int status = 0;
  std::string out;  // exactly; "*" anything; "TEXT*" beginning with TEXT
  std::string err;  // a part of stderr; "(none)": nothing
  std::vector<std::string> same;  // two files that must hold the same bytes
};

// The cases in their order, with every "{name}" of `values` filled in and the
// escapes of input, out and err read.
std::vector<CliCase> LoadCliCases(const std::map<std::string, std::string>& values);

// The password file that the cases expect in their work folder.
std::string CliCasePassFile(const std::map<std::string, std::string>& values);

// Whether stdout and stderr are what the case says; else what differs.
std::string CliCaseMismatch(const CliCase& c, const std::string& out, const std::string& err);

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_CLI_CASES_H_
