#include "conversation/admin_commands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "codecs/text_crypto.h"
#include "support/fake_server.h"
#include "support/loopback.h"

namespace qvn::testing {
namespace {

// Computed without the library (python3 hashlib; openssl enc -aes-128-cbc,
// key = first 16 bytes of SHA-256 of the UTF-16LE key text, zero IV, Base64).
constexpr char16_t kMd5Abc[] = u"900150983CD24FB0D6963F7D28E17F72";
constexpr char16_t kTokenAbc[] =  // EncryptText(Md5Hex("abc"), Md5Hex("abc"))
    u"jjdgGNuThPsIYz0hVdUO42GWrUj0HoHQltEZ22mlN9yYMx+saAYJ+w/oWfohuse12XbrWOvyJ0LdQmQIO4Hb/kye"
    u"Y+bxLhutoLZ8ULyrV7A=";
constexpr char16_t kP0Abc[] = u"1D9E715CA3F09CC6C10F77230C44534B";   // Md5Hex(EncryptText("abc","abc"))
constexpr char16_t kP1BobPw[] = u"01E09B643069EC9213E151833119E1D6";  // Md5Hex(EncryptText("pw","BOB"))
constexpr char16_t kP2Pw[] = u"4BB82E6CB75203E02B151493F8EC5EEF";    // Md5Hex(EncryptText("pw","pw"))
constexpr char16_t kNewPassUnderAbcPw[] =  // EncryptText(K("abc"), EncryptText(K("pw"), "newpass"))
    u"mUsoDAj2YZkIKGiaXHVKLjGxFPR1ATrSuiSY0cJ2mGEYiVM8LJJsb5oQG8phCk/AcRX99l0OGgZlX6i8Yt8QXA==";

constexpr int32_t kProbe = 5000;

// A command makes two connections: the probe (no data), then the request.
// Returns the request connection's record.
testing::ConnectionRecord CommandConnection(FakeServer& server) {
  auto records = server.WaitForConnections(2);
  EXPECT_EQ(records.size(), 2u);
  if (records.size() != 2) return {};
  EXPECT_TRUE(records[0].received.empty()) << "the probe sends nothing";
  return records[1];
}

Text CommandRequest(FakeServer& server) {
  testing::ConnectionRecord r = CommandConnection(server);
  EXPECT_TRUE(r.had_request);
  return r.request;
}

TEST(AdminToken, IsTheDigestEncryptedUnderItself) {
  EXPECT_EQ(AdminToken(u"abc"), kTokenAbc);
  Text token = AdminToken(u"secret@user@pw");
  EXPECT_EQ(token.size(), 108u);
  EXPECT_EQ(token.back(), u'=');
  EXPECT_EQ(DecryptText(Md5Hex(u"secret@user@pw"), token), Md5Hex(u"secret@user@pw"));
  // The whole line counts, user fields included.
  EXPECT_NE(AdminToken(u"abc@x@1"), AdminToken(u"abc@y@1"));
  EXPECT_EQ(AdminToken(Text()).size(), 108u);  // the digest key is never empty
}

TEST(QueryDbName, SendsExactlyTheEighteenBytesAndPassesTheReplyOn) {
  FakeServer server(Reply::Framed(u"  Customers \r\n"));
  EXPECT_EQ(QueryDbName(FakeServer::kHost, server.port(), kProbe), u"  Customers \r\n");
  EXPECT_EQ(CommandConnection(server).received,
            (Bytes{0x00, 0x00, 0x00, 0x0E, 0x44, 0x00, 0x42, 0x00, 0x4E, 0x00, 0x41, 0x00, 0x4D,
                   0x00, 0x45, 0x00, 0x23, 0x00}));
}

TEST(ClearSync, SendsTheCommandWordAndTheToken) {
  FakeServer server(Reply::Framed(u"OK"));
  EXPECT_EQ(ClearSync(FakeServer::kHost, server.port(), u"abc", kProbe), u"OK");
  Text request = CommandRequest(server);
  EXPECT_EQ(request, Text(u"CLEARSYNC#") + kTokenAbc);
  EXPECT_EQ(request.size(), 118u);
}

TEST(BuildShow, WritesNumberAndFlagInDecimal) {
  struct Case {
    int32_t number;
    bool flag;
    const char16_t* fields;
  };
  for (const Case& c : {Case{-1, true, u"-1#1#"}, Case{7, false, u"7#0#"}, Case{0, true, u"0#1#"},
                        Case{INT32_MIN, false, u"-2147483648#0#"},
                        Case{INT32_MAX, true, u"2147483647#1#"}}) {
    FakeServer server(Reply::Framed(u"shown"));
    EXPECT_EQ(BuildShow(FakeServer::kHost, server.port(), u"abc", c.number, c.flag, kProbe),
              u"shown");
    EXPECT_EQ(CommandRequest(server), Text(u"BUILD SHOW#") + c.fields + kTokenAbc);
  }
}

TEST(CheckDbPassword, BuildsTheThreeDigestFields) {
  struct Case {
    const char16_t* credentials;
    Text fields;
  };
  const Case cases[] = {
      {u"", u"||"},
      {u"abc", Text(kP0Abc) + u"||"},
      {u"abc@Bob@pw", Text(kP0Abc) + u"|" + kP1BobPw + u"|" + kP2Pw},
      {u"  abc  @ bOB @  pw ", Text(kP0Abc) + u"|" + kP1BobPw + u"|" + kP2Pw},
      {u"@bob@pw", Text(u"|") + kP1BobPw + u"|" + kP2Pw},
      {u"abc@@pw", Text(kP0Abc) + u"||" + kP2Pw},
      {u"@@pw", Text(u"||") + kP2Pw},
      {u"abc@@", Text(kP0Abc) + u"||"},
  };
  for (const Case& c : cases) {
    FakeServer server(Reply::Framed(u"PASS"));
    EXPECT_EQ(CheckDbPassword(FakeServer::kHost, server.port(), c.credentials, kProbe), u"PASS");
    EXPECT_EQ(CommandRequest(server), u"CHKPSW#" + c.fields)
        << "credentials: " << TextToUtf8(c.credentials);
  }
}

TEST(CheckDbPassword, UserWithoutPasswordConnectsButSendsNothing) {
  for (const char16_t* credentials : {u"abc@bob@", u"abc@bob", u"@bob@  "}) {
    FakeServer server(Reply::Framed(u"never"));
    EXPECT_EQ(CheckDbPassword(FakeServer::kHost, server.port(), credentials, kProbe),
              kConnectionError);
    testing::ConnectionRecord r = CommandConnection(server);
    EXPECT_TRUE(r.received.empty());
  }
}

TEST(ChangePassword, EncryptsTheNewPasswordUnderBothDigests) {
  FakeServer server(Reply::Framed(u"changed"));
  EXPECT_EQ(ChangePassword(FakeServer::kHost, server.port(), u"abc", u"bob", u"pw", u"newpass"),
            u"changed");
  EXPECT_EQ(CommandRequest(server), Text(u"CHPASS#bob#") + kNewPassUnderAbcPw);
}

TEST(ChangePassword, UsesNamesAndPasswordsExactlyAsPassed) {
  FakeServer server(Reply::Framed(u"changed"));
  ChangePassword(FakeServer::kHost, server.port(), u" abc", u" Bob ", u"pw ", u" new ");
  Text request = CommandRequest(server);
  ASSERT_EQ(request.substr(0, 13), u"CHPASS# Bob #");
  Text inner = DecryptText(Md5Hex(u" abc"), request.substr(13));
  EXPECT_EQ(DecryptText(Md5Hex(u"pw "), inner), u" new ");
}

TEST(ChangePassword, EmptyNewPasswordLeavesTheLastFieldEmpty) {
  FakeServer server(Reply::Framed(u"changed"));
  ChangePassword(FakeServer::kHost, server.port(), u"abc", u"bob", u"pw", Text());
  EXPECT_EQ(CommandRequest(server), u"CHPASS#bob#");
}

TEST(RunCommand, RepliesPassThroughUnchanged) {
  struct Case {
    Reply reply;
    Text expected;
  };
  Bytes odd = testing::CountPrefix(3);
  odd.insert(odd.end(), {0x41, 0x00, 0x42});
  Bytes streamed = testing::Utf16Le(u"streamed\r\nreply");
  const Case cases[] = {
      {Reply::Framed(u" padded reply \r\n"), u" padded reply \r\n"},
      {Reply::Framed(Text()), Text()},                   // empty replaces the error word
      {Reply::CloseWithoutReply(), Text()},              // closed, nothing unread
      {Reply::Raw(odd), u"A"},                           // odd byte ignored
      {Reply::NegativeLengthStream(streamed), u"streamed\r\nreply"},
      {Reply::Framed(kConnectionError), kConnectionError},
  };
  for (const Case& c : cases) {
    FakeServer server(c.reply);
    EXPECT_EQ(QueryDbName(FakeServer::kHost, server.port(), kProbe), c.expected);
  }
}

TEST(RunCommand, BrokenRepliesAreConnectionErrors) {
  for (const Reply& reply : {Reply::CloseMidFrame(20, testing::Utf16Le(u"part")),
                             Reply::HugeLengthThenClose(), Reply::Raw(Bytes{0, 0, 0})}) {
    FakeServer server(reply);
    EXPECT_EQ(QueryDbName(FakeServer::kHost, server.port(), kProbe), kConnectionError);
  }
}

TEST(RunCommand, PortZeroAndFailedProbeMakeNoRequest) {
  bool built = false;
  auto build = [&] {
    built = true;
    return Text(u"X");
  };
  EXPECT_EQ(RunCommand(FakeServer::kHost, 0, kProbe, build), kConnectionError);
  EXPECT_EQ(RunCommand(FakeServer::kHost, PortWithNoListener(), kProbe, build), kConnectionError);
  EXPECT_EQ(RunCommand(u"nonexistent.invalid", 4000, kProbe, build), kConnectionError);
  EXPECT_FALSE(built);

  EXPECT_EQ(ClearSync(FakeServer::kHost, 0, u"abc", kProbe), kConnectionError);
  EXPECT_EQ(BuildShow(FakeServer::kHost, 0, u"abc", 1, true, kProbe), kConnectionError);
  EXPECT_EQ(QueryDbName(FakeServer::kHost, 0, kProbe), kConnectionError);
  EXPECT_EQ(CheckDbPassword(FakeServer::kHost, 0, u"abc", kProbe), kConnectionError);
  EXPECT_EQ(ChangePassword(FakeServer::kHost, 0, u"a", u"b", u"c", u"d"), kConnectionError);
  EXPECT_EQ(QueryDbName(FakeServer::kHost, PortWithNoListener(), kProbe), kConnectionError);
}

TEST(RunCommand, RequestIsBuiltOnlyAfterConnecting) {
  FakeServer server(Reply::Framed(u"never"));
  size_t accepted_when_built = 0;
  auto build = [&]() -> Text {
    // The probe's connection and the command's own have both been accepted.
    for (int i = 0; i < 5000 && server.AcceptedCount() < 2; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    accepted_when_built = server.AcceptedCount();
    throw std::runtime_error("cannot build");
  };
  EXPECT_EQ(RunCommand(FakeServer::kHost, server.port(), kProbe, build), kConnectionError);
  EXPECT_EQ(accepted_when_built, 2u);
  EXPECT_TRUE(CommandConnection(server).received.empty());
}

}  // namespace
}  // namespace qvn::testing
