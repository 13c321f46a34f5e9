// Servers that break the conversation on purpose. Whatever they send, every
// call returns with its documented answer, the user's existing file stays
// byte for byte, a completed download is whole, and no temporary file is left.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>

#include "codecs/text_crypto.h"
#include "conversation/script_request.h"
#include "support/cut_off_server.h"
#include "support/fake_file_server.h"
#include "support/fake_server.h"
#include "transfer/file_transfer_client.h"

namespace qvn::testing {
namespace {

const Text kScript = u"dbpass\r\nselect";
// The longest message either way in these tests, so that bounds are reached
// without moving gigabytes.
constexpr size_t kLimit = 1 << 20;

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Broken frames give "NONE"; a whole frame that does not decrypt under the
// script's keys gives whatever it decrypts to (the protocol carries no
// authentication) and must only come back without fault.
TEST(HostileRequestPortTest, BrokenRepliesGiveNone) {
  const struct Case {
    const char* what;
    Reply reply;
    bool none;
  } cases[] = {
      {"huge length then close", Reply::HugeLengthThenClose(), true},
      {"close mid-frame", Reply::CloseMidFrame(400, Utf16Le(u"half")), true},
      {"reset mid-frame", Reply::ResetMidFrame(400, Utf16Le(u"half")), true},
      {"endless reply without a count", Reply::EndlessStream(Utf16Le(Text(32768, u'm'))), true},
      {"garbage ciphertext", Reply::Framed(u"@@not a cipher text@@"), false},
      {"garbage streamed", Reply::NegativeLengthStream(Utf16Le(u"%%%% noise")), false},
      {"wrong key", Reply::Framed(EncryptText(Md5Hex(u"other"), u"secret")), false},
      {"odd-length cipher text", Reply::Framed(u"ABC"), false},
      {"odd byte count", Reply::Raw(Cat(CountPrefix(3), Bytes{'a', 0, 'b'})), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeServer server(c.reply);
    const Text answer = SendScript(FakeServer::kHost, server.port(), kScript, kLimit);
    if (c.none) {
      EXPECT_EQ(answer, u"NONE");
    }
  }
}

// A request too long for its count is not sent at all, and the call does not
// wait for a reply that cannot come.
TEST(HostileRequestPortTest, OversizedRequestFailsAtOnce) {
  FakeServer server(Reply::Framed(u"never"));
  const Text script = kScript + Text(kLimit, u'x');
  EXPECT_EQ(SendScript(FakeServer::kHost, server.port(), script, kLimit), u"NONE");
  const std::vector<ConnectionRecord> seen = server.WaitForConnections(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].received.empty());
}

// A server that accepts and never answers blocks only the call waiting on it.
TEST(HostileRequestPortTest, SilentServerBlocksOnlyItsOwnCall) {
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  FakeServer silent([&](const Text&, size_t) {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return release; });
    return Reply::CloseWithoutReply();
  });
  auto stuck = std::async(std::launch::async,
                          [&] { return SendScript(FakeServer::kHost, silent.port(), kScript); });
  FakeServer honest(Reply::Framed(EncryptText(Md5Hex(u"dbpass"), u"ANSWER")));
  for (int i = 0; i < 3; ++i) {
    auto other = std::async(std::launch::async,
                            [&] { return SendScript(FakeServer::kHost, honest.port(), kScript); });
    ASSERT_EQ(other.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(other.get(), u"ANSWER");
  }
  EXPECT_EQ(stuck.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  EXPECT_EQ(stuck.get(), u"");  // closed without a reply
}

// An upload is completed only when the server read it to the end: one that
// stops reading early and resets fails the upload however small it is. (A
// server that ends in order first and resets only when the unread bytes
// arrive can look like one that read them all.) (Not under Wine, whose
// sockets read a reset that comes after the client's last send as an orderly
// end.)
#ifndef _WIN32
TEST(HostileFilePortTest, UploadsTheServerDidNotReadToTheEndFail) {
  TempFolder folder;
  const struct {
    const char* what;
    size_t blocks;      // of the upload
    size_t read_bytes;  // by the server, the request block's included
    bool reset;
  } cases[] = {
      {"resets after the request block", 1, kCipherBlock, true},
      {"resets 100 bytes before the end", 40, 41 * kCipherBlock - 100, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CutOffServer server(c.read_bytes, c.reset);
    const std::string path = folder.File("up.bin");
    WriteFileBytes(path, PatternBytes(c.blocks * kPlainBlock));
    TFileTransferClient client;
    EXPECT_FALSE(client.FileUpLoad(u"127.0.0.1", server.port(), u"pw", Utf8ToText(path), u"..\\u"));
    EXPECT_EQ(client.Outcome().status, TransferStatus::kFailed);
  }
}
#endif

TEST(HostileFilePortTest, DownloadsEndWholeOrLeaveTheFileAsItWas) {
  const Bytes content = PatternBytes(70000, 7);
  const Bytes original = PatternBytes(1000, 8);
  const struct Case {
    const char* what;
    DownloadReply reply;
    int64_t size;  // of a successful download; -1: it must fail
  } cases[] = {
      {"garbage blocks", {u"OK^70000", u"not the key", content, -1}, -1},
      {"short blocks then close", {u"OK^70000", u"", content, 1}, -1},
      {"stops mid-transfer", {u"OK^70000", u"", content, 2}, -1},
      {"negative size", {u"OK^-5", u"", content, -1}, -1},
      {"huge size", {u"OK^9223372036854775807", u"", content, 4}, -1},
      {"size beyond 64 bits", {u"OK^9223372036854775808", u"", content, 4}, -1},
      {"non-numeric size", {u"OK^seventy", u"", content, 4}, -1},
      {"refusal", {u"NOFILE", u"", {}, 0}, -1},
      {"hexadecimal size", {u"OK^$1000", u"", content, 1}, 0x1000},
      {"more blocks than announced", {u"OK^40000", u"", content, 6}, 40000},
  };
  FakeFileServer server(u"dbpass");
  TempFolder folder;
  const std::string path = folder.File("mine.bin");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(path, original);
    server.SetDownload(c.reply);
    TFileTransferClient client;
    const bool ok = client.FileDownLoad(u"127.0.0.1", server.port(), u"dbpass", Utf8ToText(path),
                                        u"..\\f");
    EXPECT_EQ(ok, c.size >= 0);
    const Bytes now = ReadFileBytes(path);
    if (c.size >= 0) {
      EXPECT_TRUE(now == Bytes(content.begin(), content.begin() + c.size));
    } else {
      EXPECT_TRUE(now == original);
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"mine.bin"});
  }
}

}  // namespace
}  // namespace qvn::testing
