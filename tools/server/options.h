// Command line of qvn-server.
#ifndef QVN_SERVER_OPTIONS_H_
#define QVN_SERVER_OPTIONS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store.h"

namespace qvn::server {

inline constexpr uint16_t kDefaultPort = 7711;
inline constexpr uint16_t kDefaultFilePort = 7712;

struct Options {
  std::string data_dir;
  std::string address = "127.0.0.1";
  uint16_t port = kDefaultPort;
  uint16_t file_port = kDefaultFilePort;
  bool allow_remote_delivery = false;
  size_t max_request_bytes = size_t{16} << 20;
  uint64_t max_upload_bytes = uint64_t{4} << 30;
  int max_connections = 64;
  int timeout_ms = 30000;  // per read or write on a connection
  bool quiet = false;
};

struct InitOptions {
  std::string data_dir;
  Text db_name;
  Text db_password;
  std::vector<User> users;
};

extern const char kUsage[];

// Both raise std::invalid_argument with a one-line reason.
Options ParseServeOptions(const std::vector<std::string>& args);
InitOptions ParseInitOptions(const std::vector<std::string>& args);

}  // namespace qvn::server

#endif  // QVN_SERVER_OPTIONS_H_
