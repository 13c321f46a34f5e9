#include "server.h"

#include <chrono>
#include <memory>

#include "base/errors.h"
#include "conversation/framing.h"
#include "file_port.h"
#include "log.h"
#include "request_port.h"

namespace qvn::server {
namespace {

// The listener's own message does not say which address it failed on.
net::Listener Listen(const std::string& address, uint16_t port) {
  try {
    return net::Listener(address, port);
  } catch (const ConnectionError& e) {
    throw ConnectionError("on " + address + ":" + std::to_string(port) + ": " + e.what());
  }
}

}  // namespace

Server::Server(Store& store, const Options& options)
    : store_(store),
      options_(options),
      requests_(Listen(options.address, options.port)),
      files_(Listen(options.address, options.file_port)) {
  requests_.SetIoTimeout(options.timeout_ms);
  files_.SetIoTimeout(options.timeout_ms);
}

Server::~Server() { Stop(); }

void Server::Start() {
  request_thread_ = std::thread([this] { AcceptLoop(requests_, Kind::Requests); });
  file_thread_ = std::thread([this] { AcceptLoop(files_, Kind::Files); });
}

void Server::Stop() {
  if (stopping_.exchange(true)) return;
  if (request_thread_.joinable()) request_thread_.join();
  if (file_thread_.joinable()) file_thread_.join();
  std::unique_lock<std::mutex> lock(mu_);
  for (Peer* peer : open_) peer->connection.Interrupt();
  // Every read, write and wait of a connection is bounded by the time-out.
  if (!cv_.wait_for(lock, std::chrono::milliseconds(options_.timeout_ms + 5000),
                    [this] { return active_ == 0; })) {
    Log("", "connections still busy at shutdown: " + std::to_string(active_));
  }
}

void Server::AcceptLoop(net::Listener& listener, Kind kind) {
  while (!stopping_) {
    {
      // Beyond the limit new clients wait in the listen queue.
      std::unique_lock<std::mutex> lock(mu_);
      if (!cv_.wait_for(lock, std::chrono::milliseconds(200),
                        [this] { return active_ < options_.max_connections || stopping_; })) {
        continue;
      }
    }
    if (stopping_) break;
    auto peer = std::make_unique<Peer>();
    try {
      peer->connection = listener.Accept(200, &peer->name);
    } catch (const std::exception& e) {
      Log("", e.what());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    if (!peer->connection.IsOpen()) continue;
    {
      std::lock_guard<std::mutex> lock(mu_);
      ++active_;
      open_.insert(peer.get());
    }
    uint64_t file_id = kind == Kind::Files ? traffic_.Begin() : 0;
    try {
      std::thread([this, p = peer.get(), kind, file_id] {
        std::unique_ptr<Peer> owned(p);
        Serve(*owned, kind, file_id);
      }).detach();
      peer.release();
    } catch (const std::exception& e) {
      Log(peer->name, std::string("cannot start a thread: ") + e.what());
      if (kind == Kind::Files) traffic_.End(file_id);
      std::lock_guard<std::mutex> lock(mu_);
      open_.erase(peer.get());
      --active_;
      cv_.notify_all();
    }
  }
}

void Server::Serve(Peer& peer, Kind kind, uint64_t file_id) {
  try {
    if (kind == Kind::Files) {
      struct Done {
        FileTraffic& t;
        uint64_t id;
        ~Done() { t.End(id); }
      } done{traffic_, file_id};
      ServeFileConnection(store_, options_, peer, traffic_, file_id);
    } else {
      // A probe connects and closes without a word: nothing to answer or log.
      std::optional<Text> request = ReadCountedMessage(peer.connection, options_.max_request_bytes);
      if (request) {
        Reply reply = HandleRequest(store_, options_, *request, peer.name);
        if (!reply.problem.empty()) Log(peer.name, reply.problem);
        std::string broken = WriteMessage(peer.connection, reply.text);
        if (!broken.empty()) Log(peer.name, "reply not sent: " + broken);
      }
    }
  } catch (const TimeoutError&) {
    // The accepted socket's bound is the server's own, not the library's.
    Log(peer.name, "no progress for " + std::to_string(options_.timeout_ms) + " ms; connection closed");
  } catch (const ConnectionError& e) {
    Log(peer.name, e.what());
  } catch (const std::exception& e) {
    Log(peer.name, std::string("request failed: ") + e.what());
  }
  std::lock_guard<std::mutex> lock(mu_);
  open_.erase(&peer);
  peer.connection.Close();
  --active_;
  cv_.notify_all();
}

}  // namespace qvn::server
