#include "api/boundary.h"
#include "api/script.h"

extern "C" QVN_API qvn_char* Script(void* message_handle, const qvn_char* script,
                                    const qvn_char* host, uint16_t port, uint16_t file_port) {
  return qvn::Guarded(qvn::EmptyResult(), [&]() -> qvn_char* {
    return qvn::ResultText(qvn::Script(message_handle, qvn::ArgText(script), qvn::ArgText(host),
                                       port, file_port));
  });
}
