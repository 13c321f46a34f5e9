/* qvn — client library of the Quarven NoSQL database server.
 *
 * Plain C interface. Text crosses it as NUL-terminated UTF-16 (qvn_char);
 * a null text pointer counts as empty text. Every text result is owned by
 * the caller and released with ScriptFree. No call keeps state between calls;
 * calls from several threads at once are independent.
 */
#ifndef QVN_H_
#define QVN_H_

#include <stdbool.h>
#include <stdint.h>

#if defined(_WIN32)
#  include <wchar.h>
typedef wchar_t qvn_char;
#  if defined(QVN_BUILDING)
#    define QVN_API __declspec(dllexport)
#  else
#    define QVN_API __declspec(dllimport)
#  endif
#else
#  if defined(__cplusplus)
typedef char16_t qvn_char;
#  else
#    include <uchar.h>
typedef char16_t qvn_char;
#  endif
#  define QVN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if !defined(_WIN32)
/* Linux stands in for a Windows HWND with this host-owned record: progress of
 * file transfers is delivered by calling proc(context, 5266, index, text) on
 * the transfer thread; text is valid only during the call. Script copies proc
 * and context before it returns, so the record itself may go at once; context
 * must stay valid until proc receives QVN_WM_TRANSFERS_DONE. */
typedef struct QvnWindow {
  intptr_t (*proc)(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam);
  void* context;
} QvnWindow;
#endif

/* Window message that carries transfer progress: wparam is the transfer index,
 * lparam the text "client*server*size*count*percent%*tag*index*Upload|Download". */
#define QVN_WM_TRANSFER_PROGRESS 5266

/* Linux only: the transfer thread's last call to proc, sent once when every
 * file section is done (whatever the outcome, also when nothing was sent
 * before): wparam is the number of entries a transfer was begun for, lparam
 * the number of entries that did not complete (failed, skipped, cancelled,
 * timed out, or never started after a cancel or a failed connect); lparam 0
 * means every file arrived whole. After it the thread never uses context
 * again. Windows sends no such message, and the name is not defined there. */
#if !defined(_WIN32)
#define QVN_WM_TRANSFERS_DONE 5267

/* Linux only: one call per file entry, when its transfer has ended (or was
 * skipped, or never started), before QVN_WM_TRANSFERS_DONE. wparam is the
 * entry's index as in its progress messages (0 when no transfer began);
 * lparam points to a QvnTransferOutcome valid only during the call. A proc
 * that does not know the message ignores it. */
#define QVN_WM_TRANSFER_OUTCOME 5268

/* Values of QvnTransferOutcome.status. */
#define QVN_TRANSFER_COMPLETED 0   /* every byte arrived (download: the file is in place) */
#define QVN_TRANSFER_FAILED 1      /* refused, connection lost, target or source unusable */
#define QVN_TRANSFER_SKIPPED 2     /* upload whose local file is missing or not a file */
#define QVN_TRANSFER_TIMED_OUT 3   /* QVN_CONNECT_TIMEOUT_MS or QVN_IO_TIMEOUT_MS ran out */
#define QVN_TRANSFER_CANCELLED 4   /* the progress handler returned QVN_CANCEL_TRANSFERS */
#define QVN_TRANSFER_NOT_STARTED 5 /* an earlier entry was cancelled or could not connect */

typedef struct QvnTransferOutcome {
  const qvn_char* client_file; /* the entry's local path */
  const qvn_char* server_file; /* the server's name, with its "..\" or ".@\" prefix */
  int32_t upload;              /* 1 for an upload, 0 for a download */
  int32_t status;              /* QVN_TRANSFER_... */
  const qvn_char* reason;      /* "" when completed, else a short English cause */
} QvnTransferOutcome;
#endif

/* Returned by a progress handler (the QvnWindow proc on Linux, the window
 * procedure on Windows) for a QVN_WM_TRANSFER_PROGRESS message: ends that
 * entry at once (connection closed; a download's target untouched) and starts
 * no further entry of the same Script call. Any other value is ignored. */
#define QVN_CANCEL_TRANSFERS ((intptr_t)0x51564E43)

/* Time-outs (an extension; by default there are none beyond the probe's, as
 * in the original library). Read once per process, at the first connection,
 * from the environment; unset, empty, 0 or not a number means no limit:
 *   QVN_CONNECT_TIMEOUT_MS  bounds every TCP connect (request port, probe,
 *                           file port); name resolution stays the system's.
 *   QVN_IO_TIMEOUT_MS       the longest one wait for the peer may last without
 *                           progress: a reply, a file block, room to send.
 * Expiry is an ordinary failure of that call ("NONE", "CONNECTION_ERROR",
 * false, a failed transfer); QVN_DEBUG=1 names it ("timed out after N ms"). */

/* Runs a script (first line: "dbpassword@user@userpassword") on host:port and returns
 * the gathered answers; file sections go to a background thread over file_port (0: none). */
QVN_API qvn_char* Script(void* message_handle, const qvn_char* script, const qvn_char* host,
                         uint16_t port, uint16_t file_port);

/* Releases a text returned by any export. NULL and the empty result are ignored. */
QVN_API void ScriptFree(qvn_char* p);

/* True when a TCP connection to host:port can be made and is ready within timeout_ms
 * (negative: no limit; 0: the connect itself is not bounded, only polled after).
 * The connect is bounded by timeout_ms too; name resolution is the system's. Sends no data. */
QVN_API bool TryConnect(const qvn_char* host, uint16_t port, int32_t timeout_ms);

/* Asks the server to check a credentials line; returns the server's reply unchanged,
 * or "CONNECTION_ERROR". */
QVN_API qvn_char* TryDbPassword(const qvn_char* host, uint16_t port, const qvn_char* credentials);

/* Returns the database's name as the server replies it, or "CONNECTION_ERROR". */
QVN_API qvn_char* ShowDbName(const qvn_char* host, uint16_t port);

/* Changes a user's password (sent encrypted under both passwords); returns the server's
 * reply, or "CONNECTION_ERROR". */
QVN_API qvn_char* ChangeUniquePass(const qvn_char* host, uint16_t port, const qvn_char* db_password,
                                   const qvn_char* user, const qvn_char* user_password,
                                   const qvn_char* new_password);

/* Hands the server a message to append to a file; returns its reply or "CONNECTION_ERROR". */
QVN_API qvn_char* DbMessageFile(const qvn_char* host, uint16_t port, const qvn_char* message);

/* Hands the server a message to pass through a pipe; returns its reply or "CONNECTION_ERROR". */
QVN_API qvn_char* DbMessagePipe(const qvn_char* host, uint16_t port, const qvn_char* message);

/* Hands the server a message to deliver to receiver_host:receiver_port over TCP; returns
 * its reply or "CONNECTION_ERROR". */
QVN_API qvn_char* DbMessageTcp(const qvn_char* host, uint16_t port, const qvn_char* receiver_host,
                               uint16_t receiver_port, const qvn_char* message);

/* Proves knowledge of user and password without sending them; returns the server's
 * decrypted answer, or "CONNECTION_ERROR" when no answer could be had. */
QVN_API qvn_char* UserAuthentication(const qvn_char* host, uint16_t port, const qvn_char* user,
                                     const qvn_char* password);

/* True when the version stored in table[record found by search_text in search_field,
 * version_field] differs from the host program's product version. */
QVN_API bool UpdateIsAvailable(const qvn_char* host, uint16_t port, const qvn_char* credentials,
                               const qvn_char* table, int32_t search_field,
                               const qvn_char* search_text, int32_t version_field);

/* Packs a text into one Base64 line of its zlib-compressed bytes; UnPackString reverses it
 * (a text that is not packed comes back trimmed, line breaks as CR LF). */
QVN_API qvn_char* PackString(const qvn_char* text);
QVN_API qvn_char* UnPackString(const qvn_char* text);

/* Escapes ; & , TAB CR LF { } as entities so a text can be stored as one field;
 * DataDecode reverses it (entities in any letter case). */
QVN_API qvn_char* DataEncode(const qvn_char* text);
QVN_API qvn_char* DataDecode(const qvn_char* text);

/* Number of fields of the trimmed source split at delimiter; a source without the
 * delimiter counts 1 when count_single is set, else 0. */
QVN_API int32_t ValueCount(const qvn_char* source, const qvn_char* delimiter, bool count_single);

/* Field number index (from 0) of the trimmed source split at delimiter; empty text
 * when there is no such field. */
QVN_API qvn_char* ValueFromString(const qvn_char* source, int32_t index, const qvn_char* delimiter);

#ifdef __cplusplus
}
#endif

#endif /* QVN_H_ */
