#include "answers.h"

#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>

#include "conversation/answer_words.h"
#include "output.h"
#include "platform/socket.h"
#include "status.h"

namespace qvn_cli {

std::string Where(const Args& a) { return a.host + ":" + std::to_string(a.port); }

std::optional<std::string> ConnectProblem(const Args& a) {
  // The library's own connect, on a thread of its own so that a host that
  // never answers costs no more than the time-out.
  auto outcome = std::make_shared<std::promise<std::optional<std::string>>>();
  std::future<std::optional<std::string>> result = outcome->get_future();
  std::thread([host = FromUtf8(a.host), port = a.port, outcome] {
    try {
      qvn::platform::Connection::Open(host, port).Close();
      outcome->set_value(std::nullopt);
    } catch (const std::exception& e) {
      outcome->set_value(std::string(e.what()));
    }
  }).detach();
  const int wait_ms = a.connect_timeout_ms > 0 ? a.connect_timeout_ms : 5000;
  if (result.wait_for(std::chrono::milliseconds(wait_ms)) != std::future_status::ready) {
    return "cannot connect: timed out after " + std::to_string(wait_ms) + " ms";
  }
  return result.get();
}

std::string NoAnswer(const Args& a) {
  std::string cause;
  if (std::optional<std::string> problem = ConnectProblem(a)) {
    cause = *problem;
  } else if (a.io_timeout_ms > 0) {
    cause = "the server took the connection but did not answer within the I/O time-out (" +
            std::to_string(a.io_timeout_ms) + " ms)";
  } else {
    cause = "the server took the connection but the exchange broke off";
  }
  return "no answer from " + Where(a) + ": " + cause;
}

int Answer(const Args& a, const Wide& answer) {
  if (answer == qvn::kConnectionError) {
    throw Unreachable(ToUtf8(answer) + ": " + NoAnswer(a));
  }
  if (answer == qvn::kNoneAnswer) throw Failure("NONE (nothing obtained from " + Where(a) + ")");
  WriteOut(ForTerminal(answer) + "\n");
  if (answer == u"DENIED" || answer.starts_with(u"ERROR")) {
    std::fprintf(stderr, "qvn: %s: refused by %s\n", a.command.c_str(), Where(a).c_str());
    return kRefused;
  }
  return 0;
}

int PrintText(const Wide& text) {
  WriteOut(ForTerminal(text) + "\n");
  return 0;
}

}  // namespace qvn_cli
