// A host stays in control of its own process: waits end within the time-outs
// it chose, the probe keeps its bound, a cancel ends the transfers, progress
// never claims a file that did not arrive, and an upload whose file shrinks
// fails instead of sending stale bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

#include "base/debug_log.h"
#include "base/errors.h"
#include "codecs/aes.h"
#include "conversation/admin_commands.h"
#include "conversation/script_request.h"
#include "conversation/user_auth.h"
#include "net/listener.h"
#include "qvn.h"
#include "platform/socket.h"
#include "support/fake_file_server.h"
#include "support/fake_server.h"
#include "support/loopback.h"
#include "support/progress_window.h"
#include "support/timeout_values.h"
#include "transfer/file_transfer_client.h"
#include "transfer/file_transfer_thread.h"

namespace qvn::testing {
namespace {

using platform::SocketTimeouts;
constexpr char16_t kHost[] = u"127.0.0.1";
const Text kPassword = u"dbpass";

// The host's time-outs for one test.
struct ScopedTimeouts {
  explicit ScopedTimeouts(SocketTimeouts t) { platform::SetHostTimeoutsForTesting(t); }
  ~ScopedTimeouts() { platform::SetHostTimeoutsForTesting(std::nullopt); }
};

// Runs `call` and fails the test when it is still waiting after 15 s: the
// bound under test would have ended it long before.
template <typename Fn>
auto WithinBound(Fn call) {
  auto result = std::async(std::launch::async, call);
  EXPECT_EQ(result.wait_for(std::chrono::seconds(15)), std::future_status::ready);
  return result.get();
}

// The library sets no limit for a malformed value (the report is
// TimeoutsEnvironmentPosixTest's); qvn and the bindings refuse it.
TEST(HostTimeoutsTest, OnlyAPositiveWholeNumberSetsABound) {
  for (const TimeoutValue& v : LoadTimeoutValues()) {
    EXPECT_EQ(platform::ParseTimeoutMs(v.value), v.ms.value_or(0)) << '"' << v.value << '"';
  }
}

// A peer that accepts and then says nothing, on either port: every call ends
// with its ordinary failure once the I/O time-out has passed.
TEST(HostTimeoutsTest, SilentServersEndEveryCallWithItsFailure) {
  ScopedTimeouts timeouts({.connect_ms = 0, .io_ms = 300});
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  FakeServer request_port([released](const Text&, size_t) {
    released.wait();
    return Reply::CloseWithoutReply();
  });
  const uint16_t port = request_port.port();
  const struct {
    const char* what;
    std::function<Text()> call;
    Text answer;
  } requests[] = {
      {"script request", [&] { return SendScript(kHost, port, u"dbpass\r\nselect"); }, u"NONE"},
      {"command", [&] { return QueryDbName(kHost, port, 5000); }, u"CONNECTION_ERROR"},
      {"authentication", [&] { return AuthenticateUser(kHost, port, u"u", u"p"); },
       u"CONNECTION_ERROR"},
  };
  for (const auto& r : requests) EXPECT_EQ(WithinBound(r.call), r.answer) << r.what;
  release.set_value();

  FakeFileServer file_port(kPassword);
  file_port.SetSilent(true);
  TempFolder folder;
  const std::string mine = folder.File("mine.bin"), big = folder.File("big.bin");
  WriteFileBytes(mine, PatternBytes(100));
  // More than the socket buffers of both ends hold, so sending must wait.
  WriteFileBytes(big, PatternBytes(48 << 20));
  const struct {
    const char* what;
    bool upload;
    std::string client_file;
  } transfers[] = {{"download without an answer", false, mine},
                   {"upload nobody reads", true, big}};
  for (const auto& t : transfers) {
    SCOPED_TRACE(t.what);
    TFileTransferClient client;
    const Text local = Utf8ToText(t.client_file);
    const bool ok = WithinBound([&] {
      return t.upload ? client.FileUpLoad(kHost, file_port.port(), kPassword, local, u"..\\x")
                      : client.FileDownLoad(kHost, file_port.port(), kPassword, local, u"..\\x");
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(client.Outcome().status, TransferStatus::kTimedOut) << client.Outcome().reason;
  }
  EXPECT_TRUE(ReadFileBytes(mine) == PatternBytes(100));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"big.bin", "mine.bin"}));
}

// A peer that trickles (one byte, or one piece of an upload, every 20 ms)
// never lets a single wait run out; the operation bound still ends each call
// with its ordinary failure, and says it was that bound.
TEST(HostTimeoutsTest, TricklingServersEndOnceTheOperationBoundRunsOut) {
  ScopedTimeouts timeouts({.connect_ms = 0, .io_ms = 3000, .operation_ms = 700});
  std::vector<std::string> lines;
  std::mutex lines_mutex;
  SetDebugSinkForTesting([&](const std::string& line) {
    std::lock_guard<std::mutex> lock(lines_mutex);
    lines.push_back(line);
  });
  const auto named_the_bound = [&] {
    std::lock_guard<std::mutex> lock(lines_mutex);
    const bool named = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("QVN_OPERATION_TIMEOUT_MS") != std::string::npos;
    });
    lines.clear();
    return named;
  };
  // 16 payload bytes would take 400 ms; a megabyte announced, weeks.
  Bytes reply = CountPrefix(1 << 20);
  reply.resize(4 + 4096, 'n');
  FakeServer request_port(Reply::Trickled(reply, 20));
  const uint16_t port = request_port.port();
  const struct {
    const char* what;
    std::function<Text()> call;
    Text answer;
  } requests[] = {
      {"command, probe first", [&] { return QueryDbName(kHost, port, 5000); },
       u"CONNECTION_ERROR"},
      {"script request", [&] { return SendScript(kHost, port, u"dbpass\r\nselect"); }, u"NONE"},
  };
  for (const auto& r : requests) {
    EXPECT_EQ(WithinBound(r.call), r.answer) << r.what;
    EXPECT_TRUE(named_the_bound()) << r.what;
  }

  FakeFileServer file_port(kPassword);
  file_port.SetTrickle(20);
  file_port.SetDownload({u"", u"", PatternBytes(4 * kPlainBlock), -1});
  TempFolder folder;
  const std::string mine = folder.File("mine.bin"), big = folder.File("big.bin");
  WriteFileBytes(mine, PatternBytes(100));
  // At 64 KiB every 20 ms, more than the socket buffers hold and 0.7 s move.
  WriteFileBytes(big, PatternBytes(24 << 20));
  for (const bool upload : {false, true}) {
    SCOPED_TRACE(upload ? "upload" : "download");
    TFileTransferClient client;
    const Text local = Utf8ToText(upload ? big : mine);
    EXPECT_FALSE(WithinBound([&] {
      return upload ? client.FileUpLoad(kHost, file_port.port(), kPassword, local, u"..\\x")
                    : client.FileDownLoad(kHost, file_port.port(), kPassword, local, u"..\\x");
    }));
    EXPECT_EQ(client.Outcome().status, TransferStatus::kTimedOut) << client.Outcome().reason;
    EXPECT_NE(client.Outcome().reason.find("QVN_OPERATION_TIMEOUT_MS"), std::string::npos)
        << client.Outcome().reason;
    EXPECT_TRUE(named_the_bound());
  }
  SetDebugSinkForTesting(nullptr);
  EXPECT_TRUE(ReadFileBytes(mine) == PatternBytes(100));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"big.bin", "mine.bin"}));
}

// A listener whose accept queue is full drops new connection requests, so a
// connect to it waits for as long as the system lets it: only a bound ends it.
TEST(HostTimeoutsTest, ConnectsToAFullBacklogEndWithinTheirBound) {
  net::Listener listener("127.0.0.1", 0, 0);
  std::vector<platform::Connection> queued;
  bool full = false;
  {
    ScopedTimeouts timeouts({.connect_ms = 200, .io_ms = 0});
    for (int i = 0; i < 64 && !full; ++i) {
      try {
        queued.push_back(platform::Connection::Open(kHost, listener.port()));
      } catch (const TimeoutError&) {
        full = true;
      }
    }
  }
  if (!full) GTEST_SKIP() << "this system queues every connection request";
  const uint16_t port = listener.port();

  // The probe's own time-out bounds its connect, with no host time-out set.
  EXPECT_FALSE(WithinBound([&] { return platform::ProbeConnect(kHost, port, 100); }));

  ScopedTimeouts timeouts({.connect_ms = 200, .io_ms = 0});
  EXPECT_EQ(WithinBound([&] { return QueryDbName(kHost, port, 5000); }), u"CONNECTION_ERROR");
  EXPECT_EQ(WithinBound([&] { return SendScript(kHost, port, u"dbpass\r\nselect"); }), u"NONE");
  TempFolder folder;
  const Text target = Utf8ToText(folder.File("t.bin"));
  EXPECT_THROW(WithinBound([&] {
                 return TFileTransferClient().FileDownLoad(kHost, port, kPassword, target, u"..\\x");
               }),
               TimeoutError);
  EXPECT_TRUE(folder.Names().empty());
}

// The host answers the first progress message of three entries with cancel:
// the download ends at once with its target as it was, and the other entries
// never start.
TEST(CancelTransfersTest, CancelOnTheFirstMessageEndsTheScriptsTransfers) {
  FakeFileServer server(kPassword);
  server.SetDownload({u"", u"", PatternBytes(20 * kPlainBlock), -1});
  TempFolder folder;
  const std::string first = folder.File("first.bin"), up = folder.File("up.bin");
  WriteFileBytes(first, PatternBytes(10, 3));
  WriteFileBytes(up, PatternBytes(100));
  ProgressWindow window;
  window.CancelWhen([](const ProgressMessage&) { return true; });
  TFileTransferThread thread;
  thread.SetHost(kHost);
  thread.SetFilePort(server.port());
  thread.SetMessageHandle(window.handle());
  thread.SetFilesScript(kPassword + u"\r\nFILES [DOWNLOAD]\r\n{" + Utf8ToText(first) +
                        u",..\\a}\r\nFILES [UPLOAD]\r\n{" + Utf8ToText(up) + u",..\\b\r\n" +
                        Utf8ToText(folder.File("second.bin")) + u",..\\c}\r\n");
  thread.Execute();

  EXPECT_EQ(window.Messages().size(), 1u);
  ASSERT_TRUE(server.WaitForSessions(1));
  EXPECT_EQ(server.Sessions().size(), 1u);
  EXPECT_TRUE(ReadFileBytes(first) == PatternBytes(10, 3));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"first.bin", "up.bin"}));
  EXPECT_EQ(window.WaitForDone(), 1);
  EXPECT_EQ(window.DoneIncomplete(), 3);
  std::vector<int32_t> statuses;
  for (const OutcomeMessage& o : window.Outcomes()) statuses.push_back(o.status);
  EXPECT_EQ(statuses, (std::vector<int32_t>{QVN_TRANSFER_CANCELLED, QVN_TRANSFER_NOT_STARTED,
                                            QVN_TRANSFER_NOT_STARTED}));
}

// A cancel on any message but an upload's last keeps the server from getting
// the whole file, also within the last batch of blocks; on the last message
// it is too late and the upload is complete.
TEST(CancelTransfersTest, OnlyTheLastMessageIsTooLateToCancelAnUpload) {
  TempFolder folder;
  const std::string path = folder.File("up.bin");
  const int64_t block = static_cast<int64_t>(kPlainBlock);
  const int64_t blocks = 25, size = blocks * block;  // messages at 10, 20 and 25 blocks
  WriteFileBytes(path, PatternBytes(size));
  const struct {
    int64_t cancel_at;  // the count whose message answers cancel
    int32_t status;
  } cases[] = {{20 * block, QVN_TRANSFER_CANCELLED}, {size, QVN_TRANSFER_COMPLETED}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cancel_at);
    FakeFileServer server(kPassword);
    ProgressWindow window;
    window.CancelWhen([&](const ProgressMessage& m) {
      return ProgressFields(m.text)[3] == DecimalText(c.cancel_at);
    });
    TFileTransferThread thread;
    thread.SetHost(kHost);
    thread.SetFilePort(server.port());
    thread.SetMessageHandle(window.handle());
    thread.SetFilesScript(kPassword + u"\r\nFILES [UPLOAD]\r\n{" + Utf8ToText(path) + u",..\\u}\r\n");
    thread.Execute();
    ASSERT_EQ(window.WaitForDone(), 1);
    ASSERT_EQ(window.Outcomes().size(), 1u);
    EXPECT_EQ(window.Outcomes()[0].status, c.status);
    ASSERT_TRUE(server.WaitForSessions(1));
    EXPECT_EQ(server.Sessions()[0].blocks.size() == static_cast<size_t>(blocks),
              c.status == QVN_TRANSFER_COMPLETED);
  }
}

// A file that grows while it uploads is sent as it was at its size, and its
// events count bytes of that size, so the last one still reaches it.
TEST(HonestProgressTest, AGrowingUploadEndsAtItsSize) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  const std::string path = folder.File("grows.bin");
  // The last block, 10 bytes, is read after the first batch's events.
  const int64_t whole = AesCipher::kInterleavedBuffers, block = static_cast<int64_t>(kPlainBlock);
  const Bytes content = PatternBytes(static_cast<size_t>(whole * block + 10));
  const int64_t size = static_cast<int64_t>(content.size());
  WriteFileBytes(path, content);
  TFileTransferClient client;
  std::vector<int64_t> counts, expected;
  client.SetOnUploadProgress([&](TFileTransferClient*, const Text&, const Text&, int64_t,
                                 int64_t count, Text&, int32_t) {
    if (counts.empty()) {
      std::ofstream(path, std::ios::binary | std::ios::app) << std::string(50000, 'x');
    }
    counts.push_back(count);
  });
  EXPECT_TRUE(client.FileUpLoad(kHost, server.port(), kPassword, Utf8ToText(path), u"..\\g"));
  for (int64_t k = 1; k <= whole; ++k) expected.push_back(k * block);
  expected.push_back(size);
  EXPECT_EQ(counts, expected);
  ASSERT_TRUE(server.WaitForSessions(1));
  EXPECT_TRUE(server.Sessions()[0].uploaded == content);
}

// A failure in the handler of a download's last event, which comes once the
// file is in place, leaves the download completed.
TEST(HonestProgressTest, ADownloadInPlaceStaysCompleted) {
  FakeFileServer server(kPassword);
  const Bytes content = PatternBytes(3 * kPlainBlock);
  server.SetDownload({u"", u"", content, -1});
  TempFolder folder;
  const std::string path = folder.File("d.bin");
  TFileTransferClient client;
  client.SetOnDownloadProgress([&](TFileTransferClient*, const Text&, const Text&, int64_t size,
                                   int64_t count, Text&, int32_t) {
    if (count == size && ReadFileBytes(path) == content) throw std::bad_alloc();
  });
  EXPECT_TRUE(client.FileDownLoad(kHost, server.port(), kPassword, Utf8ToText(path), u"..\\d"));
  EXPECT_EQ(client.Outcome().status, TransferStatus::kCompleted);
}

// However an entry ends, the window hears it: one outcome per entry, after
// the entry's last progress message, then one done message that counts them.
TEST(TransferOutcomesTest, EveryEntryReportsHowItEnded) {
  TempFolder folder;
  const Text up = Utf8ToText(folder.File("up.bin")), down = Utf8ToText(folder.File("down.bin")),
             missing = Utf8ToText(folder.File("missing.bin"));
  WriteFileBytes(folder.File("up.bin"), PatternBytes(100));
  const Text upload = u"FILES [UPLOAD]\r\n{" + up + u",..\\u}\r\n";
  const Text download = u"FILES [DOWNLOAD]\r\n{" + down + u",..\\d}\r\n";
  enum class Server { kWhole, kShort, kSilent, kNone };
  const struct {
    const char* what;
    Text sections;
    Server server;
    std::vector<int32_t> statuses;
    int64_t begun;
    Text first_client;  // the first entry's local path, an upload's or a download's
  } cases[] = {
      {"upload", upload, Server::kWhole, {QVN_TRANSFER_COMPLETED}, 1, up},
      {"download", download, Server::kWhole, {QVN_TRANSFER_COMPLETED}, 1, down},
      {"missing local file", u"FILES [UPLOAD]\r\n{" + missing + u",..\\m}\r\n", Server::kWhole,
       {QVN_TRANSFER_SKIPPED}, 0, missing},
      {"download missing its last block", download, Server::kShort, {QVN_TRANSFER_FAILED}, 1, down},
      {"silent server", download, Server::kSilent, {QVN_TRANSFER_TIMED_OUT}, 1, down},
      {"no file server", upload + download, Server::kNone,
       {QVN_TRANSFER_FAILED, QVN_TRANSFER_NOT_STARTED}, 1, up},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeFileServer server(kPassword);
    server.SetDownload({u"", u"", PatternBytes(3 * kPlainBlock), c.server == Server::kShort ? 1 : -1});
    server.SetSilent(c.server == Server::kSilent);
    std::optional<ScopedTimeouts> timeouts;
    if (c.server == Server::kSilent) timeouts.emplace(SocketTimeouts{.connect_ms = 0, .io_ms = 300});
    ProgressWindow window;
    TFileTransferThread thread;
    thread.SetHost(kHost);
    thread.SetFilePort(c.server == Server::kNone ? PortWithNoListener() : server.port());
    thread.SetMessageHandle(window.handle());
    thread.SetFilesScript(kPassword + u"\r\n" + c.sections);
    thread.Execute();

    EXPECT_EQ(window.WaitForDone(), c.begun);
    EXPECT_EQ(window.DoneMessages(), 1);
    const std::vector<OutcomeMessage> outcomes = window.Outcomes();
    std::vector<int32_t> statuses;
    for (const OutcomeMessage& o : outcomes) statuses.push_back(o.status);
    EXPECT_EQ(statuses, c.statuses);
    int64_t incomplete = 0;
    for (const OutcomeMessage& o : outcomes) {
      const bool completed = o.status == QVN_TRANSFER_COMPLETED;
      incomplete += completed ? 0 : 1;
      EXPECT_EQ(o.reason.empty(), completed) << TextToUtf8(o.reason);
    }
    EXPECT_EQ(window.DoneIncomplete(), incomplete);
    ASSERT_FALSE(outcomes.empty());
    EXPECT_EQ(outcomes[0].client_file, c.first_client);
    EXPECT_EQ(outcomes[0].upload, c.first_client != down);
    // A completed entry carries the index of its progress messages; one that
    // never began, none.
    const std::vector<ProgressMessage> progress = window.Messages();
    if (statuses[0] == QVN_TRANSFER_COMPLETED) {
      ASSERT_FALSE(progress.empty());
      EXPECT_EQ(outcomes[0].index, progress.back().wparam);
    }
    if (statuses[0] == QVN_TRANSFER_SKIPPED) {
      EXPECT_EQ(outcomes[0].index, 0);
    }
  }
}

// A transfer that fails never reports a count that reaches its size, so a host
// that judges by the 100% message is not misled.
TEST(HonestProgressTest, FailedTransfersNeverReachTheirSize) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  const std::string path = folder.File("f.bin");
  const int64_t size = 8 * kPlainBlock;
  const struct {
    const char* what;
    bool upload;
    int64_t blocks_sent;  // by the server, for a download
  } cases[] = {{"download missing its last block", false, 8},
               {"upload whose file shrinks", true, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(path, PatternBytes(c.upload ? 3 * size : 10));
    server.SetDownload({u"", u"", PatternBytes(size), c.blocks_sent});
    TFileTransferClient client;
    int64_t most = 0, events = 0;
    auto progress = [&](TFileTransferClient*, const Text&, const Text&, int64_t, int64_t count,
                        Text&, int32_t) {
      most = std::max(most, count);
      // The file loses all but a little after the first batch has gone.
      if (c.upload && events++ == 0) std::filesystem::resize_file(path, 1000);
    };
    client.SetOnUploadProgress(progress);
    client.SetOnDownloadProgress(progress);
    const Text local = Utf8ToText(path);
    EXPECT_FALSE(c.upload ? client.FileUpLoad(kHost, server.port(), kPassword, local, u"..\\f")
                          : client.FileDownLoad(kHost, server.port(), kPassword, local, u"..\\f"));
    EXPECT_LT(most, c.upload ? 3 * size : size);
    EXPECT_EQ(client.Outcome().status, TransferStatus::kFailed);
  }
  // The shrunken upload stopped at once: no block beyond the first batch.
  ASSERT_TRUE(server.WaitForSessions(2));
  EXPECT_LE(server.Sessions()[1].blocks.size(), AesCipher::kInterleavedBuffers);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"f.bin"});
}

}  // namespace
}  // namespace qvn::testing
