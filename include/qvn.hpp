// qvn.hpp: a header-only C++17 layer over the C interface of qvn.h.
//
// - Text goes in as UTF-8 (std::string_view, const char*) or UTF-16
//   (std::u16string_view, const char16_t*); results come back as std::string
//   (UTF-8) by default, or as std::u16string when asked for: DbName<std::u16string>().
// - Every result of the library is released by qvn::Result, never by hand.
// - Failure words become types: "CONNECTION_ERROR" is an empty std::optional,
//   TryConnect and UpdateIsAvailable are plain bool.
//
//   qvn::Connection server{"127.0.0.1", 7711, 7712};
//   if (auto name = server.DbName()) std::cout << *name << '\n';
//   std::cout << qvn::Script("dbpw@alice@secret\r\nlist Products").Run(server) << '\n';
#ifndef QVN_HPP_
#define QVN_HPP_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "qvn.h"

namespace qvn {

// UTF-8 <-> UTF-16. Each byte of an invalid UTF-8 sequence and each unpaired
// surrogate becomes U+FFFD.
inline std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    // Each byte of a bad sequence becomes one U+FFFD, as inside the library.
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t cp = len == 1 ? b : static_cast<char32_t>(b & (0x7F >> len));
    bool ok = len > 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      ok = (c >> 6) == 2;
      cp = (cp << 6) | (c & 0x3F);
    }
    constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
      cp = 0xFFFD;
      ++i;
    } else {
      i += len;
    }
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

inline std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && (s[i + 1] & 0xFC00) == 0xDC00) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] & 0x3FF);
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

// A text argument for the C interface, made from UTF-8 or UTF-16.
class Arg {
 public:
  Arg(std::u16string_view s) : text_(s.begin(), s.end()) {}           // NOLINT: implicit by design
  Arg(const char16_t* s) : Arg(std::u16string_view(s ? s : u"")) {}   // NOLINT
  Arg(const std::u16string& s) : Arg(std::u16string_view(s)) {}       // NOLINT
  Arg(std::string_view s) : Arg(Utf8ToUtf16(s)) {}                    // NOLINT
  Arg(const char* s) : Arg(std::string_view(s ? s : "")) {}           // NOLINT
  Arg(const std::string& s) : Arg(std::string_view(s)) {}             // NOLINT
  const qvn_char* c_str() const { return text_.c_str(); }

 private:
  std::basic_string<qvn_char> text_;  // wchar_t on Windows, char16_t elsewhere: both UTF-16
};

// Owns one text result of the C interface and releases it with ScriptFree.
class Result {
 public:
  explicit Result(qvn_char* p = nullptr) noexcept : p_(p) {}
  ~Result() { ScriptFree(p_); }
  Result(Result&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Result& operator=(Result&& other) noexcept {
    if (this != &other) {
      ScriptFree(p_);
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;

  const qvn_char* get() const { return p_; }
  bool empty() const { return p_ == nullptr || p_[0] == 0; }
  std::u16string u16() const {
    std::u16string out;
    for (const qvn_char* q = p_; q != nullptr && *q != 0; ++q) out += static_cast<char16_t>(*q);
    return out;
  }
  std::string str() const { return Utf16ToUtf8(u16()); }
  // The text as std::string (UTF-8) or std::u16string.
  template <typename S>
  S as() const {
    if constexpr (std::is_same_v<S, std::u16string>) {
      return u16();
    } else {
      static_assert(std::is_same_v<S, std::string>, "std::string or std::u16string");
      return str();
    }
  }

 private:
  qvn_char* p_;
};

// A command's answer: the server's reply, or no value when the command did
// not reach the server or failed ("CONNECTION_ERROR").
template <typename S>
std::optional<S> CommandAnswer(qvn_char* p) {
  Result r(p);
  if (r.u16() == u"CONNECTION_ERROR") return std::nullopt;
  return r.as<S>();
}

// One progress message of a file transfer (see QVN_WM_TRANSFER_PROGRESS).
struct Progress {
  std::string client_file;  // the local path
  std::string server_file;  // the server path with its prefix
  int64_t size = 0;
  int64_t count = 0;        // bytes moved so far; equal to size in the final message
  std::string percent;      // "81.92%", with the locale's decimal separator
  int32_t index = 0;        // the transfer's index, also the message's wparam
  bool upload = false;
  bool complete() const { return count == size; }

  // Reads "client*server*size*count*percent%*tag*index*Upload|Download".
  static Progress Parse(std::u16string_view text) {
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == u'*') {
        f.push_back(Utf16ToUtf8(text.substr(start, i - start)));
        start = i + 1;
      }
    }
    f.resize(8);
    auto number = [](const std::string& s) { return s.empty() ? 0 : std::stoll(s); };
    Progress p;
    p.client_file = f[0];
    p.server_file = f[1];
    p.size = number(f[2]);
    p.count = number(f[3]);
    p.percent = f[4];
    p.index = static_cast<int32_t>(number(f[6]));
    p.upload = f[7] == "Upload";
    return p;
  }
};

// The address of a server: host, request port, file port (0: no file transfers).
struct Connection {
  std::string host;
  uint16_t port = 0;
  uint16_t file_port = 0;

  // Can a TCP connection be made within timeout_ms (negative: no limit)?
  bool TryConnect(int32_t timeout_ms = 5000) const {
    return ::TryConnect(Arg(host).c_str(), port, timeout_ms);
  }
  template <typename S = std::string>
  std::optional<S> DbName() const {
    return CommandAnswer<S>(::ShowDbName(Arg(host).c_str(), port));
  }
  // The server's reply to a credentials line "dbpassword@user@userpassword".
  template <typename S = std::string>
  std::optional<S> CheckPassword(const Arg& credentials) const {
    return CommandAnswer<S>(::TryDbPassword(Arg(host).c_str(), port, credentials.c_str()));
  }
  template <typename S = std::string>
  std::optional<S> ChangePassword(const Arg& db_password, const Arg& user,
                                  const Arg& user_password, const Arg& new_password) const {
    return CommandAnswer<S>(::ChangeUniquePass(Arg(host).c_str(), port, db_password.c_str(),
                                               user.c_str(), user_password.c_str(),
                                               new_password.c_str()));
  }
  template <typename S = std::string>
  std::optional<S> MessageToFile(const Arg& message) const {
    return CommandAnswer<S>(::DbMessageFile(Arg(host).c_str(), port, message.c_str()));
  }
  template <typename S = std::string>
  std::optional<S> MessageToPipe(const Arg& message) const {
    return CommandAnswer<S>(::DbMessagePipe(Arg(host).c_str(), port, message.c_str()));
  }
  template <typename S = std::string>
  std::optional<S> MessageToTcp(const Arg& receiver_host, uint16_t receiver_port,
                                const Arg& message) const {
    return CommandAnswer<S>(::DbMessageTcp(Arg(host).c_str(), port, receiver_host.c_str(),
                                           receiver_port, message.c_str()));
  }
  // The server's answer decrypted under the user's key; an empty text when
  // the server knows no such user.
  template <typename S = std::string>
  std::optional<S> Authenticate(const Arg& user, const Arg& password) const {
    return CommandAnswer<S>(
        ::UserAuthentication(Arg(host).c_str(), port, user.c_str(), password.c_str()));
  }
  bool UpdateIsAvailable(const Arg& credentials, const Arg& table, int32_t search_field,
                         const Arg& search_text, int32_t version_field) const {
    return ::UpdateIsAvailable(Arg(host).c_str(), port, credentials.c_str(), table.c_str(),
                               search_field, search_text.c_str(), version_field);
  }
};

// A script: the credentials line, then statements, directives and file
// sections. Run returns the gathered answers ("NONE" where a request obtained
// nothing, "CONNECTION_ERROR" where a directive failed); file sections run on
// the library's own thread after Run has returned.
class Script {
 public:
  explicit Script(const Arg& text) : text_(text) {}
  ~Script() {
    // The library's transfer thread may still call the window after this
    // object is gone, and nothing tells when it ends: the state is kept for
    // the rest of the process, with the callback cut.
    if (state_ && state_->started) {
      state_->Detach();
      Kept& kept = KeptStates();
      std::lock_guard<std::mutex> lock(kept.mutex);
      kept.states.push_back(std::move(state_));
    }
  }
  Script(Script&&) = default;
  Script& operator=(Script&&) = delete;
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;

#if !defined(_WIN32)
  // Called on the library's transfer thread for every progress message: after
  // every tenth block and at the end of each transfer (count == size). A failed
  // transfer sends no final message.
  Script& OnProgress(std::function<void(const Progress&)> callback) {
    if (!state_) state_ = std::make_unique<State>();
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->callback = std::move(callback);
    return *this;
  }

  template <typename S = std::string>
  S Run(const Connection& server) {
    void* window = nullptr;
    if (state_) {
      state_->started = state_->started || server.file_port != 0;
      window = &state_->window;
    }
    return Result(::Script(window, text_.c_str(), Arg(server.host).c_str(), server.port,
                           server.file_port))
        .as<S>();
  }
#else
  // Progress goes to the window (HWND) as QVN_WM_TRANSFER_PROGRESS messages.
  template <typename S = std::string>
  S Run(const Connection& server, void* window = nullptr) {
    return Result(::Script(window, text_.c_str(), Arg(server.host).c_str(), server.port,
                           server.file_port))
        .as<S>();
  }
#endif

 private:
#if !defined(_WIN32)
  struct State {
    State() : window{&State::Proc, this} {}
    static intptr_t Proc(void* context, uint32_t message, uintptr_t, intptr_t lparam) {
      auto* self = static_cast<State*>(context);
      if (message != QVN_WM_TRANSFER_PROGRESS) return 0;
      const Progress progress =
          Progress::Parse(reinterpret_cast<const char16_t*>(lparam));
      std::lock_guard<std::mutex> lock(self->mutex);
      if (self->callback) self->callback(progress);
      return 0;
    }
    void Detach() {
      std::lock_guard<std::mutex> lock(mutex);
      callback = nullptr;
    }
    QvnWindow window;
    std::mutex mutex;
    std::function<void(const Progress&)> callback;
    bool started = false;
  };
#else
  struct State {
    bool started = false;
    void Detach() {}
  };
#endif
  struct Kept {
    std::mutex mutex;
    std::vector<std::unique_ptr<State>> states;
  };
  static Kept& KeptStates() {
    static Kept* kept = new Kept;  // never destroyed: transfer threads may outlive exit
    return *kept;
  }

  Arg text_;
  std::unique_ptr<State> state_;
};

// The text codecs, UTF-8 or UTF-16 in, the same or the other out.
template <typename S = std::string>
S Pack(const Arg& text) { return Result(::PackString(text.c_str())).as<S>(); }
template <typename S = std::string>
S Unpack(const Arg& text) { return Result(::UnPackString(text.c_str())).as<S>(); }
template <typename S = std::string>
S Encode(const Arg& text) { return Result(::DataEncode(text.c_str())).as<S>(); }
template <typename S = std::string>
S Decode(const Arg& text) { return Result(::DataDecode(text.c_str())).as<S>(); }
// Field `index` (from 0) of the trimmed source split at delimiter; no value
// when there is no such field.
template <typename S = std::string>
std::optional<S> Value(const Arg& source, int32_t index, const Arg& delimiter) {
  if (index < 0 || index >= ::ValueCount(source.c_str(), delimiter.c_str(), true)) {
    return std::nullopt;
  }
  return Result(::ValueFromString(source.c_str(), index, delimiter.c_str())).as<S>();
}
inline int32_t ValueCount(const Arg& source, const Arg& delimiter, bool count_single = true) {
  return ::ValueCount(source.c_str(), delimiter.c_str(), count_single);
}

}  // namespace qvn

#endif  // QVN_HPP_
