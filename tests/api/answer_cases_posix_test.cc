// qvn.hpp runs the one list of answer cases (tests/support/answer_cases.tsv)
// against qvn-server: each answer means the failure, or the data, that every
// other surface gives for it.
#include <gtest/gtest.h>

#include <string>

#include "qvn.hpp"
#include "support/answer_cases.h"
#include "support/server_process_posix.h"
#include "support/temp_file.h"

namespace qvn::testing {
namespace {

// What one case gives through qvn.hpp: a failure's name, or "data:" + answer.
std::string RunCase(const AnswerCase& c, const qvn::Connection& server, const std::string& folder) {
  const auto& a = c.arguments;
  auto command = [&](const std::optional<std::string>& answer) -> std::string {
    if (!answer) return "ConnectionFailed";
    const qvn::Failure failure = qvn::FailureOf(c.call, *answer);
    if (failure == qvn::Failure::kRefused) return "Refused";
    if (failure == qvn::Failure::kNoAnswer) return "NoAnswer";
    return "data:" + *answer;
  };
  if (c.call == "ShowDbName") return command(server.DbName());
  if (c.call == "TryDbPassword") return command(server.CheckPassword(a.at(0)));
  if (c.call == "ChangeUniquePass")
    return command(server.ChangePassword(a.at(0), a.at(1), a.at(2), a.at(3)));
  if (c.call == "UserAuthentication") return command(server.Authenticate(a.at(0), a.at(1)));
  if (c.call == "Script") return command(qvn::Script(a.at(0)).Run(server));
  if (c.call == "Upload") {
    const std::string local = folder + "/up.bin";
    WriteFileBytes(local, Bytes(32000000, 'u'));
    qvn::Script script(a.at(0) + "\r\nFILES [UPLOAD]\r\n{" + local + ",..\\cases\\up.bin}");
    script.Run(server);
    return script.WaitForTransfers().failed > 0 ? "TransferFailed" : "data:";
  }
  return "no such call: " + c.call;
}

TEST(AnswerCasesTest, QvnHppGivesWhatTheTableSays) {
  if (kServer == nullptr) GTEST_SKIP() << "qvn-server is not built";
  ServerProcess up;
  TempFolder folder;
  const qvn::Connection reachable{"127.0.0.1", up.port(), up.file_port()};
  const qvn::Connection down{"127.0.0.1", 1, 0};  // nothing listens on port 1
  for (const AnswerCase& c : LoadAnswerCases("dbpw", "alice", "secret")) {
    const std::string what = RunCase(c, c.server_up ? reachable : down, folder.path());
    EXPECT_TRUE(MeansWhatTheCaseSays(c, what)) << c.name << ": " << what << ", not " << c.meaning;
  }
}

}  // namespace
}  // namespace qvn::testing
