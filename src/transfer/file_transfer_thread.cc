#include "transfer/file_transfer_thread.h"

#include <memory>

#include "codecs/version_text.h"
#include "platform/debug_output.h"
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
    Execute();
    delete this;
  });
}

void TFileTransferThread::Execute() noexcept {
  // A transfer thread must never take the host down: whatever goes wrong
  // ends the remaining entries and nothing else.
  platform::DebugCallScope scope("Script (file transfer)");
  try {
    RunSections();
  } catch (...) {
    platform::ReportFailure("file port, remaining entries dropped", FHost, FFilePort);
  }
  try {
    if (FOnTransferDone) FOnTransferDone(this);
  } catch (...) {
  }
  FTerminated = true;
  platform::SendTransfersDone(FProgressTarget, FEntries);
}

void TFileTransferThread::RunSections() {
  if (FFilePort == 0) return;
  for (const FileEntry& entry : ListFileEntries(FFilesScript)) RunEntry(entry);
}

void TFileTransferThread::RunEntry(const FileEntry& entry) {
  const Text& client_file = entry.client_file;
  const Text& server_file = entry.server_file;
  const bool upload = entry.direction == TransferDirection::kUpload;
  if (upload && !platform::IsRegularFile(client_file)) return;

  FDecimalSeparator = platform::LocaleDecimalSeparator();
  ++FEntries;
  auto owned = std::make_unique<TFileTransferClient>();
  TFileTransferClient* client = owned.get();
  client->SetIdx(static_cast<int32_t>(platform::CurrentThreadId() +
                                      static_cast<uint32_t>(CurrentMillisecond())));
  client->SetFreeOnProgressEnd(true);
  if (upload) {
    client->SetOnUploadProgress([this](TFileTransferClient* s, const Text& c, const Text& v,
                                       int64_t size, int64_t n, Text& tag, int32_t idx) {
      HandleUploadProgress(s, c, v, size, n, tag, idx);
    });
    client->SetOnProcessDone([this](void* s, const Text& f) { HandleUploadDone(s, f); });
    // The client deletes itself inside the call; a failure to connect comes
    // out of it and ends the thread's remaining entries.
    owned.release()->FileUpLoad(FHost, FFilePort, FFilesScript[0], client_file, server_file);
  } else {
    client->SetOnDownloadProgress([this](TFileTransferClient* s, const Text& c, const Text& v,
                                         int64_t size, int64_t n, Text& tag, int32_t idx) {
      HandleDownloadProgress(s, c, v, size, n, tag, idx);
    });
    client->SetOnProcessDone([this](void* s, const Text& f) { HandleDownloadDone(s, f); });
    owned.release()->FileDownLoad(FHost, FFilePort, FFilesScript[0], client_file, server_file);
  }
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
  if (tenth) platform::SendProgressMessage(FProgressTarget, AIndex, text);
  if (last) platform::SendProgressMessage(FProgressTarget, AIndex, text);
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
