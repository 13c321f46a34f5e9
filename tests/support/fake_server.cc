#include "support/fake_server.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "base/errors.h"

namespace qvn::testing {

Bytes CountPrefix(int32_t count) {
  uint32_t n = static_cast<uint32_t>(count);
  return Bytes{static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
               static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
}

Bytes Utf16Le(const Text& text) {
  Bytes out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

Bytes Frame(const Text& text) {
  Bytes out = CountPrefix(static_cast<int32_t>(text.size() * 2));
  Bytes payload = Utf16Le(text);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Text PayloadText(const Bytes& wire) {
  Text out;
  for (size_t i = 4; i + 1 < wire.size(); i += 2) {
    out.push_back(static_cast<char16_t>(wire[i] | (wire[i + 1] << 8)));
  }
  return out;
}

Bytes AsciiBytes(const char* s) { return Bytes(s, s + std::strlen(s)); }

Reply Reply::Framed(const Text& text) { return Reply{Frame(text), {}}; }
Reply Reply::Raw(Bytes bytes) { return Reply{std::move(bytes), {}}; }
Reply Reply::CloseWithoutReply() { return Reply{}; }

Reply Reply::CloseMidFrame(int32_t announced, const Bytes& sent) {
  Bytes out = CountPrefix(announced);
  out.insert(out.end(), sent.begin(), sent.end());
  return Reply{out, {}};
}

Reply Reply::HugeLengthThenClose() {
  return CloseMidFrame(0x7FFFFFFE, Utf16Le(u"only this"));
}

Reply Reply::ResetMidFrame(int32_t announced, const Bytes& sent) {
  Reply r = CloseMidFrame(announced, sent);
  r.reset = true;
  return r;
}

Reply Reply::EndlessStream(const Bytes& payload) { return Reply{CountPrefix(-1), payload}; }

Reply Reply::Trickled(Bytes bytes, int pause_ms) {
  Reply r{std::move(bytes), {}};
  r.trickle_ms = pause_ms;
  return r;
}

Reply Reply::NegativeLengthStream(const Bytes& payload, int32_t count) {
  return CloseMidFrame(count, payload);
}

FakeServer::FakeServer(Handler handler, int lifetime_ms)
    : LoopbackServer(lifetime_ms), handler_(std::move(handler)) {
  Start();
}

FakeServer::FakeServer(Reply reply, int lifetime_ms)
    : FakeServer([reply](const Text&, size_t) { return reply; }, lifetime_ms) {}

void FakeServer::Serve(platform::Connection& connection, size_t slot) {
  ConnectionRecord record;
  auto read_upto = [&](size_t total) {
    uint8_t piece[4096];
    while (record.received.size() < total) {
      size_t want = std::min(sizeof piece, total - record.received.size());
      size_t n = connection.ReceiveSome(piece, want);
      if (n == 0) return false;
      record.received.insert(record.received.end(), piece, piece + n);
    }
    return true;
  };
  try {
    if (read_upto(4)) {
      const Bytes& r = record.received;
      int32_t count = static_cast<int32_t>((uint32_t{r[0]} << 24) | (uint32_t{r[1]} << 16) |
                                           (uint32_t{r[2]} << 8) | uint32_t{r[3]});
      if (count >= 0 && read_upto(4 + static_cast<size_t>(count))) {
        record.had_request = true;
        record.request = PayloadText(record.received);
      }
    }
    if (!record.had_request) {
      // Whatever else arrives before the close belongs to the record too.
      uint8_t piece[4096];
      size_t n;
      while ((n = connection.ReceiveSome(piece, sizeof piece)) > 0) {
        record.received.insert(record.received.end(), piece, piece + n);
      }
    }
  } catch (const Error&) {
  }
  if (record.had_request) {
    size_t index;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = requests_++;
    }
    try {
      Reply reply = handler_(record.request, index);
      for (size_t i = 0; reply.trickle_ms > 0 && i < reply.bytes.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(reply.trickle_ms));
        connection.SendAll(&reply.bytes[i], 1);
      }
      if (reply.trickle_ms == 0 && !reply.bytes.empty()) {
        connection.SendAll(reply.bytes.data(), reply.bytes.size());
      }
      while (!reply.repeated.empty()) {
        connection.SendAll(reply.repeated.data(), reply.repeated.size());
      }
      if (reply.reset) {
        std::lock_guard<std::mutex> lock(mutex_);  // Stop() may interrupt it meanwhile
        connection.Abort();
      }
    } catch (...) {
    }
  }
  connection.Interrupt();  // the client sees the end now; the base closes
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (records_.size() <= slot) {
      records_.resize(slot + 1);
      done_.resize(slot + 1);
    }
    records_[slot] = std::move(record);
    done_[slot] = true;
  }
  Changed();
}

std::vector<ConnectionRecord> FakeServer::Connections() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ConnectionRecord> out;
  for (size_t i = 0; i < records_.size(); ++i) {
    if (done_[i]) out.push_back(records_[i]);
  }
  return out;
}

std::vector<ConnectionRecord> FakeServer::WaitForConnections(size_t count, int timeout_ms) {
  WaitFor(timeout_ms, [&] {
    size_t ended = 0;
    for (bool d : done_) ended += d ? 1 : 0;
    return ended >= count;
  });
  return Connections();
}

}  // namespace qvn::testing
