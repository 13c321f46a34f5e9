#include "api/script.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "api/boundary.h"
#include "codecs/text_crypto.h"
#include "conversation/admin_commands.h"
#include "platform/locale_format.h"
#include "platform/socket.h"
#include "net/listener.h"
#include "qvn.h"
#include "support/fake_file_server.h"
#include "support/fake_server.h"
#include "support/progress_window.h"

namespace qvn::testing {
namespace {

// No user in the credentials line: requests and replies are keyed by
// Md5Hex(database password) alone.
const Text kCredentials = u"dbpass";
const Text kStarted = u"File transfer started : ";

Text T(const std::string& s) { return Utf8ToText(s); }

// Answers CLEARSYNC with "CS<n>", BUILD SHOW with "BS <number> <flag>" and a
// script request with "ANSWER" (encrypted as the server would), numbering the
// directive answers in arrival order; records every decrypted script.
class RequestServer {
 public:
  explicit RequestServer(Text key_line = kCredentials)
      : key_(Md5Hex(key_line)),
        server_([this](const Text& request, size_t index) { return Answer(request, index); }) {}

  uint16_t port() const { return server_.port(); }
  size_t Accepted() { return server_.AcceptedCount(); }
  std::vector<Text> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  std::vector<Text> Scripts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return scripts_;
  }

 private:
  Reply Answer(const Text& request, size_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    if (request.starts_with(u"CLEARSYNC#")) return Reply::Framed(u"CS" + DecimalText(index) + u" ");
    if (request.starts_with(u"BUILD SHOW#")) {
      // BUILD SHOW#<number>#<flag>#<token>
      size_t a = request.find(u'#', 11);
      size_t b = request.find(u'#', a + 1);
      return Reply::Framed(u"BS " + request.substr(11, a - 11) + u" " +
                           request.substr(a + 1, b - a - 1));
    }
    scripts_.push_back(DecryptText(key_, request));
    return Reply::Framed(EncryptText(key_, u"  ANSWER\r\n"));
  }

  Text key_;
  std::mutex mutex_;
  std::vector<Text> requests_;
  std::vector<Text> scripts_;
  FakeServer server_;
};

uint16_t ClosedPort() {
  net::Listener listener("127.0.0.1", 0);
  uint16_t port = listener.port();
  listener.Close();
  return port;
}

class ScriptTest : public ::testing::Test {
 protected:
  RequestServer requests_;
  FakeFileServer files_{kCredentials};
  TempFolder folder_;
  std::string upload_ = folder_.File("up.bin");

  void SetUp() override { WriteFileBytes(upload_, PatternBytes(40000)); }

  // "{" keeps a Linux absolute path from reading as a "/" comment line.
  Text Section() { return u"FILES [UPLOAD]\r\n{" + T(upload_) + u",..\\up.bin}\r\n"; }
  Text Run(const Text& script, uint16_t file_port) {
    return Script(nullptr, script, u"127.0.0.1", requests_.port(), file_port);
  }
  // The result must begin with the start text and a date and time taken
  // between `before` and `after`; returns what follows.
  Text AfterStartedText(const Text& result, const Text& before, const Text& after) {
    for (const Text& stamp : {before, after}) {
      const Text head = kStarted + stamp;
      if (result.starts_with(head)) return result.substr(head.size());
    }
    ADD_FAILURE() << "no start text in: " << TextToUtf8(result);
    return Text();
  }
  void ExpectUploaded() {
    ASSERT_TRUE(files_.WaitForSessions(1));
    EXPECT_TRUE(files_.Sessions()[0].uploaded == PatternBytes(40000));
  }
};

TEST_F(ScriptTest, PortZeroDoesNothingAtAll) {
  EXPECT_EQ(Script(nullptr, kCredentials + u"\r\n" + Section() + u"select", u"127.0.0.1", 0,
                   files_.port()),
            u"");
  EXPECT_FALSE(files_.WaitForSessions(1, 300));
  EXPECT_EQ(requests_.Accepted(), 0u);
}

TEST_F(ScriptTest, OneLineScriptDoesNothing) {
  EXPECT_EQ(Run(u"dbpass@user@pw", files_.port()), u"");
  EXPECT_EQ(Run(u"select everything\r\n", files_.port()), u"");  // one line and its break
  EXPECT_EQ(requests_.Accepted(), 0u);
}

TEST_F(ScriptTest, NoLineLeftAfterTidyingGivesEmpty) {
  EXPECT_EQ(Run(u"\r\n   \r\n/ only a comment\r\n", files_.port()), u"");
  EXPECT_EQ(Run(u"", files_.port()), u"");
  EXPECT_EQ(requests_.Accepted(), 0u);
}

TEST_F(ScriptTest, OnlyFileSectionsStartTheTransferAndTouchNoRequestPort) {
  const Text before = platform::LocalDateTimeText();
  const Text result = Run(kCredentials + u"\r\n" + Section(), files_.port());
  const Text after = platform::LocalDateTimeText();
  EXPECT_EQ(AfterStartedText(result, before, after), u"\r\n\r\n");
  ExpectUploaded();
  EXPECT_EQ(requests_.Accepted(), 0u);
}

TEST_F(ScriptTest, FilePortZeroDropsTheSections) {
  EXPECT_EQ(Run(kCredentials + u"\r\n" + Section(), 0), u"");
  EXPECT_FALSE(files_.WaitForSessions(1, 300));
  EXPECT_EQ(requests_.Accepted(), 0u);
  // With a command the sections are still kept out of the request.
  EXPECT_EQ(Run(kCredentials + u"\r\n" + Section() + u"select", 0), u"ANSWER");
  EXPECT_EQ(requests_.Scripts(), std::vector<Text>{u"QUARVEN_v1.0#dbpass\r\nselect"});
}

TEST_F(ScriptTest, SectionsAndOneCommandLine) {
  const Text before = platform::LocalDateTimeText();
  const Text result = Run(kCredentials + u"\r\n" + Section() + u"select a", files_.port());
  const Text after = platform::LocalDateTimeText();
  EXPECT_EQ(AfterStartedText(result, before, after), u"\r\n\r\n\r\nANSWER");
  EXPECT_EQ(requests_.Scripts(), std::vector<Text>{u"QUARVEN_v1.0#dbpass\r\nselect a"});
  ExpectUploaded();
}

TEST_F(ScriptTest, SectionsBuildShowAndCommandLine) {
  const Text before = platform::LocalDateTimeText();
  const Text result =
      Run(kCredentials + u"\r\nbuild show\r\n" + Section() + u"select a", files_.port());
  const Text after = platform::LocalDateTimeText();
  EXPECT_EQ(AfterStartedText(result, before, after), u"\r\nBS -1 1\r\nANSWER");
  ExpectUploaded();
}

TEST_F(ScriptTest, ClearSyncReplacesTheResultAndRunsBottomUpBeforeBuildShow) {
  const Text result = Run(kCredentials + u"\r\nBUILD SHOW\r\nCLEARSYNC\r\nselect\r\n  clearsync \r\n" +
                              Section(),
                          files_.port());
  // Lower line first (answer CS0), then the upper one (CS1), which stays.
  EXPECT_EQ(result, u"CS1\r\nBS -1 1\r\nANSWER");
  auto requests = requests_.Requests();
  ASSERT_EQ(requests.size(), 4u);
  const Text token = AdminToken(kCredentials);
  EXPECT_EQ(requests[0], u"CLEARSYNC#" + token);
  EXPECT_EQ(requests[1], u"CLEARSYNC#" + token);
  EXPECT_EQ(requests[2], u"BUILD SHOW#-1#1#" + token);
  EXPECT_EQ(requests_.Scripts(), std::vector<Text>{u"QUARVEN_v1.0#dbpass\r\nselect"});
  ExpectUploaded();
}

TEST_F(ScriptTest, BuildShowWithArguments) {
  const Text result = Run(kCredentials +
                              u"\r\nBUILD SHOW[5]-\r\nbuild show[5]\r\nBUILD SHOW[]\r\n"
                              u"BUILD SHOW[x]-\r\nBUILD SHOW[ -12 ]  \r\nBUILD SHOW[3] x\r\n"
                              u"BUILD SHOW[99999999999]\r\nBUILD SHOW\r\n",
                          0);
  // Plain BUILD SHOW first, then the bracketed ones from the bottom up.
  EXPECT_EQ(result,
            u"BS -1 1\r\nBS -1 1\r\nBS 3 1\r\nBS -12 1\r\nBS -1 0\r\nBS -1 1\r\nBS 5 1\r\n"
            u"BS 5 0\r\nANSWER");
  // Only the credentials line is left for the request, and it is still sent.
  EXPECT_EQ(requests_.Scripts(), std::vector<Text>{u"QUARVEN_v1.0#dbpass"});
}

TEST_F(ScriptTest, InnerTextEndsAtASecondBracket) {
  // The inner text ends at a second "[": "BUILD SHOW[7[8]" reads 7.
  EXPECT_EQ(Run(kCredentials + u"\r\nBUILD SHOW[7[8]-", 0), u"BS 7 1\r\nANSWER");
}

TEST_F(ScriptTest, LeadingBlankAndCommentLinesAreDropped) {
  EXPECT_EQ(Run(u"\r\n/ comment\r\n   \r\n  " + kCredentials + u"  \r\n/ another\r\n  select 1  ",
                0),
            u"ANSWER");
  EXPECT_EQ(requests_.Scripts(), std::vector<Text>{u"QUARVEN_v1.0#dbpass\r\nselect 1"});
}

TEST_F(ScriptTest, FailureWordsStandWhereTheAnswersWould) {
  const uint16_t closed = ClosedPort();
  EXPECT_EQ(Script(nullptr, kCredentials + u"\r\nCLEARSYNC\r\nBUILD SHOW[2]\r\nselect",
                   u"127.0.0.1", closed, 0),
            u"CONNECTION_ERROR\r\nCONNECTION_ERROR\r\nNONE");
}

// A host that gives a window hears exactly one done message per Script call:
// from Script itself, (0, 0) and before it returns, when no thread starts;
// else the thread's, after its entries.
TEST_F(ScriptTest, AWindowGetsExactlyOneDoneMessagePerCall) {
  const Text missing = u"FILES [UPLOAD]\r\n{" + T(folder_.File("missing")) + u",..\\m}\r\n";
  const struct {
    const char* what;
    Text script;
    uint16_t port, file_port;
    bool thread;
    int64_t begun, incomplete;
  } cases[] = {
      {"commands only", kCredentials + u"\r\nselect", requests_.port(), files_.port(), false, 0, 0},
      {"port 0", kCredentials + u"\r\n" + Section(), 0, files_.port(), false, 0, 0},
      {"one line", kCredentials, requests_.port(), files_.port(), false, 0, 0},
      {"nothing left after tidying", u"\r\n/ comment\r\n", requests_.port(), files_.port(),
       false, 0, 0},
      {"sections with file port 0", kCredentials + u"\r\n" + Section() + u"select",
       requests_.port(), 0, false, 0, 0},
      {"only a skipped entry", kCredentials + u"\r\n" + missing, requests_.port(),
       files_.port(), true, 0, 1},
      {"an upload and a command", kCredentials + u"\r\n" + Section() + u"select",
       requests_.port(), files_.port(), true, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ProgressWindow window;
    const Text result = Script(window.handle(), c.script, u"127.0.0.1", c.port, c.file_port);
    EXPECT_EQ(result.starts_with(kStarted), c.thread) << TextToUtf8(result);
#ifndef _WIN32
    // Sent on the calling thread: there before Script returns.
    if (!c.thread) {
      EXPECT_EQ(window.DoneMessages(), 1);
    }
#endif
    EXPECT_EQ(window.WaitForDone(), c.begun);
    EXPECT_EQ(window.DoneIncomplete(), c.incomplete);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // room for a second one
    EXPECT_EQ(window.DoneMessages(), 1);
  }
}

TEST(ScriptCredentialsTest, ACredentialsLineReadingClearSyncIsAlsoADirective) {
  // "CLEARSYNC" keys the command; the request then starts at "select".
  RequestServer server(u"select");
  EXPECT_EQ(Script(nullptr, u"CLEARSYNC\r\nselect", u"127.0.0.1", server.port(), 0),
            u"CS0\r\nANSWER");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], u"CLEARSYNC#" + AdminToken(u"CLEARSYNC"));
  EXPECT_EQ(server.Scripts(), std::vector<Text>{u"QUARVEN_v1.0#select"});
}

TEST(ScriptExportTest, ConvertsArgumentsAndReturnsAnAllocatedCopy) {
  RequestServer server;
  const Text script = kCredentials + u"\r\nselect";
  const Text host = u"127.0.0.1";
  qvn_char* result = ::Script(nullptr, reinterpret_cast<const qvn_char*>(script.c_str()),
                              reinterpret_cast<const qvn_char*>(host.c_str()), server.port(), 0);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(Text(reinterpret_cast<const char16_t*>(result)), u"ANSWER");
  EXPECT_NE(result, EmptyResult());
  ScriptFree(result);
  // Null texts are empty: nothing to run.
  EXPECT_EQ(::Script(nullptr, nullptr, nullptr, server.port(), 0), EmptyResult());
  EXPECT_EQ(server.Accepted(), 1u);  // only the request above
}

}  // namespace
}  // namespace qvn::testing
