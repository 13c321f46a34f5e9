#include "platform/fault_injection.h"

#ifdef QVN_FAULT_INJECTION
#include <windows.h>
#include <winsock2.h>

namespace qvn::platform::fault {

void SetInjectedError(Op op) {
  switch (op) {
    case Op::kSocket: ::SetLastError(WSAEMFILE); break;
    case Op::kOpen: ::SetLastError(ERROR_TOO_MANY_OPEN_FILES); break;
    case Op::kConnect: ::SetLastError(WSAECONNREFUSED); break;
    case Op::kSend: case Op::kReceive: ::SetLastError(WSAECONNRESET); break;
    case Op::kWait: ::SetLastError(WSAENOBUFS); break;
    case Op::kResolve: ::SetLastError(WSATRY_AGAIN); break;
    case Op::kWrite: ::SetLastError(ERROR_DISK_FULL); break;
    case Op::kRemove: ::SetLastError(ERROR_SHARING_VIOLATION); break;
    case Op::kThreadStart: ::SetLastError(ERROR_NOT_ENOUGH_MEMORY); break;
    default: ::SetLastError(ERROR_IO_DEVICE); break;
  }
}

}  // namespace qvn::platform::fault
#endif
