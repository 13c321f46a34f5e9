// Request-port framing: a 4-byte big-endian signed byte count, then UTF-16LE.
#ifndef QVN_CONVERSATION_FRAMING_H_
#define QVN_CONVERSATION_FRAMING_H_

#include <cstddef>
#include <optional>
#include <string>

#include "base/byte_stream.h"
#include "base/text.h"

namespace qvn {

// The most payload bytes one message may carry either way: the count is signed.
constexpr size_t kMaxMessageBytes = 0x7FFFFFFF;

// Sends one framed message. Returns why sending broke off (empty when every
// byte went); callers still read, since the server may have answered before
// it closed, but a close without a reply after a broken send is a lost
// connection, not an empty answer (see Exchange). A text longer than `limit` bytes (kMaxMessageBytes; smaller for
// tests) cannot be framed: raises ConnectionError before anything is sent.
std::string WriteMessage(ByteSink& sink, const Text& text, size_t limit = kMaxMessageBytes);

// Reads one framed message; empty text when the source is closed with nothing
// unread. A negative count reads until the server closes, at most
// kMaxMessageBytes. Raises ConnectionError when the source breaks early or a
// reply without a count grows past that bound (`limit`, for tests). Never
// allocates more than what actually arrived.
Text ReadMessage(ByteSource& source, size_t limit = kMaxMessageBytes);
// The same, telling the two empty answers apart: nullopt when the source was
// closed with nothing unread, an empty text for a message of no bytes.
std::optional<Text> ReadMessageOrClose(ByteSource& source, size_t limit = kMaxMessageBytes);

// The receiving end of a request (the stand-in servers): nothing when the
// source closes before the first byte (a probe), else one counted message.
// A count that is negative or above `limit` raises ConnectionError before
// any payload is read.
std::optional<Text> ReadCountedMessage(ByteSource& source, size_t limit);

}  // namespace qvn

#endif  // QVN_CONVERSATION_FRAMING_H_
