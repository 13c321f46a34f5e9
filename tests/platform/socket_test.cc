#include "platform/socket.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/errors.h"
#include "net/listener.h"

namespace qvn::testing {
namespace {

using namespace platform;

using net::Listener;

TEST(Socket, ListenerOnPortZeroGetsAnEphemeralPortAndTimesOut) {
  Listener listener("127.0.0.1", 0);
  EXPECT_NE(listener.port(), 0);
  Connection none = listener.Accept(0);
  EXPECT_FALSE(none.IsOpen());
}

TEST(Socket, ListenerRejectsNonNumericAddress) {
  EXPECT_THROW(Listener("localhost.invalid", 0), ConnectionError);
}

TEST(Socket, BytesTravelBothWaysAndCloseIsSeen) {
  Listener listener("127.0.0.1", 0);
  Connection client = Connection::Open(u"127.0.0.1", listener.port());
  ASSERT_TRUE(client.IsOpen());
  client.EnableKeepAlive();
  Connection server = listener.Accept(10000);
  ASSERT_TRUE(server.IsOpen());

  const uint8_t hello[] = {1, 2, 3, 4, 5};
  client.SendAll(hello, sizeof hello);
  uint8_t got[5] = {};
  server.ReceiveExact(got, 5);
  EXPECT_EQ(std::vector<uint8_t>(got, got + 5), std::vector<uint8_t>(hello, hello + 5));

  EXPECT_FALSE(client.PeerClosedAndDrained());  // nothing sent, still open
  server.SendAll(hello, 2);
  server.Close();
  EXPECT_FALSE(server.IsOpen());
  server.Close();  // harmless twice

  // Two bytes wait unread: not drained, even though the peer has gone.
  uint8_t two[2];
  for (int i = 0; i < 1000 && client.PeerClosedAndDrained(); ++i) std::this_thread::yield();
  EXPECT_FALSE(client.PeerClosedAndDrained());
  client.ReceiveExact(two, 2);
  EXPECT_EQ(two[1], 2);
  // Now the close is all that is left.
  uint8_t more[4];
  EXPECT_EQ(client.ReceiveSome(more, sizeof more), 0u);
  EXPECT_TRUE(client.PeerClosedAndDrained());
  EXPECT_THROW(client.ReceiveExact(more, 1), ConnectionError);
}

TEST(Socket, WaitReadableNamesTheConnectionWithSomethingToRead) {
  Listener listener("127.0.0.1", 0);
  Connection a = Connection::Open(u"127.0.0.1", listener.port());
  Connection a_peer = listener.Accept(10000);
  Connection b = Connection::Open(u"127.0.0.1", listener.port());
  Connection b_peer = listener.Accept(10000);
  Connection* both[] = {&a, &b};
  EXPECT_EQ(Connection::WaitReadable(both, 2, 50), -1);
  const uint8_t byte = 7;
  b_peer.SendAll(&byte, 1);
  EXPECT_EQ(Connection::WaitReadable(both, 2, 10000), 1);
  uint8_t got = 0;
  b.ReceiveExact(&got, 1);
  a_peer.Close();  // an end is something to read too
  EXPECT_EQ(Connection::WaitReadable(both, 2, 10000), 0);
}

TEST(Socket, ReceiveExactFailsWhenThePeerClosesEarly) {
  Listener listener("127.0.0.1", 0);
  Connection client = Connection::Open(u"localhost", listener.port());
  Connection server = listener.Accept(10000);
  const uint8_t three[] = {9, 9, 9};
  server.SendAll(three, 3);
  server.Close();
  uint8_t buf[8];
  EXPECT_THROW(client.ReceiveExact(buf, 8), ConnectionError);
}

TEST(Socket, SendingToAClosedPeerRaisesAndDoesNotKillTheProcess) {
  Listener listener("127.0.0.1", 0);
  Connection client = Connection::Open(u"127.0.0.1", listener.port());
  Connection server = listener.Accept(10000);
  server.Close();
  std::vector<uint8_t> block(64 * 1024, 7);
  bool raised = false;
  // The first writes may still be accepted locally; a reset follows soon.
  for (int i = 0; i < 200 && !raised; ++i) {
    try {
      client.SendAll(block.data(), block.size());
    } catch (const ConnectionError&) {
      raised = true;
    }
  }
  EXPECT_TRUE(raised);
}

TEST(Socket, OpenFailsForARefusedPortAndAnUnresolvableName) {
  uint16_t free_port;
  {
    Listener listener("127.0.0.1", 0);
    free_port = listener.port();
  }
  EXPECT_THROW(Connection::Open(u"127.0.0.1", free_port), ConnectionError);
  EXPECT_THROW(Connection::Open(u"nonexistent.invalid", 80), ConnectionError);
  EXPECT_THROW(Connection::Open(u"", free_port), ConnectionError);
}

TEST(Socket, ClosedConnectionRefusesWork) {
  Connection c;
  EXPECT_FALSE(c.IsOpen());
  EXPECT_TRUE(c.PeerClosedAndDrained());
  uint8_t b = 0;
  EXPECT_THROW(c.SendAll(&b, 1), ConnectionError);
  EXPECT_THROW(c.ReceiveSome(&b, 1), ConnectionError);
  c.EnableKeepAlive();
  c.Close();
}

TEST(Socket, MovedConnectionKeepsTheSocket) {
  Listener listener("127.0.0.1", 0);
  Connection a = Connection::Open(u"127.0.0.1", listener.port());
  Connection server = listener.Accept(10000);
  Connection b(std::move(a));
  EXPECT_FALSE(a.IsOpen());
  ASSERT_TRUE(b.IsOpen());
  const uint8_t x = 42;
  b.SendAll(&x, 1);
  uint8_t y = 0;
  server.ReceiveExact(&y, 1);
  EXPECT_EQ(y, 42);
}

TEST(Socket, ProbeConnectSeesAListenerAndNothingElse) {
  Listener listener("127.0.0.1", 0);
  EXPECT_TRUE(ProbeConnect(u"127.0.0.1", listener.port(), 5000));
  EXPECT_TRUE(ProbeConnect(u"127.0.0.1", listener.port(), 0));
  EXPECT_TRUE(ProbeConnect(u"127.0.0.1", listener.port(), -1));
  uint16_t port = listener.port();
  listener.Close();
  EXPECT_FALSE(ProbeConnect(u"127.0.0.1", port, 5000));
  EXPECT_FALSE(ProbeConnect(u"nonexistent.invalid", port, 5000));
}

}  // namespace
}  // namespace qvn::testing
