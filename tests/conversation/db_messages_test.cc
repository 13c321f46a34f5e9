#include "conversation/db_messages.h"

#include <gtest/gtest.h>

#include "conversation/admin_commands.h"
#include "support/fake_server.h"
#include "net/listener.h"

namespace qvn::testing {
namespace {

// The request of a message call: the second connection, after the probe.
Text MessageRequest(FakeServer& server) {
  auto records = server.WaitForConnections(2);
  EXPECT_EQ(records.size(), 2u);
  if (records.size() != 2) return Text();
  EXPECT_TRUE(records[0].received.empty());
  EXPECT_TRUE(records[1].had_request);
  return records[1].request;
}

struct MessageCase {
  MessageChannel channel;
  const char16_t* receiver_host;
  uint16_t receiver_port;
  const char16_t* message;
  const char16_t* expected;
};

TEST(SendDbMessage, NamesTheChannelAndAppendsTheMessage) {
  const MessageCase cases[] = {
      {MessageChannel::Pipe, u"", 0, u"", u"MESSAGE#\r\n"},
      {MessageChannel::Pipe, u"ignored", 9, u"hello", u"MESSAGE#\r\nhello"},
      {MessageChannel::File, u"", 0, u"a", u"MESSAGE#FILE#\r\na"},
      {MessageChannel::File, u"", 0, u"", u"MESSAGE#FILE#\r\n"},
      {MessageChannel::Tcp, u"recv.example", 7000, u"a", u"MESSAGE#TCP#recv.example:7000#\r\na"},
      {MessageChannel::Tcp, u"10.0.0.1", 0, u"a", u"MESSAGE#TCP#10.0.0.1:0#\r\na"},
      {MessageChannel::Tcp, u" H ", 65535, u"", u"MESSAGE#TCP# H :65535#\r\n"},
      // Line breaks and blanks of the message are not touched.
      {MessageChannel::Pipe, u"", 0, u" one\rtwo\nthree\r\n ", u"MESSAGE#\r\n one\rtwo\nthree\r\n "},
  };
  for (const MessageCase& c : cases) {
    FakeServer server(Reply::Framed(u"delivered"));
    EXPECT_EQ(SendDbMessage(FakeServer::kHost, server.port(), c.message, c.channel,
                            c.receiver_host, c.receiver_port, 5000),
              u"delivered");
    EXPECT_EQ(MessageRequest(server), c.expected);
  }
}

TEST(SendDbMessage, ReplyIsPassedThroughUnchanged) {
  FakeServer server(Reply::Framed(u"\r\n queued \t"));
  EXPECT_EQ(SendDbMessage(FakeServer::kHost, server.port(), u"m", MessageChannel::File, u"", 0,
                          5000),
            u"\r\n queued \t");
}

TEST(SendDbMessage, FailuresAreConnectionErrors) {
  for (MessageChannel channel : {MessageChannel::Pipe, MessageChannel::File, MessageChannel::Tcp}) {
    EXPECT_EQ(SendDbMessage(FakeServer::kHost, 0, u"m", channel, u"h", 1, 5000), kConnectionError);
  }
  uint16_t closed_port;
  {
    net::Listener listener("127.0.0.1", 0);
    closed_port = listener.port();
  }
  EXPECT_EQ(SendDbMessage(FakeServer::kHost, closed_port, u"m", MessageChannel::Pipe, u"", 0, 5000),
            kConnectionError);
  FakeServer server(Reply::CloseMidFrame(100, testing::Utf16Le(u"x")));
  EXPECT_EQ(SendDbMessage(FakeServer::kHost, server.port(), u"m", MessageChannel::Tcp, u"h", 1,
                          5000),
            kConnectionError);
}

TEST(SendDbMessage, ServerClosingWithoutReplyGivesEmptyText) {
  FakeServer server(Reply::CloseWithoutReply());
  EXPECT_EQ(SendDbMessage(FakeServer::kHost, server.port(), u"m", MessageChannel::Pipe, u"", 0,
                          5000),
            Text());
}

}  // namespace
}  // namespace qvn::testing
