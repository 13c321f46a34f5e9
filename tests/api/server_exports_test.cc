// The request-port exports as a host calls them: C text in, result texts
// released with ScriptFree, nothing thrown.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "codecs/text_crypto.h"
#include "conversation/admin_commands.h"
#include "conversation/script_request.h"
#include "qvn.h"
#include "support/cut_off_server.h"
#include "support/fake_server.h"
#include "support/loopback.h"

namespace qvn::testing {
namespace {

const qvn_char* Q(const Text& t) { return reinterpret_cast<const qvn_char*>(t.c_str()); }
const qvn_char* Q(const char16_t* t) { return reinterpret_cast<const qvn_char*>(t); }

// Takes a result, releases it, and returns its text.
Text Take(qvn_char* result) {
  EXPECT_NE(result, nullptr);
  if (result == nullptr) return Text();
  Text out(reinterpret_cast<const char16_t*>(result));
  ScriptFree(result);
  return out;
}

Text RequestAfterProbe(FakeServer& server) {
  auto records = server.WaitForConnections(2);
  EXPECT_EQ(records.size(), 2u);
  if (records.size() != 2) return Text();
  EXPECT_TRUE(records[0].received.empty());
  return records[1].request;
}

TEST(ServerExports, TryConnectProbesWithTheHostsTimeOut) {
  FakeServer server(Reply::Framed(u"x"));
  EXPECT_TRUE(TryConnect(Q(u"127.0.0.1"), server.port(), 0));
  EXPECT_TRUE(TryConnect(Q(u"127.0.0.1"), server.port(), -1));
  EXPECT_FALSE(TryConnect(Q(u"127.0.0.1"), PortWithNoListener(), 5000));
  EXPECT_FALSE(TryConnect(nullptr, server.port(), 5000));
  EXPECT_FALSE(TryConnect(Q(u"nonexistent.invalid"), server.port(), 5000));
  auto records = server.WaitForConnections(2);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[0].received.empty());
  EXPECT_TRUE(records[1].received.empty());
}

TEST(ServerExports, ShowDbNameReturnsTheReplyAsAnAllocatedText) {
  FakeServer server(Reply::Framed(u" Name "));
  EXPECT_EQ(Take(ShowDbName(Q(u"127.0.0.1"), server.port())), u" Name ");
  EXPECT_EQ(RequestAfterProbe(server), u"DBNAME#");
}

TEST(ServerExports, EmptyReplyIsTheStaticEmptyResult) {
  FakeServer server(Reply::Framed(Text()));
  qvn_char* result = ShowDbName(Q(u"127.0.0.1"), server.port());
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result[0], 0);
  qvn_char* again = ShowDbName(Q(u"127.0.0.1"), server.port());
  EXPECT_EQ(result, again);  // the one static text, not an allocation
  ScriptFree(result);
  ScriptFree(again);
}

TEST(ServerExports, ReplyWithAnEmbeddedNulIsCutThere) {
  FakeServer server(Reply::Framed(Text(u"front\0back", 10)));
  EXPECT_EQ(Take(DbMessagePipe(Q(u"127.0.0.1"), server.port(), Q(u"m"))), u"front");
}

TEST(ServerExports, PortZeroGivesConnectionErrorEverywhere) {
  const qvn_char* h = Q(u"127.0.0.1");
  EXPECT_EQ(Take(ShowDbName(h, 0)), kConnectionError);
  EXPECT_EQ(Take(TryDbPassword(h, 0, Q(u"abc"))), kConnectionError);
  EXPECT_EQ(Take(ChangeUniquePass(h, 0, Q(u"a"), Q(u"b"), Q(u"c"), Q(u"d"))), kConnectionError);
  EXPECT_EQ(Take(DbMessageFile(h, 0, Q(u"m"))), kConnectionError);
  EXPECT_EQ(Take(DbMessagePipe(h, 0, Q(u"m"))), kConnectionError);
  EXPECT_EQ(Take(DbMessageTcp(h, 0, Q(u"r"), 1, Q(u"m"))), kConnectionError);
  EXPECT_EQ(Take(UserAuthentication(h, 0, Q(u"bob"), Q(u"pw"))), kConnectionError);
  EXPECT_FALSE(UpdateIsAvailable(h, 0, Q(u"abc"), Q(u"S"), 1, Q(u"T"), 2));
  EXPECT_FALSE(TryConnect(h, 0, 1000));
}

TEST(ServerExports, NullTextsCountAsEmpty) {
  {
    FakeServer server(Reply::Framed(u"ok"));
    EXPECT_EQ(Take(DbMessagePipe(Q(u"127.0.0.1"), server.port(), nullptr)), u"ok");
    EXPECT_EQ(RequestAfterProbe(server), u"MESSAGE#\r\n");
  }
  {
    FakeServer server(Reply::Framed(u"ok"));
    EXPECT_EQ(Take(TryDbPassword(Q(u"127.0.0.1"), server.port(), nullptr)), u"ok");
    EXPECT_EQ(RequestAfterProbe(server), u"CHKPSW#||");
  }
  {
    FakeServer server(Reply::Framed(u"ok"));
    EXPECT_EQ(Take(DbMessageTcp(Q(u"127.0.0.1"), server.port(), nullptr, 0, nullptr)), u"ok");
    EXPECT_EQ(RequestAfterProbe(server), u"MESSAGE#TCP#:0#\r\n");
  }
  EXPECT_EQ(Take(ShowDbName(nullptr, 4000)), kConnectionError);
}

TEST(ServerExports, ArgumentsReachTheirPlaces) {
  {
    FakeServer server(Reply::Framed(u"ok"));
    Take(DbMessageTcp(Q(u"127.0.0.1"), server.port(), Q(u"rhost"), 7000, Q(u"body")));
    EXPECT_EQ(RequestAfterProbe(server), u"MESSAGE#TCP#rhost:7000#\r\nbody");
  }
  {
    FakeServer server(Reply::Framed(u"ok"));
    Take(DbMessageFile(Q(u"127.0.0.1"), server.port(), Q(u"a")));
    EXPECT_EQ(RequestAfterProbe(server), u"MESSAGE#FILE#\r\na");
  }
  {
    FakeServer server(Reply::Framed(u"ok"));
    Take(ChangeUniquePass(Q(u"127.0.0.1"), server.port(), Q(u"db"), Q(u"bob"), Q(u"upw"),
                          Q(u"new")));
    Text request = RequestAfterProbe(server);
    ASSERT_EQ(request.substr(0, 11), u"CHPASS#bob#");
    EXPECT_EQ(DecryptTextTwice(Md5Hex(u"upw"), Md5Hex(u"db"), request.substr(11)), u"new");
  }
  {
    // EncryptText(K("BOBSecret"), "welcome"), made with openssl (see user_auth_test).
    FakeServer server(Reply::Framed(u"nazxiaeiqRFL783Cqx/NlA=="));
    EXPECT_EQ(Take(UserAuthentication(Q(u"127.0.0.1"), server.port(), Q(u"bob"), Q(u"Secret"))),
              u"welcome");
    auto records = server.WaitForConnections(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].request, u"USERAUTH:B7FFE88684F9502C4D725CA4DEB52B76");
  }
}

// A request that never reaches the server whole gets the call's failure, not
// the empty answer of a server that read it and closed without a word: from
// a server that resets as soon as it accepts, and, where the request is too
// large for the sockets' buffers so that the send itself breaks off, from one
// that closes after part of it and one that reads only the count of a request
// too large for it. (A small request that went out whole before an orderly
// close cannot be told from one the server read and refused.)
TEST(ServerExports, ARequestCutOffIsAFailureNotAnEmptyAnswer) {
  const Text big(4 << 20, u'x');
  const qvn_char* h = Q(u"127.0.0.1");
  const Text script = u"db@@\r\n" + big;
  const struct {
    const char* call;
    bool large;  // the request itself is large
    std::function<Text(uint16_t)> run;
    Text failure;
  } calls[] = {
      {"Script", true, [&](uint16_t p) { return Take(Script(nullptr, Q(script), h, p, 0)); },
       u"NONE"},
      {"ShowDbName", false, [&](uint16_t p) { return Take(ShowDbName(h, p)); }, kConnectionError},
      {"TryDbPassword", false, [&](uint16_t p) { return Take(TryDbPassword(h, p, Q(big))); },
       kConnectionError},
      {"ChangeUniquePass", true,
       [&](uint16_t p) { return Take(ChangeUniquePass(h, p, Q(u"db"), Q(big), Q(u"pw"), Q(big))); },
       kConnectionError},
      {"DbMessagePipe", true, [&](uint16_t p) { return Take(DbMessagePipe(h, p, Q(big))); },
       kConnectionError},
      {"DbMessageFile", true, [&](uint16_t p) { return Take(DbMessageFile(h, p, Q(big))); },
       kConnectionError},
      {"DbMessageTcp", true,
       [&](uint16_t p) { return Take(DbMessageTcp(h, p, Q(u"r"), 1, Q(big))); }, kConnectionError},
      {"UserAuthentication", false,
       [&](uint16_t p) { return Take(UserAuthentication(h, p, Q(big), Q(u"pw"))); },
       kConnectionError},
      {"UpdateIsAvailable", true,
       [&](uint16_t p) {
         return Text(UpdateIsAvailable(h, p, Q(u"db@bob@pw\r\n" + big), Q(u"S"), 1, Q(u"T"), 2)
                         ? u"true"
                         : u"false");
       },
       u"false"},
  };
  const struct {
    const char* peer;
    size_t read_bytes;
    bool reset;
    bool large_requests_only;
  } peers[] = {{"resets at once", 0, true, false},
               {"closes after part of the request", 1000, false, true},
               {"reads the count of a request too large for it", 4, false, true}};
  for (const auto& peer : peers) {
    CutOffServer server(peer.read_bytes, peer.reset);
    for (const auto& c : calls) {
      if (peer.large_requests_only && !c.large) continue;
      EXPECT_EQ(c.run(server.port()), c.failure) << c.call << ", a server that " << peer.peer;
    }
  }
}

// Eight host threads, twenty-five mixed calls each, against one server that
// answers every request with a text derived from it: every answer must be the
// one belonging to its own call.
TEST(ServerExports, ConcurrentCallsDoNotInterfere) {
  const Text db_key = Md5Hex(u"abc");
  FakeServer server(
      [&](const Text& request, size_t) {
        if (request.rfind(u"MESSAGE#", 0) == 0 || request == u"DBNAME#" ||
            request.rfind(u"CHKPSW#", 0) == 0) {
          return Reply::Framed(u"R:" + request);
        }
        // A script request without a user: answer under the database key.
        Text plain = DecryptText(db_key, request);
        return Reply::Framed(EncryptText(db_key, u"S:" + plain));
      },
      120000);
  const uint16_t port = server.port();
  std::atomic<int> wrong{0};
  std::atomic<int> done{0};
  std::vector<std::string> failures[8];
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        const Text tag = DecimalText(t) + u"." + DecimalText(i);
        Text expected, got;
        switch ((t + i) % 5) {
          case 0:
            expected = u"R:MESSAGE#\r\n" + tag;
            got = Take(DbMessagePipe(Q(u"127.0.0.1"), port, Q(tag)));
            break;
          case 1:
            expected = u"R:MESSAGE#TCP#h" + tag + u":" + DecimalText(1000 + i) + u"#\r\nm";
            got = Take(DbMessageTcp(Q(u"127.0.0.1"), port, Q(u"h" + tag),
                                    static_cast<uint16_t>(1000 + i), Q(u"m")));
            break;
          case 2:
            expected = u"R:DBNAME#";
            got = Take(ShowDbName(Q(u"127.0.0.1"), port));
            break;
          case 3:
            expected = u"R:CHKPSW#||";
            got = Take(TryDbPassword(Q(u"127.0.0.1"), port, Q(u"")));
            break;
          default: {
            expected = u"S:QUARVEN_v1.0#abc\r\n" + tag;
            got = qvn::SendScript(u"127.0.0.1", port, u"abc\r\n" + tag);
            break;
          }
        }
        if (got != expected) {
          ++wrong;
          failures[t].push_back(TextToUtf8(expected) + " != " + TextToUtf8(got));
        }
        ++done;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(done.load(), 200);
  EXPECT_EQ(wrong.load(), 0);
  for (auto& f : failures) {
    for (auto& line : f) ADD_FAILURE() << line;
  }
}

}  // namespace
}  // namespace qvn::testing
