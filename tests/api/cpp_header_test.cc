// The C++ layer of include/qvn.hpp over the exports: typed answers, UTF-8 and
// UTF-16 both ways, progress texts, and waiting for and cancelling a script's
// transfers, in the caller's thread or with RunAsync's future.
#include "qvn.hpp"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <thread>

#include "base/text.h"
#include "support/fake_file_server.h"
#include "support/fake_server.h"
#include "support/temp_file.h"
#include "support/timeout_values.h"

namespace qvn::testing {
namespace {

using testing::FakeServer;
using testing::Reply;

TEST(CppHeaderTest, CommandsGiveTheReplyOrNoValue) {
  FakeServer server(Reply::Framed(u"Grüße ✓ \U0001D11E"));
  const Connection reachable{"127.0.0.1", server.port()};
  EXPECT_TRUE(reachable.TryConnect());
  EXPECT_EQ(reachable.DbName(), "Grüße ✓ \U0001D11E");
  EXPECT_EQ(reachable.DbName<std::u16string>(), u"Grüße ✓ \U0001D11E");
  EXPECT_EQ(reachable.CheckPassword(u"db@bob@pw"), "Grüße ✓ \U0001D11E");

  const Connection nowhere{"127.0.0.1", 0};  // port 0: nothing is sent
  EXPECT_FALSE(nowhere.TryConnect(100));
  EXPECT_EQ(nowhere.DbName(), std::nullopt);
  EXPECT_EQ(nowhere.MessageToPipe("hello"), std::nullopt);
  EXPECT_EQ(nowhere.Authenticate("bob", "pw"), std::nullopt);
  EXPECT_FALSE(nowhere.UpdateIsAvailable("db@bob@pw", "T", 0, "x", 1));
  EXPECT_EQ(Script("db@bob@pw\r\nlist T").Run(nowhere), "");
}

// The shared table by the header's own rule; CheckTimeouts refuses what the
// library would read as no limit.
TEST(CppHeaderTest, TimeoutValuesMeanWhatTheSharedTableSays) {
  for (const TimeoutValue& v : LoadTimeoutValues()) {
    const std::optional<uint32_t> expected =
        v.ms ? std::optional<uint32_t>(static_cast<uint32_t>(*v.ms)) : std::nullopt;
    EXPECT_EQ(TimeoutMs(v.value), expected) << '"' << v.value << '"';
  }
  EXPECT_NO_THROW(CheckTimeouts());
  // Set and removed again before any connection: the library reads its
  // variables once, at its first.
  const auto set = [](const char* value) {
#if defined(_WIN32)
    _putenv_s("QVN_OPERATION_TIMEOUT_MS", value);
#else
    if (*value != '\0') ::setenv("QVN_OPERATION_TIMEOUT_MS", value, 1);
    else ::unsetenv("QVN_OPERATION_TIMEOUT_MS");
#endif
  };
  set("5s");
  try {
    CheckTimeouts();
    ADD_FAILURE() << "a malformed variable passed";
  } catch (const ConfigurationError& e) {
    EXPECT_NE(std::string(e.what()).find("QVN_OPERATION_TIMEOUT_MS is \"5s\""), std::string::npos)
        << e.what();
  }
  set("");
  EXPECT_NO_THROW(CheckTimeouts());
}

TEST(CppHeaderTest, TextCrossesInBothEncodings) {
  // The header's own conversion must agree with the library's.
  for (const std::u16string text :
       {u"", u"plain", u"a;b&c{d}\t\r\n", u"Grüße ✓", u"\U0001D11E pair", u"\xD800 lone"}) {
    SCOPED_TRACE(TextToUtf8(text));
    const std::string utf8 = Utf16ToUtf8(text);
    EXPECT_EQ(utf8, TextToUtf8(text));
    EXPECT_EQ(Utf8ToUtf16(utf8), Utf8ToText(utf8));
    EXPECT_EQ(Decode(Encode(utf8)), utf8);
    EXPECT_EQ(Decode<std::u16string>(Encode(text)), Utf8ToText(utf8));
  }
  // Invalid UTF-8 follows qvn_utf8.h (tests/api/utf8_header_test.cc): one
  // U+FFFD per maximal invalid subsequence.
  EXPECT_EQ(Utf8ToUtf16("a\xe2\x82z\xed\xa0\x80"), u"a\uFFFDz\uFFFD\uFFFD\uFFFD");
  // Packed text goes through the system's code page: plain text survives.
  EXPECT_EQ(Unpack(Pack(" packed\r\ntext ")), "packed\r\ntext");
  EXPECT_EQ(Value("  a@b@c ", 1, "@"), "b");
  EXPECT_EQ(Value("a@b@c", 3, "@"), std::nullopt);
  EXPECT_EQ(Value("single", 0, "@"), "single");
  EXPECT_EQ(ValueCount("a;b;c", ";"), 3);
}

TEST(CppHeaderTest, ProgressTakesTheFixedFieldsFromTheRight) {
  struct Case {
    std::u16string text;
    std::string client, server;
    int64_t size, count;
    int32_t index;
    bool upload;
  };
  const Case cases[] = {
      {u"a.txt*..\\a.txt*100*100*100.00%**-7*Upload", "a.txt", "..\\a.txt", 100, 100, -7, true},
      {u"a*b.txt*..\\a*b.txt*9*3*33,33%**12*Download", "a*b.txt", "..\\a*b.txt", 9, 3, 12, false},
      {u"a*b.txt*.@\\ab.txt*9*9*100.00%*tag*1*Upload", "a*b.txt", ".@\\ab.txt", 9, 9, 1, true},
      {u"ab.txt*..\\a*b.txt*0*0*100.00%**0*Upload", "ab.txt", "..\\a*b.txt", 0, 0, 0, true},
      // Ambiguous: the client path could be "a" or "a*..\\b".
      {u"a*..\\b*..\\c*1*1*100.00%**1*Upload", "a", "..\\b*..\\c", 1, 1, 1, true},
      {u"x*y*z*1*1*100.00%**1*Upload", "x", "y*z", 1, 1, 1, true},
      {u"Grüße ✓*.@\\x*x*1*x%**x*Upload", "Grüße ✓", ".@\\x", 0, 1, 0, true},
      {u"too*few*fields", "", "", 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(TextToUtf8(c.text));
    const Progress p = Progress::Parse(c.text);
    EXPECT_EQ(p.client_file, c.client);
    EXPECT_EQ(p.server_file, c.server);
    EXPECT_EQ(p.size, c.size);
    EXPECT_EQ(p.count, c.count);
    EXPECT_EQ(p.index, c.index);
    EXPECT_EQ(p.upload, c.upload);
  }
}

// One upload (Linux: whose name holds "*", which Windows file names cannot);
// the callback sees it, then the report.
TEST(CppHeaderTest, WaitForTransfersReportsEachEntry) {
  const Text credentials = u"db@bob@pw";
  testing::FakeFileServer files(credentials);
#if defined(_WIN32)
  TempFile upload("a.bin", PatternBytes(100000));
#else
  TempFile upload("*a.bin", PatternBytes(100000));
#endif
  std::vector<Progress> seen;  // the callback runs on another thread, before the done message
  Script script(credentials + u"\r\nFILES [UPLOAD]\r\n{" + upload.name() + u",..\\up.bin}");
  script.OnProgress([&](const Progress& p) { seen.push_back(p); });
  // Nothing but file sections: the request port is never used.
  const std::string started = script.Run(Connection{"127.0.0.1", 1, files.port()});
  EXPECT_EQ(started.rfind("File transfer started : ", 0), 0u) << started;
  const TransferReport report = script.WaitForTransfers();
  EXPECT_TRUE(report.started);
  EXPECT_EQ(report.begun, 1u);
  EXPECT_TRUE(report.ok());
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().client_file, TextToUtf8(upload.name()));
  EXPECT_EQ(seen.back().server_file, "..\\up.bin");
  EXPECT_TRUE(seen.back().complete() && seen.back().upload);
  ASSERT_EQ(report.outcomes.size(), 1u);
  EXPECT_TRUE(report.outcomes[0].completed());
  EXPECT_EQ(report.outcomes[0].server_file, "..\\up.bin");

  // Scripts that start no thread: Script's own done message ends the wait.
  for (const Connection& server : {Connection{"127.0.0.1", 0, files.port()},
                                   Connection{"127.0.0.1", 1, 0}}) {
    Script plain(credentials + u"\r\nFILES [UPLOAD]\r\n{" + upload.name() + u",..\\up.bin}");
    plain.Run(server);
    EXPECT_FALSE(plain.WaitForTransfers().started);
  }
}

// The first progress message of a 1 MiB upload cancels: by the callback's
// answer, or by its exception, which WaitForTransfers then throws.
TEST(CppHeaderTest, ProgressCallbackCancels) {
  const Text credentials = u"db@bob@pw";
  testing::FakeFileServer files(credentials);
  TempFile upload(".bin", PatternBytes(1 << 20));
  for (const bool by_throwing : {false, true}) {
    SCOPED_TRACE(by_throwing ? "throws" : "returns kCancel");
    // An absolute path must follow "{": a line that begins with "/" is a comment.
    Script script(credentials + u"\r\nFILES [UPLOAD]\r\n{" + upload.name() +
                  u",..\\one.bin}\r\nFILES [UPLOAD]\r\n{" + upload.name() + u",..\\two.bin}");
    script.OnProgress([&](const Progress&) {
      if (by_throwing) throw std::runtime_error("host failed");
      return Next::kCancel;
    });
    script.Run(Connection{"127.0.0.1", 1, files.port()});
    TransferReport report;
    if (by_throwing) {
      EXPECT_THROW(script.WaitForTransfers(), std::runtime_error);
    }
    report = script.WaitForTransfers();
    EXPECT_EQ(report.failed, 2u);
    ASSERT_EQ(report.outcomes.size(), 2u);
    EXPECT_EQ(report.outcomes[0].status, QVN_TRANSFER_CANCELLED);
    EXPECT_EQ(report.outcomes[1].status, QVN_TRANSFER_NOT_STARTED);
  }
}

// RunAsync's future holds the answers and the report once the transfers are
// over, also when the Script is gone before it is ready.
TEST(CppHeaderTest, RunAsyncGivesTheAnswersAndTheReport) {
  const Text credentials = u"db@bob@pw";
  testing::FakeFileServer files(credentials);
  TempFile upload(".bin", PatternBytes(100000));
  const Text text = credentials + u"\r\nFILES [UPLOAD]\r\n{" + upload.name() + u",..\\up.bin}";
  const Connection server{"127.0.0.1", 1, files.port()};
  for (const bool destroyed_first : {false, true}) {
    SCOPED_TRACE(destroyed_first ? "Script destroyed first" : "Script kept");
    std::future<RunResult<>> ran;
    std::vector<std::thread::id> threads;  // read once the future is ready
    {
      Script script(text);
      script.OnProgress([&](const Progress&) { threads.push_back(std::this_thread::get_id()); });
      ran = script.RunAsync(server);
      if (!destroyed_first) ran.wait();
    }
    const RunResult<> result = ran.get();
    EXPECT_EQ(result.answers.rfind("File transfer started : ", 0), 0u) << result.answers;
    EXPECT_EQ(result.transfers.begun, 1u);
    ASSERT_EQ(result.transfers.outcomes.size(), 1u);
    EXPECT_TRUE(result.transfers.outcomes[0].completed());
    if (!destroyed_first) {
      ASSERT_FALSE(threads.empty());
      EXPECT_NE(threads.back(), std::this_thread::get_id());
    }
  }
}

// Cancel() from the caller's thread while the first progress message waits:
// the future then reports the entry cancelled and the next not started.
TEST(CppHeaderTest, RunAsyncIsCancelledByCancel) {
  const Text credentials = u"db@bob@pw";
  testing::FakeFileServer files(credentials);
  TempFile upload(".bin", PatternBytes(1 << 20));
  Script script(credentials + u"\r\nFILES [UPLOAD]\r\n{" + upload.name() +
                u",..\\one.bin}\r\nFILES [UPLOAD]\r\n{" + upload.name() + u",..\\two.bin}");
  std::promise<void> reported, cancelled;
  std::shared_future<void> cancel_done = cancelled.get_future().share();
  bool first = true;
  script.OnProgress([&](const Progress&) {
    if (std::exchange(first, false)) {
      reported.set_value();
      cancel_done.wait();
    }
  });
  std::future<RunResult<>> ran = script.RunAsync(Connection{"127.0.0.1", 1, files.port()});
  reported.get_future().wait();
  script.Cancel();
  cancelled.set_value();
  const TransferReport report = ran.get().transfers;
  EXPECT_EQ(report.failed, 2u);
  ASSERT_EQ(report.outcomes.size(), 2u);
  EXPECT_EQ(report.outcomes[0].status, QVN_TRANSFER_CANCELLED);
  EXPECT_EQ(report.outcomes[1].status, QVN_TRANSFER_NOT_STARTED);
}

}  // namespace
}  // namespace qvn::testing
