#include "conversation/framing.h"

#include <algorithm>
#include <cstdint>

#include "base/bytes.h"
#include "base/errors.h"

namespace qvn {
namespace {

// Bytes are moved in pieces of this size both ways, so a count announced by
// the server costs memory only as its bytes actually arrive.
constexpr size_t kPiece = 64 * 1024;

// Appends UTF-16LE bytes to `out`; an odd byte is carried into the next call.
// The text doubles as bytes arrive, but never beyond the announced size: the
// last step of a large reply then costs its own size, not twice that.
class PayloadDecoder {
 public:
  PayloadDecoder(Text& out, size_t announced_units) : out_(out), announced_(announced_units) {}
  void Add(const uint8_t* data, size_t n) {
    const size_t needed = out_.size() + (n + 1) / 2;
    if (needed > out_.capacity()) Grow(std::max(needed, std::min(announced_, 2 * needed)));
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
  // A fresh string of exactly `units`: reserve() on the text itself would round
  // up to twice its old capacity.
  void Grow(size_t units) {
    Text bigger;
    bigger.reserve(units);
    bigger.append(out_);
    out_.swap(bigger);
  }

  Text& out_;
  size_t announced_;
  uint8_t low_ = 0;
  bool has_low_ = false;
};

// Reads the 4-byte count; false when the source closes before its first
// byte (a closed connection with nothing unread, however late the close).
bool ReadCount(ByteSource& source, int32_t& count) {
  uint8_t prefix[4];
  size_t got = source.ReceiveSome(prefix, sizeof prefix);
  if (got == 0) return false;
  if (got < sizeof prefix) source.ReceiveExact(prefix + got, sizeof prefix - got);
  count = static_cast<int32_t>(GetBigEndian32(prefix));
  return true;
}

// The payload after the count; a negative count reads until the close, at
// most `limit` bytes.
Text ReadPayload(ByteSource& source, int32_t count, size_t limit) {
  const bool counted = count >= 0;
  size_t left = counted ? static_cast<size_t>(count) : limit;
  Text text;
  PayloadDecoder decoder(text, (left + 1) / 2);
  Bytes piece(std::min(left, kPiece));
  while (left > 0) {
    size_t n = source.ReceiveSome(piece.data(), std::min(left, piece.size()));
    if (n == 0) {
      if (!counted) return text;
      throw ConnectionError("connection closed in the middle of a reply");
    }
    decoder.Add(piece.data(), n);
    left -= n;
  }
  if (!counted && !source.PeerClosedAndDrained()) {
    // At the bound and more may follow: see whether the server closes now.
    uint8_t extra;
    if (source.ReceiveSome(&extra, 1) != 0) {
      throw ConnectionError("reply without a count exceeds the longest message");
    }
  }
  return text;
}

}  // namespace

std::string WriteMessage(ByteSink& sink, const Text& text, size_t limit) {
  if (text.size() > std::min(limit, kMaxMessageBytes) / 2) {
    throw ConnectionError("message too long for its length prefix");
  }
  uint8_t buffer[kPiece];
  PutBigEndian32(static_cast<uint32_t>(text.size() * 2), buffer);
  size_t used = 4;
  try {
    for (char16_t c : text) {
      if (used + 2 > sizeof buffer) {
        sink.SendAll(buffer, used);
        used = 0;
      }
      buffer[used++] = static_cast<uint8_t>(c & 0xFF);
      buffer[used++] = static_cast<uint8_t>(c >> 8);
    }
    sink.SendAll(buffer, used);
  } catch (const Error& e) {
    return e.what();
  }
  return {};
}

Text ReadMessage(ByteSource& source, size_t limit) {
  return ReadMessageOrClose(source, limit).value_or(Text());
}

std::optional<Text> ReadMessageOrClose(ByteSource& source, size_t limit) {
  if (source.PeerClosedAndDrained()) return std::nullopt;
  int32_t count;
  if (!ReadCount(source, count)) return std::nullopt;
  // No count: the server's close ends the reply, within the same bound as a
  // counted one.
  return ReadPayload(source, count, limit);
}

std::optional<Text> ReadCountedMessage(ByteSource& source, size_t limit) {
  int32_t count;
  if (!ReadCount(source, count)) return std::nullopt;
  if (count < 0) throw ConnectionError("not a counted message (negative length)");
  if (static_cast<size_t>(count) > limit) {
    throw ConnectionError("message of " + std::to_string(count) + " bytes is above the limit of " +
                          std::to_string(limit));
  }
  return ReadPayload(source, count, limit);
}

}  // namespace qvn
