#include "platform/fault_injection.h"

#ifdef QVN_FAULT_INJECTION
#include <netdb.h>

#include <cerrno>

namespace qvn::platform::fault {

void SetInjectedError(Op op) {
  switch (op) {
    case Op::kSocket: case Op::kOpen: errno = EMFILE; break;
    case Op::kConnect: errno = ECONNREFUSED; break;
    case Op::kSend: case Op::kReceive: errno = ECONNRESET; break;
    case Op::kWait: errno = ENOMEM; break;
    case Op::kResolve: errno = EAI_AGAIN; break;  // getaddrinfo's own code
    case Op::kWrite: errno = ENOSPC; break;
    case Op::kRemove: errno = EBUSY; break;
    case Op::kThreadStart: errno = EAGAIN; break;
    default: errno = EIO; break;
  }
}

}  // namespace qvn::platform::fault
#endif
