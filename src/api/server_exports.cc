// The exports that talk to the server's request port.
#include "api/boundary.h"
#include "conversation/admin_commands.h"
#include "conversation/db_messages.h"
#include "conversation/probe.h"
#include "conversation/check_for_update.h"
#include "conversation/probe_timeouts.h"
#include "conversation/user_auth.h"

using qvn::ArgText;
using qvn::ConnectionErrorResult;
using qvn::Guarded;
using qvn::ResultText;
using qvn::kExportProbeMs;

extern "C" QVN_API bool TryConnect(const qvn_char* host, uint16_t port, int32_t timeout_ms) {
  return Guarded(false, [&] { return qvn::ProbeServer(ArgText(host), port, timeout_ms); });
}

extern "C" QVN_API qvn_char* TryDbPassword(const qvn_char* host, uint16_t port,
                                           const qvn_char* credentials) {
  return Guarded(ConnectionErrorResult(), [&] {
    return ResultText(
        qvn::CheckDbPassword(ArgText(host), port, ArgText(credentials), kExportProbeMs), ConnectionErrorResult());
  });
}

extern "C" QVN_API qvn_char* ShowDbName(const qvn_char* host, uint16_t port) {
  return Guarded(ConnectionErrorResult(), [&] {
    return ResultText(qvn::QueryDbName(ArgText(host), port, kExportProbeMs), ConnectionErrorResult());
  });
}

extern "C" QVN_API qvn_char* ChangeUniquePass(const qvn_char* host, uint16_t port,
                                              const qvn_char* db_password, const qvn_char* user,
                                              const qvn_char* user_password,
                                              const qvn_char* new_password) {
  return Guarded(ConnectionErrorResult(), [&] {
    return ResultText(qvn::ChangePassword(ArgText(host), port, ArgText(db_password),
                                          ArgText(user), ArgText(user_password),
                                          ArgText(new_password)), ConnectionErrorResult());
  });
}

extern "C" QVN_API qvn_char* DbMessageFile(const qvn_char* host, uint16_t port,
                                           const qvn_char* message) {
  return Guarded(ConnectionErrorResult(), [&] {
    return ResultText(qvn::SendDbMessage(ArgText(host), port, ArgText(message),
                                         qvn::MessageChannel::File, qvn::Text(), 0,
                                         kExportProbeMs), ConnectionErrorResult());
  });
}

extern "C" QVN_API qvn_char* DbMessagePipe(const qvn_char* host, uint16_t port,
                                           const qvn_char* message) {
  return Guarded(ConnectionErrorResult(), [&] {
    return ResultText(qvn::SendDbMessage(ArgText(host), port, ArgText(message),
                                         qvn::MessageChannel::Pipe, qvn::Text(), 0,
                                         kExportProbeMs), ConnectionErrorResult());
  });
}

extern "C" QVN_API qvn_char* DbMessageTcp(const qvn_char* host, uint16_t port,
                                          const qvn_char* receiver_host, uint16_t receiver_port,
                                          const qvn_char* message) {
  return Guarded(ConnectionErrorResult(), [&] {
    return ResultText(qvn::SendDbMessage(ArgText(host), port, ArgText(message),
                                         qvn::MessageChannel::Tcp, ArgText(receiver_host),
                                         receiver_port, kExportProbeMs), ConnectionErrorResult());
  });
}

extern "C" QVN_API qvn_char* UserAuthentication(const qvn_char* host, uint16_t port,
                                                const qvn_char* user, const qvn_char* password) {
  return Guarded(ConnectionErrorResult(), [&] {
    return ResultText(qvn::AuthenticateUser(ArgText(host), port, ArgText(user), ArgText(password)), ConnectionErrorResult());
  });
}

extern "C" QVN_API bool UpdateIsAvailable(const qvn_char* host, uint16_t port,
                                          const qvn_char* credentials, const qvn_char* table,
                                          int32_t search_field, const qvn_char* search_text,
                                          int32_t version_field) {
  return Guarded(false, [&] {
    return qvn::CheckForUpdate(ArgText(host), port, ArgText(credentials), ArgText(table),
                               search_field, ArgText(search_text), version_field);
  });
}
