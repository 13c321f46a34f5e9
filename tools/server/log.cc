#include "log.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/local_clock.h"

namespace qvn::server {
namespace {
std::mutex g_mutex;
std::atomic<bool> g_quiet{false};
}  // namespace

void Log(const std::string& peer, const std::string& message) {
  std::time_t now = std::time(nullptr);
  std::tm tm = platform::LocalTime(now);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::lock_guard<std::mutex> lock(g_mutex);
  std::fprintf(stderr, "qvn-server %s [%s] %s\n", stamp, peer.empty() ? "-" : peer.c_str(),
               message.c_str());
  std::fflush(stderr);
}

void SetQuiet(bool quiet) { g_quiet = quiet; }

void LogInfo(const std::string& peer, const std::string& message) {
  if (!g_quiet) Log(peer, message);
}

}  // namespace qvn::server
