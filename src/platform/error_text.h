// The system's words for an error code, for QVN_DEBUG lines and for the
// reasons of failed transfers.
#ifndef QVN_PLATFORM_ERROR_TEXT_H_
#define QVN_PLATFORM_ERROR_TEXT_H_

#include <cstdint>
#include <string>

namespace qvn::platform {

// The system's text for an error code (errno / GetLastError / Winsock), in
// UTF-8, followed by the code: "Connection refused (error 111)".
std::string SystemErrorText(uint32_t code);

// True when the code says the caller lacks the permission (EACCES / EPERM,
// ERROR_ACCESS_DENIED), as opposed to a full disk or any other failure.
bool IsAccessDenied(uint32_t code);

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_ERROR_TEXT_H_
