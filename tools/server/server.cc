#include "server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "file_port.h"
#include "log.h"
#include "request_port.h"

namespace qvn::server {

Server::Server(Store& store, const Options& options)
    : store_(store),
      options_(options),
      requests_(options.address, options.port),
      files_(options.address, options.file_port) {}

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
  for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
  // Every read, write and wait of a connection is bounded by the time-out.
  if (!cv_.wait_for(lock, std::chrono::milliseconds(options_.timeout_ms + 5000),
                    [this] { return active_ == 0; })) {
    Log("", "connections still busy at shutdown: " + std::to_string(active_));
  }
}

void Server::AcceptLoop(ServerSocket& socket, Kind kind) {
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
    std::optional<std::pair<int, std::string>> accepted;
    try {
      accepted = socket.Accept(200);
    } catch (const std::exception& e) {
      Log("", e.what());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    if (!accepted) continue;
    {
      std::lock_guard<std::mutex> lock(mu_);
      ++active_;
      open_.insert(accepted->first);
    }
    uint64_t file_id = kind == Kind::Files ? traffic_.Begin() : 0;
    try {
      std::thread([this, fd = accepted->first, peer = accepted->second, kind, file_id] {
        Serve(fd, peer, kind, file_id);
      }).detach();
    } catch (const std::exception& e) {
      Log(accepted->second, std::string("cannot start a thread: ") + e.what());
      if (kind == Kind::Files) traffic_.End(file_id);
      std::lock_guard<std::mutex> lock(mu_);
      open_.erase(accepted->first);
      ::close(accepted->first);
      --active_;
      cv_.notify_all();
    }
  }
}

void Server::Serve(int fd, std::string peer_name, Kind kind, uint64_t file_id) {
  {
    Peer peer(fd, peer_name);
    peer.SetTimeout(options_.timeout_ms);
    try {
      if (kind == Kind::Files) {
        struct Done {
          FileTraffic& t;
          uint64_t id;
          ~Done() { t.End(id); }
        } done{traffic_, file_id};
        ServeFileConnection(store_, options_, peer, traffic_, file_id);
      } else {
        Text request = ReadFrame(peer, options_.max_request_bytes);
        Reply reply = HandleRequest(store_, options_, request, peer.name());
        if (!reply.problem.empty()) Log(peer.name(), reply.problem);
        WriteFrame(peer, reply.text);
      }
    } catch (const NetError& e) {
      // A probe connects and closes without a word: that is no problem.
      std::string what = e.what();
      if (what != "peer closed the connection early" || kind == Kind::Files) Log(peer.name(), what);
    } catch (const std::exception& e) {
      Log(peer.name(), std::string("request failed: ") + e.what());
    }
    std::lock_guard<std::mutex> lock(mu_);
    open_.erase(fd);
  }
  std::lock_guard<std::mutex> lock(mu_);
  --active_;
  cv_.notify_all();
}

}  // namespace qvn::server
