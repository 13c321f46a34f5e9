#include "support/fake_file_server.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

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

FakeFileServer::FakeFileServer(const Text& password)
    : key_(Trim(Md5Hex(password))), listener_("127.0.0.1", 0) {
  thread_ = std::thread([this] { Run(); });
}

FakeFileServer::~FakeFileServer() {
  stop_ = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_ != nullptr) current_->Shutdown();  // wakes a blocked read
  }
  thread_.join();
  listener_.Close();
}

void FakeFileServer::SetDownload(DownloadReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  reply_ = std::move(reply);
}

bool FakeFileServer::WaitForSessions(size_t count, int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return sessions_.size() >= count; });
}

std::vector<FileSession> FakeFileServer::Sessions() {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_;
}

void FakeFileServer::Run() {
  while (!stop_) {
    platform::Connection connection;
    try {
      connection = listener_.Accept(50);
    } catch (...) {
      return;
    }
    if (!connection.IsOpen()) continue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return;
      current_ = &connection;
    }
    Serve(connection);
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = nullptr;
  }
}

void FakeFileServer::Serve(platform::Connection& connection) {
  FileSession session;
  try {
    Bytes block(kCipherBlock);
    connection.ReceiveExact(block.data(), block.size());
    session.request_plain = AesDecryptBytes(block, key_);
    const auto* chars = reinterpret_cast<const char*>(session.request_plain.data());
    session.request = Utf8ToText(std::string_view(chars, strnlen(chars, session.request_plain.size())));

    if (session.request.starts_with(u"2^")) {
      // Read whatever the client sends until it closes; count it in blocks.
      Bytes pending;
      uint8_t chunk[65536];
      for (;;) {
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
      connection.SendAll(out.data(), out.size());
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
        Bytes cipher = AesEncryptBytes(plain, key_);
        connection.SendAll(cipher.data(), cipher.size());
      }
      // Closing now makes a client that waits for more blocks fail rather
      // than hang.
    }
  } catch (...) {
    // The client went away early; what arrived is recorded.
  }
  // Under the lock: the destructor may be shutting the same socket down.
  std::lock_guard<std::mutex> lock(mutex_);
  connection.Close();
  sessions_.push_back(std::move(session));
  changed_.notify_all();
}

Bytes PatternBytes(size_t size, uint32_t seed) {
  Bytes out(size);
  uint32_t x = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = static_cast<uint8_t>(x >> 16);
  }
  return out;
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(path), ec);
}

TempFolder::TempFolder() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto candidate = base / ("qvn-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate.string();
      break;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(path_), ec);
}

std::string TempFolder::File(const std::string& name) const {
  return (std::filesystem::path(path_) / name).string();
}

std::vector<std::string> TempFolder::Names() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(path_)))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace qvn::testing
