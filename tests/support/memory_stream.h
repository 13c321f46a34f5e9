// An in-memory peer for framing: what the "server" sends is read from a
// buffer, what the client sends is collected.
#ifndef QVN_TESTS_SUPPORT_MEMORY_STREAM_H_
#define QVN_TESTS_SUPPORT_MEMORY_STREAM_H_

#include <algorithm>
#include <cstring>

#include "base/byte_stream.h"
#include "base/errors.h"
#include "base/text.h"

namespace qvn::testing {

class MemoryStream : public ByteSource, public ByteSink {
 public:
  explicit MemoryStream(Bytes incoming = {}, size_t piece = SIZE_MAX)
      : incoming_(std::move(incoming)), piece_(piece) {}

  // After the incoming bytes: true ends like a reset, false like a close.
  bool reset_at_end = false;
  // False: the close shows only when a read returns nothing.
  bool close_visible = true;
  // After the incoming bytes, the same bytes again without end.
  bool endless = false;
  // Sends fail once this many bytes were taken.
  size_t send_limit = SIZE_MAX;
  Bytes sent;

  size_t ReceiveSome(uint8_t* data, size_t n) override {
    if (endless && read_ == incoming_.size()) read_ = 0;
    size_t take = std::min({n, piece_, incoming_.size() - read_});
    if (take == 0 && n > 0 && reset_at_end) throw ConnectionError("connection reset");
    if (take > 0) std::memcpy(data, incoming_.data() + read_, take);
    read_ += take;
    return take;
  }
  bool PeerClosedAndDrained() override {
    return close_visible && !endless && !reset_at_end && read_ == incoming_.size();
  }
  void SendAll(const uint8_t* data, size_t n) override {
    if (sent.size() + n > send_limit) throw ConnectionError("connection reset by peer");
    sent.insert(sent.end(), data, data + n);
  }

 private:
  Bytes incoming_;
  size_t piece_;
  size_t read_ = 0;
};

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_MEMORY_STREAM_H_
