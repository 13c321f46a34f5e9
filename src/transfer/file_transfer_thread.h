// Names here keep those the server's protocol and host code know (T, F, A, On).
// The background thread that carries out a script's file sections, one entry
// after another, each with a TFileTransferClient of its own, and reports
// progress to the host's window.
#ifndef QVN_TRANSFER_FILE_TRANSFER_THREAD_H_
#define QVN_TRANSFER_FILE_TRANSFER_THREAD_H_

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/text.h"
#include "platform/progress_message.h"
#include "transfer/file_sections.h"
#include "transfer/file_transfer_client.h"

namespace qvn {

class TFileTransferThread;
using TNotifyEvent = std::function<void(TFileTransferThread* Sender)>;

// Made with `new` and filled while it is still suspended; Start() runs it at
// idle priority, and it deletes itself when Execute ends. After Start() the
// object belongs to the thread: its creator must not touch it again.
class TFileTransferThread {
 public:
  TFileTransferThread() = default;
  virtual ~TFileTransferThread() = default;
  TFileTransferThread(const TFileTransferThread&) = delete;
  TFileTransferThread& operator=(const TFileTransferThread&) = delete;

  // Raises PlatformError when no thread can be started; the object then
  // still belongs to the caller.
  void Start();

  void SetHost(const Text& value) { FHost = value; }
  void SetFilePort(uint16_t value) { FFilePort = value; }
  // Copies what the handle points to now (Linux: the QvnWindow record).
  void SetMessageHandle(void* value) {
    FProgressTarget = platform::CopyProgressTarget(value);
  }
  // The file-section list as one text (split into lines here). Its entries are
  // read here too, on the caller's thread: once the thread runs, every entry
  // it was given gets an outcome, whatever memory is left.
  void SetFilesScript(const Text& text) {
    FFilesScript = SplitLines(text);
    FEntryList = ListFileEntries(FFilesScript);
  }
  bool Terminated() const { return FTerminated; }

  // The handlers run on the transfer thread and must not raise.
  void SetOnTransferDone(TNotifyEvent handler) { FOnTransferDone = std::move(handler); }
  void SetOnUploadDone(TProcessDone handler) { FOnUploadDone = std::move(handler); }
  void SetOnDownloadDone(TProcessDone handler) { FOnDownloadDone = std::move(handler); }

  // The thread body; runs the sections on the calling thread, reports each
  // entry's outcome and ends with the transfers-done message. Raises
  // nothing but the end of its thread: a handler that ends the thread
  // (pthread_exit, pthread_cancel) gets no further message, and every file
  // and connection of the entry is closed on the way out.
  void Execute();

  // The progress text of one event: eight fields joined with "*".
  static Text ProgressText(const Text& AClientFileName, const Text& AServerFileName, int64_t ASize,
                           int64_t ACount, const Text& ATag, int32_t AIndex, bool AUpload);
  // The same with the locale's decimal separator looked up by the caller.
  static Text ProgressText(const Text& AClientFileName, const Text& AServerFileName, int64_t ASize,
                           int64_t ACount, const Text& ATag, int32_t AIndex, bool AUpload,
                           const Text& ADecimalSeparator);

 protected:
  void HandleUploadProgress(TFileTransferClient* Sender, const Text& AClientFileName,
                            const Text& AServerFileName, int64_t ASize, int64_t ACount,
                            Text& ATag, int32_t AIndex);
  void HandleDownloadProgress(TFileTransferClient* Sender, const Text& AClientFileName,
                              const Text& AServerFileName, int64_t ASize, int64_t ACount,
                              Text& ATag, int32_t AIndex);
  void HandleUploadDone(void* Sender, const Text& AFileName);
  void HandleDownloadDone(void* Sender, const Text& AFileName);

 private:
  // The number of entries that did not complete.
  uint32_t RunSections();
  // One entry; `index` gets the index its messages carry, `stopped` why no
  // further entry may start (a failed connect, a cancel).
  EntryOutcome RunEntry(const FileEntry& entry, int32_t& index, std::string& stopped);
  void SendProgress(TFileTransferClient* Sender, const Text& AClientFileName,
                    const Text& AServerFileName, int64_t ASize, int64_t ACount, const Text& ATag,
                    int32_t AIndex, bool AUpload);

  Text FHost;
  uint16_t FFilePort = 0;
  platform::ProgressTarget FProgressTarget;
  uint32_t FEntries = 0;  // entries a transfer was begun for
  std::unordered_set<int32_t> FIndexes;  // given to this thread's entries so far
  std::vector<Text> FFilesScript;
  std::vector<FileEntry> FEntryList;
  TNotifyEvent FOnTransferDone;
  TProcessDone FOnUploadDone;
  TProcessDone FOnDownloadDone;
  bool FTerminated = false;
  bool FCancelled = false;  // the host answered a progress message with cancel
  // Looked up once per transfer, not for every block's event.
  Text FDecimalSeparator;
};

}  // namespace qvn

#endif  // QVN_TRANSFER_FILE_TRANSFER_THREAD_H_
