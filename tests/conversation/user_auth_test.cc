#include "conversation/user_auth.h"

#include <gtest/gtest.h>

#include "codecs/text_crypto.h"
#include "codecs/version_text.h"
#include "conversation/admin_commands.h"
#include "conversation/check_for_update.h"
#include "support/fake_server.h"
#include "support/loopback.h"

namespace qvn::testing {
namespace {

// Without the library: python3 hashlib.md5(b"BOBSecret"), and
// openssl enc -aes-128-cbc (key = SHA-256 of UTF-16LE "BOBSecret", first 16
// bytes; zero IV) of UTF-16LE "welcome", Base64.
constexpr char16_t kAuthBobSecret[] = u"USERAUTH:B7FFE88684F9502C4D725CA4DEB52B76";
constexpr char16_t kWelcomeUnderBobSecret[] = u"nazxiaeiqRFL783Cqx/NlA==";
constexpr char16_t kMd5Abc[] = u"900150983CD24FB0D6963F7D28E17F72";

TEST(UserKey, UpperTrimsTheNameAndTrimsTheJoinedKey) {
  EXPECT_EQ(UserKey(u" bob ", u"Secret"), u"BOBSecret");
  EXPECT_EQ(UserKey(u"Bob", u"Secret \r\n"), u"BOBSecret");
  EXPECT_EQ(UserKey(u"bob", u" Secret"), u"BOB Secret");
  EXPECT_EQ(UserKey(u"", u" pw "), u"pw");
  EXPECT_EQ(UserKey(u" ", u"\t"), Text());
}

// The one request an authentication made (it runs no probe).
Text OnlyRequest(FakeServer& server) {
  auto records = server.WaitForConnections(1);
  EXPECT_EQ(records.size(), 1u);
  if (records.empty()) return Text();
  EXPECT_TRUE(records[0].had_request);
  return records[0].request;
}

TEST(AuthenticateUser, SendsTheKeyDigestAndDecryptsTheReply) {
  FakeServer server(Reply::Framed(kWelcomeUnderBobSecret));
  EXPECT_EQ(AuthenticateUser(FakeServer::kHost, server.port(), u" bob ", u"Secret"), u"welcome");
  Text request = OnlyRequest(server);
  EXPECT_EQ(request, kAuthBobSecret);
  ASSERT_EQ(request.size(), 9u + 32u);
  for (char16_t c : request.substr(9)) {
    EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
  }
}

TEST(AuthenticateUser, NameCaseDoesNotMatterButPasswordCaseDoes) {
  struct Case {
    const char16_t* user;
    const char16_t* password;
    bool same_as_bob_secret;
  };
  for (const Case& c : {Case{u"BOB", u"Secret", true}, Case{u"\tbOb  ", u"Secret  ", true},
                        Case{u"bob", u"secret", false}, Case{u"bob", u"SECRET", false}}) {
    FakeServer server(Reply::Framed(Text()));
    AuthenticateUser(FakeServer::kHost, server.port(), c.user, c.password);
    EXPECT_EQ(OnlyRequest(server) == kAuthBobSecret, c.same_as_bob_secret)
        << TextToUtf8(c.user) << "/" << TextToUtf8(c.password);
  }
}

TEST(AuthenticateUser, EmptyReplyGivesEmptyText) {
  for (const Reply& reply : {Reply::Framed(Text()), Reply::CloseWithoutReply()}) {
    FakeServer server(reply);
    EXPECT_EQ(AuthenticateUser(FakeServer::kHost, server.port(), u"bob", u"Secret"), Text());
  }
}

TEST(AuthenticateUser, FailuresAreConnectionErrors) {
  EXPECT_EQ(AuthenticateUser(FakeServer::kHost, 0, u"bob", u"Secret"), kConnectionError);
  EXPECT_EQ(AuthenticateUser(FakeServer::kHost, PortWithNoListener(), u"bob", u"Secret"),
            kConnectionError);
  EXPECT_EQ(AuthenticateUser(u"", 4000, u"bob", u"Secret"), kConnectionError);
  EXPECT_EQ(AuthenticateUser(u"nonexistent.invalid", 4000, u"bob", u"Secret"), kConnectionError);
  {
    FakeServer server(Reply::CloseMidFrame(64, testing::Utf16Le(u"cut")));
    EXPECT_EQ(AuthenticateUser(FakeServer::kHost, server.port(), u"bob", u"Secret"),
              kConnectionError);
  }
}

TEST(AuthenticateUser, BlankNameAndPasswordCannotBeAnswered) {
  FakeServer server(Reply::Framed(kWelcomeUnderBobSecret));
  EXPECT_EQ(AuthenticateUser(FakeServer::kHost, server.port(), u"  ", u" "), kConnectionError);
  EXPECT_EQ(OnlyRequest(server), u"USERAUTH:D41D8CD98F00B204E9800998ECF8427E");
}

// A stand-in for the query side of the server: credentials "abc" (no user),
// so every request opens with the database key alone.
class QueryServer {
 public:
  QueryServer(Text select_reply, Text get_reply)
      : server_([this, s = std::move(select_reply), g = std::move(get_reply)](const Text& request,
                                                                              size_t index) {
          Text plain = DecryptText(kMd5Abc, request);
          {
            std::lock_guard<std::mutex> lock(mutex_);
            queries_.push_back(plain);
          }
          const Text& answer = index == 0 ? s : g;
          if (answer == u"<cut>") return Reply::CloseMidFrame(50, testing::Utf16Le(u"x"));
          return Reply::Framed(EncryptText(kMd5Abc, answer));
        }) {}
  uint16_t port() const { return server_.port(); }
  std::vector<Text> Queries(size_t expected) {
    server_.WaitForConnections(expected);
    std::lock_guard<std::mutex> lock(mutex_);
    return queries_;
  }

 private:
  std::mutex mutex_;
  std::vector<Text> queries_;
  FakeServer server_;
};

bool Check(QueryServer& server, const Text& own_version, int32_t search_field = 2,
           int32_t version_field = 5) {
  return CheckForUpdateWithVersion(own_version, FakeServer::kHost, server.port(), u"abc", u"S",
                                   search_field, u"T", version_field);
}

TEST(CheckForUpdate, SendsTheSelectThenTheGetQuery) {
  QueryServer server(u"17=anything", u"1.2.3.4");
  EXPECT_FALSE(Check(server, u"1.2.3.4"));
  auto queries = server.Queries(2);
  ASSERT_EQ(queries.size(), 2u);
  // Each query line ends in a lone CR; the final one is trimmed off with the
  // rest of the request's trailing blanks.
  EXPECT_EQ(queries[0], u"QUARVEN_v1.0#abc\rselect S[text, 2, 1, T, i]-");
  EXPECT_EQ(queries[1], u"QUARVEN_v1.0#abc\rget S[5,17]-");
}

TEST(CheckForUpdate, NegativeNumbersAreWrittenWithTheirSign) {
  QueryServer server(u"-4", u"v");
  EXPECT_TRUE(Check(server, u"w", -1, -2));
  auto queries = server.Queries(2);
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0], u"QUARVEN_v1.0#abc\rselect S[text, -1, 1, T, i]-");
  EXPECT_EQ(queries[1], u"QUARVEN_v1.0#abc\rget S[-2,-4]-");
}

TEST(CheckForUpdate, ComparesTheStoredVersionExactly) {
  struct Case {
    const char16_t* select_reply;
    const char16_t* get_reply;
    const char16_t* own;
    bool update;
  };
  const Case cases[] = {
      {u"17", u"1.2.3.4", u"1.2.3.4", false},       // a bare number is the record
      {u"17=x", u"  1.2.3.4 \r\n", u"1.2.3.4", false},  // both sides trimmed
      {u"17=x", u"1.2.3.4", u" 1.2.3.4\t", false},
      {u"17=x", u"1.2.3.5", u"1.2.3.4", true},
      {u"17=x", u"1.2.3.4-RC", u"1.2.3.4-rc", true},   // letter case counts
      {u"17=x", u"01.2.3.4", u"1.2.3.4", true},        // no numeric reading
      {u"17=x", u"<cut>", u"1.2.3.4", true},           // a failed get answers NONE
      {u"17=x", u"", u"1.2.3.4", true},
  };
  for (const Case& c : cases) {
    QueryServer server(c.select_reply, c.get_reply);
    EXPECT_EQ(Check(server, c.own), c.update)
        << TextToUtf8(c.select_reply) << " / " << TextToUtf8(c.get_reply);
  }
}

TEST(CheckForUpdate, NoRecordNumberMeansNoUpdateAndNoSecondQuery) {
  for (const char16_t* select_reply :
       {u"NONE", u"x=17", u"", u"=17", u"17x", u"1 7", u"2147483648", u"+", u"<cut>"}) {
    QueryServer server(select_reply, u"never asked");
    EXPECT_FALSE(Check(server, u"1.0.0.0")) << TextToUtf8(select_reply);
    EXPECT_EQ(server.Queries(1).size(), 1u);
  }
  QueryServer largest(u"2147483647=x", u"v");
  EXPECT_TRUE(Check(largest, u"w"));
  EXPECT_EQ(largest.Queries(2).back(), u"QUARVEN_v1.0#abc\rget S[5,2147483647]-");
}

TEST(CheckForUpdate, PortZeroGivesFalse) {
  EXPECT_FALSE(CheckForUpdateWithVersion(u"1.0.0.0", FakeServer::kHost, 0, u"abc", u"S", 1, u"T",
                                         2));
}

TEST(CheckForUpdate, ComparesWithTheHostProgramsOwnVersion) {
  // The test program carries a product version (set by its build).
  Text own;
  ASSERT_NO_THROW(own = HostVersionText());
  ASSERT_FALSE(own.empty());
  {
    QueryServer server(u"3", own + u" ");
    EXPECT_FALSE(CheckForUpdate(FakeServer::kHost, server.port(), u"abc", u"S", 1, u"T", 2));
    EXPECT_EQ(server.Queries(2).size(), 2u);
  }
  {
    QueryServer server(u"3=x", own + u".1");
    EXPECT_TRUE(CheckForUpdate(FakeServer::kHost, server.port(), u"abc", u"S", 1, u"T", 2));
  }
}

}  // namespace
}  // namespace qvn::testing
