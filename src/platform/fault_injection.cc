#include "platform/fault_injection.h"

namespace qvn::platform::fault {

const char* OpName(Op op) {
  switch (op) {
    case Op::kAllocate: return "allocate";
    case Op::kSocket: return "socket";
    case Op::kConnect: return "connect";
    case Op::kSend: return "send";
    case Op::kReceive: return "receive";
    case Op::kWait: return "wait";
    case Op::kResolve: return "resolve";
    case Op::kOpen: return "open";
    case Op::kRead: return "read";
    case Op::kWrite: return "write";
    case Op::kFlush: return "flush";
    case Op::kRename: return "rename";
    case Op::kRemove: return "remove";
    case Op::kSetEnd: return "set-end";
    case Op::kThreadStart: return "thread-start";
    case Op::kCipher: return "cipher";
  }
  return "?";
}

}  // namespace qvn::platform::fault

#ifdef QVN_FAULT_INJECTION
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace qvn::platform::fault {
void SetInjectedError(Op op);  // fault_injection_posix.cc / _win.cc

namespace {

// Nothing here allocates: Injected() runs inside operator new.
std::atomic<bool> g_armed{false};
std::atomic<uint64_t> g_fail_at{0};
std::atomic<uint64_t> g_calls{0};
std::atomic<int> g_failed{-1};
thread_local int t_depth = 0;

// The plan last taken from the environment: QVN_FAIL_AT and QVN_FAULT_RUN.
std::mutex g_plan_mutex;
char g_plan[64] = "";

// A thread entering the library takes a new plan from the environment: a
// program arms the library it loaded (qvn.dll, libqvn.so) this way, run after
// run (a new QVN_FAULT_RUN arms again with the same QVN_FAIL_AT).
void TakePlanFromEnvironment() {
  const char* at = std::getenv("QVN_FAIL_AT");
  if (at == nullptr) return;
  const char* run = std::getenv("QVN_FAULT_RUN");
  char plan[sizeof g_plan];
  std::snprintf(plan, sizeof plan, "%.30s/%.30s", at, run == nullptr ? "" : run);
  std::lock_guard<std::mutex> lock(g_plan_mutex);
  if (std::strcmp(plan, g_plan) == 0) return;
  std::memcpy(g_plan, plan, sizeof plan);
  Arm(std::strtoull(at, nullptr, 10));
}

// Written each time a thread leaves the library, since a program may end
// without running destructors (the CLI does).
void WriteReport() {
  const char* path = std::getenv("QVN_FAULT_REPORT");
  // A program that links the library's objects beside the library counts
  // nothing of its own and must not overwrite the library's report.
  if (path == nullptr || !g_armed || g_calls == 0) return;
  if (FILE* f = std::fopen(path, "w")) {
    const int failed = g_failed;
    std::fprintf(f, "%llu %s\n", static_cast<unsigned long long>(g_calls.load()),
                 failed < 0 ? "-" : OpName(static_cast<Op>(failed)));
    std::fclose(f);
  }
}

}  // namespace

bool Injected(Op op) {
  if (!g_armed.load(std::memory_order_relaxed) || t_depth <= 0) return false;
  const uint64_t n = ++g_calls;
  if (n != g_fail_at.load()) return false;
  g_failed = static_cast<int>(op);
  SetInjectedError(op);
  return true;
}

LibraryScope::LibraryScope() {
  if (t_depth == 0) TakePlanFromEnvironment();
  ++t_depth;
}
LibraryScope::~LibraryScope() {
  if (--t_depth == 0) WriteReport();
}
HostScope::HostScope() : saved_(t_depth) { t_depth = 0; }
HostScope::~HostScope() { t_depth = saved_; }

void Arm(uint64_t fail_at) {
  g_armed = false;
  g_calls = 0;
  g_failed = -1;
  g_fail_at = fail_at;
  g_armed = true;
}

void Disarm() { g_armed = false; }
uint64_t Calls() { return g_calls; }
std::optional<Op> Failed() {
  const int failed = g_failed;
  if (failed < 0) return std::nullopt;
  return static_cast<Op>(failed);
}

}  // namespace qvn::platform::fault
#endif
