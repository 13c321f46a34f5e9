// A console program's wait for the request to stop (the stand-in server's
// main thread): Linux: SIGINT or SIGTERM; Windows: Ctrl+C, Ctrl+Break, the
// console closing, log-off or shut-down.
#ifndef QVN_PLATFORM_STOP_REQUEST_H_
#define QVN_PLATFORM_STOP_REQUEST_H_

#include <string>

namespace qvn::platform {

// Takes the stop requests from now on and keeps a vanished peer from ending
// the process (Linux: SIGPIPE ignored). Call before any thread starts: on
// Linux the threads inherit the blocked signals, so only the waiter sees them.
void TakeStopRequests();

// Blocks until a stop is requested; returns its name for the log ("SIGTERM",
// "Ctrl+C", ...).
std::string WaitForStopRequest();

}  // namespace qvn::platform

#endif  // QVN_PLATFORM_STOP_REQUEST_H_
