#include "transfer/file_transfer_client.h"

#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <vector>

#include "base/whole_number.h"
#include "codecs/aes.h"
#include "codecs/text_crypto.h"
#include "codecs/value_list.h"
#include "platform/debug_output.h"
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

Text TransferKey(const Text& password) { return Trim(Md5Hex(password)); }

}  // namespace

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
    platform::ReportFailure("upload " + TextToUtf8(AClientFileName), "the file is in use");
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
  try {
    FFileSize = 0;
    std::optional<platform::Connection> connection;
    try {
      connection.emplace(platform::Connection::Open(AHost, APort));
      connection->EnableKeepAlive();  // a vanished server is noticed, as on the request port
      FClientFileName = AClientFileName;
      FServerFileName = AServerFileName;
      result = direction == Direction::kUpload
                   ? DoFileUpLoad(*connection, APassword, AClientFileName, AServerFileName)
                   : DoFileDownLoad(*connection, APassword, AClientFileName, AServerFileName);
    } catch (...) {
      failure = std::current_exception();
    }
    if (connection.has_value() && connection->IsOpen()) connection->Close();
    connection.reset();
    if (FOnProcessDone) FOnProcessDone(this, AClientFileName);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  // Nothing below may touch a member: the object may be gone.
  if (FFreeOnProgressEnd) delete this;
  if (failure) std::rethrow_exception(failure);
  return result;
}

bool TFileTransferClient::DoFileUpLoad(platform::Connection& AConnection, const Text& APassword,
                                       const Text& AClientFileName, const Text& AServerFileName) {
  bool result = false;
  try {
    AesCipher cipher(TransferKey(APassword));
    platform::File file = platform::File::OpenForSharedRead(AClientFileName);
    const int64_t size = file.Size();
    std::vector<uint8_t> work(kWorkBufferSize, 0);
    SendRequest(AConnection, cipher, work,
                u"2^" + DecimalText(size) + u"^" + AServerFileName);
    // The plain buffer is kept between blocks: after the short last read the
    // rest still holds the previous block's bytes, and the block goes whole.
    std::vector<uint8_t> plain(TransferBlockSize, 0);
    const int64_t blocks = (size + static_cast<int64_t>(TransferBlockSize) - 1) /
                           static_cast<int64_t>(TransferBlockSize);
    for (int64_t k = 1; k <= blocks; ++k) {
      ReadFully(file, plain.data(), TransferBlockSize);
      std::memcpy(work.data(), plain.data(), TransferBlockSize);
      SendBlock(AConnection, cipher, work);
      if (FOnUploadProgress)
        FOnUploadProgress(this, AClientFileName, AServerFileName, file.Size(), file.Position(),
                          FTag, FIdx);
    }
    result = true;
  } catch (...) {
    platform::ReportFailure("upload " + TextToUtf8(AClientFileName));
    result = false;
  }
  return result;
}

bool TFileTransferClient::DoFileDownLoad(platform::Connection& AConnection, const Text& APassword,
                                         const Text& AClientFileName,
                                         const Text& AServerFileName) {
  bool result = false;
  Text temp_name;
  platform::File file;
  try {
    AesCipher cipher(TransferKey(APassword));
    // A link is followed: the file it points to is the user's copy.
    const Text target = platform::ResolveReplaceTarget(AClientFileName);
    file = platform::CreateTemporaryBeside(target, temp_name);
    std::vector<uint8_t> work(kWorkBufferSize, 0);
    SendRequest(AConnection, cipher, work, u"3^0^" + AServerFileName);

    size_t n = ReceiveBlock(AConnection, cipher, work);
    std::optional<int64_t> size = DownloadAnswerSize(work.data(), std::min(n, TransferBlockSize));
    if (size.has_value()) {
      const int64_t blocks = *size / static_cast<int64_t>(TransferBlockSize) + 1;
      for (int64_t k = 1; k <= blocks; ++k) {
        ReceiveBlock(AConnection, cipher, work);
        file.Write(work.data(), TransferBlockSize);
        if (FOnDownLoadProgress)
          FOnDownLoadProgress(this, AClientFileName, AServerFileName, *size, file.Position(),
                              FTag, FIdx);
      }
      file.SetEndOfFile(*size);
      const int64_t position = file.Position();
      // A deferred write error (full disk, quota) fails the download here
      // instead of leaving a short file.
      file.Flush();
      file.CloseOrRaise();
      // Only a complete file replaces the user's copy, and before the final
      // event so that the host's last message means the file is in place.
      platform::ReplaceWithTemporary(temp_name, target);
      temp_name.clear();
      if (FOnDownLoadProgress)
        FOnDownLoadProgress(this, AClientFileName, AServerFileName, *size, position, FTag, FIdx);
      result = true;
    } else {
      platform::ReportFailure("download " + TextToUtf8(AServerFileName),
                              "the server's answer names no size (no such file?)");
    }
  } catch (...) {
    platform::ReportFailure("download " + TextToUtf8(AServerFileName));
    result = false;
  }
  file.Close();
  if (!temp_name.empty()) platform::RemoveFile(temp_name);
  return result;
}

}  // namespace qvn
