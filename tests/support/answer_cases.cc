#include "support/answer_cases.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qvn::testing {
namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

}  // namespace

std::vector<AnswerCase> LoadAnswerCases(const std::string& db, const std::string& user,
                                        const std::string& password) {
  const std::string path = std::string(QVN_TEST_DATA_DIR) + "/../support/answer_cases.tsv";
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<AnswerCase> cases;
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    std::vector<std::string> f = Split(line, '\t');
    if (f.size() != 5) throw std::runtime_error("answer_cases.tsv: not 5 fields: " + line);
    ReplaceAll(f[3], "{db}", db);
    ReplaceAll(f[3], "{user}", user);
    ReplaceAll(f[3], "{pw}", password);
    ReplaceAll(f[3], "\\r\\n", "\r\n");
    cases.push_back({f[0], f[1] == "up", f[2],
                     f[3].empty() ? std::vector<std::string>() : Split(f[3], '|'), f[4]});
  }
  return cases;
}

bool MeansWhatTheCaseSays(const AnswerCase& c, const std::string& what) {
  if (c.meaning.rfind("data:", 0) == 0) return what.rfind(c.meaning, 0) == 0;
  return what == c.meaning;
}

}  // namespace qvn::testing
