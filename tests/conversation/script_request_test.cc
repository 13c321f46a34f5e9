#include "conversation/script_request.h"

#include <gtest/gtest.h>

#include "codecs/text_crypto.h"
#include "support/fake_server.h"
#include "support/loopback.h"

namespace qvn::testing {
namespace {

// Keys and cipher texts below were computed without the library: MD5 with
// python3 hashlib, the text encryption with
//   openssl enc -aes-128-cbc -K <first 16 bytes of SHA-256 of the UTF-16LE key> -iv 0
// over the UTF-16LE text, then Base64.
constexpr char16_t kMd5Abc[] = u"900150983CD24FB0D6963F7D28E17F72";       // "abc"
constexpr char16_t kMd5Password[] = u"5F4DCC3B5AA765D61D8327DEB882CF99";  // "password"
constexpr char16_t kMd5Empty[] = u"D41D8CD98F00B204E9800998ECF8427E";     // ""

// EncryptText(K("abc"), "QUARVEN_v1.0#abc\r\nlist")
constexpr char16_t kScriptNoUser[] =
    u"+kSliWYTdggQ0ClgE0mohOc5N6xKvtyJ9+o0nQEb96GjW3/JIEzO792qhPe146+a";
// EncryptText(K("abc"), EncryptText(K("password"), "QUARVEN_v1.0#abc@bob@password\r\nlist"))
constexpr char16_t kScriptUser[] =
    u"5HybQEWCLUTqV1GSfvupVinMwsE+RL6rKGXy2DEAd4OgxngDiIrhXRZdNDo9seP6DO/CIwumfGjy7xJW80Iv1Vr5"
    u"EamX66VSiGO9x29ZU3k8ao52GkkERRNTOokBI7m+t/te3+SSyKYdlfhvvvf4OhMIdPbzxosMzpMC0WuSKOwOE4Gw"
    u"nyJGXIXmK4wDl4xvYAPCWYsN/PImUkCmofyuT1dnhByx0CsFw5adWuWENLs5hDcAnyKUnX5NgwRD74pq4+/9kqOR"
    u"AmeuDfgWtd/qXoyLGRkG/2PNqJWMmshQHNA=";
// EncryptText(K("abc"), EncryptText(K(""), "QUARVEN_v1.0#abc@bob@\nx"))
constexpr char16_t kScriptUserEmptyPassword[] =
    u"I+Quk5cS82wkpSOfPP5/bU9RhOhNZIHLMc/4wg/03zzoMLZGSwECo3FDCLl+Rnp5tP8e7xXH2jwHoxMfOfnbNKlC"
    u"WN+m0ov5myeTIURqXrld2MJq8JPD7zPQuB0BKUuVSjy//eAooRRQClLZnYsHltXLT5FWCCajAm7uWQ9K19RxCAWO"
    u"G3BpD06kceE59GQs";
// EncryptText(K("abc"), "  answer \r\n")
constexpr char16_t kReplyNoUser[] = u"jmuEdybVv0FNLwqKdTtdBqVKAK3+1KNWXTEEjuxtMX4=";
// EncryptText(K("abc"), EncryptText(K("password"), "rows\r\n"))
constexpr char16_t kReplyUser[] =
    u"vWF8kpE1oSoNe/xKFU3hPWo7c0qEO6jU7o9bQJXXt9sOAKBRg2DNojs5GJmDY/yrcxM6lrxIrEeKH+DsZnOLYw==";

// The one request a script call made, after checking it was the only connection.
Text OnlyRequest(FakeServer& server) {
  auto records = server.WaitForConnections(1);
  EXPECT_EQ(records.size(), 1u) << "a script request makes no probe";
  if (records.empty()) return Text();
  EXPECT_TRUE(records[0].had_request);
  return records[0].request;
}

TEST(SendScript, WithoutAUserSendsOneLayerUnderTheDatabaseKey) {
  FakeServer server(Reply::Framed(kReplyNoUser));
  Text answer = SendScript(FakeServer::kHost, server.port(), u"abc\r\nlist");
  EXPECT_EQ(OnlyRequest(server), kScriptNoUser);
  EXPECT_EQ(answer, u"answer");  // decrypted, then trimmed
}

TEST(SendScript, WithAUserSendsTheNameInClearAndTwoLayers) {
  FakeServer server(Reply::Framed(kReplyUser));
  Text answer = SendScript(FakeServer::kHost, server.port(), u"abc@bob@password\r\nlist");
  EXPECT_EQ(OnlyRequest(server), Text(u"UID:bob#") + kScriptUser);
  EXPECT_EQ(answer, u"rows");
}

TEST(SendScript, LayersPeelOffOuterDatabaseKeyFirst) {
  FakeServer server(Reply::Framed(Text()));
  SendScript(FakeServer::kHost, server.port(), u"  abc @ bob @ password \r\nselect x\r\n");
  Text request = OnlyRequest(server);
  ASSERT_EQ(request.substr(0, 8), u"UID:bob#");  // the name is trimmed
  Text inner = DecryptText(kMd5Abc, request.substr(8));
  EXPECT_EQ(DecryptText(kMd5Password, inner),
            u"QUARVEN_v1.0#abc @ bob @ password \r\nselect x");
}

TEST(SendScript, UserWithEmptyPasswordStillUsesTwoLayers) {
  FakeServer server(Reply::Framed(Text()));
  EXPECT_EQ(SendScript(FakeServer::kHost, server.port(), u"abc@bob@\nx"), Text());
  Text request = OnlyRequest(server);
  EXPECT_EQ(request, Text(u"UID:bob#") + kScriptUserEmptyPassword);
  EXPECT_EQ(DecryptText(kMd5Empty, DecryptText(kMd5Abc, request.substr(8))),
            u"QUARVEN_v1.0#abc@bob@\nx");
}

TEST(SendScript, EmptyUserFieldMeansNoUser) {
  for (const Text& script : {Text(u"abc@@password\r\nlist"), Text(u"abc\r\nlist"),
                             Text(u"abc@ @x\r\nlist")}) {
    FakeServer server(Reply::Framed(Text()));
    SendScript(FakeServer::kHost, server.port(), script);
    Text request = OnlyRequest(server);
    EXPECT_NE(request.substr(0, 4), u"UID:") << "script: " << TextToUtf8(script);
    EXPECT_EQ(DecryptText(kMd5Abc, request), u"QUARVEN_v1.0#" + script);
  }
}

TEST(SendScript, LeadingBlankLinesAreDroppedBeforeTheCredentialsAreRead) {
  FakeServer server(Reply::Framed(Text()));
  SendScript(FakeServer::kHost, server.port(), u"\r\n\r\n \t abc\r\nlist \r\n\r\n");
  EXPECT_EQ(OnlyRequest(server), kScriptNoUser);
}

TEST(SendScript, LineBreaksOfTheCallerTravelUnchanged) {
  FakeServer server(Reply::Framed(Text()));
  SendScript(FakeServer::kHost, server.port(), u"abc\ra\nb\r\nc");
  EXPECT_EQ(DecryptText(kMd5Abc, OnlyRequest(server)), u"QUARVEN_v1.0#abc\ra\nb\r\nc");
}

TEST(SendScript, EmptyOrMissingReplyIsEmptyText) {
  {
    FakeServer server(Reply::Framed(Text()));
    EXPECT_EQ(SendScript(FakeServer::kHost, server.port(), u"abc\r\nlist"), Text());
  }
  {
    FakeServer server(Reply::CloseWithoutReply());
    EXPECT_EQ(SendScript(FakeServer::kHost, server.port(), u"abc@bob@pw\r\nlist"), Text());
  }
}

TEST(SendScript, FailuresAnswerNone) {
  EXPECT_EQ(SendScript(FakeServer::kHost, 0, u"abc\r\nlist"), kNoneAnswer);
  EXPECT_EQ(SendScript(FakeServer::kHost, PortWithNoListener(), u"abc\r\nlist"), kNoneAnswer);
  EXPECT_EQ(SendScript(u"nonexistent.invalid", 4000, u"abc\r\nlist"), kNoneAnswer);
  EXPECT_EQ(SendScript(u"", 4000, u"abc\r\nlist"), kNoneAnswer);
  {
    FakeServer server(Reply::CloseMidFrame(40, testing::Utf16Le(u"half")));
    EXPECT_EQ(SendScript(FakeServer::kHost, server.port(), u"abc\r\nlist"), kNoneAnswer);
  }
  {
    FakeServer server(Reply::HugeLengthThenClose());
    EXPECT_EQ(SendScript(FakeServer::kHost, server.port(), u"abc\r\nlist"), kNoneAnswer);
  }
}

TEST(SendScript, ReplyStreamedUntilCloseIsDecrypted) {
  FakeServer server(Reply::NegativeLengthStream(testing::Utf16Le(kReplyNoUser)));
  EXPECT_EQ(SendScript(FakeServer::kHost, server.port(), u"abc\r\nlist"), u"answer");
}

TEST(SendScript, ReplyUnderOtherKeysIsPassedOnAsDecrypted) {
  // The server may answer garbage; the call still ends normally.
  FakeServer server(Reply::Framed(kReplyUser));
  Text answer = SendScript(FakeServer::kHost, server.port(), u"abc\r\nlist");
  EXPECT_NE(answer, u"rows");
  EXPECT_EQ(answer, Trim(DecryptText(kMd5Abc, kReplyUser)));
}

}  // namespace
}  // namespace qvn::testing
