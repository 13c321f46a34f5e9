// A port that never lets a request or an upload finish: on every connection
// it reads `read_bytes` (or until the client ends first), then closes (with
// unread bytes waiting, the system resets the connection), or with `reset`
// resets at once after that read.
// Stands for a server that crashed, refused a request too large for it or
// credentials it does not know, or was restarted in the middle of one.
#ifndef QVN_TESTS_SUPPORT_CUT_OFF_SERVER_H_
#define QVN_TESTS_SUPPORT_CUT_OFF_SERVER_H_

#include <cstddef>

#include "support/loopback_server.h"

namespace qvn::testing {

class CutOffServer : public LoopbackServer {
 public:
  CutOffServer(size_t read_bytes, bool reset) : read_bytes_(read_bytes), reset_(reset) {
    Start();
  }
  ~CutOffServer() override { Stop(); }

 private:
  void Serve(platform::Connection& connection, size_t index) override;

  size_t read_bytes_;
  bool reset_;
};

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_CUT_OFF_SERVER_H_
