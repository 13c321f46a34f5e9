#include "soak/chaos.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <list>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "base/text.h"
#include "net/listener.h"
#include "platform/replace_file.h"
#include "platform/socket.h"
#include "soak/system_posix.h"

namespace qvn::soak {
namespace {

using Clock = std::chrono::steady_clock;
using platform::Connection;

enum class Fault { kNone, kReset, kTrickle, kStall, kRefuse };

// Where a reset cuts a connection: after this many bytes in each direction
// (client to server, server to client); UINT64_MAX: not in that direction.
struct Cut {
  uint64_t up = UINT64_MAX, down = UINT64_MAX;
};

constexpr size_t kTrickleBytes = 300;  // at about 2 ms each
constexpr int kQuietLimitMs = 20000;   // a relay with no traffic this long ends

}  // namespace

std::string ChaosCounts::Line() const {
  char b[320];
  std::snprintf(b, sizeof b,
                "restarts=%llu connections=%llu plain=%llu resets=%llu trickles=%llu "
                "stalls=%llu refusals=%llu server_down=%llu leftovers_removed=%llu",
                (unsigned long long)restarts, (unsigned long long)connections,
                (unsigned long long)plain, (unsigned long long)resets, (unsigned long long)trickles,
                (unsigned long long)stalls, (unsigned long long)refusals,
                (unsigned long long)server_down, (unsigned long long)leftovers_removed);
  return b;
}

struct ChaosServer::Impl {
  Impl(const ChaosOptions& o, ChaosCounts& c)
      : options(o), counts(c), random(o.seed), requests("127.0.0.1", 0), files("127.0.0.1", 0) {
    requests.SetIoTimeout(kQuietLimitMs);
    files.SetIoTimeout(kQuietLimitMs);
  }

  const ChaosOptions options;
  ChaosCounts& counts;
  std::mutex mu;  // random, and the waits on cv
  std::condition_variable cv;
  std::mt19937_64 random;
  net::Listener requests, files;
  std::atomic<uint16_t> server_port{0}, server_file_port{0};
  std::atomic<bool> stopping{false};
  std::thread supervisor, request_acceptor, file_acceptor;
  // Each relay's thread and whether it has finished (then it is joined).
  struct RelayThread {
    std::shared_ptr<std::atomic<bool>> done;
    std::thread thread;
  };
  std::list<RelayThread> relays;  // the acceptors' and Stop's only
  std::mutex relays_mu;

  uint64_t Draw(uint64_t below) {
    std::lock_guard<std::mutex> lock(mu);
    return below == 0 ? 0 : random() % below;
  }

  // The server runs until killed; a restart takes the same data folder and
  // new ports (the proxy's stay). A killed server may leave its temporary
  // files behind, which take room on the small disk: they go before the
  // restart, as an operator would remove them.
  void Supervise() {
    ChildProcess server;
    while (!stopping) {
      server =
          ChildProcess({options.server_binary, "--data", options.data, "--port", "0", "--file-port",
                        "0", "--quiet", "--timeout-ms", "5000", "--max-connections", "64"},
                       {options.server_log, true, options.file_size_limit});
      unsigned port = 0, file_port = 0;
      const std::string line = server.ReadLine(10000);
      if (std::sscanf(line.c_str(), "qvn-server listening: port=%u file-port=%u", &port,
                      &file_port) == 2) {
        server_port = static_cast<uint16_t>(port);
        server_file_port = static_cast<uint16_t>(file_port);
      }
      const int lifetime =
          options.min_restart_ms +
          static_cast<int>(Draw(options.max_restart_ms - options.min_restart_ms + 1));
      {
        std::unique_lock<std::mutex> lock(mu);
        cv.wait_for(lock, std::chrono::milliseconds(lifetime), [&] { return stopping.load(); });
      }
      server_port = 0;
      server_file_port = 0;
      if (options.kills != nullptr) ++*options.kills;
      server.Kill();
      RemoveLeftovers();
      if (!stopping) ++counts.restarts;
    }
  }

  void RemoveLeftovers() {
    std::error_code e;
    for (auto it = std::filesystem::recursive_directory_iterator(options.data, e);
         !e && it != std::filesystem::recursive_directory_iterator(); it.increment(e)) {
      if (platform::IsTemporaryFileName(Utf8ToText(it->path().filename().string()))) {
        std::error_code ignored;
        if (std::filesystem::remove(it->path(), ignored)) ++counts.leftovers_removed;
      }
    }
  }

  void Accept(net::Listener& listener, bool file_port) {
    while (!stopping) {
      Connection client;
      try {
        client = listener.Accept(200);
      } catch (const std::exception&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        continue;
      }
      if (!client.IsOpen()) continue;
      ++counts.connections;
      auto done = std::make_shared<std::atomic<bool>>(false);
      std::lock_guard<std::mutex> lock(relays_mu);
      for (auto it = relays.begin(); it != relays.end();) {
        if (*it->done) {
          it->thread.join();
          it = relays.erase(it);
        } else {
          ++it;
        }
      }
      relays.push_back({done, std::thread([this, c = std::move(client), file_port, done]() mutable {
                          Relay(std::move(c), file_port);
                          *done = true;
                        })});
    }
  }

  Fault DrawFault(bool file_port, Cut& cut) {
    const uint64_t roll = Draw(100);
    // The file port's traffic is a few hundred KiB, the request port's a few
    // hundred bytes; a cut falls anywhere in it.
    const uint64_t span = file_port ? 700 << 10 : 400;
    if (roll < 55) return Fault::kNone;
    if (roll < 75) {
      cut.down = Draw(span);
      if (file_port || Draw(4) == 0) cut.up = Draw(span);
      return Fault::kReset;
    }
    if (roll < 90) return Fault::kTrickle;
    if (roll < 95) return Fault::kStall;
    return Fault::kRefuse;
  }

  void Relay(Connection client, bool file_port) {
    Cut cut;
    const Fault fault = DrawFault(file_port, cut);
    if (fault == Fault::kRefuse) {
      ++counts.refusals;
      client.Abort();
      return;
    }
    const uint16_t to = file_port ? server_file_port : server_port;
    Connection server;
    try {
      if (to == 0) throw std::runtime_error("down");
      server = Connection::Open(u"127.0.0.1", to, {2000, kQuietLimitMs});
    } catch (const std::exception&) {
      ++counts.server_down;
      client.Abort();
      return;
    }
    switch (fault) {
      case Fault::kNone:
        ++counts.plain;
        break;
      case Fault::kReset:
        ++counts.resets;
        break;
      case Fault::kTrickle:
        ++counts.trickles;
        break;
      default:
        ++counts.stalls;
        break;
    }
    Pump(client, server, fault, cut);
  }

  // Both directions on this one thread: whatever side has something to
  // read is read and passed on (altered as the fault says). An orderly end
  // is passed on as one, a reset as a reset.
  void Pump(Connection& client, Connection& server, Fault fault, Cut cut) {
    std::vector<uint8_t> buf(64 << 10);
    uint64_t sent[2] = {0, 0};  // 0: client to server, 1: server to client
    bool ended[2] = {false, false};
    size_t trickle = fault == Fault::kTrickle ? kTrickleBytes : 0;
    auto quiet_since = Clock::now();
    auto reset_both = [&] {
      client.Abort();
      server.Abort();
    };
    while (!stopping && !(ended[0] && ended[1])) {
      Connection* watch[2];
      int sides[2], n = 0;
      if (!ended[0]) watch[n] = &client, sides[n++] = 0;
      if (!ended[1]) watch[n] = &server, sides[n++] = 1;
      int ready;
      try {
        ready = Connection::WaitReadable(watch, n, 100);
      } catch (const std::exception&) {
        return reset_both();
      }
      if (ready < 0) {
        if (Clock::now() - quiet_since > std::chrono::milliseconds(kQuietLimitMs))
          return reset_both();
        continue;
      }
      quiet_since = Clock::now();
      const int side = sides[ready];
      Connection& from = side == 0 ? client : server;
      Connection& onto = side == 0 ? server : client;
      size_t got;
      try {
        got = from.ReceiveSome(buf.data(), buf.size());
      } catch (const std::exception&) {
        return reset_both();  // a reset (or worse) from one side: the other gets one too
      }
      if (side == 1 && fault == Fault::kStall) {
        // Hold the reply back until the host has given up on it.
        std::unique_lock<std::mutex> lock(mu);
        cv.wait_for(lock, std::chrono::milliseconds(options.io_timeout_ms + 500),
                    [&] { return stopping.load(); });
        return reset_both();
      }
      if (got == 0) {
        ended[side] = true;
        onto.ShutdownSend();
        continue;
      }
      const uint64_t limit = side == 0 ? cut.up : cut.down;
      const bool cutting = limit != UINT64_MAX && sent[side] + got >= limit;
      if (cutting) got = static_cast<size_t>(limit - sent[side]);
      try {
        size_t at = 0;
        for (; side == 1 && trickle > 0 && at < got; ++at, --trickle) {
          onto.SendAll(buf.data() + at, 1);
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (at < got) onto.SendAll(buf.data() + at, got - at);
      } catch (const std::exception&) {
        return reset_both();
      }
      sent[side] += got;
      if (cutting) return reset_both();
    }
    if (stopping) return reset_both();
    client.Close();
    server.Close();
  }
};

ChaosServer::ChaosServer(const ChaosOptions& options)
    : impl_(std::make_unique<Impl>(options, counts_)) {}

ChaosServer::~ChaosServer() { Stop(); }

uint16_t ChaosServer::port() const { return impl_->requests.port(); }
uint16_t ChaosServer::file_port() const { return impl_->files.port(); }

void ChaosServer::Start() {
  impl_->supervisor = std::thread([this] { impl_->Supervise(); });
  impl_->request_acceptor = std::thread([this] { impl_->Accept(impl_->requests, false); });
  impl_->file_acceptor = std::thread([this] { impl_->Accept(impl_->files, true); });
}

void ChaosServer::Stop() {
  if (impl_->stopping.exchange(true)) return;
  impl_->cv.notify_all();
  for (std::thread* t : {&impl_->request_acceptor, &impl_->file_acceptor, &impl_->supervisor}) {
    if (t->joinable()) t->join();
  }
  // Relays see the flag within their 100 ms wait (or a held reply's wake).
  std::lock_guard<std::mutex> lock(impl_->relays_mu);
  for (Impl::RelayThread& r : impl_->relays) r.thread.join();
  impl_->relays.clear();
}

}  // namespace qvn::soak
