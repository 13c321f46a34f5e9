// Names here keep those the server's protocol and host code know (T, F, A, On).
// The client side of the server's file port: one object carries out one
// upload or download over a connection of its own, in encrypted blocks of
// 32,768 bytes, and reports through its events.
#ifndef QVN_TRANSFER_FILE_TRANSFER_CLIENT_H_
#define QVN_TRANSFER_FILE_TRANSFER_CLIENT_H_

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "base/errors.h"
#include "base/text.h"

namespace qvn {

namespace platform {
class Connection;
}

class AesCipher;
class TFileTransferClient;

// Plain bytes per block; the cipher's padding makes each block 32,768 bytes.
inline constexpr size_t TransferBlockSize = 32767;
inline constexpr size_t TransferCipherBlockSize = 32768;

// How one entry ended; the values are those of qvn.h's QVN_TRANSFER_*.
enum class TransferStatus : int32_t {
  kCompleted = 0,
  kFailed = 1,
  kSkipped = 2,
  kTimedOut = 3,
  kCancelled = 4,
  kNotStarted = 5,
};

struct EntryOutcome {
  TransferStatus status = TransferStatus::kNotStarted;
  std::string reason;  // empty when completed
};

// Raised by a progress handler to end its transfer at once.
class TransferCancelled : public Error {
 public:
  TransferCancelled() : Error("cancelled by the host") {}
};

// The outcome the exception being handled stands for; call it only inside a
// catch block.
EntryOutcome OutcomeOfCurrentException();

// Sender is the object that raises the event (a client or a transfer thread).
using TProcessDone = std::function<void(void* Sender, const Text& AFileName)>;
// ATag is the sender's own Tag: a handler that assigns it changes Tag.
using TProgressEvent =
    std::function<void(TFileTransferClient* Sender, const Text& AClientFileName,
                       const Text& AServerFileName, int64_t ASize, int64_t ACount, Text& ATag,
                       int32_t AIndex)>;

// One object serves one call at a time, on the calling thread.
//
// With FreeOnProgressEnd set the object deletes itself at the end of
// FileUpLoad / FileDownLoad (after OnProcessDone, also when the upload's file
// is in use), so it must then have been made with `new` and the caller must
// not touch it after the call.
class TFileTransferClient {
 public:
  TFileTransferClient() = default;
  ~TFileTransferClient() = default;
  TFileTransferClient(const TFileTransferClient&) = delete;
  TFileTransferClient& operator=(const TFileTransferClient&) = delete;

  void SetFreeOnProgressEnd(bool value) { FFreeOnProgressEnd = value; }
  const Text& Tag() const { return FTag; }
  void SetTag(const Text& value) { FTag = value; }
  void SetIdx(int32_t value) { FIdx = value; }
  const Text& ClientFileName() const { return FClientFileName; }
  const Text& ServerFileName() const { return FServerFileName; }
  // How the last FileUpLoad / FileDownLoad ended (read it in OnProcessDone,
  // or after the call when FreeOnProgressEnd is false).
  const EntryOutcome& Outcome() const { return FOutcome; }

  void SetOnProcessDone(TProcessDone handler) { FOnProcessDone = std::move(handler); }
  void SetOnUploadProgress(TProgressEvent handler) { FOnUploadProgress = std::move(handler); }
  void SetOnDownloadProgress(TProgressEvent handler) { FOnDownLoadProgress = std::move(handler); }

  // Re-entrant for the thread that holds it; the class never takes it itself.
  void EnterCritical() { cSec.lock(); }
  void LeaveCritical() { cSec.unlock(); }

  // Sends the local file AClientFileName to the server as AServerFileName.
  // False at once, without connecting, when the file is in use or missing.
  // True when the request and every data block were written and the server
  // then ended the connection in order (or kept silent for a while); false
  // when it reset it, and, with the connection closed at once, when the file
  // yields fewer bytes than it had when the transfer began. A failure to
  // connect is raised after the end-of-call steps have run.
  bool FileUpLoad(Text AHost, uint16_t APort, Text APassword, Text AClientFileName,
                  Text AServerFileName);

  // Fetches the server's AServerFileName into AClientFileName. The data goes
  // to a temporary file in the same folder that replaces AClientFileName only
  // once everything arrived, so a failed download leaves an existing file as
  // it was; only where the folder denies a temporary file beside an existing,
  // writable target is the target written in place (untouched until data
  // arrives). A target that is not a
  // regular file, or that could not be opened for writing, is refused before
  // anything is asked of the server. True when the answer and every data
  // block arrived and the file was cut to size and moved into place. No
  // progress event reaches the size before every block has arrived, and the
  // last event comes once the file is in place. Connect failures as for
  // uploads.
  bool FileDownLoad(Text AHost, uint16_t APort, Text APassword, Text AClientFileName,
                    Text AServerFileName);

 private:
  enum class Direction { kUpload, kDownload };

  bool RunTransfer(Direction direction, const Text& AHost, uint16_t APort, const Text& APassword,
                   const Text& AClientFileName, const Text& AServerFileName);
  bool DoFileUpLoad(platform::Connection& AConnection, const Text& APassword,
                    const Text& AClientFileName, const Text& AServerFileName);
  bool DoFileDownLoad(platform::Connection& AConnection, const Text& APassword,
                      const Text& AClientFileName, const Text& AServerFileName);
  static bool IsFileInUse(const Text& AFileName);
  // Records the exception being handled as the outcome and reports it under
  // QVN_DEBUG.
  void Failed(const std::string& what);
  // The same for a server that ended the connection before it took the
  // request: the file port has no word for "no", so that is its refusal.
  void Refused(const std::string& what);

  bool FFreeOnProgressEnd = false;
  Text FTag;
  int32_t FIdx = 0;
  Text FClientFileName;
  Text FServerFileName;
  EntryOutcome FOutcome;
  std::recursive_mutex cSec;
  TProcessDone FOnProcessDone;
  TProgressEvent FOnUploadProgress;
  TProgressEvent FOnDownLoadProgress;
};

// The 32,767 plain bytes of a request block: the text's UTF-8 cut at 32,767
// bytes, zero-filled behind it.
Bytes TransferRequestBlock(const Text& request);

// The file size a download answer announces (its first n plain bytes as
// UTF-8, trimmed; the size is the second "^" field), or none when the server
// refused the download.
std::optional<int64_t> DownloadAnswerSize(const uint8_t* plain, size_t n);

}  // namespace qvn

#endif  // QVN_TRANSFER_FILE_TRANSFER_CLIENT_H_
