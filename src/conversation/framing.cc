#include "conversation/framing.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "base/bytes.h"
#include "base/errors.h"

namespace qvn {
namespace {

// Bytes are moved in pieces of this size both ways, so a count announced by
// the server costs memory only as its bytes actually arrive.
constexpr size_t kPiece = 64 * 1024;

// Appends UTF-16LE bytes to `out`; an odd byte is carried into the next call.
class PayloadDecoder {
 public:
  explicit PayloadDecoder(Text& out) : out_(out) {}
  void Add(const uint8_t* data, size_t n) {
    size_t i = 0;
    if (has_low_ && n > 0) {
      out_.push_back(static_cast<char16_t>(low_ | (data[0] << 8)));
      has_low_ = false;
      i = 1;
    }
    for (; i + 1 < n; i += 2) {
      out_.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    if (i < n) {
      low_ = data[i];
      has_low_ = true;
    }
  }

 private:
  Text& out_;
  uint8_t low_ = 0;
  bool has_low_ = false;
};

}  // namespace

void WriteMessage(platform::Connection& connection, const Text& text) {
  // A text whose byte count does not fit the signed prefix cannot be framed;
  // it is treated like a failed send.
  if (text.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()) / 2) return;
  const uint32_t n = static_cast<uint32_t>(text.size() * 2);
  uint8_t buffer[kPiece];
  PutBigEndian32(n, buffer);
  size_t used = 4;
  try {
    for (char16_t c : text) {
      if (used + 2 > sizeof buffer) {
        connection.SendAll(buffer, used);
        used = 0;
      }
      buffer[used++] = static_cast<uint8_t>(c & 0xFF);
      buffer[used++] = static_cast<uint8_t>(c >> 8);
    }
    connection.SendAll(buffer, used);
  } catch (const Error&) {
    // The server may have gone; the reply read that follows will tell.
  }
}

Text ReadMessage(platform::Connection& connection) {
  if (connection.PeerClosedAndDrained()) return Text();

  uint8_t prefix[4];
  // A close that comes before the first byte of the reply is a closed
  // connection with nothing unread, however late it arrives.
  size_t got = connection.ReceiveSome(prefix, sizeof prefix);
  if (got == 0) return Text();
  if (got < sizeof prefix) connection.ReceiveExact(prefix + got, sizeof prefix - got);
  const int32_t count = static_cast<int32_t>(GetBigEndian32(prefix));

  Text text;
  PayloadDecoder decoder(text);
  Bytes piece(count >= 0 ? std::min(static_cast<size_t>(count), kPiece) : kPiece);
  if (count >= 0) {
    size_t left = static_cast<size_t>(count);
    while (left > 0) {
      size_t want = std::min(left, piece.size());
      size_t n = connection.ReceiveSome(piece.data(), want);
      if (n == 0) throw ConnectionError("connection closed in the middle of a reply");
      decoder.Add(piece.data(), n);
      left -= n;
    }
  } else {
    // No count: the server's close ends the reply.
    for (;;) {
      size_t n = connection.ReceiveSome(piece.data(), piece.size());
      if (n == 0) break;
      decoder.Add(piece.data(), n);
    }
  }
  return text;
}

}  // namespace qvn
