// tests/support/answer_cases.tsv, the one list of answer cases that the
// Python package, the CLI and qvn.hpp each run against qvn-server.
#ifndef QVN_TESTS_SUPPORT_ANSWER_CASES_H_
#define QVN_TESTS_SUPPORT_ANSWER_CASES_H_

#include <string>
#include <vector>

namespace qvn::testing {

struct AnswerCase {
  std::string name;
  bool server_up;
  std::string call;  // an export's name, or "Upload"
  std::vector<std::string> arguments;
  std::string meaning;  // ConnectionFailed, NoAnswer, Refused, TransferFailed, data:TEXT
};

// The cases with {db}, {user}, {pw} and \r\n filled in (UTF-8).
std::vector<AnswerCase> LoadAnswerCases(const std::string& db, const std::string& user,
                                        const std::string& password);

// Whether `what` (a failure's name, or "data:" + the answer) is what the case
// expects: the same failure, or data that begins with the expected text.
bool MeansWhatTheCaseSays(const AnswerCase& c, const std::string& what);

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_ANSWER_CASES_H_
