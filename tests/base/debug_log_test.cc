// QVN_DEBUG lines: one per failure cause, naming the call and the address,
// and never the credentials or the script's text.
#include "base/debug_log.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "base/errors.h"
#include "platform/error_text.h"
#include "qvn.hpp"
#include "support/fake_server.h"

namespace qvn::testing {
namespace {

using testing::FakeServer;
using testing::Reply;

class DebugOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDebugSinkForTesting([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
    });
  }
  void TearDown() override { SetDebugSinkForTesting(nullptr); }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

TEST_F(DebugOutputTest, OneLinePerFailureWithCallAndAddressButNoSecret) {
  // The server hangs up in the middle of every reply.
  FakeServer server(Reply::CloseMidFrame(100, {1, 2}));
  const std::string address = "127.0.0.1:" + std::to_string(server.port());
  const Connection answers_badly{"127.0.0.1", server.port()};
  struct Case {
    const char* call;
    std::function<void()> run;
  } cases[] = {
      {"TryDbPassword", [&] { answers_badly.CheckPassword("DbSecret1@bob@UserSecret2"); }},
      {"Script",
       [&] { Script("DbSecret1@bob@UserSecret2\r\nget PlainWords[1,1]-").Run(answers_badly); }},
      {"UserAuthentication", [&] { answers_badly.Authenticate("bob", "UserSecret2"); }},
      {"ShowDbName", [&] { Connection{"127.0.0.1", 0}.DbName(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    lines_.clear();
    c.run();
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(std::string("qvn: ") + c.call + ": ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(std::string(c.call) == "ShowDbName" ? "127.0.0.1:0" : address),
              std::string::npos)
        << lines[0];
    for (const char* secret : {"DbSecret1", "UserSecret2", "PlainWords"}) {
      EXPECT_EQ(lines[0].find(secret), std::string::npos) << lines[0];
    }
  }
}

// The system's side is installed by the exports: once one has run, an error
// code reads in the system's words, as a failed transfer's line shows it.
TEST_F(DebugOutputTest, ErrorCodesReadInTheSystemsWords) {
  Connection{"127.0.0.1", 0}.DbName();
  try {
    throw PlatformError("open failed", 2);
  } catch (const PlatformError&) {
    ReportFailure("open");
  }
  EXPECT_EQ(Lines().back(), "qvn: (library): open: open failed: " + platform::SystemErrorText(2));
}

}  // namespace
}  // namespace qvn::testing
