// Failures inside the library are C++ exceptions of these types; every
// operation catches them at its own boundary and turns them into its answer.
#ifndef QVN_BASE_ERRORS_H_
#define QVN_BASE_ERRORS_H_

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qvn {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised by the cipher for an empty key text, before any other work.
class AssertionFailure : public Error {
 public:
  AssertionFailure() : Error("Assertion failure") {}
};

// A failure reported by the operating system or a platform service; carries
// the system's error code (GetLastError / errno / the service's own code).
class PlatformError : public Error {
 public:
  PlatformError(const std::string& what, uint32_t code) : Error(what), code_(code) {}
  uint32_t code() const { return code_; }

 private:
  uint32_t code_;
};

// Name resolution, connect, send or receive failed, or the peer closed early.
class ConnectionError : public Error {
 public:
  using Error::Error;
};

// The peer ended the connection first: it closed or reset it while bytes
// were still to go either way (a server refusing what it was sent ends the
// connection this way).
class PeerEndedError : public ConnectionError {
 public:
  using ConnectionError::ConnectionError;
};

// A wait for the peer outlasted the host's time-out (QVN_CONNECT_TIMEOUT_MS,
// QVN_IO_TIMEOUT_MS) or the probe's.
class TimeoutError : public ConnectionError {
 public:
  using ConnectionError::ConnectionError;
};

// The compression library rejected its input.
class CompressionError : public Error {
 public:
  using Error::Error;
};

}  // namespace qvn

#endif  // QVN_BASE_ERRORS_H_
