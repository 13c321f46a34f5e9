// Loopback addresses for tests.
#ifndef QVN_TESTS_SUPPORT_LOOPBACK_H_
#define QVN_TESTS_SUPPORT_LOOPBACK_H_

#include <cstdint>

#include "net/listener.h"

namespace qvn::testing {

// A port on 127.0.0.1 that nothing listens on (it was free a moment ago).
inline uint16_t PortWithNoListener() {
  net::Listener listener("127.0.0.1", 0);
  return listener.port();  // closed again when the listener goes
}

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_LOOPBACK_H_
