#include "platform/stop_request.h"

#include <pthread.h>
#include <signal.h>

namespace qvn::platform {
namespace {

sigset_t StopSignals() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  return stop;
}

}  // namespace

void TakeStopRequests() {
  // Taken by sigwait below; every thread inherits the mask.
  const sigset_t stop = StopSignals();
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

std::string WaitForStopRequest() {
  const sigset_t stop = StopSignals();
  int sig = 0;
  sigwait(&stop, &sig);
  return sig == SIGINT ? "SIGINT" : "SIGTERM";
}

}  // namespace qvn::platform
