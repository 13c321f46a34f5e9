// Packed text: Base64 of the zlib stream (level 9) of a text's lines in the
// system code page; and the text <-> byte buffer conversions it is built from.
#ifndef QVN_CODECS_PACKING_H_
#define QVN_CODECS_PACKING_H_

#include <cstdint>

#include "base/text.h"

namespace qvn {

Bytes TextToStream(const Text& text);          // 2n bytes, low byte first
Text StreamToText(const Bytes& buffer);        // floor(size / 2) code units

// Replace the buffer by its zlib stream / by the stream's content. Decompression
// accepts a stream cut short anywhere, verifies a complete trailer and raises
// CompressionError on a bad header or invalid data. Returns the content size.
void CompressBuffer(Bytes& buffer);
int64_t DecompressBuffer(Bytes& buffer);

// Never fail: on any failure each returns its input trimmed, lines as CR LF.
Text PackString(const Text& text);
Text UnPackString(const Text& packed);

}  // namespace qvn

#endif  // QVN_CODECS_PACKING_H_
