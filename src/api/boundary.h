// What every export does at the C boundary: text arguments in, one allocated
// (or the static empty) text out, and no exception ever crossing.
#ifndef QVN_API_BOUNDARY_H_
#define QVN_API_BOUNDARY_H_

#include <utility>

#include "base/debug_log.h"
#include "base/text.h"
#include "base/thread_exit.h"
#include "platform/debug_output.h"
#include "qvn.h"

namespace qvn {

// A text argument: null is empty; the text ends at its first NUL.
Text ArgText(const qvn_char* p);

// The static empty result, shared by every export.
qvn_char* EmptyResult();

// An exact-size copy cut at the first NUL, or the static empty text. Returns
// the empty result when memory runs out.
qvn_char* ResultText(TextView answer);

// Runs an export's worker; any exception ends in `fallback`. `call` is the
// export's name for the QVN_DEBUG lines of everything below it.
// Not noexcept: a host thread ended inside the call (pthread_cancel in a
// blocking receive) unwinds on through the export.
template <typename Fallback, typename Fn>
auto Guarded(Fallback fallback, Fn&& fn, const char* call = __builtin_FUNCTION())
    -> decltype(fn()) {
  platform::InstallDebugOutput();
  DebugCallScope scope(call);
  try {
    return std::forward<Fn>(fn)();
  } catch (...) {  // the export's edge: no exception ever reaches the host
    RethrowThreadExit();
    ReportFailure("failed");
    return fallback;
  }
}

}  // namespace qvn

#endif  // QVN_API_BOUNDARY_H_
