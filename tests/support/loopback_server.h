// The common part of the stand-in servers of tests: listens on 127.0.0.1 at an
// ephemeral port, serves each connection on its own thread, and stops when
// destroyed or when its lifetime runs out. Stopping wakes connections blocked
// in a read without closing them under the thread that reads.
#ifndef QVN_TESTS_SUPPORT_LOOPBACK_SERVER_H_
#define QVN_TESTS_SUPPORT_LOOPBACK_SERVER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "net/listener.h"
#include "platform/socket.h"

namespace qvn::testing {

class LoopbackServer {
 public:
  static constexpr char16_t kHost[] = u"127.0.0.1";

  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  uint16_t port() const { return listener_.port(); }
  // Connections accepted so far.
  size_t AcceptedCount() { return accepted_; }

 protected:
  explicit LoopbackServer(int lifetime_ms = 60000) : lifetime_ms_(lifetime_ms) {}
  virtual ~LoopbackServer();

  // The derived class starts at the end of its constructor and stops first
  // in its destructor, while what Serve uses still exists.
  void Start();
  void Stop();
  // Serves the index-th accepted connection (0-based); the base closes it.
  virtual void Serve(platform::Connection& connection, size_t index) = 0;

  // Waits at most timeout_ms until done() holds; records are guarded by mutex_
  // and changes announced with Changed().
  template <typename Done>
  bool WaitFor(int timeout_ms, Done done) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), done);
  }
  void Changed() { changed_.notify_all(); }

  std::mutex mutex_;

 private:
  void AcceptLoop();

  net::Listener listener_{"127.0.0.1", 0};
  const int lifetime_ms_;
  std::condition_variable changed_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> accepted_{0};
  std::set<platform::Connection*> live_;  // under mutex_
  std::vector<std::thread> workers_;     // acceptor thread only, then Stop
  std::thread acceptor_;
};

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_LOOPBACK_SERVER_H_
