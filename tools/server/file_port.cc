#include "file_port.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "codecs/aes.h"
#include "codecs/text_crypto.h"
#include "credentials.h"
#include "files.h"
#include "log.h"
#include "platform/error_text.h"
#include "platform/folders.h"
#include "platform/replace_file.h"

namespace qvn::server {
namespace {

struct Request {
  bool upload = false;
  uint64_t size = 0;
  Text name;
  CredentialsLine who;
  std::unique_ptr<AesCipher> cipher;
};

// The plain request block: UTF-8 text, then zeros to the end.
std::optional<std::string> RequestText(const uint8_t* plain, size_t n) {
  if (n != kPlainBlock) return std::nullopt;
  size_t end = 0;
  while (end < n && plain[end] != 0) ++end;
  for (size_t i = end; i < n; ++i) {
    if (plain[i] != 0) return std::nullopt;
  }
  std::string text(reinterpret_cast<const char*>(plain), end);
  if (text.rfind("2^", 0) != 0 && text.rfind("3^0^", 0) != 0) return std::nullopt;
  return text;
}

// The client keys its blocks with Md5Hex of its credentials line, which the
// server cannot see: it tries the lines of its known users and takes the
// first one under which the block is a valid request.
std::optional<Request> OpenRequest(const Store& store, const uint8_t* block) {
  std::vector<uint8_t> work(kCipherBlock + 16);
  for (const CredentialsLine& c : KnownCredentialsLines(store)) {
    auto cipher = std::make_unique<AesCipher>(Md5Hex(c.line));
    std::memcpy(work.data(), block, kCipherBlock);
    size_t n = cipher->DecryptInPlace(work.data(), kCipherBlock);
    auto text = RequestText(work.data(), n);
    if (!text) continue;
    Request r;
    r.who = c;
    r.cipher = std::move(cipher);
    if ((*text)[0] == '3') {
      r.name = Utf8ToText(text->substr(4));
      return r;
    }
    size_t caret = text->find('^', 2);
    std::string digits = text->substr(2, caret == std::string::npos ? std::string::npos : caret - 2);
    if (caret == std::string::npos || digits.empty() || digits.size() > 19 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    r.upload = true;
    r.size = std::stoull(digits);
    r.name = Utf8ToText(text->substr(caret + 1));
    return r;
  }
  return std::nullopt;
}

bool Below(const std::string& path, const std::string& root) {
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                          path[root.size()] == '/');
}

std::string RealPath(const std::string& path) {
  return TextToUtf8(platform::RealPath(Utf8ToText(path)));
}

// The root a server name leads to, links resolved.
std::string RootOf(const Store& store, const Text& name) {
  return RealPath(TextToUtf8(name).rfind(".@", 0) == 0 ? store.content_root() : store.files_root());
}

// Where `path` leads: links resolved in the part that exists, the rest (which
// MapServerName keeps free of "." and "..") appended as written. Empty when a
// part exists but cannot be resolved (a dangling link, a loop).
std::string WhereItLeads(const std::string& path) {
  std::string head = path, tail;
  for (;;) {
    std::string real = RealPath(head);
    if (!real.empty()) return real + tail;
    size_t slash = head.rfind('/');
    if (platform::KindOf(Utf8ToText(head)) != platform::PathKind::kMissing ||
        slash == std::string::npos || slash == 0) {
      return {};
    }
    tail = head.substr(slash) + tail;
    head.resize(slash);
  }
}

// The file a download sends; closed when it cannot be opened.
platform::File OpenForReading(const std::string& path) {
  try {
    return platform::File::OpenForSharedRead(Utf8ToText(path));
  } catch (const std::exception&) {
    return platform::File();
  }
}

// Fills a plain block from the file; the bytes it got, short only at the end.
size_t ReadBlock(platform::File& file, uint8_t* block) {
  size_t got = 0;
  try {
    while (got < kPlainBlock) {
      size_t n = file.Read(block + got, kPlainBlock - got);
      if (n == 0) break;
      got += n;
    }
  } catch (const PlatformError& e) {
    throw FileError(std::string("cannot read: ") + platform::SystemErrorText(e.code()));
  }
  return got;
}

void SendAnswer(Peer& peer, AesCipher& cipher, const std::string& text) {
  std::vector<uint8_t> block(kCipherBlock + 16, 0);
  std::memcpy(block.data(), text.data(), std::min(text.size(), kPlainBlock));
  cipher.EncryptInPlace(block.data(), kPlainBlock);
  peer.connection.SendAll(block.data(), kCipherBlock);
}

// Reads the blocks an upload announces and throws them away, so the client
// that is refused still finishes its side cleanly.
void DropBlocks(Peer& peer, uint64_t blocks) {
  std::vector<uint8_t> block(kCipherBlock);
  for (uint64_t k = 0; k < blocks; ++k) peer.connection.ReceiveExact(block.data(), kCipherBlock);
}

// Runs one step of storing an upload. An upload gets no answer, so a client
// that sent every block takes an orderly end for success: a file that cannot
// be stored (a full disk) resets the connection instead. False then.
template <typename Step>
bool StoreStep(Peer& peer, const Request& r, Step step) {
  try {
    step();
    return true;
  } catch (const std::exception& e) {
    Log(peer.name, "upload of '" + TextToUtf8(r.name) + "' not stored: " + e.what() +
                       "; connection reset");
    peer.connection.Abort();
    return false;
  }
}

void Upload(Store& store, const Options& options, Peer& peer, Request& r) {
  uint64_t blocks = (r.size + kPlainBlock - 1) / kPlainBlock;
  std::string refused;
  std::optional<std::string> path = MapServerName(store, r.name);
  if (!r.who.has_user) refused = "uploads need a user";
  else if (!path) refused = "refused server name";
  else if (r.size > options.max_upload_bytes) refused = "upload above the size limit";
  // Before any folder is made: a link on the way must not lead out of the root.
  else if (!Below(WhereItLeads(*path), RootOf(store, r.name))) refused = "path leads outside its root";
  if (refused.empty()) {
    try {
      MakeDirs(path->substr(0, path->rfind('/')));
    } catch (const std::exception& e) {
      refused = e.what();
    }
    if (refused.empty() && IsDirectory(*path)) refused = "a folder has that name";
  }
  std::optional<ReplacementFile> file;
  if (refused.empty()) {
    try {
      file.emplace(*path);
    } catch (const std::exception& e) {
      refused = e.what();
    }
  }
  if (!refused.empty()) {
    Log(peer.name, "upload of '" + TextToUtf8(r.name) + "' refused: " + refused);
    DropBlocks(peer, blocks);
    return;
  }
  // A batch of blocks per socket read; each block's plain bytes written from
  // where they were decrypted (the last block only up to the size).
  constexpr size_t kBatch = 8;
  std::vector<uint8_t> wire(kBatch * kCipherBlock);
  uint64_t left = r.size;
  for (uint64_t k = 0; k < blocks;) {
    size_t batch = static_cast<size_t>(std::min<uint64_t>(blocks - k, kBatch));
    peer.connection.ReceiveExact(wire.data(), batch * kCipherBlock);
    for (size_t i = 0; i < batch; ++i) {
      uint8_t* block = wire.data() + i * kCipherBlock;
      if (r.cipher->DecryptInPlace(block, kCipherBlock) != kPlainBlock) {
        throw ConnectionError("data block does not decrypt");
      }
      size_t part = static_cast<size_t>(std::min<uint64_t>(left, kPlainBlock));
      if (!StoreStep(peer, r, [&] { file->Write(block, part); })) return;
      left -= part;
    }
    k += batch;
  }
  if (!StoreStep(peer, r, [&] { file->Commit(); })) return;
  LogInfo(peer.name, "upload '" + TextToUtf8(r.name) + "' " + std::to_string(r.size) + " bytes");
}

void Download(Store& store, Peer& peer, Request& r) {
  std::optional<std::string> path = MapServerName(store, r.name);
  // The client reads field 1 as the size: a word there tells it no.
  std::string refused;
  platform::File file;
  if (!path) {
    refused = "ERROR^REFUSED";
  } else {
    std::string root = RootOf(store, r.name);
    std::string real = RealPath(*path);
    if (real.empty() || !FileExists(real)) refused = "ERROR^NOT_FOUND";
    else if (!Below(real, root)) refused = "ERROR^REFUSED";
    else file = OpenForReading(real);
    if (refused.empty() && !file.IsOpen()) refused = "ERROR^NOT_READABLE";
  }
  if (!refused.empty()) {
    Log(peer.name, "download of '" + TextToUtf8(r.name) + "' refused: " + refused.substr(6));
    SendAnswer(peer, *r.cipher, refused);
    return;
  }
  uint64_t size = static_cast<uint64_t>(file.Size());
  // A batch of blocks per gathering write, encrypted side by side by the
  // library's multi-chain path; plain and cipher blocks sit a few cache lines
  // apart, not at the same offset of their pages.
  constexpr size_t kBatch = AesCipher::kInterleavedBuffers;
  constexpr size_t kSlot = kCipherBlock + 192, kWireSlot = kCipherBlock + 128;
  std::vector<uint8_t> plain(kBatch * kSlot), wire(kBatch * kWireSlot);
  const uint8_t* in[kBatch];
  uint8_t* out[kBatch];
  for (size_t i = 0; i < kBatch; ++i) {
    in[i] = plain.data() + i * kSlot;
    out[i] = wire.data() + i * kWireSlot;
  }
  SendAnswer(peer, *r.cipher, "OK^" + std::to_string(size));
  // One block more than a whole multiple needs: the client expects it.
  uint64_t blocks = size / kPlainBlock + 1;
  for (uint64_t k = 0; k < blocks;) {
    size_t batch = static_cast<size_t>(std::min<uint64_t>(blocks - k, kBatch));
    for (size_t i = 0; i < batch; ++i) {
      uint8_t* block = plain.data() + i * kSlot;
      size_t got = ReadBlock(file, block);
      // Past the end of the file the block is zero.
      std::memset(block + got, 0, kPlainBlock - got);
    }
    r.cipher->EncryptBlocks(in, out, batch, kPlainBlock);
    peer.connection.SendPieces(out, batch, kCipherBlock);
    k += batch;
  }
  LogInfo(peer.name, "download '" + TextToUtf8(r.name) + "' " + std::to_string(size) + " bytes");
}

}  // namespace

std::optional<std::string> MapServerName(const Store& store, TextView name) {
  std::string root;
  if (name.substr(0, 3) == u"..\\" || name.substr(0, 3) == u"../") {
    root = store.files_root();
  } else if (name.substr(0, 3) == u".@\\" || name.substr(0, 3) == u".@/") {
    root = store.content_root();
  } else {
    return std::nullopt;
  }
  TextView rest = name.substr(3);
  if (rest.empty() || rest[0] == u'\\' || rest[0] == u'/') return std::nullopt;
  std::string path = root;
  size_t start = 0;
  bool any = false;
  while (start <= rest.size()) {
    size_t end = rest.find_first_of(u"\\/", start);
    if (end == TextView::npos) end = rest.size();
    TextView part = rest.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (part == u"." || part == u"..") return std::nullopt;
    if (part.find_first_of(TextView(u":\0", 2)) != TextView::npos) return std::nullopt;
    if (platform::IsTemporaryFileName(part)) return std::nullopt;  // a replacement in progress
    std::string utf8 = TextToUtf8(part);
    if (utf8.size() > 255) return std::nullopt;
    path += "/" + utf8;
    any = true;
  }
  if (!any) return std::nullopt;
  // A trailing separator names a folder, not a file.
  if (rest.back() == u'\\' || rest.back() == u'/') return std::nullopt;
  return path;
}

uint64_t FileTraffic::Begin() {
  std::lock_guard<std::mutex> lock(mu_);
  uint64_t id = next_++;
  open_[id] = std::nullopt;
  return id;
}

void FileTraffic::Named(uint64_t id, const std::string& upload_path) {
  std::lock_guard<std::mutex> lock(mu_);
  open_[id] = upload_path;
  cv_.notify_all();
}

void FileTraffic::End(uint64_t id) {
  std::lock_guard<std::mutex> lock(mu_);
  open_.erase(id);
  cv_.notify_all();
}

void FileTraffic::WaitForEarlierUploads(uint64_t id, const std::string& path, int timeout_ms) {
  std::unique_lock<std::mutex> lock(mu_);
  cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    for (const auto& [other, name] : open_) {
      if (other >= id) break;
      if (!name || *name == path) return false;
    }
    return true;
  });
}

void ServeFileConnection(Store& store, const Options& options, Peer& peer, FileTraffic& traffic,
                         uint64_t id) {
  std::vector<uint8_t> block(kCipherBlock);
  peer.connection.ReceiveExact(block.data(), kCipherBlock);
  std::optional<Request> r = OpenRequest(store, block.data());
  if (!r) {
    // Nothing to answer under: an unknown key or not a request at all.
    traffic.Named(id, std::string());
    Log(peer.name, "file request under no known credentials; connection closed");
    return;
  }
  std::string path = MapServerName(store, r->name).value_or(std::string());
  if (r->upload) {
    traffic.Named(id, path);
    Upload(store, options, peer, *r);
  } else {
    traffic.Named(id, std::string());
    if (!path.empty()) traffic.WaitForEarlierUploads(id, path, options.timeout_ms);
    Download(store, peer, *r);
  }
}

}  // namespace qvn::server
