// The request port: one framed request, one framed reply per connection.
#ifndef QVN_SERVER_REQUEST_PORT_H_
#define QVN_SERVER_REQUEST_PORT_H_

#include <optional>
#include <string>

#include "base/text.h"
#include "options.h"
#include "store.h"

namespace qvn::server {

struct Reply {
  Text text;
  // Logged on stderr with the peer: why a request was refused.
  std::string problem;
};

// Answers one request. Plain-text commands get a plain reply ("ERROR: ..."
// for malformed ones); script requests get a reply encrypted with the keys
// they came under, or an empty reply when they cannot be opened with any
// key the server knows (an answer under the wrong keys would be noise).
Reply HandleRequest(Store& store, const Options& options, const Text& payload,
                    const std::string& peer);

}  // namespace qvn::server

#endif  // QVN_SERVER_REQUEST_PORT_H_
