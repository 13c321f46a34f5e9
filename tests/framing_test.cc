#include "conversation/framing.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/errors.h"
#include "support/fake_server.h"

namespace qvn {
namespace {

using testing::CountPrefix;
using testing::Frame;
using testing::Utf16Le;

// A client connection and the server's end of it, on 127.0.0.1.
struct Pair {
  platform::Listener listener{"127.0.0.1", 0};
  platform::Connection client;
  platform::Connection server;
  Pair() {
    client = platform::Connection::Open(u"127.0.0.1", listener.port());
    server = listener.Accept(10000);
  }
  Bytes ServerReadsUntilClose() {
    Bytes all;
    uint8_t piece[4096];
    size_t n;
    while ((n = server.ReceiveSome(piece, sizeof piece)) > 0) all.insert(all.end(), piece, piece + n);
    return all;
  }
  void ServerSends(const Bytes& b) { server.SendAll(b.data(), b.size()); }
};

TEST(WriteMessage, LaysOutTheCountAndUtf16LowByteFirst) {
  {
    Pair p;
    WriteMessage(p.client, Text());
    p.client.Close();
    EXPECT_EQ(p.ServerReadsUntilClose(), (Bytes{0, 0, 0, 0}));
  }
  {
    Pair p;
    WriteMessage(p.client, u"AB");
    p.client.Close();
    EXPECT_EQ(p.ServerReadsUntilClose(), (Bytes{0, 0, 0, 4, 0x41, 0, 0x42, 0}));
  }
  {
    Pair p;
    WriteMessage(p.client, u"\u00e9\u4e2d\U0001F600");
    p.client.Close();
    EXPECT_EQ(p.ServerReadsUntilClose(),
              (Bytes{0, 0, 0, 8, 0xE9, 0x00, 0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE}));
  }
}

TEST(WriteMessage, LongTextArrivesWholeAndInOrder) {
  Pair p;
  Text big;
  for (int i = 0; i < 300000; ++i) big.push_back(static_cast<char16_t>(0x20 + i % 0xD000));
  // The server must read while the client writes, or both would stall.
  Bytes got;
  std::thread reader([&] { got = p.ServerReadsUntilClose(); });
  WriteMessage(p.client, big);
  p.client.Close();
  reader.join();
  EXPECT_EQ(got, Frame(big));
}

TEST(WriteMessage, SwallowsAFailureToSend) {
  Pair p;
  p.server.Close();
  platform::Connection never_opened;
  EXPECT_NO_THROW(WriteMessage(never_opened, u"x"));
  Text block(200000, u'z');
  for (int i = 0; i < 50; ++i) EXPECT_NO_THROW(WriteMessage(p.client, block));
}

TEST(ReadMessage, ReadsOneFrameAndLeavesTheNext) {
  Pair p;
  Bytes two = Frame(u"first");
  Bytes second = Frame(u"second");
  two.insert(two.end(), second.begin(), second.end());
  p.ServerSends(two);
  EXPECT_EQ(ReadMessage(p.client), u"first");
  EXPECT_EQ(ReadMessage(p.client), u"second");
}

TEST(ReadMessage, EmptyFrameIsEmptyText) {
  Pair p;
  p.ServerSends(Frame(Text()));
  p.ServerSends(Frame(u"after"));
  EXPECT_EQ(ReadMessage(p.client), Text());
  EXPECT_EQ(ReadMessage(p.client), u"after");
}

TEST(ReadMessage, OddCountIgnoresTheLastByteButConsumesIt) {
  Pair p;
  Bytes odd = CountPrefix(5);
  Bytes tail{0x41, 0, 0x42, 0, 0x43};
  odd.insert(odd.end(), tail.begin(), tail.end());
  Bytes next = Frame(u"next");
  odd.insert(odd.end(), next.begin(), next.end());
  p.ServerSends(odd);
  EXPECT_EQ(ReadMessage(p.client), u"AB");
  EXPECT_EQ(ReadMessage(p.client), u"next");
}

TEST(ReadMessage, NegativeCountReadsUntilTheServerCloses) {
  Pair p;
  Bytes wire = CountPrefix(-1);
  Text long_text(100000, u'q');
  long_text += u"end";
  Bytes payload = Utf16Le(long_text);
  payload.push_back(0x7A);  // odd byte at the very end
  wire.insert(wire.end(), payload.begin(), payload.end());
  std::thread sender([&] {
    p.ServerSends(wire);
    p.server.Close();
  });
  EXPECT_EQ(ReadMessage(p.client), long_text);
  sender.join();
}

TEST(ReadMessage, NegativeCountWithNothingAfterItIsEmpty) {
  Pair p;
  p.ServerSends(CountPrefix(INT32_MIN));
  p.server.Close();
  EXPECT_EQ(ReadMessage(p.client), Text());
}

TEST(ReadMessage, ClosedWithNothingUnreadIsEmptyWithoutError) {
  {
    Pair p;
    p.server.Close();  // the close may or may not have arrived when we look
    EXPECT_EQ(ReadMessage(p.client), Text());
  }
  {
    Pair p;
    p.server.Close();
    while (!p.client.PeerClosedAndDrained()) std::this_thread::yield();
    EXPECT_EQ(ReadMessage(p.client), Text());
  }
  platform::Connection never_opened;
  EXPECT_EQ(ReadMessage(never_opened), Text());
}

TEST(ReadMessage, ClosedWithDataUnreadStillReadsIt) {
  Pair p;
  p.ServerSends(Frame(u"last words"));
  p.server.Close();
  while (p.client.PeerClosedAndDrained()) std::this_thread::yield();
  EXPECT_EQ(ReadMessage(p.client), u"last words");
  EXPECT_EQ(ReadMessage(p.client), Text());
}

TEST(ReadMessage, BreakInsideTheCountOrThePayloadIsAnError) {
  {
    Pair p;
    p.ServerSends(Bytes{0, 0});
    p.server.Close();
    EXPECT_THROW(ReadMessage(p.client), ConnectionError);
  }
  {
    Pair p;
    p.ServerSends(testing::Reply::CloseMidFrame(10, Utf16Le(u"abc")).bytes);
    p.server.Close();
    EXPECT_THROW(ReadMessage(p.client), ConnectionError);
  }
}

TEST(ReadMessage, HugeAnnouncedCountFailsWithoutReservingIt) {
  // A server announcing 2 GB and closing must cost a failed read, not an
  // allocation of the announced size (which could exhaust memory).
  Pair p;
  p.ServerSends(testing::Reply::HugeLengthThenClose().bytes);
  p.server.Close();
  EXPECT_THROW(ReadMessage(p.client), ConnectionError);
}

}  // namespace
}  // namespace qvn
