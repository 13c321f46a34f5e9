#include "passfile.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace qvn_cli {
namespace {

std::string PassFilePath() {
  if (const char* f = std::getenv("QVN_PASSFILE"); f != nullptr && *f != 0) return f;
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != 0 ? std::string(home) + "/.qvnpass" : std::string();
}

// A file readable by others is ignored, as psql ignores such a .pgpass.
bool UsableFile(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return false;  // no file: nothing to say
  static bool warned = false;  // once per run, however many passwords are looked up
  const char* why = !S_ISREG(st.st_mode)                ? "is not a plain file"
                    : (st.st_mode & (S_IRWXG | S_IRWXO)) ? "has group or world access; permissions "
                                                           "should be u=rw (0600) or less"
                                                         : nullptr;
  if (why != nullptr && !warned) {
    std::fprintf(stderr, "qvn: warning: password file \"%s\" %s\n", path.c_str(), why);
    warned = true;
  }
  return why == nullptr;
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

std::optional<std::string> StoredPassword(const std::string& host, uint16_t port,
                                          const std::string& user) {
  std::string path = PassFilePath();
  if (path.empty() || !UsableFile(path)) return std::nullopt;
  std::ifstream in(path);
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
