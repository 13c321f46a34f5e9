// Whatever a server sends on the request port, reading the replies must end in
// text or a ConnectionError: never a crash, never an allocation of what a
// hostile length prefix announces. The first byte picks the piece size the
// bytes arrive in.
#include "base/errors.h"
#include "conversation/framing.h"
#include "fuzz_input.h"
#include "support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = data[0] == 0 ? SIZE_MAX : data[0];
  qvn::testing::MemoryStream peer(qvn::Bytes(data + 1, data + size), piece);
  peer.reset_at_end = (data[0] & 1) != 0;
  size_t units = 0;
  try {
    // Several frames may follow one another; the close ends them.
    for (int i = 0; i < 64; ++i) {
      qvn::Text reply = qvn::ReadMessage(peer, 1 << 16);
      units += reply.size();
      QVN_FUZZ_CHECK(units * 2 <= size);
      if (peer.PeerClosedAndDrained()) break;
    }
  } catch (const qvn::ConnectionError&) {
  }
  return 0;
}
