#include "passfile.h"

#include <fstream>
#include <vector>

#include "output.h"
#include "platform/environment.h"
#include "platform/user_files.h"

namespace qvn_cli {
namespace {

// A file others may read is ignored, as psql ignores such a .pgpass (what
// "others may read" means on each system: platform/user_files.h).
bool UsableFile(const std::string& path) {
  bool exists = false;
  const std::string why = qvn::platform::PrivateFileProblem(path, exists);
  if (!exists) return false;  // no file: nothing to say
  static bool warned = false;  // once per run, however many passwords are looked up
  if (!why.empty() && !warned) {
    WriteErr("qvn: warning: password file \"" + path + "\" " + why + "\n");
    warned = true;
  }
  return why.empty();
}

// The fields of a line split at ":" that no "\" escapes.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      out.back().push_back(line[++i]);
    } else if (line[i] == ':' && out.size() < 4) {
      out.emplace_back();
    } else {
      out.back().push_back(line[i]);
    }
  }
  return out;
}

}  // namespace

// ~/.qvnpass on Linux, %APPDATA%\qvn\qvnpass on Windows.
std::string PassFilePath() {
  std::string named = qvn::platform::EnvironmentValue("QVN_PASSFILE");
  return named.empty() ? qvn::platform::UserFilePath("qvnpass") : named;
}

std::optional<std::string> StoredPassword(const std::string& host, uint16_t port,
                                          const std::string& user) {
  std::string path = PassFilePath();
  if (path.empty() || !UsableFile(path)) return std::nullopt;
  std::ifstream in(qvn::platform::PathOfUtf8(path));
  const std::string port_text = std::to_string(port);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = Fields(line);
    if (f.size() != 4) continue;
    auto matches = [](const std::string& field, const std::string& value) {
      return field == "*" || field == value;
    };
    bool user_matches = user.empty() ? f[2].empty() : matches(f[2], user);
    if (matches(f[0], host) && matches(f[1], port_text) && user_matches) return f[3];
  }
  return std::nullopt;
}

}  // namespace qvn_cli
