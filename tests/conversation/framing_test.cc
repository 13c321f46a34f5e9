#include "conversation/framing.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "support/fake_server.h"
#include "support/memory_stream.h"

namespace qvn::testing {
namespace {

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(WriteMessage, LaysOutTheCountAndUtf16LowByteFirst) {
  Text big;
  for (int i = 0; i < 300000; ++i) big.push_back(static_cast<char16_t>(0x20 + i % 0xD000));
  struct Case {
    Text text;
    Bytes wire;
  } cases[] = {
      {Text(), {0, 0, 0, 0}},
      {u"AB", {0, 0, 0, 4, 0x41, 0, 0x42, 0}},
      {u"\u00e9\u4e2d\U0001F600", {0, 0, 0, 8, 0xE9, 0x00, 0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE}},
      {big, Frame(big)},  // many pieces, in order
  };
  for (const Case& c : cases) {
    MemoryStream peer;
    EXPECT_EQ(WriteMessage(peer, c.text), "");
    EXPECT_EQ(peer.sent, c.wire);
  }
}

TEST(WriteMessage, ReportsWhyASendBrokeOff) {
  MemoryStream peer;
  peer.send_limit = 100000;
  EXPECT_EQ(WriteMessage(peer, Text(200000, u'z')), "connection reset by peer");
  platform::Connection never_opened;
  EXPECT_NE(WriteMessage(never_opened, u"x"), "");
}

TEST(ReadMessage, TakesOneFrameAtATime) {
  const Bytes odd = Join({CountPrefix(5), {0x41, 0, 0x42, 0, 0x43}});  // last byte ignored
  Text long_text(100000, u'q');
  long_text += u"end";
  const Bytes uncounted = Join({CountPrefix(-1), Utf16Le(long_text), {0x7A}});
  struct Case {
    Bytes wire;
    std::vector<Text> messages;  // then empty text: closed, nothing unread
  } cases[] = {
      {Join({Frame(u"first"), Frame(u"second")}), {u"first", u"second"}},
      {Join({Frame(Text()), Frame(u"after")}), {Text(), u"after"}},
      {Join({odd, Frame(u"next")}), {u"AB", u"next"}},
      {uncounted, {long_text}},
      {CountPrefix(INT32_MIN), {Text()}},
      {Bytes(), {}},
  };
  for (const Case& c : cases) {
    for (bool close_visible : {true, false}) {
      for (size_t piece : {size_t{1}, size_t{3}, SIZE_MAX}) {
        MemoryStream peer(c.wire, piece);
        peer.close_visible = close_visible;
        for (const Text& m : c.messages) EXPECT_EQ(ReadMessage(peer), m);
        EXPECT_EQ(ReadMessage(peer), Text());
      }
    }
  }
  platform::Connection never_opened;
  EXPECT_EQ(ReadMessage(never_opened), Text());
}

TEST(ReadMessage, FailsOnABreakOrAnEndlessReply) {
  // A count of 2 GB that closes at once must cost a failed read, not an
  // allocation of the announced size.
  const Bytes cases[] = {Bytes{0, 0}, Reply::CloseMidFrame(10, Utf16Le(u"abc")).bytes,
                         Reply::HugeLengthThenClose().bytes};
  for (const Bytes& wire : cases) {
    MemoryStream peer(wire);
    EXPECT_THROW(ReadMessage(peer), ConnectionError);
  }
  MemoryStream reset(Frame(u"ab"));
  reset.reset_at_end = true;
  EXPECT_EQ(ReadMessage(reset), u"ab");
  EXPECT_THROW(ReadMessage(reset), ConnectionError);

  // Without a count the reply ends at the close, within the longest message.
  MemoryStream endless(Join({CountPrefix(-1), Utf16Le(u"stream")}));
  endless.endless = true;
  EXPECT_THROW(ReadMessage(endless, 1 << 20), ConnectionError);
  MemoryStream at_bound(Join({CountPrefix(-1), Utf16Le(u"1234")}));
  EXPECT_EQ(ReadMessage(at_bound, 8), u"1234");
}

}  // namespace
}  // namespace qvn::testing
