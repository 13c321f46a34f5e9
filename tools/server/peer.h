// An accepted connection and where it came from, for the log lines.
#ifndef QVN_SERVER_PEER_H_
#define QVN_SERVER_PEER_H_

#include <string>

#include "platform/socket.h"

namespace qvn::server {

struct Peer {
  platform::Connection connection;
  std::string name;  // "address:port"
};

}  // namespace qvn::server

#endif  // QVN_SERVER_PEER_H_
