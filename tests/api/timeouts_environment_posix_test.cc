// The host's time-outs come from its process environment, read once: the test
// program runs itself again with them set, against silent servers on both
// ports, and the calls there must end on their own.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/debug_log.h"
#include "conversation/admin_commands.h"
#include "support/fake_file_server.h"
#include "support/fake_server.h"
#include "transfer/file_transfer_client.h"

namespace qvn::testing {
namespace {

// Set only in the child: the ports of the parent's silent servers.
constexpr char kPortsVariable[] = "QVN_TEST_SILENT_PORTS";

TEST(TimeoutsEnvironmentPosixTest, ChildSide) {
  const char* ports = std::getenv(kPortsVariable);
  if (ports == nullptr) GTEST_SKIP() << "run by ParentSide";
  const std::string both = ports;
  const auto request_port = static_cast<uint16_t>(std::stoi(both));
  const auto file_port = static_cast<uint16_t>(std::stoi(both.substr(both.find(',') + 1)));
  std::vector<std::string> lines;
  SetDebugSinkForTesting([&](const std::string& line) { lines.push_back(line); });
  EXPECT_EQ(QueryDbName(u"127.0.0.1", request_port, 5000), u"CONNECTION_ERROR");
  SetDebugSinkForTesting(nullptr);
  // A malformed bound is no bound, and says so.
  for (const char* report : {"QVN_CONNECT_TIMEOUT_MS: \" 250\" is not",
                             "QVN_OPERATION_TIMEOUT_MS: \"1e3\" is not"}) {
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(report) != std::string::npos;
    })) << report << ": " << ::testing::PrintToString(lines);
  }
  TempFolder folder;
  TFileTransferClient client;
  EXPECT_FALSE(client.FileDownLoad(u"127.0.0.1", file_port, u"pw", Utf8ToText(folder.File("f")),
                                   u"..\\f"));
  EXPECT_EQ(client.Outcome().status, TransferStatus::kTimedOut);
}

TEST(TimeoutsEnvironmentPosixTest, ParentSide) {
  if (std::getenv(kPortsVariable) != nullptr) GTEST_SKIP();
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  FakeServer request_port([released](const Text&, size_t) {
    released.wait();
    return Reply::CloseWithoutReply();
  });
  FakeFileServer file_port(u"pw");
  file_port.SetSilent(true);
  const std::string ports =
      std::to_string(request_port.port()) + "," + std::to_string(file_port.port());
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv(kPortsVariable, ports.c_str(), 1);
    ::setenv("QVN_IO_TIMEOUT_MS", "300", 1);
    ::setenv("QVN_CONNECT_TIMEOUT_MS", " 250", 1);
    ::setenv("QVN_OPERATION_TIMEOUT_MS", "1e3", 1);
    ::execl("/proc/self/exe", "qvn_tests", "--gtest_filter=TimeoutsEnvironmentPosixTest.ChildSide",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = -1;
  for (int waited = 0; waited < 150 && ::waitpid(child, &status, WNOHANG) == 0; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (::waitpid(child, &status, WNOHANG) == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    release.set_value();
    FAIL() << "the child still waited after 15 s";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  release.set_value();
}

}  // namespace
}  // namespace qvn::testing
