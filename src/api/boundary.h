// What every export does at the C boundary: text arguments in, one allocated
// (or the static empty) text out, and no exception ever crossing.
#ifndef QVN_API_BOUNDARY_H_
#define QVN_API_BOUNDARY_H_

#include <utility>

#include "base/debug_log.h"
#include "base/text.h"
#include "base/thread_exit.h"
#include "platform/debug_output.h"
#include "platform/fault_injection.h"
#include "qvn.h"

namespace qvn {

// A text argument: null is empty; the text ends at its first NUL.
Text ArgText(const qvn_char* p);

// The static empty result, shared by every export.
qvn_char* EmptyResult();
// The static failure answers, for a failure that leaves no memory to spell
// them out: the server commands' "CONNECTION_ERROR", Script's "NONE", and
// "File transfer started" once Script's transfer thread runs. ScriptFree
// leaves them alone, as it does the empty result.
qvn_char* ConnectionErrorResult();
qvn_char* NoneResult();
qvn_char* TransferStartedOnlyResult();

// An exact-size copy cut at the first NUL, or the static empty text. Returns
// `out_of_memory` when the copy cannot be allocated.
qvn_char* ResultText(TextView answer, qvn_char* out_of_memory = EmptyResult());

// Runs an export's worker; any exception ends in `fallback`. `call` is the
// export's name for the QVN_DEBUG lines of everything below it.
// Not noexcept: a host thread ended inside the call (pthread_cancel in a
// blocking receive) unwinds on through the export.
template <typename Fallback, typename Fn>
auto Guarded(Fallback fallback, Fn&& fn, const char* call = __builtin_FUNCTION())
    -> decltype(fn()) {
  platform::InstallDebugOutput();
  DebugCallScope scope(call);
  const platform::fault::LibraryScope in_library;
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
