#include "support/cut_off_server.h"

#include <algorithm>
#include <mutex>

#include "base/errors.h"

namespace qvn::testing {

void CutOffServer::Serve(platform::Connection& connection, size_t /*index*/) {
  uint8_t piece[4096];
  try {
    for (size_t left = read_bytes_; left > 0;) {
      const size_t got = connection.ReceiveSome(piece, std::min(sizeof piece, left));
      if (got == 0) break;
      left -= got;
    }
  } catch (const Error&) {  // the client went first: nothing left to cut off
  }
  if (reset_) {
    std::lock_guard<std::mutex> lock(mutex_);  // Stop() may interrupt it meanwhile
    connection.Abort();
  }
}

}  // namespace qvn::testing
