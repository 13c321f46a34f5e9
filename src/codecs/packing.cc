#include "codecs/packing.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "base/bytes.h"
#include "base/errors.h"
#include "codecs/base64.h"
#include "platform/codepage.h"
#include "platform/fault_injection.h"
#include "platform/memory_hint.h"

namespace qvn {
namespace {

#ifdef QVN_FAULT_INJECTION
// zlib's allocations are the library's too: they fail in turn like the others.
voidpf CountedAlloc(voidpf, uInt items, uInt size) {
  if (platform::fault::Injected(platform::fault::Op::kAllocate)) return nullptr;
  return std::calloc(items, size);
}
void CountedFree(voidpf, voidpf p) { std::free(p); }
#endif

// A stream set up with the allocator above where faults are injected, and
// zlib's own everywhere else.
z_stream NewStream() {
  z_stream z{};
#ifdef QVN_FAULT_INJECTION
  z.zalloc = CountedAlloc;
  z.zfree = CountedFree;
#endif
  return z;
}

// zlib counts in uInt; bigger buffers go through it in pieces.
constexpr size_t kPiece = size_t{1} << 30;

// The text of the line list of `text` in one pass: cut at the first NUL, every
// line break (CR LF, lone CR, lone LF) written CR LF, and a last line without
// one given one. Same as JoinLines(SplitLines(text)), without the list.
Text JoinedLines(TextView text) {
  const size_t nul = text.find(u'\0');
  if (nul != TextView::npos) text = text.substr(0, nul);
  const size_t n = text.size();
  Text out;
  out.reserve(n + n / 16 + 2);
  platform::HintLargeWrite(out.data(), out.capacity() * sizeof(char16_t));
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = text[i];
    if (c != u'\r' && c != u'\n') continue;
    out.append(text.substr(start, i - start));
    out += u"\r\n";
    if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < n) {
    out.append(text.substr(start));
    out += u"\r\n";
  }
  return out;
}

// Trim(JoinedLines(text)) without a second copy of a text that may be
// hundreds of megabytes: blanks trimmed first (the line breaks at either end
// among them), then each lone CR or LF widened to CR LF from the back.
void JoinLinesAndTrimInPlace(Text& text) {
  const size_t nul = text.find(u'\0');
  if (nul != Text::npos) text.resize(nul);
  size_t n = text.size();
  while (n > 0 && IsBlank(text[n - 1])) --n;
  size_t lead = 0;
  while (lead < n && IsBlank(text[lead])) ++lead;
  size_t extra = 0;
  for (size_t i = lead; i < n; ++i) {
    const char16_t c = text[i];
    if ((c == u'\r' && (i + 1 == n || text[i + 1] != u'\n')) ||
        (c == u'\n' && (i == lead || text[i - 1] != u'\r'))) {
      ++extra;
    }
  }
  text.resize(n + extra);
  size_t to = n + extra;
  char16_t next = 0;  // the unit after position i before anything moved
  for (size_t i = n; extra > 0 && i-- > lead;) {
    const char16_t c = text[i];
    const bool lone_cr = c == u'\r' && next != u'\n';
    const bool lone_lf = c == u'\n' && (i == lead || text[i - 1] != u'\r');
    if (lone_cr || lone_lf) {
      text[--to] = u'\n';
      text[--to] = u'\r';
      --extra;
    } else {
      text[--to] = c;
    }
    next = c;
  }
  text.erase(0, lead);
}

// Gives zlib the next piece of input and room for output; tracks how much of
// each has been used.
class Pump {
 public:
  Pump(z_stream& z, const Bytes& in, Bytes& out) : z_(z), in_(in), out_(out) {}

  // Sets up next_in/avail_in and next_out/avail_out before a call.
  void Prepare() {
    if (z_.avail_in == 0 && fed_ < in_.size()) {
      const size_t n = std::min(in_.size() - fed_, kPiece);
      z_.next_in = const_cast<Bytef*>(in_.data() + fed_);
      z_.avail_in = static_cast<uInt>(n);
      fed_ += n;
    }
    if (written_ == out_.size()) out_.resize(std::max<size_t>(out_.size() * 2, 4096));
    given_ = std::min(out_.size() - written_, kPiece);
    z_.next_out = out_.data() + written_;
    z_.avail_out = static_cast<uInt>(given_);
  }
  // Accounts for a call's output.
  void Account() { written_ += given_ - z_.avail_out; }

  bool AllInputGiven() const { return fed_ == in_.size() && z_.avail_in == 0; }
  size_t written() const { return written_; }

 private:
  z_stream& z_;
  const Bytes& in_;
  Bytes& out_;
  size_t fed_ = 0;
  size_t written_ = 0;
  size_t given_ = 0;
};

struct DeflateStream {
  z_stream z = NewStream();
  DeflateStream() {
    const int r = deflateInit2(&z, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    // Out of memory is no sign of a text that cannot be packed.
    if (r == Z_MEM_ERROR) throw std::bad_alloc();
    if (r != Z_OK) throw CompressionError("deflateInit2 failed");
  }
  ~DeflateStream() { deflateEnd(&z); }
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;
};

struct InflateStream {
  z_stream z = NewStream();
  InflateStream() {
    const int r = inflateInit2(&z, 15);
    // Out of memory is no sign of a text that was not packed.
    if (r == Z_MEM_ERROR) throw std::bad_alloc();
    if (r != Z_OK) throw CompressionError("inflateInit2 failed");
  }
  ~InflateStream() { inflateEnd(&z); }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
};

// Inflates `in` a piece at a time, handing each piece of output to `sink`.
// A stream cut short, an incomplete trailer included, gives what it holds.
template <typename Sink>
void Inflate(const Bytes& in, Sink&& sink) {
  InflateStream s;
  // Small inputs get a small piece: most packed texts are short.
  const size_t piece_size = std::clamp<size_t>(4 * in.size(), 4096, size_t{1} << 18);
  const std::unique_ptr<uint8_t[]> piece(new uint8_t[piece_size]);
  size_t fed = 0;
  for (;;) {
    if (s.z.avail_in == 0 && fed < in.size()) {
      const size_t n = std::min(in.size() - fed, kPiece);
      s.z.next_in = const_cast<Bytef*>(in.data() + fed);
      s.z.avail_in = static_cast<uInt>(n);
      fed += n;
    }
    s.z.next_out = piece.get();
    s.z.avail_out = static_cast<uInt>(piece_size);
    const int r = inflate(&s.z, Z_NO_FLUSH);
    sink(piece.get(), piece_size - s.z.avail_out);
    if (r == Z_STREAM_END) return;  // the trailer was complete and matched
    if (r == Z_MEM_ERROR) throw std::bad_alloc();
    if (r != Z_OK && r != Z_BUF_ERROR) {
      throw CompressionError(s.z.msg != nullptr ? s.z.msg : "invalid compressed data");
    }
    if (fed == in.size() && s.z.avail_in == 0 && s.z.avail_out != 0) return;
  }
}

Text DecodeContent(const Bytes& b) {
  const size_t n = b.size();
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    return Utf8ToText(std::string_view(reinterpret_cast<const char*>(b.data()) + 3, n - 3));
  }
  if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    return BytesToText(b.data() + 2, n - 2, /*big_endian=*/b[0] == 0xFE);
  }
  return platform::SystemCodePageToText(b.data(), n);
}

}  // namespace

Bytes TextToStream(const Text& text) { return TextToBytes(text); }

Text StreamToText(const Bytes& buffer) { return BytesToText(buffer); }

void CompressBuffer(Bytes& buffer) {
  DeflateStream s;
  const size_t n = buffer.size();
  // zlib's own bound for these settings, so one allocation normally does.
  Bytes out(n + (n >> 12) + (n >> 14) + (n >> 25) + 64);
  Pump pump(s.z, buffer, out);
  for (;;) {
    pump.Prepare();
    const int r = deflate(&s.z, pump.AllInputGiven() ? Z_FINISH : Z_NO_FLUSH);
    pump.Account();
    if (r == Z_STREAM_END) break;
    if (r == Z_MEM_ERROR) throw std::bad_alloc();
    if (r != Z_OK && r != Z_BUF_ERROR) throw CompressionError("deflate failed");
  }
  out.resize(pump.written());
  buffer = std::move(out);
}

int64_t DecompressBuffer(Bytes& buffer) {
  // Twice through the stream: once to learn the size, once into a buffer of
  // exactly that size. Growing one instead would cost up to three times the
  // output at its peak, and packed texts can inflate a thousandfold.
  size_t total = 0;
  Inflate(buffer, [&](const uint8_t*, size_t n) { total += n; });
  Bytes out(total);
  size_t at = 0;
  Inflate(buffer, [&](const uint8_t* p, size_t n) {
    if (n == 0) return;  // an empty buffer may have no storage at all
    if (n > out.size() - at) throw CompressionError("inflated differently the second time");
    std::memcpy(out.data() + at, p, n);
    at += n;
  });
  buffer = std::move(out);
  return static_cast<int64_t>(buffer.size());
}

Text PackString(const Text& text) {
  const Text t = Trim(text);
  try {
    Bytes b = platform::TextToSystemCodePage(JoinedLines(t));
    CompressBuffer(b);
    // The stream travels as UTF-16 code units: an odd last byte is lost here.
    // The result is one line without blanks, so its line list and trimming
    // leave it as it is.
    return Base64EncodeBytes(b);
  } catch (const CompressionError&) {
  }
  return Trim(JoinedLines(t));
}

Text UnPackString(const Text& packed) {
  const Text t = Trim(packed);
  try {
    // Line breaks inside are decoded like any character (and spoil the data);
    // the final CR LF falls outside the last whole group.
    Bytes b = Base64DecodeBytes(JoinedLines(t));
    DecompressBuffer(b);
    Text text = DecodeContent(b);
    Bytes().swap(b);  // gone before the text is tidied
    JoinLinesAndTrimInPlace(text);
    return text;
  } catch (const CompressionError&) {  // not a packed text: it comes back as it is
  }
  return Trim(JoinedLines(t));
}

}  // namespace qvn
