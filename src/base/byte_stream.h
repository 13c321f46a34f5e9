// Where framed messages come from and go to: a socket connection in the
// library, an in-memory buffer in tests and fuzzing.
#ifndef QVN_BASE_BYTE_STREAM_H_
#define QVN_BASE_BYTE_STREAM_H_

#include <cstddef>
#include <cstdint>

namespace qvn {

class ByteSource {
 public:
  // Up to n bytes; 0 when the peer has closed. Raises ConnectionError on error.
  virtual size_t ReceiveSome(uint8_t* data, size_t n) = 0;
  // True when the peer has closed and nothing unread waits (does not block).
  // Raises ConnectionError when the connection has failed (a reset).
  virtual bool PeerClosedAndDrained() = 0;
  // Exactly n bytes, or raises ConnectionError (PeerEndedError when the peer
  // closed first).
  void ReceiveExact(uint8_t* data, size_t n);

 protected:
  ~ByteSource() = default;
};

class ByteSink {
 public:
  // Every byte, or raises ConnectionError.
  virtual void SendAll(const uint8_t* data, size_t n) = 0;

 protected:
  ~ByteSink() = default;
};

}  // namespace qvn

#endif  // QVN_BASE_BYTE_STREAM_H_
