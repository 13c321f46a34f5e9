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

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>
#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

#if defined(_WIN32)
// For Script's own message window. Without the min and max macros, unless the
// program asked for them by including windows.h first.
#if !defined(NOMINMAX)
#define NOMINMAX
#define QVN_HPP_DEFINED_NOMINMAX_
#endif
#include <windows.h>
#if defined(QVN_HPP_DEFINED_NOMINMAX_)
#undef NOMINMAX
#undef QVN_HPP_DEFINED_NOMINMAX_
#endif

#include <thread>
#endif

#include "qvn.h"
#include "qvn_utf8.h"

namespace qvn {

// UTF-8 <-> UTF-16 by the rules of qvn_utf8.h: each maximal invalid UTF-8
// subsequence and each unpaired surrogate becomes one U+FFFD. Embedded NULs
// are kept.
inline std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
  for (size_t i = 0, used = 0; i < s.size(); i += used) {
    uint16_t units[2];
    const size_t n = qvn_utf16_encode(qvn_utf8_decode(bytes + i, s.size() - i, &used), units);
    out.append(units, units + n);
  }
  return out;
}

inline std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0, used = 0; i < s.size(); i += used) {
    char bytes[4];
    const uint32_t cp = qvn_utf16_decode(s[i], i + 1 < s.size() ? s[i + 1] : 0, &used);
    out.append(bytes, qvn_utf8_encode(cp, bytes));
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

namespace detail {

// A decimal number, 0 when the text is not one (the library's thread must not
// see an exception).
inline int64_t Number(std::u16string_view s) {
  const bool negative = !s.empty() && s[0] == u'-';
  int64_t value = 0;
  for (size_t i = negative ? 1 : 0; i < s.size(); ++i) {
    if (s[i] < u'0' || s[i] > u'9' || value > (INT64_MAX - 9) / 10) return 0;
    value = value * 10 + (s[i] - u'0');
  }
  return negative ? -value : value;
}

}  // namespace detail

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

  // Reads "client*server*size*count*percent%*tag*index*Upload|Download". File
  // names may hold "*", so the six fixed fields are taken from the right. The
  // server name begins with "..\" or ".@\": the rest is split at the first
  // "*" followed by one of them, else at its first "*" (a client path that
  // itself holds "*..\" cannot be told apart and is cut there).
  static Progress Parse(std::u16string_view text) {
    std::u16string_view fixed[6];  // Upload|Download, index, tag, percent, count, size
    for (std::u16string_view& field : fixed) {
      const size_t star = text.rfind(u'*');
      if (star == text.npos) return Progress{};
      field = text.substr(star + 1);
      text = text.substr(0, star);
    }
    size_t star = (std::min)(text.find(u"*..\\"), text.find(u"*.@\\"));  // (): a windows.h macro
    if (star == text.npos) star = text.find(u'*');
    if (star == text.npos) return Progress{};
    Progress p;
    p.client_file = Utf16ToUtf8(text.substr(0, star));
    p.server_file = Utf16ToUtf8(text.substr(star + 1));
    p.size = detail::Number(fixed[5]);
    p.count = detail::Number(fixed[4]);
    p.percent = Utf16ToUtf8(fixed[3]);
    p.index = static_cast<int32_t>(detail::Number(fixed[1]));
    p.upload = fixed[0] == u"Upload";
    return p;
  }
};

// What an answer means: the failure it stands for, or kNone when it is data
// (the same table as every binding's, docs/api.md "What each answer means").
// Connection's calls already give no value for kConnectionFailed; the other
// failures come back as the text, which FailureOf names:
//   if (qvn::FailureOf("Script", answer) == qvn::Failure::kRefused) ...
enum class Failure { kNone, kConnectionFailed, kNoAnswer, kRefused };

namespace detail {
struct AnswerRow {
  const char* call;  // an export, or "*" for every command of Connection
  const char16_t* answer;
  Failure failure;
};
// BEGIN: made from bindings/answers.tsv by scripts/answer_tables.py
inline constexpr AnswerRow kAnswerRows[] = {
    {"*", u"CONNECTION_ERROR", Failure::kConnectionFailed},
    {"Script", u"NONE", Failure::kNoAnswer},
    {"Script", u"", Failure::kRefused},
    {"UserAuthentication", u"", Failure::kRefused},
    {"ChangeUniquePass", u"DENIED", Failure::kRefused},
    {"TryDbPassword", u"DENIED", Failure::kNone},
    {"TryDbPassword", u"OK", Failure::kNone},
};
// END: made from bindings/answers.tsv
}  // namespace detail

// `call` is the export's name ("Script", "UserAuthentication", ...); `answer`
// its answer as UTF-8 or UTF-16.
inline Failure FailureOf(std::string_view call, std::u16string_view answer) {
  const std::u16string_view blanks = u" \t\r\n";
  const size_t first = answer.find_first_not_of(blanks);
  answer = first == std::u16string_view::npos
               ? std::u16string_view()
               : answer.substr(first, answer.find_last_not_of(blanks) - first + 1);
  const bool command = call != "Script" && call != "UpdateIsAvailable" && call != "TryConnect";
  Failure any = Failure::kNone;
  for (const detail::AnswerRow& row : detail::kAnswerRows) {
    if (answer != row.answer) continue;
    if (call == row.call) return row.failure;
    if (command && std::string_view(row.call) == "*") any = row.failure;
  }
  return any;
}
inline Failure FailureOf(std::string_view call, std::string_view utf8_answer) {
  const std::u16string answer = Utf8ToUtf16(utf8_answer);
  return FailureOf(call, std::u16string_view(answer));
}

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

// What a progress callback asks for: go on, or end the running transfer at
// once and start no further entry of the same Run.
enum class Next { kContinue, kCancel };

// How one file entry of a script ended (QVN_WM_TRANSFER_OUTCOME).
struct TransferOutcome {
  std::string client_file;
  std::string server_file;  // with its "..\" or ".@\" prefix
  bool upload = false;
  int32_t status = QVN_TRANSFER_COMPLETED;  // QVN_TRANSFER_...
  std::string reason;                        // empty when completed
  bool completed() const { return status == QVN_TRANSFER_COMPLETED; }
};

// What became of the transfers of a script's runs.
struct TransferReport {
  bool started = false;   // some file entry was carried out, skipped or dropped
  uint32_t begun = 0;     // entries a transfer was begun for
  uint32_t failed = 0;    // entries that did not complete, skipped ones included
  std::vector<TransferOutcome> outcomes;  // one per entry, in script order
  bool ok() const { return failed == 0; }
};

// What a script's run gave: its answers, and how its file entries ended.
template <typename S = std::string>
struct RunResult {
  S answers;
  TransferReport transfers;
};

// A script: the credentials line, then statements, directives and file
// sections. Run returns the gathered answers ("NONE" where a request obtained
// nothing, "CONNECTION_ERROR" where a directive failed); file sections run on
// the library's own thread after Run has returned, and WaitForTransfers waits
// for them.
//
// Every Run hands the library a window of this object's own (Linux: a
// QvnWindow record, Windows: a message-only window), and the library sends it
// exactly one QVN_WM_TRANSFERS_DONE per Script call: from its transfer thread
// when one started, else from Script itself. Counting those messages is all
// the waiting there is; the header never reads the script.
class Script {
 public:
  explicit Script(const Arg& text) : text_(text) {}
  ~Script() {
    // The library's transfer thread may still call the window after this
    // object is gone, and nothing but its last message tells when it ends:
    // until then the state is kept, callback cut (for the rest of the
    // process if that message never comes).
    if (state_ && state_->Busy()) {
      state_->Detach();
      Kept& kept = KeptStates();
      std::lock_guard<std::mutex> lock(kept.mutex);
      auto& states = kept.states;
      states.erase(std::remove_if(states.begin(), states.end(), [](auto& s) { return !s->Busy(); }),
                   states.end());
      states.push_back(std::move(state_));
    }
  }
  Script(Script&&) = default;
  Script& operator=(Script&&) = delete;
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;

  // Called for every progress message: after every tenth block and at the end
  // of each transfer (count == size); on Linux on the library's transfer
  // thread, on Windows on the thread of this object's window. The callback
  // returns void, or Next: Next::kCancel cancels. An exception out of it
  // cancels too, and WaitForTransfers throws it.
  template <typename F>
  Script& OnProgress(F callback) {
    State& state = GetState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.callback = [f = std::move(callback)](const Progress& p) mutable {
      if constexpr (std::is_void_v<std::invoke_result_t<F&, const Progress&>>) {
        f(p);
        return Next::kContinue;
      } else {
        return static_cast<Next>(f(p));
      }
    };
    return *this;
  }

  // Cancels the running transfers at their next progress message; from any thread.
  void Cancel() { GetState().cancel = true; }

  template <typename S = std::string>
  S Run(const Connection& server) {
    State& state = GetState();
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      ++state.runs;  // before the call: its done message may come at once
    }
    return Result(::Script(state.Handle(), text_.c_str(), Arg(server.host).c_str(), server.port,
                           server.file_port))
        .as<S>();
  }

  // Run, then WaitForTransfers, on a thread of their own: the future is ready
  // once the library has sent its last message for this run. Cancel() ends
  // the transfers (they then report QVN_TRANSFER_CANCELLED); an exception of
  // the progress callback comes out of get(). The callback runs where it does
  // for Run. The thread shares this object's state, so the Script may be
  // destroyed first; a std::future of std::async waits for the thread when it
  // is destroyed.
  template <typename S = std::string>
  std::future<RunResult<S>> RunAsync(const Connection& server) {
    std::shared_ptr<State> state = state_ ? state_ : (state_ = std::make_shared<State>());
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      ++state->runs;  // counted before this returns: ~Script then keeps the state
    }
    return std::async(std::launch::async, [state, text = text_, server]() {
      RunResult<S> ran{Result(::Script(state->Handle(), text.c_str(), Arg(server.host).c_str(),
                                       server.port, server.file_port))
                           .as<S>(),
                       {}};
      ran.transfers = state->Wait();
      return ran;
    });
  }

#if defined(_WIN32)
  // Progress goes to the host's own window (HWND) as QVN_WM_TRANSFER_PROGRESS
  // messages, and the outcome and done messages after it; this object neither
  // sees them nor waits for them.
  template <typename S = std::string>
  S Run(const Connection& server, void* window) {
    return Result(::Script(window, text_.c_str(), Arg(server.host).c_str(), server.port,
                           server.file_port))
        .as<S>();
  }
#endif

  // Blocks until the transfers of every Run so far have ended and says how
  // each entry ended (started false when no Run had a file entry).
  TransferReport WaitForTransfers() { return GetState().Wait(); }

 private:
  enum class Message { kProgress, kOutcome, kDone, kOther };

  // What the library's window receives, on whichever thread delivers it.
  struct Inbox {
    intptr_t Receive(Message message, uintptr_t wparam, intptr_t lparam) {
      std::lock_guard<std::mutex> lock(mutex);
      if (message == Message::kProgress && lparam != 0) {
        if (!cancel && callback) {
          try {
            const auto* text = reinterpret_cast<const qvn_char*>(lparam);
            if (callback(Progress::Parse(U16Of(text))) == Next::kCancel) cancel = true;
#if defined(__GLIBCXX__)
          } catch (const abi::__forced_unwind&) {  // a callback that ends its thread
            throw;
#endif
          } catch (...) {
            error = std::current_exception();
            cancel = true;
          }
        }
        return cancel ? QVN_CANCEL_TRANSFERS : 0;
      }
      if (message == Message::kOutcome && lparam != 0) {
        const auto& o = *reinterpret_cast<const QvnTransferOutcome*>(lparam);
        report.started = true;
        report.outcomes.push_back({Utf16ToUtf8(U16Of(o.client_file)),
                                   Utf16ToUtf8(U16Of(o.server_file)), o.upload != 0, o.status,
                                   Utf16ToUtf8(U16Of(o.reason))});
      } else if (message == Message::kDone) {
        report.begun += static_cast<uint32_t>(wparam);
        report.failed += static_cast<uint32_t>(lparam);
        ++dones;
        changed.notify_all();
      }
      return 0;
    }
    // qvn_char is wchar_t on Windows, char16_t elsewhere: UTF-16 both.
    static std::u16string U16Of(const qvn_char* text) {
      std::u16string u16;
      for (; text != nullptr && *text != 0; ++text) u16 += static_cast<char16_t>(*text);
      return u16;
    }
    TransferReport Wait() {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return dones >= runs; });
      if (error) std::rethrow_exception(std::exchange(error, nullptr));
      return report;
    }
    void Detach() {
      std::lock_guard<std::mutex> lock(mutex);
      callback = nullptr;
    }
    bool Busy() {
      std::lock_guard<std::mutex> lock(mutex);
      return dones < runs;
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::function<Next(const Progress&)> callback;
    std::atomic<bool> cancel{false};
    std::exception_ptr error;
    TransferReport report;
    size_t runs = 0;   // Script calls made with this window
    size_t dones = 0;  // transfers-done messages received
  };

#if !defined(_WIN32)
  // Linux: the library calls proc directly, on Script's thread or its own.
  struct State : Inbox {
    State() : window{&State::Proc, this} {}
    static intptr_t Proc(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam) {
      const Message kind = message == QVN_WM_TRANSFER_PROGRESS  ? Message::kProgress
                           : message == QVN_WM_TRANSFER_OUTCOME ? Message::kOutcome
                           : message == QVN_WM_TRANSFERS_DONE   ? Message::kDone
                                                                : Message::kOther;
      return static_cast<State*>(context)->Receive(kind, wparam, lparam);
    }
    void* Handle() { return &window; }
    QvnWindow window;
  };
#else
  // Windows: the library sends window messages, with SendMessageW from its
  // transfer thread, which waits until the window's thread has handled each.
  // A window on the caller's thread would stall the transfers (and deadlock
  // WaitForTransfers) whenever that thread is not pumping messages, so the
  // window is a message-only window on a thread of its own that does nothing
  // but pump. It is closed, and the thread joined, only once every done
  // message has arrived (see ~Script).
  struct State : Inbox {
    State() {
      std::mutex m;
      std::condition_variable ready;
      bool created = false;
      thread = std::thread([&] {
        HWND hwnd = CreateWindowExW(0, ClassName(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    OwnModule(), nullptr);
        if (hwnd != nullptr) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        {
          std::lock_guard<std::mutex> lock(m);
          window = hwnd;
          created = true;
          ready.notify_all();
        }
        MSG msg;
        while (hwnd != nullptr && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
      });
      std::unique_lock<std::mutex> lock(m);
      ready.wait(lock, [&] { return created; });
      if (window == nullptr) {
        lock.unlock();
        thread.join();
        throw std::runtime_error("qvn: cannot create the window for transfer messages");
      }
    }
    ~State() {
      PostMessageW(window, WM_CLOSE, 0, 0);  // DefWindowProc destroys it; WM_DESTROY ends the loop
      thread.join();
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    void* Handle() { return window; }

    static HMODULE OwnModule() {
      HMODULE module = nullptr;
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&State::WndProc), &module);
      return module;
    }
    static const wchar_t* ClassName() {
      static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &State::WndProc;
        wc.hInstance = OwnModule();
        wc.lpszClassName = L"QvnHppTransferWindow";
        return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
      }();
      (void)registered;
      return L"QvnHppTransferWindow";
    }
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
      static const UINT outcome = RegisterWindowMessageW(QVN_WM_TRANSFER_OUTCOME_NAME);
      static const UINT done = RegisterWindowMessageW(QVN_WM_TRANSFERS_DONE_NAME);
      auto* self = reinterpret_cast<State*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      if (msg == WM_DESTROY) PostQuitMessage(0);
      const Message kind = msg == QVN_WM_TRANSFER_PROGRESS ? Message::kProgress
                           : outcome != 0 && msg == outcome ? Message::kOutcome
                           : done != 0 && msg == done       ? Message::kDone
                                                            : Message::kOther;
      if (self == nullptr || kind == Message::kOther) return DefWindowProcW(hwnd, msg, wparam, lparam);
      return self->Receive(kind, wparam, lparam);
    }
    HWND window = nullptr;
    std::thread thread;
  };
#endif

  State& GetState() {
    if (!state_) state_ = std::make_shared<State>();
    return *state_;
  }
  struct Kept {
    std::mutex mutex;
    std::vector<std::shared_ptr<State>> states;
  };
  static Kept& KeptStates() {
    static Kept* kept = new Kept;  // never destroyed: transfer threads may outlive exit
    return *kept;
  }

  Arg text_;
  std::shared_ptr<State> state_;  // shared with the threads of RunAsync
};

// Sets the time-outs of every connection this process makes, in milliseconds
// (0: no limit): QVN_CONNECT_TIMEOUT_MS bounds each TCP connect,
// QVN_IO_TIMEOUT_MS each wait for the peer (QVN_OPERATION_TIMEOUT_MS, a whole
// exchange or file entry, is left as it is). They are environment variables
// that the library reads once, at its first connection: call this before any
// other qvn call (later it changes nothing), and not while other threads
// read the environment.
inline void SetTimeouts(uint32_t connect_ms, uint32_t io_ms) {
  const std::string connect = std::to_string(connect_ms), io = std::to_string(io_ms);
#if defined(_WIN32)
  _putenv_s("QVN_CONNECT_TIMEOUT_MS", connect.c_str());
  _putenv_s("QVN_IO_TIMEOUT_MS", io.c_str());
#else
  setenv("QVN_CONNECT_TIMEOUT_MS", connect.c_str(), 1);
  setenv("QVN_IO_TIMEOUT_MS", io.c_str(), 1);
#endif
}

// The bound a time-out variable's value sets, by the library's rule: 0 (no
// limit) for the empty value or zeros, else the number of a plain decimal of
// at most nine ASCII digits; none for anything else (malformed).
inline std::optional<uint32_t> TimeoutMs(std::string_view value) {
  if (value.size() > 9) return std::nullopt;
  uint32_t ms = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    ms = ms * 10 + static_cast<uint32_t>(c - '0');
  }
  return ms;
}

// A time-out variable that holds a malformed value (what() names the variable
// and the value).
class ConfigurationError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The library reads a malformed QVN_CONNECT_TIMEOUT_MS, QVN_IO_TIMEOUT_MS or
// QVN_OPERATION_TIMEOUT_MS as no limit. This header reports failures as
// values, so its calls do not refuse on their own: a host that wants the
// bindings' refusal calls this once, before the first call that connects,
// and gets ConfigurationError for a malformed variable of the environment
// the library reads.
inline void CheckTimeouts() {
  for (const char* name : {"QVN_CONNECT_TIMEOUT_MS", "QVN_IO_TIMEOUT_MS",
                           "QVN_OPERATION_TIMEOUT_MS"}) {
#if defined(_WIN32)
    std::wstring wide_name(name, name + std::char_traits<char>::length(name));
    std::wstring wide(GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0), L'\0');
    if (!wide.empty()) {
      wide.resize(GetEnvironmentVariableW(wide_name.c_str(), wide.data(),
                                          static_cast<DWORD>(wide.size())));
    }
    const std::string value =
        Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
#else
    const char* set = std::getenv(name);
    const std::string value = set != nullptr ? set : "";
#endif
    if (!TimeoutMs(value)) {
      throw ConfigurationError(std::string(name) + " is \"" + value +
                               "\": not a whole number of milliseconds from 0 to 999999999");
    }
  }
}

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
