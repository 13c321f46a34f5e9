#include "base/byte_stream.h"

#include "base/errors.h"

namespace qvn {

void ByteSource::ReceiveExact(uint8_t* data, size_t n) {
  while (n > 0) {
    size_t got = ReceiveSome(data, n);
    if (got == 0) throw PeerEndedError("connection closed by the peer");
    data += got;
    n -= got;
  }
}

}  // namespace qvn
