#include "support/cut_off_server.h"

#include <algorithm>
#include <mutex>

#include "base/errors.h"

namespace qvn::testing {

void CutOffServer::Serve(platform::Connection& connection, size_t /*index*/) {
  // One read: whatever part of the request has arrived, up to read_bytes.
  uint8_t piece[4096];
  try {
    if (read_bytes_ > 0) (void)connection.ReceiveSome(piece, std::min(sizeof piece, read_bytes_));
  } catch (const Error&) {  // the client went first: nothing left to cut off
  }
  if (reset_) {
    std::lock_guard<std::mutex> lock(mutex_);  // Stop() may interrupt it meanwhile
    connection.Abort();
  }
}

}  // namespace qvn::testing
