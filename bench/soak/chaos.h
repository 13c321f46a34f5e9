// The chaos server of the soak: qvn-server as a child on ports of its own,
// killed and restarted on the same data folder every 1-4 s, behind a proxy
// for its request port and its file port that hurts connections at random:
// resets (SO_LINGER 0) part-way through either direction, replies trickled
// a byte at a time, replies held back past the host's I/O time-out, and
// connections refused outright. Everything random comes from one seed.
#ifndef QVN_BENCH_SOAK_CHAOS_H_
#define QVN_BENCH_SOAK_CHAOS_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace qvn::soak {

struct ChaosOptions {
  std::string server_binary;
  std::string data;        // the server's data folder
  std::string server_log;  // its stderr
  uint64_t file_size_limit = 0;
  uint64_t seed = 1;
  int io_timeout_ms = 0;  // the host's: a held-back reply outlasts it
  int min_restart_ms = 1000, max_restart_ms = 4000;
  // Counts the server's deaths, each before it is killed (memory the soak
  // shares with this process).
  std::atomic<uint64_t>* kills = nullptr;
};

struct ChaosCounts {
  std::atomic<uint64_t> restarts{0}, connections{0}, plain{0}, resets{0}, trickles{0}, stalls{0},
      refusals{0}, server_down{0}, leftovers_removed{0};
  std::string Line() const;  // "restarts=... resets=..." for the report
};

// Meant to run in a process of its own (the soak forks one): Start listens,
// starts the server and serves until Stop.
class ChaosServer {
 public:
  explicit ChaosServer(const ChaosOptions& options);
  ~ChaosServer();
  ChaosServer(const ChaosServer&) = delete;
  ChaosServer& operator=(const ChaosServer&) = delete;

  uint16_t port() const;
  uint16_t file_port() const;
  void Start();
  void Stop();
  const ChaosCounts& counts() const { return counts_; }

 private:
  struct Impl;
  ChaosCounts counts_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvn::soak

#endif  // QVN_BENCH_SOAK_CHAOS_H_
