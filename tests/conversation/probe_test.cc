#include "conversation/probe.h"

#include <gtest/gtest.h>

#include "support/fake_server.h"
#include "support/loopback.h"

namespace qvn::testing {
namespace {

TEST(ProbeServer, ListeningServerAnswersWhateverTheTimeOut) {
  FakeServer server(Reply::Framed(u"unused"));
  EXPECT_TRUE(ProbeServer(FakeServer::kHost, server.port(), 5000));
  EXPECT_TRUE(ProbeServer(FakeServer::kHost, server.port(), 0));   // the wait only polls
  EXPECT_TRUE(ProbeServer(FakeServer::kHost, server.port(), -1));  // no limit
  EXPECT_TRUE(ProbeServer(u"localhost", server.port(), 1));
}

TEST(ProbeServer, OpensAndClosesOneConnectionWithoutData) {
  FakeServer server(Reply::Framed(u"unused"));
  ASSERT_TRUE(ProbeServer(FakeServer::kHost, server.port(), 5000));
  auto records = server.WaitForConnections(1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0].received.empty());
  EXPECT_FALSE(records[0].had_request);
}

TEST(ProbeServer, FailsWithoutAListenerOrAName) {
  uint16_t port = PortWithNoListener();
  EXPECT_FALSE(ProbeServer(FakeServer::kHost, port, 5000));
  EXPECT_FALSE(ProbeServer(FakeServer::kHost, port, -1));
  EXPECT_FALSE(ProbeServer(u"nonexistent.invalid", port, 5000));
  EXPECT_FALSE(ProbeServer(u"", port, 5000));
  EXPECT_FALSE(ProbeServer(FakeServer::kHost, 0, 5000));
}

}  // namespace
}  // namespace qvn::testing
