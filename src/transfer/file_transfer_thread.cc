#include "transfer/file_transfer_thread.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "base/debug_log.h"
#include "base/thread_exit.h"
#include "codecs/version_text.h"
#include "platform/files.h"
#include "platform/idle_thread.h"
#include "platform/locale_format.h"
#include "platform/progress_message.h"
#include "transfer/file_sections.h"

namespace qvn {
namespace {

// Holds a client's critical section for one progress handler.
class CriticalSection {
 public:
  explicit CriticalSection(TFileTransferClient* client) : client_(client) {
    if (client_ != nullptr) client_->EnterCritical();
  }
  ~CriticalSection() {
    if (client_ != nullptr) client_->LeaveCritical();
  }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

 private:
  TFileTransferClient* client_;
};

}  // namespace

void TFileTransferThread::Start() {
  platform::StartIdleThread([this] {
    // Freed however the thread ends, also when a host's handler ends it.
    std::unique_ptr<TFileTransferThread> self(this);
    self->Execute();
  });
}

void TFileTransferThread::Execute() {
  // A transfer thread must never take the host down: whatever goes wrong
  // ends the remaining entries and nothing else.
  DebugCallScope scope("Script (file transfer)");
  uint32_t incomplete = 0;
  try {
    incomplete = RunSections();
  } catch (...) {  // the thread's edge: nothing but its own end may leave it
    RethrowThreadExit();
    ReportFailure("file port, remaining entries dropped", FHost, FFilePort);
    incomplete = std::max<uint32_t>(incomplete, 1);
  }
  if (FOnTransferDone) FOnTransferDone(this);
  FTerminated = true;
  platform::SendTransfersDone(FProgressTarget, FEntries, incomplete);
}

uint32_t TFileTransferThread::RunSections() {
  if (FFilePort == 0) return 0;
  uint32_t incomplete = 0;
  std::string stopped;  // why the entries still to come do not start
  for (const FileEntry& entry : FEntryList) {
    int32_t index = 0;
    EntryOutcome outcome{TransferStatus::kNotStarted, stopped};
    if (stopped.empty()) {
      // Whatever fails outside the transfer itself (memory for its handlers,
      // say) fails this entry only: every entry still gets its outcome.
      try {
        outcome = RunEntry(entry, index, stopped);
      } catch (const std::exception&) {
        outcome = OutcomeOfCurrentException();
      }
    }
    if (outcome.status != TransferStatus::kCompleted) ++incomplete;
    Text reason;
    try {
      reason = Utf8ToText(outcome.reason);
    } catch (const std::bad_alloc&) {  // the outcome goes without its reason
    }
    platform::SendTransferOutcome(FProgressTarget, index, entry.client_file, entry.server_file,
                                  entry.direction == TransferDirection::kUpload,
                                  static_cast<int32_t>(outcome.status), reason);
  }
  return incomplete;
}

EntryOutcome TFileTransferThread::RunEntry(const FileEntry& entry, int32_t& index,
                                              std::string& stopped) {
  const Text& client_file = entry.client_file;
  const Text& server_file = entry.server_file;
  const bool upload = entry.direction == TransferDirection::kUpload;
  if (upload && !platform::IsRegularFile(client_file)) {
    return {TransferStatus::kSkipped, "no such local file"};
  }

  FDecimalSeparator = platform::LocaleDecimalSeparator();
  ++FEntries;
  // Kept here rather than freeing itself, so that its outcome can be read.
  TFileTransferClient client;
  // The thread's id plus the clock's millisecond, as hosts know it; moved on
  // past an index that an earlier entry of this thread got (entries can
  // begin within one millisecond), so that each entry's messages are its own.
  index = static_cast<int32_t>(platform::CurrentThreadId() +
                               static_cast<uint32_t>(CurrentMillisecond()));
  while (!FIndexes.insert(index).second) ++index;
  client.SetIdx(index);
  try {
    if (upload) {
      client.SetOnUploadProgress([this](TFileTransferClient* s, const Text& c, const Text& v,
                                        int64_t size, int64_t n, Text& tag, int32_t idx) {
        HandleUploadProgress(s, c, v, size, n, tag, idx);
      });
      client.SetOnProcessDone([this](void* s, const Text& f) { HandleUploadDone(s, f); });
      client.FileUpLoad(FHost, FFilePort, FFilesScript[0], client_file, server_file);
    } else {
      client.SetOnDownloadProgress([this](TFileTransferClient* s, const Text& c, const Text& v,
                                          int64_t size, int64_t n, Text& tag, int32_t idx) {
        HandleDownloadProgress(s, c, v, size, n, tag, idx);
      });
      client.SetOnProcessDone([this](void* s, const Text& f) { HandleDownloadDone(s, f); });
      client.FileDownLoad(FHost, FFilePort, FFilesScript[0], client_file, server_file);
    }
  } catch (const Error&) {
    // A failure to connect ends the entries after this one too.
    ReportFailure("file port", FHost, FFilePort);
    stopped = "an earlier entry could not connect";
  }
  if (FCancelled) stopped = "an earlier entry was cancelled";
  return client.Outcome();
}

Text TFileTransferThread::ProgressText(const Text& AClientFileName, const Text& AServerFileName,
                                       int64_t ASize, int64_t ACount, const Text& ATag,
                                       int32_t AIndex, bool AUpload) {
  return ProgressText(AClientFileName, AServerFileName, ASize, ACount, ATag, AIndex, AUpload,
                      platform::LocaleDecimalSeparator());
}

Text TFileTransferThread::ProgressText(const Text& AClientFileName, const Text& AServerFileName,
                                       int64_t ASize, int64_t ACount, const Text& ATag,
                                       int32_t AIndex, bool AUpload,
                                       const Text& ADecimalSeparator) {
  // An empty file is complete as soon as it exists.
  const double percent_value =
      ASize == 0 ? 100.0 : static_cast<double>(ACount) / (static_cast<double>(ASize) / 100.0);
  Text percent = platform::FormatTwoDecimals(percent_value, ADecimalSeparator);
  Text text = AClientFileName;
  text += u'*';
  text += AServerFileName;
  text += u'*';
  text += DecimalText(ASize);
  text += u'*';
  text += DecimalText(ACount);
  text += u'*';
  text += percent;
  text += u"%*";
  text += ATag;
  text += u'*';
  text += DecimalText(AIndex);
  text += u'*';
  text += AUpload ? u"Upload" : u"Download";
  return text;
}

void TFileTransferThread::SendProgress(TFileTransferClient* Sender, const Text& AClientFileName,
                                       const Text& AServerFileName, int64_t ASize, int64_t ACount,
                                       const Text& ATag, int32_t AIndex, bool AUpload) {
  CriticalSection lock(Sender);
  // Nine events in ten send nothing, so they build no text either.
  const bool tenth = ACount % 10 == 0, last = ASize == ACount;
  if (!tenth && !last) return;
  const Text text = ProgressText(AClientFileName, AServerFileName, ASize, ACount, ATag, AIndex,
                                 AUpload, FDecimalSeparator);
  // A host that answers "cancel" ends this entry at once and starts no other.
  if ((tenth && platform::SendProgressMessage(FProgressTarget, AIndex, text)) ||
      (last && platform::SendProgressMessage(FProgressTarget, AIndex, text))) {
    FCancelled = true;
    throw TransferCancelled();
  }
}

void TFileTransferThread::HandleUploadProgress(TFileTransferClient* Sender,
                                               const Text& AClientFileName,
                                               const Text& AServerFileName, int64_t ASize,
                                               int64_t ACount, Text& ATag, int32_t AIndex) {
  SendProgress(Sender, AClientFileName, AServerFileName, ASize, ACount, ATag, AIndex, true);
}

void TFileTransferThread::HandleDownloadProgress(TFileTransferClient* Sender,
                                                 const Text& AClientFileName,
                                                 const Text& AServerFileName, int64_t ASize,
                                                 int64_t ACount, Text& ATag, int32_t AIndex) {
  SendProgress(Sender, AClientFileName, AServerFileName, ASize, ACount, ATag, AIndex, false);
}

void TFileTransferThread::HandleUploadDone(void* /*Sender*/, const Text& AFileName) {
  if (FOnUploadDone) FOnUploadDone(this, AFileName);
}

void TFileTransferThread::HandleDownloadDone(void* /*Sender*/, const Text& AFileName) {
  if (FOnDownloadDone) FOnDownloadDone(this, AFileName);
}

}  // namespace qvn
