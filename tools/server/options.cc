#include "options.h"

#include <stdexcept>

namespace qvn::server {
namespace {

uint64_t Number(const std::string& flag, const std::string& value, uint64_t max) {
  if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos ||
      value.size() > 19) {
    throw std::invalid_argument(flag + " wants a number, not '" + value + "'");
  }
  uint64_t v = std::stoull(value);
  if (v > max) throw std::invalid_argument(flag + " is at most " + std::to_string(max));
  return v;
}

// "--flag value" or "--flag=value".
bool Take(const std::vector<std::string>& args, size_t& i, const std::string& flag,
          std::string& value) {
  const std::string& a = args[i];
  if (a == flag) {
    if (i + 1 >= args.size()) throw std::invalid_argument(flag + " needs a value");
    value = args[++i];
    return true;
  }
  if (a.rfind(flag + "=", 0) == 0) {
    value = a.substr(flag.size() + 1);
    return true;
  }
  return false;
}

}  // namespace

const char kUsage[] =
    "usage: qvn-server --data DIR [options]      serve a database\n"
    "       qvn-server init DIR --db-name NAME --db-password PASSWORD [--user NAME:PASSWORD]...\n"
    "       qvn-server --version\n"
    "\n"
    "options:\n"
    "  --data DIR                 data folder made by 'qvn-server init'\n"
    "  --address IPV4             address to listen on (default 127.0.0.1)\n"
    "  --port N                   request port (default 7711; 0 picks a free one)\n"
    "  --file-port N              file port (default 7712; 0 picks a free one)\n"
    "  --allow-remote-delivery    deliver TCP messages to non-loopback receivers too\n"
    "  --max-request-mib N        largest request accepted (default 16)\n"
    "  --max-upload-mib N         largest upload accepted (default 4096)\n"
    "  --max-connections N        connections served at once (default 64)\n"
    "  --timeout-ms N             limit for each read and write (default 30000)\n"
    "  --quiet                    log only problems\n"
    "\n"
    "Once listening it prints 'qvn-server listening: port=N file-port=M' on stdout.\n"
    "SIGINT or SIGTERM stops it.\n";

Options ParseServeOptions(const std::vector<std::string>& args) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string v;
    if (Take(args, i, "--data", v)) {
      o.data_dir = v;
    } else if (Take(args, i, "--address", v)) {
      o.address = v;
    } else if (Take(args, i, "--port", v)) {
      o.port = static_cast<uint16_t>(Number("--port", v, 65535));
    } else if (Take(args, i, "--file-port", v)) {
      o.file_port = static_cast<uint16_t>(Number("--file-port", v, 65535));
    } else if (args[i] == "--allow-remote-delivery") {
      o.allow_remote_delivery = true;
    } else if (Take(args, i, "--max-request-mib", v)) {
      o.max_request_bytes = static_cast<size_t>(Number("--max-request-mib", v, 1024)) << 20;
    } else if (Take(args, i, "--max-upload-mib", v)) {
      o.max_upload_bytes = Number("--max-upload-mib", v, uint64_t{1} << 30) << 20;
    } else if (Take(args, i, "--max-connections", v)) {
      o.max_connections = static_cast<int>(Number("--max-connections", v, 4096));
      if (o.max_connections < 1) throw std::invalid_argument("--max-connections is at least 1");
    } else if (Take(args, i, "--timeout-ms", v)) {
      o.timeout_ms = static_cast<int>(Number("--timeout-ms", v, 3600000));
      if (o.timeout_ms < 1) throw std::invalid_argument("--timeout-ms is at least 1");
    } else if (args[i] == "--quiet") {
      o.quiet = true;
    } else {
      throw std::invalid_argument("unknown argument '" + args[i] + "'");
    }
  }
  if (o.data_dir.empty()) throw std::invalid_argument("--data DIR is required");
  return o;
}

InitOptions ParseInitOptions(const std::vector<std::string>& args) {
  InitOptions o;
  bool have_password = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string v;
    if (Take(args, i, "--db-name", v)) {
      o.db_name = Utf8ToText(v);
    } else if (Take(args, i, "--db-password", v)) {
      o.db_password = Utf8ToText(v);
      have_password = true;
    } else if (Take(args, i, "--user", v)) {
      size_t colon = v.find(':');
      if (colon == std::string::npos || colon == 0) {
        throw std::invalid_argument("--user wants NAME:PASSWORD");
      }
      Text name = Utf8ToText(v.substr(0, colon));
      Text password = Utf8ToText(v.substr(colon + 1));
      if (name.find_first_of(u"@#") != Text::npos || Trim(name) != name) {
        throw std::invalid_argument("a user name holds no @ or # and no outer blanks");
      }
      if (password.find(u'@') != Text::npos || Trim(password) != password || password.empty()) {
        throw std::invalid_argument("a user password is not empty, holds no @, no outer blanks");
      }
      o.users.push_back(User{name, password});
    } else if (!args[i].empty() && args[i][0] != '-' && o.data_dir.empty()) {
      o.data_dir = args[i];
    } else {
      throw std::invalid_argument("unknown argument '" + args[i] + "'");
    }
  }
  if (o.data_dir.empty()) throw std::invalid_argument("init needs a data folder");
  if (!have_password || o.db_password.empty()) {
    throw std::invalid_argument("init needs --db-password");
  }
  if (o.db_password.find(u'@') != Text::npos || Trim(o.db_password) != o.db_password) {
    throw std::invalid_argument("the database password holds no @ and no outer blanks");
  }
  return o;
}

}  // namespace qvn::server
