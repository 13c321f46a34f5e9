// The soak: every export from several host threads against a chaos server
// (soak/chaos.h) for a bounded time or count, with the host's time-outs set.
// Every answer is held against what a correct server gives: the right answer
// or one of the documented failure answers, never another value. Files are
// compared byte for byte with the server's data folder, and the process's
// memory, descriptors and threads, and the longest wait, are checked at the
// end. Exit status 0 only when nothing was wrong.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "platform/executable_path.h"
#include "platform/replace_file.h"
#include "qvn.h"
#include "soak/chaos.h"
#include "soak/system_posix.h"

namespace qvn::soak {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char16_t kHost[] = u"127.0.0.1";
constexpr char16_t kDbName[] = u"Soak Base";
constexpr char16_t kCredentials[] = u"dbpw@soak@secret";
// A trickled reply takes up to this long (300 bytes at about 2 ms), and a
// loaded machine may add this much to any wait.
constexpr int kTrickleMs = 1500;
constexpr int kSlackMs = 3000;
// After warm-up, resident memory may grow by this much and no more.
constexpr uint64_t kRssAllowanceKib = 16 << 10;
constexpr int kDescriptorAllowance = 2;
constexpr int kThreadAllowance = 0;

struct Options {
  double seconds = 60;
  uint64_t count = 0;  // 0: no limit
  uint64_t seed = 0;
  int threads = 8;
  int connect_ms = 1000, io_ms = 1500;
  int disk_mib = 8;
  std::string server;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

Text Take(qvn_char* result) {
  Text out = result == nullptr ? Text() : Text(result);
  ScriptFree(result);
  return out;
}

std::string Utf8(const Text& t) { return TextToUtf8(t); }

// What one run found, per worker, merged at the end.
struct Tally {
  uint64_t operations = 0, right = 0, wrong_count = 0;
  std::map<std::string, uint64_t> failures;  // documented failure answers, by kind
  std::map<std::string, uint64_t> wrong;     // in words (the first 20 kinds), and how often
  uint64_t uploads = 0, uploads_completed = 0, downloads = 0, downloads_completed = 0;
  uint64_t files_compared = 0, over_long = 0, lost_to_kills = 0;
  double longest_ms = 0, longest_bound_ms = 0;
  std::string longest_what;
  double longest_gap_ms = 0;

  void Merge(const Tally& o) {
    operations += o.operations;
    right += o.right;
    wrong_count += o.wrong_count;
    for (const auto& [k, v] : o.failures) failures[k] += v;
    for (const auto& [w, n] : o.wrong) {
      if (wrong.size() < 20 || wrong.count(w)) wrong[w] += n;
    }
    uploads += o.uploads;
    uploads_completed += o.uploads_completed;
    downloads += o.downloads;
    downloads_completed += o.downloads_completed;
    files_compared += o.files_compared;
    lost_to_kills += o.lost_to_kills;
    over_long += o.over_long;
    if (o.longest_ms / o.longest_bound_ms > longest_ms / std::max(longest_bound_ms, 1.0)) {
      longest_ms = o.longest_ms;
      longest_bound_ms = o.longest_bound_ms;
      longest_what = o.longest_what;
    }
    longest_gap_ms = std::max(longest_gap_ms, o.longest_gap_ms);
  }
};

// Follows one Script call's transfer messages: the entry's outcome, the done
// message, and the longest silence between two messages.
class TransferWatch {
 public:
  TransferWatch() : last_(Clock::now()) {}
  void* handle() { return &window_; }
  bool WaitForDone(int timeout_ms) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return done_; });
  }
  // Valid once done.
  int status() const { return status_; }
  intptr_t incomplete() const { return incomplete_; }
  int outcomes() const { return outcomes_; }
  double longest_gap_ms() const { return longest_gap_ms_; }

 private:
  static intptr_t Proc(void* context, uint32_t message, uintptr_t, intptr_t lparam) {
    auto* self = static_cast<TransferWatch*>(context);
    std::lock_guard<std::mutex> lock(self->mu_);
    const auto now = Clock::now();
    self->longest_gap_ms_ = std::max(self->longest_gap_ms_, Ms(now - self->last_));
    self->last_ = now;
    if (message == QVN_WM_TRANSFER_OUTCOME) {
      self->status_ = reinterpret_cast<const QvnTransferOutcome*>(lparam)->status;
      ++self->outcomes_;
    } else if (message == QVN_WM_TRANSFERS_DONE) {
      self->incomplete_ = lparam;
      self->done_ = true;
      self->cv_.notify_all();
    }
    return 0;
  }

  QvnWindow window_{&TransferWatch::Proc, this};
  std::mutex mu_;
  std::condition_variable cv_;
  Clock::time_point last_;
  double longest_gap_ms_ = 0;
  int status_ = -1, outcomes_ = 0;
  intptr_t incomplete_ = -1;
  bool done_ = false;
};

struct Setup {
  Options options;
  const std::atomic<uint64_t>* kills = nullptr;  // the chaos server's kills so far
  uint16_t port = 0, file_port = 0;
  std::string data;  // the server's data folder
  std::string host;  // the host's own files, relative to the working folder
};

// One host thread's share: its own table, server files, user and local
// files, so that what a correct server holds is known from its own calls.
class Worker {
 public:
  Worker(const Setup& setup, int index, uint64_t seed)
      : s_(setup),
        index_(index),
        random_(seed),
        table_(u"W" + DecimalText(index)),
        user_(u"u" + DecimalText(index)),
        password_(u"pw" + DecimalText(index)),
        local_(setup.host + "/w" + std::to_string(index)) {
    std::filesystem::create_directories(local_);
    for (int k = 0; k < 3; ++k) {
      targets_[k] = Bytes(1000 + k);
      WriteWholeFile(Target(k), targets_[k]);
    }
  }

  // What the worker's files and table hold is known on entry (Learn).
  void Learn() {
    for (int k = 0; k < 2; ++k) stored_[k] = ServerFile(k);
  }

  // Until the deadline, or until the operations left fall to `floor`.
  void Run(Clock::time_point deadline, std::atomic<int64_t>& budget, int64_t floor,
           const volatile int& stop) {
    while (Clock::now() < deadline && !stop && budget.load() > floor) {
      const uint64_t before = tally_.operations;
      Step();
      budget -= static_cast<int64_t>(tally_.operations - before);
    }
  }

  Tally& tally() { return tally_; }

 private:
  uint64_t Draw(uint64_t below) { return random_() % below; }

  std::string Bytes(size_t n) {
    std::string b(n, '\0');
    for (char& c : b) c = static_cast<char>(random_());
    return b;
  }

  Text Word(size_t n) {
    static const char16_t kLetters[] =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    Text w;
    for (size_t i = 0; i < n; ++i) w += kLetters[Draw(62)];
    return w;
  }

  std::string Target(int k) const { return local_ + "/down" + std::to_string(k) + ".bin"; }
  Text ServerName(int k) const {
    return u"..\\w" + DecimalText(index_) +
           (k == 2 ? u"\\never.bin" : u"\\f" + DecimalText(k) + u".bin");
  }
  std::optional<std::string> ServerFile(int k) const {
    std::string bytes;
    const std::string path =
        s_.data + "/files/w" + std::to_string(index_) + "/f" + std::to_string(k) + ".bin";
    if (!std::filesystem::exists(path) || !ReadWholeFile(path, &bytes)) return std::nullopt;
    return bytes;
  }

  void Right() { ++tally_.right; }
  void Failure(const std::string& kind) { ++tally_.failures[kind]; }
  void Wrong(const std::string& what) {
    ++tally_.wrong_count;
    if (tally_.wrong.size() < 20 || tally_.wrong.count(what)) ++tally_.wrong[what];
  }
  // The documented failure answers of the commands.
  bool CommandFailure(const Text& r) {
    if (r == u"CONNECTION_ERROR") return Failure("CONNECTION_ERROR"), true;
    if (r.empty()) return Failure("empty answer"), true;
    return false;
  }

  // Times one call against its bound: `connects` TCP connects and
  // `replies` waits for a reply.
  template <typename Call>
  auto Timed(const char* what, int connects, int replies, Call call) {
    const auto start = Clock::now();
    auto result = call();
    const double ms = Ms(Clock::now() - start);
    const double bound =
        connects * s_.options.connect_ms + replies * (s_.options.io_ms + kTrickleMs) + kSlackMs;
    ++tally_.operations;
    if (ms > bound) {
      ++tally_.over_long;
      Wrong(std::string(what) + " took " + std::to_string(static_cast<int>(ms)) + " ms, bound " +
            std::to_string(static_cast<int>(bound)) + " ms");
    }
    if (ms / bound > tally_.longest_ms / std::max(tally_.longest_bound_ms, 1.0)) {
      tally_.longest_ms = ms;
      tally_.longest_bound_ms = bound;
      tally_.longest_what = what;
    }
    return result;
  }

  Text RunScript(const char* what, const Text& script, int connects, int replies) {
    return Timed(what, connects, replies,
                 [&] { return Take(::Script(nullptr, script.c_str(), kHost, s_.port, 0)); });
  }

  void Step() {
    const uint64_t roll = Draw(100);
    if (roll < 16) return PutAndGet();
    if (roll < 22) return Get();
    if (roll < 24 && index_ == 0) return ClearSyncAndGet();
    if (roll < 36) return Upload();
    if (roll < 48) return Download();
    if (roll < 52) return Probe();
    if (roll < 58) return DbName();
    if (roll < 64) return CheckPassword();
    if (roll < 68) return ChangePassword();
    if (roll < 74) return Message();
    if (roll < 80) return Authenticate();
    if (roll < 84) return UpdateCheck();
    return Codecs();
  }

  // The value stored in the worker's table; the set of what it may be when
  // a change's answer was lost. A put the server answered with an error
  // (its table file written, its journal not: the disk is full) is undone
  // in its memory but not in the file, so a restart may bring it back: such
  // values stay possible for good.
  bool Known(const Text& v) const { return values_.count(v) > 0 || unsettled_.count(v) > 0; }

  void PutAndGet() {
    const Text value = Word(1 + Draw(40));
    const Text r = RunScript("Script put+get",
                             Text(kCredentials) + u"\r\nput " + table_ + u"[0,1]=" + value +
                                 u"\r\nget " + table_ + u"[0,1]",
                             1, 1);
    if (r == u"OK 1\r\n" + value) {
      values_ = {value};
      return Right();
    }
    if (r == u"NONE" || r.empty()) {
      values_.insert(value);
      return Failure(r.empty() ? "empty answer" : "NONE");
    }
    const size_t line = r.find(u"\r\n");
    // The server could not store the change (the disk is full): the old value stays.
    if (r.rfind(u"ERROR: ", 0) == 0 && line != Text::npos && Known(r.substr(line + 2))) {
      values_ = {r.substr(line + 2)};
      unsettled_.insert(value);
      return Failure("server ERROR (disk full)");
    }
    Wrong("Script put+get answered '" + Utf8(r.substr(0, 200)) + "'");
  }

  void Get() {
    const Text r =
        RunScript("Script get", Text(kCredentials) + u"\r\nget " + table_ + u"[0,1]", 1, 1);
    if (Known(r)) {
      values_ = {r};
      return Right();
    }
    if (r == u"NONE" || r.empty()) return Failure(r.empty() ? "empty answer" : "NONE");
    Wrong("Script get answered '" + Utf8(r.substr(0, 200)) + "'");
  }

  void ClearSyncAndGet() {
    const Text r =
        RunScript("Script CLEARSYNC+get",
                  Text(kCredentials) + u"\r\nCLEARSYNC\r\nget " + table_ + u"[0,1]", 3, 2);
    const size_t line = r.find(u"\r\n");
    const Text first = line == Text::npos ? Text() : r.substr(0, line);
    const Text rest = line == Text::npos ? r : r.substr(line + 2);
    const bool cleared =
        first.rfind(u"OK ", 0) == 0 && first.find(u" changes cleared") != Text::npos;
    const bool directive_ok =
        cleared || first == u"CONNECTION_ERROR" || first.rfind(u"ERROR: ", 0) == 0;
    const bool get_ok = Known(rest) || rest == u"NONE";
    if (r == u"NONE" || (line != Text::npos && directive_ok && get_ok)) {
      if (Known(rest)) values_ = {rest};
      return cleared && Known(rest) ? Right() : Failure("CLEARSYNC or get failed");
    }
    // An empty directive answer leaves only the get's.
    if (line == Text::npos && (Known(r) || r.empty())) return Failure("empty CLEARSYNC answer");
    Wrong("Script CLEARSYNC+get answered '" + Utf8(r.substr(0, 200)) + "'");
  }

  // One file entry through Script; its outcome status, or -1 when the done
  // message never came.
  int Transfer(bool upload, const std::string& local, const Text& server) {
    auto watch = std::make_unique<TransferWatch>();
    const Text script = Text(kCredentials) +
                        (upload ? u"\r\nFILES [UPLOAD]\r\n{" : u"\r\nFILES [DOWNLOAD]\r\n{") +
                        Utf8ToText(local) + u" , " + server + u"}";
    const Text r =
        Timed(upload ? "Script upload (the call)" : "Script download (the call)", 1, 1, [&] {
          return Take(::Script(watch->handle(), script.c_str(), kHost, s_.port, s_.file_port));
        });
    if (r.rfind(u"File transfer started : ", 0) != 0) {
      Wrong("Script with a file section answered '" + Utf8(r.substr(0, 200)) + "'");
    }
    // Only a transfer that never reports its end counts against the time;
    // its silences are held against their bound below.
    if (!watch->WaitForDone(120000)) {
      Wrong(std::string(upload ? "upload" : "download") + " sent no done message in 120 s");
      // Its thread may still call it: the watch must outlive that thread.
      (void)watch.release();
      return -1;
    }
    const double gap_bound = s_.options.connect_ms + 2 * (s_.options.io_ms + kTrickleMs) + kSlackMs;
    tally_.longest_gap_ms = std::max(tally_.longest_gap_ms, watch->longest_gap_ms());
    if (watch->longest_gap_ms() > gap_bound) {
      ++tally_.over_long;
      Wrong(std::string(upload ? "upload" : "download") + " was silent for " +
            std::to_string(static_cast<int>(watch->longest_gap_ms())) + " ms, bound " +
            std::to_string(static_cast<int>(gap_bound)) + " ms");
    }
    if (watch->outcomes() != 1 ||
        (watch->incomplete() == 0) != (watch->status() == QVN_TRANSFER_COMPLETED)) {
      Wrong("transfer reported " + std::to_string(watch->outcomes()) + " outcomes, status " +
            std::to_string(watch->status()) + ", incomplete " +
            std::to_string(watch->incomplete()));
    }
    return watch->status();
  }

  static const char* StatusName(int status) {
    switch (status) {
      case QVN_TRANSFER_FAILED:
        return "transfer FAILED";
      case QVN_TRANSFER_SKIPPED:
        return "transfer SKIPPED";
      case QVN_TRANSFER_TIMED_OUT:
        return "transfer TIMED_OUT";
      case QVN_TRANSFER_CANCELLED:
        return "transfer CANCELLED";
      case QVN_TRANSFER_NOT_STARTED:
        return "transfer NOT_STARTED";
      default:
        return "transfer without outcome";
    }
  }

  // Sizes from empty to 600 KiB, most of them small.
  size_t FileSize() {
    const uint64_t roll = Draw(100);
    if (roll < 5) return 0;
    if (roll < 50) return 1 + Draw(64 << 10);
    return 1 + Draw(600 << 10);
  }

  void Upload() {
    const int k = static_cast<int>(Draw(2));
    const std::string local = local_ + "/up.bin", content = Bytes(FileSize());
    WriteWholeFile(local, content);
    ++tally_.uploads;
    const uint64_t kills = *s_.kills;
    const int status = Transfer(true, local, ServerName(k));
    std::optional<std::string> now = ServerFile(k);
    // An upload gets no answer: the server's silence for the I/O time-out
    // after the last block also counts as completed, and a starved server may
    // still be storing the file then. It gets a few seconds to finish.
    for (int i = 0; i < 50 && status == QVN_TRANSFER_COMPLETED && now != content; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      now = ServerFile(k);
    }
    ++tally_.files_compared;
    if (status == QVN_TRANSFER_COMPLETED) {
      ++tally_.uploads_completed;
      if (now != content && now == stored_[k] && *s_.kills != kills) {
        // An upload gets no answer: a server killed after it read the last
        // block ends the connection in order (or a slow one was silent for
        // the I/O time-out), and the client rightly reports completed while
        // the file stays as it was. The protocol cannot tell; such losses
        // are counted, not held against the library.
        ++tally_.lost_to_kills;
      } else if (now != content) {
        Wrong("upload of " + std::to_string(content.size()) +
              " bytes completed, the server holds " +
              (now ? std::to_string(now->size()) + " other bytes" : std::string("no file")));
      } else {
        Right();
      }
    } else if (now != stored_[k] && now != content) {
      Wrong("a failed upload left the server file neither old nor new");
    } else if (status >= 0) {
      Failure(StatusName(status));
    }
    stored_[k] = now;
  }

  void Download() {
    const int k = static_cast<int>(Draw(3));
    ++tally_.downloads;
    const int status = Transfer(false, Target(k), ServerName(k));
    const std::optional<std::string> server = k == 2 ? std::nullopt : ServerFile(k);
    std::string target;
    const bool readable = ReadWholeFile(Target(k), &target);
    ++tally_.files_compared;
    if (status == QVN_TRANSFER_COMPLETED) {
      ++tally_.downloads_completed;
      if (!server || !readable || target != *server) {
        Wrong("download completed, the target (" + std::to_string(target.size()) +
              " bytes) differs from the server's file");
      } else {
        Right();
      }
      targets_[k] = target;
    } else {
      if (!readable || target != targets_[k])
        Wrong("a failed download altered its target");
      else if (status >= 0)
        Failure(StatusName(status));
    }
    for (const auto& e : std::filesystem::directory_iterator(local_)) {
      if (platform::IsTemporaryFileName(Utf8ToText(e.path().filename().string()))) {
        Wrong("a download left its temporary file " + e.path().filename().string());
        std::filesystem::remove(e.path());
      }
    }
  }

  void Probe() {
    const bool up = Timed("TryConnect", 1, 0, [&] { return TryConnect(kHost, s_.port, 1000); });
    up ? Right() : Failure("false");
  }

  void DbName() {
    const Text r = Timed("ShowDbName", 2, 1, [&] { return Take(ShowDbName(kHost, s_.port)); });
    if (r == kDbName) return Right();
    if (!CommandFailure(r)) Wrong("ShowDbName answered '" + Utf8(r.substr(0, 200)) + "'");
  }

  void CheckPassword() {
    const bool good = Draw(2) == 0;
    const Text line = good ? Text(kCredentials) : Text(u"dbpw@soak@wrong");
    const Text r = Timed("TryDbPassword", 2, 1,
                         [&] { return Take(TryDbPassword(kHost, s_.port, line.c_str())); });
    if (r == (good ? u"OK" : u"DENIED")) return Right();
    if (!CommandFailure(r)) Wrong("TryDbPassword answered '" + Utf8(r.substr(0, 200)) + "'");
  }

  // The password is "changed" to itself, or asked to change under a wrong
  // old one, so that it is always known.
  void ChangePassword() {
    const bool good = Draw(2) == 0;
    const Text old = good ? password_ : u"nope";
    const Text r = Timed("ChangeUniquePass", 2, 1, [&] {
      return Take(
          ChangeUniquePass(kHost, s_.port, u"dbpw", user_.c_str(), old.c_str(), password_.c_str()));
    });
    if (r == (good ? u"OK" : u"DENIED")) return Right();
    if (good && r.rfind(u"ERROR: ", 0) == 0) return Failure("server ERROR (disk full)");
    if (!CommandFailure(r)) Wrong("ChangeUniquePass answered '" + Utf8(r.substr(0, 200)) + "'");
  }

  void Message() {
    const Text text = u"soak " + Word(8);
    const uint64_t channel = Draw(3);
    const Text r = Timed("DbMessage*", 2, 1, [&] {
      if (channel == 0) return Take(DbMessagePipe(kHost, s_.port, text.c_str()));
      if (channel == 1) return Take(DbMessageFile(kHost, s_.port, text.c_str()));
      return Take(DbMessageTcp(kHost, s_.port, u"10.255.255.1", 9, text.c_str()));
    });
    // A receiver outside loopback is refused without any traffic.
    if (channel == 2 && r == u"ERROR: receiver 10.255.255.1 is not a loopback address")
      return Right();
    if (channel != 2 && r == u"OK") return Right();
    if (channel != 2 && r.rfind(u"ERROR: ", 0) == 0) return Failure("server ERROR (disk full)");
    if (!CommandFailure(r)) Wrong("DbMessage answered '" + Utf8(r.substr(0, 200)) + "'");
  }

  void Authenticate() {
    const bool good = Draw(2) == 0;
    const Text password = good ? password_ : u"bad";
    const Text r = Timed("UserAuthentication", 1, 1, [&] {
      return Take(UserAuthentication(kHost, s_.port, user_.c_str(), password.c_str()));
    });
    if (good ? r == u"OK " + user_ : r.empty()) return Right();
    if (!CommandFailure(r)) Wrong("UserAuthentication answered '" + Utf8(r.substr(0, 200)) + "'");
  }

  // No record names the application: false whatever happens. The stored
  // version equals this program's: false, or true when the second request
  // failed (documented), which cannot be told apart here.
  void UpdateCheck() {
    const bool missing = Draw(2) == 0;
    const Text app = missing ? u"nosuchapp" : u"soakapp";
    const bool r = Timed("UpdateIsAvailable", 2, 2, [&] {
      return UpdateIsAvailable(kHost, s_.port, kCredentials, u"Versions", 0, app.c_str(), 1);
    });
    if (!r) return Right();
    if (missing)
      return Wrong("UpdateIsAvailable found an update for an application no record names");
    Failure("true (second request failed)");
  }

  Text CodecText() {
    static const char16_t kChars[] = u"ab;&,\t{}# éü€xyz019";
    Text t = Word(1);
    for (size_t i = 0, n = Draw(60); i < n; ++i) t += kChars[Draw(sizeof kChars / 2 - 1)];
    if (Draw(4) == 0) t += u"\r\nline";
    return t + Word(1);
  }

  void Codecs() {
    const Text t = CodecText();
    const Text packed = Timed("PackString", 0, 0, [&] { return Take(PackString(t.c_str())); });
    const Text unpacked =
        Timed("UnPackString", 0, 0, [&] { return Take(UnPackString(packed.c_str())); });
    unpacked == t ? Right() : Wrong("UnPackString(PackString(t)) differs from t");
    const Text encoded = Timed("DataEncode", 0, 0, [&] { return Take(DataEncode(t.c_str())); });
    const Text decoded =
        Timed("DataDecode", 0, 0, [&] { return Take(DataDecode(encoded.c_str())); });
    decoded == t&& encoded.find_first_of(u",\t\r\n{}") == Text::npos
        ? Right()
        : Wrong(
              "DataDecode(DataEncode(t)) differs from t, or the escaping let a separator through");
    std::vector<Text> fields;
    Text joined;
    for (size_t i = 0, n = 2 + Draw(6); i < n; ++i) {
      fields.push_back(Word(1 + Draw(5)));
      joined += (i ? u"@" : u"") + fields.back();
    }
    const int32_t count =
        Timed("ValueCount", 0, 0, [&] { return ValueCount(joined.c_str(), u"@", false); });
    count == static_cast<int32_t>(fields.size()) ? Right() : Wrong("ValueCount miscounted");
    const size_t i = Draw(fields.size());
    const Text field = Timed("ValueFromString", 0, 0, [&] {
      return Take(ValueFromString(joined.c_str(), static_cast<int32_t>(i), u"@"));
    });
    field == fields[i] ? Right() : Wrong("ValueFromString gave the wrong field");
  }

  const Setup& s_;
  const int index_;
  std::mt19937_64 random_;
  const Text table_, user_, password_;
  const std::string local_;
  std::set<Text> values_{u"init"}, unsettled_;
  std::optional<std::string> stored_[2];
  std::string targets_[3];
  Tally tally_;
};

// Runs the workers' threads until the deadline or the budget; joins them.
void RunPhase(std::vector<std::unique_ptr<Worker>>& workers, Clock::time_point deadline,
              std::atomic<int64_t>& budget, int64_t floor, const volatile int& stop) {
  std::vector<std::thread> threads;
  for (auto& w : workers) {
    threads.emplace_back([&, wp = w.get()] { wp->Run(deadline, budget, floor, stop); });
  }
  for (std::thread& t : threads) t.join();
}

// Waits (bounded) until the library's transfer threads have ended, so that
// the figures count only what stays.
ProcessFigures SettledFigures(int threads_expected) {
  ReleaseFreeMemory();
  ProcessFigures f = ReadProcessFigures();
  for (int i = 0; i < 50 && f.threads > threads_expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    f = ReadProcessFigures();
  }
  return f;
}

bool Parse(int argc, char** argv, Options& o) {
  bool seeded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string k = argv[i];
    if (k == "--help" || i + 1 >= argc) {
      std::printf(
          "usage: qvn_soak [--seconds S] [--count N] [--seed N] [--threads N]\n"
          "                [--connect-timeout-ms N] [--io-timeout-ms N] [--disk-mib N] [--server "
          "PATH]\n");
      return false;
    }
    const std::string v = argv[++i];
    if (k == "--seconds")
      o.seconds = std::stod(v);
    else if (k == "--count")
      o.count = std::stoull(v);
    else if (k == "--seed")
      o.seed = std::stoull(v), seeded = true;
    else if (k == "--threads")
      o.threads = std::clamp(std::stoi(v), 1, 64);
    else if (k == "--connect-timeout-ms")
      o.connect_ms = std::stoi(v);
    else if (k == "--io-timeout-ms")
      o.io_ms = std::stoi(v);
    else if (k == "--disk-mib")
      o.disk_mib = std::max(4, std::stoi(v));
    else if (k == "--server")
      o.server = v;
    else {
      std::fprintf(stderr, "qvn_soak: unknown option %s\n", k.c_str());
      return false;
    }
  }
  if (!seeded) o.seed = static_cast<uint64_t>(Clock::now().time_since_epoch().count()) % 1000000007;
  if (!o.server.empty()) o.server = std::filesystem::absolute(o.server).string();
  if (o.server.empty()) {
    const std::string self = TextToUtf8(platform::ExecutablePath());
    o.server = self.substr(0, self.rfind('/')) + "/qvn-server";
  }
  return true;
}

void Row(const std::string& what, const std::string& value) {
  std::printf("| %s | %s |\n", what.c_str(), value.c_str());
}

std::string Mib(uint64_t kib) {
  char b[32];
  std::snprintf(b, sizeof b, "%.1f MiB", kib / 1024.0);
  return b;
}

// The chaos process: serves until the soak closes its end of `control`,
// then reports its counts on `report`.
[[noreturn]] void ChaosProcess(const ChaosOptions& options, LinePipe& control, LinePipe& report,
                               int limit_ms) {
  control.KeepReadEnd();
  report.KeepWriteEnd();
  {
    ChaosServer chaos(options);
    chaos.Start();
    report.WriteLine(std::to_string(chaos.port()) + " " + std::to_string(chaos.file_port()));
    control.WaitForEnd(limit_ms);
    chaos.Stop();
    report.WriteLine(chaos.counts().Line());
  }
  std::fflush(stdout);
  ::_exit(0);
}

int Soak(const Options& o) {
  volatile int stop = 0;
  StopOnSignals(&stop);
  KeepLargeBlocksApart();
  const std::string scratch = MakeScratchFolder();
  struct Cleanup {
    std::string path;
    ~Cleanup() { RemoveTree(path); }
  } cleanup{scratch};
  int failures = 0;
  auto fail = [&](const std::string& why) {
    std::printf("| FAILED | %s |\n", why.c_str());
    ++failures;
  };
  if (::chdir(scratch.c_str()) != 0) return 2;
  Setup setup;
  setup.options = o;
  setup.host = "host";
  std::unique_ptr<SmallDisk> disk = std::make_unique<SmallDisk>(scratch + "/disk", o.disk_mib);
  setup.data = scratch + "/disk/data";
  {
    std::vector<std::string> init = {o.server,        "init", setup.data, "--db-name",  "Soak Base",
                                     "--db-password", "dbpw", "--user",   "soak:secret"};
    for (int i = 0; i < o.threads; ++i) {
      init.push_back("--user");
      init.push_back("u" + std::to_string(i) + ":pw" + std::to_string(i));
    }
    ChildProcess server_init(init, {scratch + "/server.log", false, 0});
    if (server_init.Wait(30000) != 0) {
      std::fprintf(stderr, "qvn_soak: %s init failed\n", o.server.c_str());
      return 2;
    }
  }
  // Most of the small disk is taken before the soak starts, so that uploads
  // fill the rest soon and keep meeting a full disk.
  if (disk->mounted()) {
    const uint64_t free = disk->FreeBytes();
    WriteWholeFile(scratch + "/disk/filler",
                   std::string(free > (3u << 20) ? free - (3u << 20) : 0, 'f'));
  }

  // The chaos process is forked while this one still has a single thread.
  ChaosOptions chaos{o.server, setup.data, scratch + "/server.log", disk->file_size_limit(),
                     o.seed,   o.io_ms};
  LinePipe control, report;
  SharedCounter kills;
  chaos.kills = &kills.value();
  setup.kills = &kills.value();
  const int limit_ms = static_cast<int>(o.seconds * 1000) + 120000;
  const pid_t chaos_pid = ForkChild();
  if (chaos_pid == 0) ChaosProcess(chaos, control, report, limit_ms);
  control.KeepWriteEnd();
  report.KeepReadEnd();
  if (chaos_pid < 0) return 2;
  unsigned port = 0, file_port = 0;
  if (std::sscanf(report.ReadLine(20000).c_str(), "%u %u", &port, &file_port) != 2) {
    std::fprintf(stderr, "qvn_soak: the chaos server did not start\n");
    return 2;
  }
  setup.port = static_cast<uint16_t>(port);
  setup.file_port = static_cast<uint16_t>(file_port);

  // The host's bounds, read once by the library at its first call.
  ::setenv("QVN_CONNECT_TIMEOUT_MS", std::to_string(o.connect_ms).c_str(), 1);
  ::setenv("QVN_IO_TIMEOUT_MS", std::to_string(o.io_ms).c_str(), 1);

  std::printf("| Soak | Figure |\n|---|---|\n");
  Row("seed", std::to_string(o.seed) + " (`--seed` repeats the chaos server's choices)");
  Row("run", std::to_string(o.threads) + " host threads, " +
                 std::to_string(static_cast<int>(o.seconds)) + " s" +
                 (o.count ? ", stopping after " + std::to_string(o.count) + " operations" : "") +
                 "; QVN_CONNECT_TIMEOUT_MS=" + std::to_string(o.connect_ms) +
                 ", QVN_IO_TIMEOUT_MS=" + std::to_string(o.io_ms));
  Row("server's disk", disk->how());
  std::fflush(stdout);

  // What the tables hold at the start: every worker's record and the
  // version record. Retried through the chaos.
  const auto setup_deadline = Clock::now() + std::chrono::seconds(60);
  Text script = Text(kCredentials) + u"\r\nput Versions[0,1]=soakapp\r\nput Versions[1,1]=1.2.0.15";
  Text expected = u"OK 1\r\nOK 1";
  for (int i = 0; i < o.threads; ++i) {
    script += u"\r\nput W" + DecimalText(i) + u"[0,1]=init";
    expected += u"\r\nOK 1";
  }
  while (Take(::Script(nullptr, script.c_str(), kHost, setup.port, 0)) != expected) {
    if (Clock::now() > setup_deadline || stop) {
      fail("the tables could not be set up through the chaos server in 60 s");
      return 1;
    }
  }

  std::vector<std::unique_ptr<Worker>> workers;
  std::mt19937_64 seeds(o.seed);
  for (int i = 0; i < o.threads; ++i)
    workers.push_back(std::make_unique<Worker>(setup, i, seeds()));
  for (auto& w : workers) w->Learn();

  // Warm-up: the first fifth of the run (at most 10 s, or a fifth of the
  // count), after which the process's figures must not grow.
  const ProcessFigures first = ReadProcessFigures();
  const auto start = Clock::now();
  const double warm_s = std::min(10.0, o.seconds / 5);
  std::atomic<int64_t> budget{o.count ? static_cast<int64_t>(o.count) : INT64_MAX};
  RunPhase(workers, start + std::chrono::milliseconds(static_cast<int>(warm_s * 1000)), budget,
           o.count ? static_cast<int64_t>(o.count - o.count / 5) : 0, stop);
  const ProcessFigures warm = SettledFigures(first.threads);
  RunPhase(workers, start + std::chrono::milliseconds(static_cast<int>(o.seconds * 1000)), budget,
           0, stop);
  const double elapsed = Ms(Clock::now() - start) / 1000;
  const ProcessFigures end = SettledFigures(first.threads);

  control.CloseWriteEnd();
  const std::string counts = report.ReadLine(30000);
  const int chaos_status = WaitForChild(chaos_pid, 10000);

  Tally all;
  for (auto& w : workers) all.Merge(w->tally());
  char b[256];
  std::snprintf(b, sizeof b, "%llu in %.0f s (%.0f a second)", (unsigned long long)all.operations,
                elapsed, all.operations / std::max(elapsed, 0.001));
  Row("operations", b);
  Row("right answers", std::to_string(all.right));
  std::string kinds;
  uint64_t failed = 0;
  for (const auto& [k, v] : all.failures) {
    kinds += (kinds.empty() ? "" : ", ") + k + " " + std::to_string(v);
    failed += v;
  }
  Row("documented failure answers", std::to_string(failed) + (kinds.empty() ? "" : ": " + kinds));
  Row("wrong answers", std::to_string(all.wrong_count));
  for (const auto& [w, n] : all.wrong)
    Row("wrong", w + (n > 1 ? " (" + std::to_string(n) + " times)" : ""));
  Row("files compared byte for byte",
      std::to_string(all.files_compared) + ": uploads " + std::to_string(all.uploads) + " (" +
          std::to_string(all.uploads_completed) + " completed), downloads " +
          std::to_string(all.downloads) + " (" + std::to_string(all.downloads_completed) +
          " completed); completed uploads the server lost because it was killed meanwhile: " +
          std::to_string(all.lost_to_kills));
  Row("chaos server", counts.empty() ? "no counts (it did not report)" : counts);
  Row("resident memory", Mib(first.rss_kib) + " at the start, " + Mib(warm.rss_kib) +
                             " after warm-up, " + Mib(end.rss_kib) + " at the end (allowance +" +
                             Mib(kRssAllowanceKib) + ")");
  Row("open descriptors", std::to_string(first.descriptors) + " / " +
                              std::to_string(warm.descriptors) + " / " +
                              std::to_string(end.descriptors) + " (allowance +" +
                              std::to_string(kDescriptorAllowance) + ")");
  Row("threads", std::to_string(first.threads) + " / " + std::to_string(warm.threads) + " / " +
                     std::to_string(end.threads) + " (allowance +" +
                     std::to_string(kThreadAllowance) + ")");
  std::snprintf(b, sizeof b,
                "%.0f ms (%s) against its bound of %.0f ms; transfers: longest silence %.0f ms "
                "against %d ms; %llu over their bound",
                all.longest_ms, all.longest_what.c_str(), all.longest_bound_ms, all.longest_gap_ms,
                o.connect_ms + 2 * (o.io_ms + kTrickleMs) + kSlackMs,
                (unsigned long long)all.over_long);
  Row("longest wait", b);
  if (all.wrong_count > 0)
    fail(std::to_string(all.wrong_count) +
         " wrong answers, lost or altered files or over-long waits");
  if (end.rss_kib > warm.rss_kib + kRssAllowanceKib) fail("resident memory grew");
  if (end.descriptors > warm.descriptors + kDescriptorAllowance) fail("descriptors grew");
  if (end.threads > warm.threads + kThreadAllowance) fail("threads grew");
  if (all.operations == 0) fail("no operation ran");
  if (chaos_status != 0 || counts.empty()) fail("the chaos process did not end cleanly");
  if (stop) fail("stopped by a signal");
  Row("verdict", failures == 0 ? "PASS" : "FAIL");
  std::fflush(stdout);
  disk.reset();
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace qvn::soak

int main(int argc, char** argv) {
  qvn::soak::Options options;
  if (!qvn::soak::Parse(argc, argv, options)) return 2;
  return qvn::soak::Soak(options);
}
