// Accept loops for the two ports and the connection threads they start.
#ifndef QVN_SERVER_SERVER_H_
#define QVN_SERVER_SERVER_H_

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "file_port.h"
#include "net/listener.h"
#include "options.h"
#include "peer.h"
#include "store.h"

namespace qvn::server {

class Server {
 public:
  Server(Store& store, const Options& options);  // binds both ports; raises ConnectionError
  ~Server();

  uint16_t port() const { return requests_.port(); }
  uint16_t file_port() const { return files_.port(); }

  void Start();
  // Stops accepting, cuts open connections and waits (bounded) for their threads.
  void Stop();

 private:
  enum class Kind { Requests, Files };
  void AcceptLoop(net::Listener& listener, Kind kind);
  void Serve(Peer& peer, Kind kind, uint64_t file_id);

  Store& store_;
  const Options& options_;
  net::Listener requests_;
  net::Listener files_;
  std::atomic<bool> stopping_{false};
  std::thread request_thread_;
  std::thread file_thread_;
  std::mutex mu_;
  std::condition_variable cv_;
  FileTraffic traffic_;
  std::set<Peer*> open_;  // connections being served
  int active_ = 0;
};

}  // namespace qvn::server

#endif  // QVN_SERVER_SERVER_H_
