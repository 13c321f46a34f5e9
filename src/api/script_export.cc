#include "api/boundary.h"
#include "api/script.h"
#include "platform/progress_message.h"

namespace {

// The answer to a failure that no answer word of the script's own covers
// (memory ran out): once a transfer thread runs it must not be the empty
// text, which tells the host that none does (it would free what the thread's
// messages still reach). All three are static: nothing is left to allocate.
qvn_char* FailureResult(qvn::TransferState state) {
  switch (state) {
    case qvn::TransferState::kStarted: return qvn::TransferStartedOnlyResult();
    case qvn::TransferState::kStarting: return qvn::EmptyResult();
    case qvn::TransferState::kNone: break;
  }
  return qvn::NoneResult();
}

}  // namespace

extern "C" QVN_API qvn_char* Script(void* message_handle, const qvn_char* script,
                                    const qvn_char* host, uint16_t port, uint16_t file_port) {
  qvn::TransferState state = qvn::TransferState::kNone;
  bool begun = false;  // the worker sends the done message from here on
  qvn_char* answer = qvn::Guarded(static_cast<qvn_char*>(nullptr), [&]() -> qvn_char* {
    const qvn::Text text = qvn::ArgText(script), server = qvn::ArgText(host);
    begun = true;
    const qvn::Text result = qvn::Script(message_handle, text, server, port, file_port, state);
    return qvn::ResultText(result, FailureResult(state));
  });
  if (answer != nullptr) return answer;
  // Even a call that failed before it began hears its one done message.
  if (!begun) qvn::platform::SendNoTransfersDone(message_handle);
  return FailureResult(state);
}
