#include "transfer/file_transfer_client.h"

#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "base/debug_log.h"
#include "base/thread_exit.h"
#include "base/whole_number.h"
#include "codecs/aes.h"
#include "codecs/text_crypto.h"
#include "codecs/value_list.h"
#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/replace_file.h"
#include "platform/socket.h"

namespace qvn {
namespace {

// The download answer's size: blanks, a sign, decimal or hexadecimal digits.
constexpr WholeNumberSyntax kSizeSyntax{.leading_blanks = true,
                                        .hexadecimal = true,
                                        .min = std::numeric_limits<int64_t>::min(),
                                        .max = std::numeric_limits<int64_t>::max()};

// Room for one cipher block plus what the cipher may need beyond it.
constexpr size_t kWorkBufferSize = TransferCipherBlockSize + 16;

// Blocks moved per file read-ahead, encryption and socket write: as many as
// the cipher interleaves.
constexpr size_t kBatchBlocks = AesCipher::kInterleavedBuffers;
// The blocks of a batch sit a few cache lines apart, not at the same offset
// of their pages, where the chains' loads and stores would crowd the same
// first-level cache sets: plain blocks 192 bytes off, cipher blocks 128.
constexpr size_t kPlainSlot = TransferCipherBlockSize + 192;
constexpr size_t kWireSlot = TransferCipherBlockSize + 128;

// Fills `buffer` with up to `n` bytes, stopping only at the end of the file.
size_t ReadFully(platform::File& file, uint8_t* buffer, size_t n) {
  size_t total = 0;
  while (total < n) {
    size_t got = file.Read(buffer + total, n - total);
    if (got == 0) break;
    total += got;
  }
  return total;
}

// Encrypts the 32,767 plain bytes at the start of `work` and sends them.
void SendBlock(platform::Connection& connection, AesCipher& cipher, std::vector<uint8_t>& work) {
  size_t n = cipher.EncryptInPlace(work.data(), TransferBlockSize);
  connection.SendAll(work.data(), n);
}

void SendRequest(platform::Connection& connection, AesCipher& cipher, std::vector<uint8_t>& work,
                 const Text& request) {
  Bytes plain = TransferRequestBlock(request);
  std::memcpy(work.data(), plain.data(), TransferBlockSize);
  SendBlock(connection, cipher, work);
}

// Receives one cipher block into `work` and leaves its 32,767 plain bytes
// there, cut or zero-filled; returns the plain length the cipher gave.
size_t ReceiveBlock(platform::Connection& connection, AesCipher& cipher,
                    std::vector<uint8_t>& work) {
  connection.ReceiveExact(work.data(), TransferCipherBlockSize);
  size_t n = cipher.DecryptInPlace(work.data(), TransferCipherBlockSize);
  if (n < TransferBlockSize) std::memset(work.data() + n, 0, TransferBlockSize - n);
  return n;
}

// The data blocks of an upload, a batch at a time: read ahead, encrypt the
// batch's chains together, one gathering write. `progress(count)` runs once
// per block in order, after the block is sent, with the bytes of the file's
// `size` sent so far: a file that grows meanwhile is sent as it was at its
// size, and its last event still reaches the size. `all_sent` turns true
// only for the last block's event: the last block goes out on its own, after
// the events before it, so a handler that cancels on any earlier event keeps
// the server from getting the whole file. Raises, before the stale bytes go
// out, when the file yields fewer than `size` bytes.
template <typename Progress>
void SendFileBlocks(platform::Connection& connection, AesCipher& cipher, platform::File& file,
                    int64_t size, bool& all_sent, Progress&& progress) {
  const int64_t blocks = (size + static_cast<int64_t>(TransferBlockSize) - 1) /
                         static_cast<int64_t>(TransferBlockSize);
  // Zeros stand for "no previous block" below.
  std::vector<uint8_t> plain(kBatchBlocks * kPlainSlot, 0);
  std::vector<uint8_t> wire(kBatchBlocks * kWireSlot);
  const uint8_t* in[kBatchBlocks];
  uint8_t* out[kBatchBlocks];
  int64_t counts[kBatchBlocks];
  for (size_t i = 0; i < kBatchBlocks; ++i) {
    in[i] = plain.data() + i * kPlainSlot;
    out[i] = wire.data() + i * kWireSlot;
  }
  int64_t read = 0;
  for (int64_t k = 0; k < blocks;) {
    const size_t batch = static_cast<size_t>(std::min<int64_t>(blocks - k, kBatchBlocks));
    for (size_t i = 0; i < batch; ++i) {
      uint8_t* slot = plain.data() + i * kPlainSlot;
      const int64_t due = std::min<int64_t>(size, (k + static_cast<int64_t>(i) + 1) *
                                                       static_cast<int64_t>(TransferBlockSize));
      size_t got = ReadFully(file, slot, static_cast<size_t>(due - read));
      read += static_cast<int64_t>(got);
      // A file cut short meanwhile would send stale bytes for the rest and
      // leave a corrupt copy on the server.
      if (read < due) {
        throw Error("the file shrank while it was sent: " + std::to_string(read) + " of " +
                    std::to_string(size) + " bytes");
      }
      // A block is sent whole: after a short read the rest holds what the
      // previous block had there (the slot before, the last one for slot 0).
      if (got < TransferBlockSize) {
        const uint8_t* previous = plain.data() + (i + kBatchBlocks - 1) % kBatchBlocks * kPlainSlot;
        std::memcpy(slot + got, previous + got, TransferBlockSize - got);
      }
      counts[i] = read;
    }
    cipher.EncryptBlocks(in, out, batch, TransferBlockSize);
    k += static_cast<int64_t>(batch);
    const bool last_batch = k == blocks;
    const size_t first_part = last_batch ? batch - 1 : batch;
    if (first_part > 0) connection.SendPieces(out, first_part, TransferCipherBlockSize);
    for (size_t i = 0; i < first_part; ++i) progress(counts[i]);
    if (last_batch) {
      connection.SendPieces(out + first_part, 1, TransferCipherBlockSize);
      all_sent = true;
      progress(counts[first_part]);
    }
  }
  all_sent = true;
}

// The data blocks of a download, a batch per socket read; each block's plain
// bytes cut or zero-filled to 32,767 and written from where they were
// decrypted. `progress(count)` runs once per block in order, after its batch.
template <typename Progress>
void ReceiveFileBlocks(platform::Connection& connection, AesCipher& cipher, platform::File& file,
                       int64_t blocks, Progress&& progress) {
  std::vector<uint8_t> wire(kBatchBlocks * TransferCipherBlockSize);
  int64_t written = 0;
  for (int64_t k = 0; k < blocks;) {
    const size_t batch = static_cast<size_t>(std::min<int64_t>(blocks - k, kBatchBlocks));
    connection.ReceiveExact(wire.data(), batch * TransferCipherBlockSize);
    for (size_t i = 0; i < batch; ++i) {
      uint8_t* block = wire.data() + i * TransferCipherBlockSize;
      size_t n = cipher.DecryptInPlace(block, TransferCipherBlockSize);
      if (n < TransferBlockSize) std::memset(block + n, 0, TransferBlockSize - n);
      file.Write(block, TransferBlockSize);
    }
    for (size_t i = 0; i < batch; ++i) {
      written += static_cast<int64_t>(TransferBlockSize);
      progress(written);
    }
    k += static_cast<int64_t>(batch);
  }
}

Text TransferKey(const Text& password) { return Trim(Md5Hex(password)); }

// A server that cannot open the request block (wrong credentials) or will not
// take it (a name or size it refuses) ends the connection without a word.
constexpr char kRefusedReason[] = "refused by the server (wrong credentials?)";

// After the last block of an upload: the server ended the connection before
// it had read them all.
constexpr char kUnreadReason[] = "the server closed the connection before it read the whole file";

// How long an upload waits for the server to end the connection after the
// last block: the host's I/O time-out when it set one, else 10 s.
int32_t UploadEndWaitMs() {
  const int32_t io_ms = platform::HostTimeouts().io_ms;
  return io_ms > 0 ? io_ms : 10000;
}

// Removes the named file, if any is named, when it goes out of scope.
class TemporaryRemover {
 public:
  explicit TemporaryRemover(const Text& name) : name_(name) {}
  TemporaryRemover(const TemporaryRemover&) = delete;
  TemporaryRemover& operator=(const TemporaryRemover&) = delete;
  ~TemporaryRemover() {
    if (!name_.empty()) platform::RemoveFile(name_);
  }

 private:
  const Text& name_;
};

}  // namespace

EntryOutcome OutcomeOfCurrentException() {
  try {
    throw;
  } catch (const TransferCancelled& e) {
    return {TransferStatus::kCancelled, e.what()};
  } catch (const TimeoutError& e) {
    return {TransferStatus::kTimedOut, e.what()};
  } catch (const PlatformError& e) {
    return {TransferStatus::kFailed, std::string(e.what()) + ": " +
                                         platform::SystemErrorText(e.code())};
  } catch (const std::exception& e) {
    return {TransferStatus::kFailed, e.what()};
  } catch (...) {  // whatever else was thrown still ends the transfer
    RethrowThreadExit();
    return {TransferStatus::kFailed, "unknown failure"};
  }
}

Bytes TransferRequestBlock(const Text& request) {
  std::string utf8 = TextToUtf8(request);
  Bytes plain(TransferBlockSize, 0);
  std::memcpy(plain.data(), utf8.data(), std::min(utf8.size(), TransferBlockSize));
  return plain;
}

std::optional<int64_t> DownloadAnswerSize(const uint8_t* plain, size_t n) {
  const Text answer =
      Trim(Utf8ToText(std::string_view(reinterpret_cast<const char*>(plain), n)));
  return ParseWholeNumber(ValueFromString(answer, 1, u"^"), kSizeSyntax);
}

bool TFileTransferClient::IsFileInUse(const Text& AFileName) {
  return platform::IsFileInUse(AFileName);
}

bool TFileTransferClient::FileUpLoad(Text AHost, uint16_t APort, Text APassword,
                                     Text AClientFileName, Text AServerFileName) {
  if (IsFileInUse(AClientFileName)) {
    FOutcome = {TransferStatus::kFailed, "the local file is missing, in use or unreadable"};
    ReportFailure("upload " + TextToUtf8(AClientFileName), FOutcome.reason);
    // Nobody else would free it: the transfer thread keeps no reference.
    if (FFreeOnProgressEnd) delete this;
    return false;
  }
  return RunTransfer(Direction::kUpload, AHost, APort, APassword, AClientFileName,
                     AServerFileName);
}

bool TFileTransferClient::FileDownLoad(Text AHost, uint16_t APort, Text APassword,
                                       Text AClientFileName, Text AServerFileName) {
  return RunTransfer(Direction::kDownload, AHost, APort, APassword, AClientFileName,
                     AServerFileName);
}

// The arguments live in the caller's frame (FileUpLoad / FileDownLoad take
// them by value), so they outlive a self-deletion below.
bool TFileTransferClient::RunTransfer(Direction direction, const Text& AHost, uint16_t APort,
                                      const Text& APassword, const Text& AClientFileName,
                                      const Text& AServerFileName) {
  bool result = false;
  std::exception_ptr failure;
  // The workers turn their own failures into false; what arrives here is a
  // failed connect, which the caller gets after the end-of-call steps.
  FOutcome = {TransferStatus::kNotStarted, "not started"};
  try {
    // QVN_OPERATION_TIMEOUT_MS bounds each entry as a whole, from its connect.
    platform::Connection connection = platform::Connection::Open(
        AHost, APort, platform::HostTimeouts(), platform::Deadline::ForOperation());
    connection.EnableKeepAlive();  // a vanished server is noticed, as on the request port
    FClientFileName = AClientFileName;
    FServerFileName = AServerFileName;
    result = direction == Direction::kUpload
                 ? DoFileUpLoad(connection, APassword, AClientFileName, AServerFileName)
                 : DoFileDownLoad(connection, APassword, AClientFileName, AServerFileName);
    connection.Close();
  } catch (...) {  // the end-of-call steps run first, whatever failed
    RethrowThreadExit();
    FOutcome = OutcomeOfCurrentException();
    failure = std::current_exception();
  }
  try {
    if (FOnProcessDone) FOnProcessDone(this, AClientFileName);
  } catch (...) {  // the object must still go when FreeOnProgressEnd says so
    RethrowThreadExit();
    if (!failure) failure = std::current_exception();
  }
  // Nothing below may touch a member: the object may be gone.
  if (FFreeOnProgressEnd) delete this;
  if (failure) std::rethrow_exception(failure);
  return result;
}

void TFileTransferClient::Failed(const std::string& what) {
  FOutcome = OutcomeOfCurrentException();
  ReportFailure(what);
}

void TFileTransferClient::Refused(const std::string& what) {
  FOutcome = {TransferStatus::kFailed, kRefusedReason};
  ReportFailure(what);
}

bool TFileTransferClient::DoFileUpLoad(platform::Connection& AConnection, const Text& APassword,
                                       const Text& AClientFileName, const Text& AServerFileName) {
  bool all_sent = false;
  try {
    AesCipher cipher(TransferKey(APassword));
    platform::File file = platform::File::OpenForSharedRead(AClientFileName);
    const int64_t size = file.Size();
    std::vector<uint8_t> work(kWorkBufferSize, 0);
    SendRequest(AConnection, cipher, work,
                u"2^" + DecimalText(size) + u"^" + AServerFileName);
    SendFileBlocks(AConnection, cipher, file, size, all_sent, [&](int64_t count) {
      if (FOnUploadProgress)
        FOnUploadProgress(this, AClientFileName, AServerFileName, size, count, FTag, FIdx);
    });
    // The server answers nothing to an upload; how it ends the connection is
    // all it says: in order once it has read every block, with a reset when
    // it closed with blocks unread (wrong credentials, a crash). Waited for a
    // while only: a server that keeps the connection open is taken at its
    // silence, as before.
    AConnection.ShutdownSend();
    AConnection.WaitForPeerEnd(UploadEndWaitMs());
  } catch (const TransferCancelled&) {
    // Too late once every block has gone: only the entries after this one stop.
    if (!all_sent) {
      Failed("upload " + TextToUtf8(AClientFileName));
      return false;
    }
  } catch (const PeerEndedError&) {
    // The server reads until the last block; one that ends the connection
    // before that did not take the upload.
    if (all_sent) {
      FOutcome = {TransferStatus::kFailed, kUnreadReason};
      ReportFailure("upload " + TextToUtf8(AClientFileName), kUnreadReason);
    } else {
      Refused("upload " + TextToUtf8(AClientFileName));
    }
    return false;
  } catch (...) {  // any failure of the transfer is its answer false
    RethrowThreadExit();
    Failed("upload " + TextToUtf8(AClientFileName));
    return false;
  }
  FOutcome = {TransferStatus::kCompleted, {}};
  return true;
}

bool TFileTransferClient::DoFileDownLoad(platform::Connection& AConnection, const Text& APassword,
                                         const Text& AClientFileName,
                                         const Text& AServerFileName) {
  bool in_place = false;  // the target itself is written: no temporary beside it
  bool complete = false, failed = false;
  bool answered = false;  // the server's answer block arrived
  Text temp_name;
  // Whatever ends the download, a failure or the end of the thread itself, a
  // temporary left over goes; declared before `file`, so it is closed first
  // (Windows removes no open file).
  const TemporaryRemover remover{temp_name};
  platform::File file;
  try {
    AesCipher cipher(TransferKey(APassword));
    // A link is followed: the file it points to is the user's copy.
    const Text target = platform::ResolveReplaceTarget(AClientFileName);
    // Refused before the server is asked, as opening it would have been.
    platform::CheckDownloadTarget(target);
    try {
      file = platform::CreateTemporaryBeside(target, temp_name);
    } catch (const PlatformError& e) {
      // A folder that takes no new file, with a target that can be written:
      // written in place, left as it was until data arrives (a failed
      // download then leaves it partly overwritten). A full disk or any other
      // failure is no reason to risk the target.
      if (!platform::IsAccessDenied(e.code()) || !platform::IsRegularFile(target)) throw;
      file = platform::File::OpenExistingForWrite(target);
      in_place = true;
    }
    std::vector<uint8_t> work(kWorkBufferSize, 0);
    SendRequest(AConnection, cipher, work, u"3^0^" + AServerFileName);

    size_t n = ReceiveBlock(AConnection, cipher, work);
    answered = true;
    std::optional<int64_t> size = DownloadAnswerSize(work.data(), std::min(n, TransferBlockSize));
    if (!size.has_value()) {
      throw Error("the server's answer names no size (no such file?)");
    }
    auto progress = [&](int64_t count) {
      if (FOnDownLoadProgress)
        FOnDownLoadProgress(this, AClientFileName, AServerFileName, *size, count, FTag, FIdx);
    };
    // An event that reaches the size would tell the host the file is whole:
    // those wait until every block has arrived.
    std::vector<int64_t> held_back;
    const int64_t blocks = *size / static_cast<int64_t>(TransferBlockSize) + 1;
    ReceiveFileBlocks(AConnection, cipher, file, blocks, [&](int64_t count) {
      if (count >= *size) {
        held_back.push_back(count);
      } else {
        progress(count);
      }
    });
    file.SetEndOfFile(*size);
    const int64_t position = file.Position();
    // A deferred write error (full disk, quota) fails the download here
    // instead of leaving a short file.
    file.Flush();
    file.CloseOrRaise();
    for (int64_t count : held_back) progress(count);
    // Only a complete file replaces the user's copy, and before the final
    // event so that the host's last message means the file is in place.
    if (!in_place) platform::ReplaceWithTemporary(temp_name, target);
    temp_name.clear();
    complete = true;
    progress(position);
  } catch (const TransferCancelled&) {
    // Too late once the file is in place: only the entries after this one stop.
    failed = !complete;
    if (failed) Failed("download " + TextToUtf8(AServerFileName));
  } catch (const PeerEndedError&) {
    failed = true;
    if (answered) {
      Failed("download " + TextToUtf8(AServerFileName));
    } else {
      Refused("download " + TextToUtf8(AServerFileName));
    }
  } catch (...) {  // any failure of the transfer is its answer false
    RethrowThreadExit();
    // Once the file is in place only the last event failed (out of memory in
    // its handler): the download itself is done.
    failed = !complete;
    if (failed) {
      Failed("download " + TextToUtf8(AServerFileName));
    } else {
      ReportFailure("download " + TextToUtf8(AServerFileName) + ", its last event");
    }
  }
  if (failed) return false;
  FOutcome = {TransferStatus::kCompleted, {}};
  return true;
}

}  // namespace qvn
