// A stand-in for the server's file port on 127.0.0.1 (ephemeral port): it
// decrypts the request block, records uploads block by block and answers
// downloads with a configured answer and content. Stops when destroyed.
#ifndef QVN_TESTS_SUPPORT_FAKE_FILE_SERVER_H_
#define QVN_TESTS_SUPPORT_FAKE_FILE_SERVER_H_

#include <cstdint>
#include <vector>

#include "base/text.h"
#include "support/loopback_server.h"
#include "support/temp_file.h"

namespace qvn::testing {

inline constexpr size_t kPlainBlock = 32767;
inline constexpr size_t kCipherBlock = 32768;

struct FileSession {
  size_t index = 0;           // the connection's number in accept order
  Bytes request_plain;        // the decrypted request block, all of it
  Text request;               // its text: the UTF-8 before the first zero byte
  std::vector<Bytes> blocks;  // every later block the client sent, decrypted
  size_t trailing_bytes = 0;  // bytes after the last whole block
  // Upload: the first S bytes of the blocks, S taken from the request.
  Bytes uploaded;
};

struct DownloadReply {
  Text answer;          // answer text; empty: "OK^" + content size
  Text answer_key;      // key text the answer is encrypted under; empty: the session's
  Bytes content;        // the file's bytes, sent 32,767 per block
  int64_t blocks = -1;  // blocks to send; -1: content size div 32,767 + 1
};

class FakeFileServer : public LoopbackServer {
 public:
  // password: the credentials line the client uses; the key is its Md5Hex.
  explicit FakeFileServer(const Text& password);
  ~FakeFileServer() override;

  void SetDownload(DownloadReply reply);
  // Silent: after the request block the server neither reads nor answers
  // until it is stopped.
  void SetSilent(bool silent);
  // Trickling: every byte of a download's answer and blocks goes alone, and an
  // upload is read at most 64 KiB at a time, pause_ms apart (0: at full speed).
  void SetTrickle(int pause_ms);
  // Until `count` connections are over, at most timeout_ms. True if they are.
  bool WaitForSessions(size_t count, int timeout_ms = 20000);
  // In accept order, which sessions on parallel threads may end out of.
  std::vector<FileSession> Sessions();

 private:
  void Serve(platform::Connection& connection, size_t index) override;

  Text key_;
  std::vector<FileSession> sessions_;  // under mutex_
  DownloadReply reply_;
  bool silent_ = false;    // under mutex_
  int trickle_ms_ = 0;     // under mutex_
  bool stopping_ = false;  // under mutex_
};


}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_FAKE_FILE_SERVER_H_
