#include "support/timeout_values.h"

#include <fstream>
#include <stdexcept>

namespace qvn::testing {

std::vector<TimeoutValue> LoadTimeoutValues() {
  const std::string path = std::string(QVN_TEST_DATA_DIR) + "/../support/timeout_values.tsv";
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<TimeoutValue> values;
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) throw std::runtime_error("timeout_values.tsv: no tab: " + line);
    const std::string ms = line.substr(tab + 1);
    values.push_back({line.substr(0, tab),
                      ms == "malformed" ? std::nullopt : std::optional<int32_t>(std::stoi(ms))});
  }
  if (values.empty()) throw std::runtime_error(path + " holds no values");
  return values;
}

}  // namespace qvn::testing
