#include "support/loopback_server.h"

#include "base/errors.h"

namespace qvn::testing {

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::Start() {
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

void LoopbackServer::Stop() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (platform::Connection* c : live_) c->Interrupt();
  }
  for (std::thread& w : workers_) w.join();
  workers_.clear();
}

void LoopbackServer::AcceptLoop() {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(lifetime_ms_);
  while (!stop_ && std::chrono::steady_clock::now() < deadline) {
    platform::Connection c;
    try {
      c = listener_.Accept(50);
    } catch (const Error&) {
      break;
    }
    if (!c.IsOpen()) continue;
    const size_t index = accepted_++;
    Changed();
    workers_.emplace_back([this, index, conn = std::move(c)]() mutable {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_) conn.Interrupt();
        live_.insert(&conn);
      }
      Serve(conn, index);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        live_.erase(&conn);
      }
      conn.Close();
    });
  }
  listener_.Close();
}

}  // namespace qvn::testing
