#include "support/fake_file_server.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "codecs/aes.h"
#include "codecs/text_crypto.h"

namespace qvn::testing {
namespace {

Bytes PlainOfText(const Text& text) {
  std::string utf8 = TextToUtf8(text);
  Bytes plain(kPlainBlock, 0);
  std::memcpy(plain.data(), utf8.data(), std::min(utf8.size(), kPlainBlock));
  return plain;
}

int64_t UploadSize(const Text& request) {
  // "2^" size "^" name
  size_t end = request.find(u'^', 2);
  int64_t size = 0;
  for (size_t i = 2; i < end && i < request.size(); ++i) size = size * 10 + (request[i] - u'0');
  return size;
}

}  // namespace

FakeFileServer::FakeFileServer(const Text& password) : key_(Trim(Md5Hex(password))) {
  Start();
}

void FakeFileServer::SetDownload(DownloadReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  reply_ = std::move(reply);
}

FakeFileServer::~FakeFileServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  Changed();
  Stop();
}

void FakeFileServer::SetSilent(bool silent) {
  std::lock_guard<std::mutex> lock(mutex_);
  silent_ = silent;
}

void FakeFileServer::SetTrickle(int pause_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  trickle_ms_ = pause_ms;
}

bool FakeFileServer::WaitForSessions(size_t count, int timeout_ms) {
  return WaitFor(timeout_ms, [&] { return sessions_.size() >= count; });
}

std::vector<FileSession> FakeFileServer::Sessions() {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_;
}

void FakeFileServer::Serve(platform::Connection& connection, size_t index) {
  FileSession session;
  session.index = index;
  try {
    Bytes block(kCipherBlock);
    connection.ReceiveExact(block.data(), block.size());
    session.request_plain = AesDecryptBytes(block, key_);
    const auto* chars = reinterpret_cast<const char*>(session.request_plain.data());
    session.request = Utf8ToText(std::string_view(chars, strnlen(chars, session.request_plain.size())));

    bool silent;
    int trickle_ms;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      silent = silent_;
      trickle_ms = trickle_ms_;
    }
    const auto pause = [&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(trickle_ms));
    };
    const auto send = [&](const Bytes& bytes) {
      for (size_t i = 0; trickle_ms > 0 && i < bytes.size(); ++i) {
        pause();
        connection.SendAll(&bytes[i], 1);
      }
      if (trickle_ms == 0) connection.SendAll(bytes.data(), bytes.size());
    };
    if (silent) {
      WaitFor(60000, [&] { return stopping_; });
    } else if (session.request.starts_with(u"2^")) {
      // Read whatever the client sends until it closes; count it in blocks.
      Bytes pending;
      uint8_t chunk[65536];
      for (;;) {
        if (trickle_ms > 0) pause();
        size_t got = connection.ReceiveSome(chunk, sizeof chunk);
        if (got == 0) break;
        pending.insert(pending.end(), chunk, chunk + got);
        while (pending.size() >= kCipherBlock) {
          Bytes one(pending.begin(), pending.begin() + kCipherBlock);
          pending.erase(pending.begin(), pending.begin() + kCipherBlock);
          session.blocks.push_back(AesDecryptBytes(one, key_));
        }
      }
      session.trailing_bytes = pending.size();
      const size_t size = static_cast<size_t>(UploadSize(session.request));
      for (const Bytes& b : session.blocks) {
        session.uploaded.insert(session.uploaded.end(), b.begin(), b.end());
      }
      if (session.uploaded.size() > size) session.uploaded.resize(size);
    } else if (session.request.starts_with(u"3^")) {
      DownloadReply reply;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        reply = reply_;
      }
      Text answer = reply.answer.empty()
                        ? u"OK^" + DecimalText(static_cast<int64_t>(reply.content.size()))
                        : reply.answer;
      Bytes out = AesEncryptBytes(PlainOfText(answer),
                                  reply.answer_key.empty() ? key_ : reply.answer_key);
      send(out);
      int64_t blocks = reply.blocks >= 0
                           ? reply.blocks
                           : static_cast<int64_t>(reply.content.size() / kPlainBlock) + 1;
      for (int64_t k = 0; k < blocks; ++k) {
        Bytes plain(kPlainBlock, 0);
        size_t from = static_cast<size_t>(k) * kPlainBlock;
        if (from < reply.content.size()) {
          size_t n = std::min(kPlainBlock, reply.content.size() - from);
          std::memcpy(plain.data(), reply.content.data() + from, n);
        }
        send(AesEncryptBytes(plain, key_));
      }
      // Closing now makes a client that waits for more blocks fail rather
      // than hang.
    }
  } catch (...) {
    // The client went away early; what arrived is recorded.
  }
  connection.Interrupt();  // the client sees the end now; the base closes
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto later = std::find_if(sessions_.begin(), sessions_.end(),
                              [&](const FileSession& s) { return s.index > index; });
    sessions_.insert(later, std::move(session));
  }
  Changed();
}


}  // namespace qvn::testing
