// The library's exports against the real qvn-server: every command family,
// script requests, and file transfers of several sizes through Script.
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/text.h"
#include "codecs/version_text.h"
#include "conversation/framing.h"
#include "platform/socket.h"
#include "net/listener.h"
#include "qvn.h"
#include "support/server_process_posix.h"

namespace qvn::testing {
namespace {

using qvn::Text;

// Records the final progress message of each transfer (count == size).
class Window {
 public:
  Window() {
    window_.proc = &Window::Proc;
    window_.context = this;
  }
  // The transfer thread may still report until its done message.
  ~Window() {
    std::unique_lock<std::mutex> lock(mu_);
    if (handed_out_) cv_.wait_for(lock, std::chrono::seconds(30), [&] { return done_; });
  }
  void* handle() {
    std::lock_guard<std::mutex> lock(mu_);
    handed_out_ = true;
    return &window_;
  }

  // Waits until n transfers have reported their end.
  bool WaitForFinals(size_t n, int timeout_ms = 30000) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                        [&] { return finals_.size() >= n; });
  }
  std::vector<Text> finals() {
    std::lock_guard<std::mutex> lock(mu_);
    return finals_;
  }
  // Each entry's outcome reason, once the done message came.
  std::vector<std::string> reasons(int timeout_ms = 30000) {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return done_; });
    return reasons_;
  }

 private:
  static intptr_t Proc(void* context, uint32_t message, uintptr_t, intptr_t lparam) {
    auto* self = static_cast<Window*>(context);
    if (message == QVN_WM_TRANSFER_OUTCOME) {
      std::lock_guard<std::mutex> lock(self->mu_);
      self->reasons_.push_back(
          qvn::TextToUtf8(reinterpret_cast<const QvnTransferOutcome*>(lparam)->reason));
      return 0;
    }
    if (message == QVN_WM_TRANSFERS_DONE) {
      std::lock_guard<std::mutex> lock(self->mu_);
      self->done_ = true;
      self->cv_.notify_all();
      return 0;
    }
    if (message != QVN_WM_TRANSFER_PROGRESS) return 0;
    Text text(reinterpret_cast<const char16_t*>(lparam));
    // client*server*size*count*percent*tag*index*direction
    std::vector<Text> f;
    size_t start = 0;
    for (;;) {
      size_t star = text.find(u'*', start);
      f.push_back(text.substr(start, star == Text::npos ? Text::npos : star - start));
      if (star == Text::npos) break;
      start = star + 1;
    }
    std::lock_guard<std::mutex> lock(self->mu_);
    if (f.size() == 8 && f[2] == f[3] && (self->finals_.empty() || self->finals_.back() != text)) {
      self->finals_.push_back(text);
    }
    self->cv_.notify_all();
    return 0;
  }

  QvnWindow window_{};
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<Text> finals_;
  std::vector<std::string> reasons_;
  bool handed_out_ = false;
  bool done_ = false;
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kServer == nullptr) {
      GTEST_SKIP() << "qvn-server is not built";
    }
    server_ = std::make_unique<ServerProcess>();
  }
  void TearDown() override {
    if (server_) {
      EXPECT_EQ(server_->Stop(), 0) << "server did not stop cleanly\n" << server_->log();
    }
  }

  uint16_t port() const { return server_->port(); }
  Text Run(const Text& script, void* window = nullptr, bool files = false) {
    return Take(::Script(window, script.c_str(), u"127.0.0.1", port(), files ? server_->file_port() : 0));
  }
  Text Check(const Text& credentials) {
    return Take(TryDbPassword(u"127.0.0.1", port(), credentials.c_str()));
  }

  std::unique_ptr<ServerProcess> server_;
};

TEST_F(ServerTest, AnswersTheProbeAndTheDatabaseName) {
  EXPECT_TRUE(TryConnect(u"127.0.0.1", port(), 2000));
  EXPECT_EQ(Take(ShowDbName(u"127.0.0.1", port())), u"E2E Base");
  // The probe's silent connection did not disturb the server.
  EXPECT_EQ(Take(ShowDbName(u"localhost", port())), u"E2E Base");
}

TEST_F(ServerTest, ChecksCredentialsLines) {
  EXPECT_EQ(Check(u"dbpw@alice@secret"), u"OK");
  EXPECT_EQ(Check(u"dbpw@ ALICE @secret"), u"OK");  // the name is upper-cased before digesting
  EXPECT_EQ(Check(u"dbpw@Bob@hunter2"), u"OK");
  EXPECT_EQ(Check(u"dbpw"), u"OK");  // database password alone
  EXPECT_EQ(Check(u"dbpw@alice@SECRET"), u"DENIED");
  EXPECT_EQ(Check(u"dbpw@alice@hunter2"), u"DENIED");  // Bob's password is not alice's
  EXPECT_EQ(Check(u"DBPW@alice@secret"), u"DENIED");
  EXPECT_EQ(Check(u""), u"DENIED");
  EXPECT_EQ(Check(u"dbpw@carol@secret"), u"DENIED");
}

TEST_F(ServerTest, ChangesAPasswordOnlyUnderTheOldOne) {
  auto change = [&](const char16_t* db, const char16_t* user, const char16_t* old_pw,
                    const char16_t* new_pw) {
    return Take(ChangeUniquePass(u"127.0.0.1", port(), db, user, old_pw, new_pw));
  };
  EXPECT_EQ(change(u"dbpw", u"alice", u"wrong", u"taken"), u"DENIED");
  EXPECT_EQ(change(u"nodb", u"alice", u"secret", u"taken"), u"DENIED");
  EXPECT_EQ(change(u"dbpw", u"nobody", u"secret", u"taken"), u"DENIED");
  EXPECT_EQ(Check(u"dbpw@alice@secret"), u"OK");  // nothing changed so far
  EXPECT_NE(change(u"dbpw", u"alice", u"secret", u""), u"OK");  // no empty passwords

  EXPECT_EQ(change(u"dbpw", u"alice", u"secret", u"n\u00e9w pass"), u"OK");
  EXPECT_EQ(Check(u"dbpw@alice@secret"), u"DENIED");
  EXPECT_EQ(Check(u"dbpw@alice@n\u00e9w pass"), u"OK");
  // Scripts are keyed by the new password from now on, and it survives a restart.
  EXPECT_EQ(Run(u"dbpw@alice@n\u00e9w pass\r\nput T[0,1]=v\r\n"), u"OK 1");
  EXPECT_EQ(Run(u"dbpw@alice@secret\r\nget T[0,1]-\r\n"), u"");
}

TEST_F(ServerTest, RunsScriptsWithAndWithoutAUser) {
  EXPECT_EQ(Run(u"dbpw@alice@secret\r\nput Versions[0,+]=app\r\nput Versions[1,1]=1.2.0.15\r\n"),
            u"OK 1\r\nOK 1");
  EXPECT_EQ(Run(u"dbpw@Bob@hunter2\r\nadd versions=tool,2.0.0.0,a;b&#44;c\r\n"), u"OK 2");
  // The two queries of the update check, written as the library writes them.
  EXPECT_EQ(Run(u"dbpw@alice@secret\rselect Versions[text, 0, 1, tool, i]-\r"),
            u"2=tool,2.0.0.0,a&amp;#59;b&#44;c");
  EXPECT_EQ(Run(u"dbpw@alice@secret\rget Versions[2,2]-\r"), u"a;b,c");
  EXPECT_EQ(Run(u"dbpw@alice@secret\rselect Versions[text, 0, 1, TOOL, s]-\r"), u"NOT_FOUND");
  // Without a user the request is read-only.
  EXPECT_EQ(Run(u"dbpw\r\nget VERSIONS[1,1]-\r\n"), u"1.2.0.15");
  EXPECT_EQ(Run(u"dbpw@@\r\nlist\r\n"), u"VERSIONS=2");
  EXPECT_EQ(Run(u"dbpw\r\nput Versions[1,1]=x\r\n").substr(0, 6), u"ERROR:");
  // Under a wrong password the server cannot answer under the client's keys.
  EXPECT_EQ(Run(u"dbpw@alice@wrong\r\nget Versions[1,1]-\r\n"), u"");
  EXPECT_EQ(Run(u"other\r\nget Versions[1,1]-\r\n"), u"");
  EXPECT_EQ(Run(u"dbpw@alice@secret\r\nfrobnicate\r\n").substr(0, 6), u"ERROR:");
  // A request over the server's size limit is refused unread: a failure, not
  // the empty answer of a wrong password.
  EXPECT_EQ(Run(u"dbpw@alice@secret\r\nlist " + Text(9 << 20, u'x')), u"NONE");
  // State is kept in the data folder.
  EXPECT_NE(ReadFile(server_->data() + "/tables/VERSIONS.tbl").find("1=app,1.2.0.15"),
            std::string::npos);
}

TEST_F(ServerTest, UpdateCheckComparesTheStoredVersion) {
  Text own;
  try {
    own = qvn::Trim(qvn::HostVersionText());
  } catch (const std::exception&) {
    GTEST_SKIP() << "this test program carries no version";
  }
  ASSERT_EQ(Run(u"dbpw@alice@secret\r\nadd Apps=other,0.0.0.1\r\nadd Apps=qvn," + own + u"\r\n"),
            u"OK 1\r\nOK 2");
  EXPECT_FALSE(UpdateIsAvailable(u"127.0.0.1", port(), u"dbpw@alice@secret", u"Apps", 0, u"qvn", 1));
  EXPECT_TRUE(UpdateIsAvailable(u"127.0.0.1", port(), u"dbpw@alice@secret", u"Apps", 0, u"other", 1));
  EXPECT_FALSE(UpdateIsAvailable(u"127.0.0.1", port(), u"dbpw@alice@secret", u"Apps", 0, u"none", 1));
  EXPECT_EQ(Run(u"dbpw@alice@secret\r\nput Apps[1,2]=99.0.0.0\r\n"), u"OK 2");
  EXPECT_TRUE(UpdateIsAvailable(u"127.0.0.1", port(), u"dbpw@alice@secret", u"Apps", 0, u"qvn", 1));
}

TEST_F(ServerTest, AuthenticatesUsersUnderTheirUserKey) {
  EXPECT_EQ(Take(UserAuthentication(u"127.0.0.1", port(), u"alice", u"secret")), u"OK alice");
  EXPECT_EQ(Take(UserAuthentication(u"127.0.0.1", port(), u"  ALICE ", u"secret")), u"OK alice");
  EXPECT_EQ(Take(UserAuthentication(u"127.0.0.1", port(), u"bob", u"hunter2")), u"OK Bob");
  EXPECT_EQ(Take(UserAuthentication(u"127.0.0.1", port(), u"alice", u"Secret")), u"");
  EXPECT_EQ(Take(UserAuthentication(u"127.0.0.1", port(), u"mallory", u"secret")), u"");
}

TEST_F(ServerTest, DeliversMessagesThroughEveryChannel) {
  EXPECT_EQ(Take(DbMessagePipe(u"127.0.0.1", port(), u"to the pipe\r\nsecond line")), u"OK");
  EXPECT_EQ(Take(DbMessageFile(u"127.0.0.1", port(), u"to the file \u00e9")), u"OK");
  EXPECT_EQ(ReadFile(server_->data() + "/messages/pipe.log"), "to the pipe\r\nsecond line\r\n");
  EXPECT_EQ(ReadFile(server_->data() + "/messages/messages.txt"), "to the file \xC3\xA9\r\n");

  // TCP: the server hands the receiver one framed message.
  qvn::net::Listener receiver("127.0.0.1", 0);
  Text received;
  std::thread reader([&] {
    qvn::platform::Connection c = receiver.Accept(10000);
    if (c.IsOpen()) received = qvn::ReadMessage(c);
  });
  EXPECT_EQ(Take(DbMessageTcp(u"127.0.0.1", port(), u"127.0.0.1", receiver.port(), u"ping\r\n2")),
            u"OK");
  reader.join();
  EXPECT_EQ(received, u"ping\r\n2");
  // Only loopback receivers: the server refuses before it connects anywhere.
  Text remote = Take(DbMessageTcp(u"127.0.0.1", port(), u"192.0.2.1", 7000, u"x"));
  EXPECT_EQ(remote.substr(0, 6), u"ERROR:");
  EXPECT_NE(Take(DbMessageTcp(u"127.0.0.1", port(), u"127.0.0.1", 0, u"x")), u"OK");
}

TEST_F(ServerTest, DirectivesNeedAKnownCredentialsLine) {
  EXPECT_EQ(Run(u"dbpw@alice@secret\r\nput T[0,+]=a\r\nput T[0,+]=b\r\n"), u"OK 1\r\nOK 2");
  Text show = Run(u"dbpw@alice@secret\r\nBUILD SHOW\r\nlist\r\n");
  EXPECT_NE(show.find(u"qvn-server"), Text::npos) << qvn::TextToUtf8(show);
  EXPECT_NE(show.find(u"changes since CLEARSYNC: 2"), Text::npos) << qvn::TextToUtf8(show);
  EXPECT_NE(show.find(u"T: 2 records"), Text::npos);
  EXPECT_NE(show.find(u"T=2"), Text::npos);  // the request's own answer follows
  Text brief = Run(u"dbpw@alice@secret\r\nbuild show[1]-\r\n");
  EXPECT_EQ(brief.find(u"tables:"), Text::npos);
  EXPECT_NE(brief.find(u"put T[0,2]"), Text::npos);
  EXPECT_EQ(brief.find(u"put T[0,1]"), Text::npos);

  EXPECT_EQ(Run(u"dbpw@alice@wrong\r\nCLEARSYNC\r\n").substr(0, 6), u"DENIED");
  EXPECT_EQ(Run(u"dbpw@alice@secret\r\nCLEARSYNC\r\n").substr(0, 22), u"OK 2 changes cleared\r\n");
  EXPECT_NE(Run(u"dbpw\r\nBUILD SHOW\r\n").find(u"changes since CLEARSYNC: 0"), Text::npos);
}

TEST_F(ServerTest, TransfersFilesOfEverySizeBothWays) {
  const std::vector<size_t> sizes = {0, 1, 32766, 32767, 32768, 65534, 100000, 3 * 1024 * 1024 + 7};
  std::string local = server_->dir();
  Text up = u"dbpw@alice@secret\r\nFILES [UPLOAD]\r\n{";
  Text down = u"dbpw@alice@secret\r\nfiles [ download ]\r\n{";
  for (size_t i = 0; i < sizes.size(); ++i) {
    std::string name = "f" + std::to_string(sizes[i]) + ".bin";
    WriteFile(local + "/" + name, RandomBytes(sizes[i], static_cast<unsigned>(i)));
    Text sep = i + 1 == sizes.size() ? u" }\r\n" : u"\r\n";
    up += Rel(local + "/" + name) + u" ,..\\ sized\\" + qvn::Utf8ToText(name) + sep;
    down += Rel(local + "/back-" + name) + u",..\\sized\\" + qvn::Utf8ToText(name) + sep;
  }
  Window w1;
  Text answer = Run(up, w1.handle(), true);
  EXPECT_EQ(answer.substr(0, 24), u"File transfer started : ");
  // Every upload but the empty one reports its end; the empty one sends no block.
  ASSERT_TRUE(w1.WaitForFinals(sizes.size() - 1)) << server_->log();
  for (size_t size : sizes) {
    std::string name = "f" + std::to_string(size) + ".bin";
    std::string stored = server_->data() + "/files/sized/" + name;
    for (int i = 0; i < 100 && !Exists(stored); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ReadFile(stored), ReadFile(local + "/" + name)) << name;
  }

  Window w2;
  Run(down, w2.handle(), true);
  ASSERT_TRUE(w2.WaitForFinals(sizes.size())) << server_->log();
  for (size_t size : sizes) {
    std::string name = "f" + std::to_string(size) + ".bin";
    EXPECT_EQ(ReadFile(local + "/back-" + name), ReadFile(local + "/" + name)) << name;
  }
  std::vector<Text> finals = w2.finals();
  ASSERT_EQ(finals.size(), sizes.size());
  EXPECT_NE(finals.back().find(u"*3145735*3145735*"), Text::npos);
}

// The file port has no word for "no": a server that cannot open the request
// block ends the connection, and that is what the outcome says.
TEST_F(ServerTest, TransfersUnderWrongCredentialsAreRefused) {
  const std::string local = server_->dir() + "/refused.bin";
  // More than loopback's socket buffers hold, so the reset meets the sending.
  WriteFile(local, RandomBytes(32 << 20, 9));
  Window w;
  Run(u"dbpw@alice@wrong\r\nFILES [UPLOAD]\r\n{" + Rel(local) + u",..\\refused.bin}", w.handle(),
      true);
  const std::string refused = "refused by the server (wrong credentials?)";
  EXPECT_EQ(w.reasons(), std::vector<std::string>{refused});
  Window down;
  Run(u"dbpw@alice@wrong\r\nFILES [DOWNLOAD]\r\n{" + Rel(local) + u".back,..\\refused.bin}",
      down.handle(), true);
  EXPECT_EQ(down.reasons(), std::vector<std::string>{refused});
  EXPECT_FALSE(Exists(local + ".back"));
}

TEST_F(ServerTest, ContentSectionsAndAnonymousTransfers) {
  std::string local = server_->dir();
  WriteFile(local + "/p.bin", RandomBytes(70000, 7));
  Window w;
  Run(u"dbpw@Bob@hunter2\r\nCONTENT [UPLOAD]\r\n" + Rel(local) + u"/p.bin,.@\\pics\\p.bin}\r\n",
      w.handle(), true);
  ASSERT_TRUE(w.WaitForFinals(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ReadFile(server_->data() + "/content/pics/p.bin"), ReadFile(local + "/p.bin"));
  EXPECT_FALSE(Exists(server_->data() + "/files/pics/p.bin"));

  // Without a user: downloads yes, uploads no.
  Window w2;
  Run(u"dbpw\r\nCONTENT [DOWNLOAD]\r\n{" + Rel(local) + u"/p2.bin,.@\\pics\\p.bin}\r\n",
      w2.handle(), true);
  ASSERT_TRUE(w2.WaitForFinals(1));
  EXPECT_EQ(ReadFile(local + "/p2.bin"), ReadFile(local + "/p.bin"));
  Window w3;
  Run(u"dbpw\r\nCONTENT [UPLOAD]\r\n{" + Rel(local) + u"/p.bin,.@\\anon.bin}\r\n",
      w3.handle(), true);
  ASSERT_TRUE(w3.WaitForFinals(1));  // the client cannot tell: it only writes
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(Exists(server_->data() + "/content/anon.bin"));
}

TEST_F(ServerTest, RefusesServerNamesOutsideTheRoots) {
  std::string local = server_->dir();
  WriteFile(local + "/evil.bin", "evil");
  // A link inside the root that leads out of it: no folder is made through it.
  ASSERT_EQ(::mkdir((local + "/outside").c_str(), 0700), 0);
  ASSERT_EQ(::symlink((local + "/outside").c_str(), (server_->data() + "/files/evil").c_str()), 0);
  Window w;
  Run(u"dbpw@alice@secret\r\nFILES [UPLOAD]\r\n{" + Rel(local) +
          u"/evil.bin,..\\..\\credentials\r\n" + Rel(local) +
          u"/evil.bin,..\\a\\..\\..\\x.bin\r\n" + Rel(local) + u"/evil.bin,..\\/tmp/x.bin\r\n" +
          Rel(local) + u"/evil.bin,..\\evil\\a\\b\\c\\x.txt\r\n" + Rel(local) +
          u"/evil.bin,..\\fine.bin}\r\n",
      w.handle(), true);
  ASSERT_TRUE(w.WaitForFinals(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(ReadFile(server_->data() + "/files/fine.bin"), "evil");
  EXPECT_FALSE(Exists(server_->data() + "/x.bin"));
  EXPECT_FALSE(Exists(local + "/outside/a"));
  EXPECT_EQ(Check(u"dbpw@alice@secret"), u"OK");  // credentials untouched

  Window w2;
  Run(u"dbpw@alice@secret\r\nFILES [DOWNLOAD]\r\n{" + Rel(local) + u"/stolen,..\\..\\credentials\r\n" +
          Rel(local) + u"/missing,..\\nothing.bin\r\n" + Rel(local) +
          u"/ok.bin,..\\fine.bin}\r\n",
      w2.handle(), true);
  ASSERT_TRUE(w2.WaitForFinals(1));
  std::vector<Text> finals = w2.finals();
  ASSERT_EQ(finals.size(), 1u);  // only the last one completed
  EXPECT_EQ(finals[0].substr(0, finals[0].find(u'*')), Rel(local + "/ok.bin"));
  EXPECT_EQ(ReadFile(local + "/stolen"), "");
  EXPECT_EQ(ReadFile(local + "/missing"), "");
  EXPECT_NE(server_->log().find("refused"), std::string::npos);
}

// Raw requests: whatever arrives, the server stays up and says why on stderr.
TEST_F(ServerTest, SurvivesMalformedRequests) {
  auto raw = [&](const std::vector<uint8_t>& bytes) {
    qvn::platform::Connection c = qvn::platform::Connection::Open(u"127.0.0.1", port());
    c.SendAll(bytes.data(), bytes.size());
    try {
      return qvn::ReadMessage(c);
    } catch (const std::exception&) {
      return Text(u"<broken>");
    }
  };
  // Refused with a closed connection; unread bytes may turn the close into a reset.
  auto closed = [](const Text& r) { return r.empty() || r == u"<broken>"; };
  EXPECT_TRUE(closed(raw({0xFF, 0xFF, 0xFF, 0xF0, 'x', 0})));          // negative count
  EXPECT_TRUE(closed(raw({'G', 'E', 'T', ' ', '/', ' ', 'H', 'T'})));  // not a frame
  EXPECT_TRUE(closed(raw({0x01, 0x00, 0x00, 0x02})));                  // 16 MiB + 2: above the limit
  EXPECT_EQ(raw({0, 0, 0, 4, 'h', 0, 'i', 0}), u"ERROR: unknown request");
  EXPECT_EQ(raw({0, 0, 0, 0}), u"ERROR: unknown request");
  EXPECT_EQ(raw({0, 0, 0, 8, 'Q', 0, 'U', 0, 'J', 0, 'B', 0}), u"ERROR: unknown request");
  // A user's request whose ciphertext is no whole block: no answer.
  EXPECT_EQ(raw({0, 0, 0, 16, 'U', 0, 'I', 0, 'D', 0, ':', 0, 'x', 0, '#', 0, 'A', 0, 'A', 0}), u"");
  {
    // A client that connects to the file port and sends half a block.
    qvn::platform::Connection c = qvn::platform::Connection::Open(u"127.0.0.1", server_->file_port());
    std::vector<uint8_t> half(16000, 0x55);
    c.SendAll(half.data(), half.size());
  }
  EXPECT_EQ(Take(ShowDbName(u"127.0.0.1", port())), u"E2E Base");
  std::string log = server_->log();
  EXPECT_NE(log.find("above the limit"), std::string::npos) << log;
  EXPECT_NE(log.find("unknown request"), std::string::npos) << log;
  EXPECT_NE(log.find("127.0.0.1:"), std::string::npos) << log;
}

TEST_F(ServerTest, ServesManyClientsAtOnce) {
  constexpr int kThreads = 8, kEach = 15;
  std::vector<std::thread> threads;
  std::vector<int> ok(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        Text r = Run(u"dbpw@alice@secret\r\nput Load[0,+]=" + qvn::DecimalText(t) + u"\r\n");
        if (r.substr(0, 3) == u"OK " && Take(ShowDbName(u"127.0.0.1", port())) == u"E2E Base") ++ok[t];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(ok[t], kEach);
  EXPECT_EQ(Run(u"dbpw\r\ncount Load\r\n"), qvn::DecimalText(kThreads * kEach));
}

// An upload gets no answer: after its last block the client takes an orderly
// end for success. A server that has read every block and cannot store them
// (here: a file size limit, as a full disk) must reset instead.
TEST(ServerStorage, AnUploadTheServerCannotStoreFails) {
  if (kServer == nullptr) GTEST_SKIP() << "qvn-server is not built";
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 64 << 10;
  // The server inherits the limit, and writes beyond it fail instead of
  // killing it.
  auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::unique_ptr<ServerProcess> server;
  try {
    server = std::make_unique<ServerProcess>();
  } catch (const std::exception&) {
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, old_handler);
  ASSERT_TRUE(server);
  // Seven blocks: one read of the server's, all in before the first write.
  const std::string local = server->dir() + "/big.bin";
  WriteFile(local, RandomBytes(200000, 3));
  Window w;
  const Text script = u"dbpw@alice@secret\r\nFILES [UPLOAD]\r\n{" + Rel(local) + u",..\\big.bin}";
  Take(::Script(w.handle(), script.c_str(), u"127.0.0.1", server->port(), server->file_port()));
  std::vector<std::string> reasons = w.reasons();
  ASSERT_EQ(reasons.size(), 1u);
  EXPECT_NE(reasons[0], "") << server->log();
  EXPECT_FALSE(Exists(server->data() + "/files/big.bin"));
  EXPECT_NE(server->log().find("not stored"), std::string::npos) << server->log();
}

}  // namespace
}  // namespace qvn::testing
