#include "support/cli_cases.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace qvn::testing {
namespace {

std::string Fill(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [name, value] : values) {
    const std::string key = "{" + name + "}";
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out.push_back(text[i]);
      continue;
    }
    const char c = text[++i];
    out.push_back(c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c);
  }
  return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (text.back() == separator) parts.emplace_back();
  return parts;
}

}  // namespace

std::vector<CliCase> LoadCliCases(const std::map<std::string, std::string>& values) {
  const std::string path = std::string(QVN_TEST_DATA_DIR) + "/../support/cli_cases.tsv";
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<CliCase> cases;
  bool header = true;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (std::exchange(header, false)) continue;
    std::vector<std::string> f = Split(line, '\t');
    f.resize(8);  // trailing empty fields
    for (std::string& field : f) field = Fill(field, values);
    cases.push_back({f[0], Split(f[1], '|'), Unescape(f[2]), Split(f[3], '|'), std::stoi(f[4]),
                     Unescape(f[5]), Unescape(f[6]), Split(f[7], '|')});
  }
  return cases;
}

std::string CliCasePassFile(const std::map<std::string, std::string>& values) {
  return Fill("# a comment\n127.0.0.1:*::{db}\n*:{port}:{user}:{pw}\n", values);
}

std::string CliCaseMismatch(const CliCase& c, const std::string& out, const std::string& err) {
  const bool prefix = c.out.size() > 1 && c.out.back() == '*';
  const bool out_ok = c.out == "*" || (prefix ? out.rfind(c.out.substr(0, c.out.size() - 1), 0) == 0
                                              : out == c.out);
  if (!out_ok) return "stdout is not \"" + c.out + "\"";
  const bool err_ok = c.err == "(none)" ? err.empty() : err.find(c.err) != std::string::npos;
  if (!err_ok) return "stderr does not hold \"" + c.err + "\"";
  return {};
}

}  // namespace qvn::testing
