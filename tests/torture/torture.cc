// The torture runner: each operation runs once to count the fallible requests
// it makes of the system (allocations, sockets, files, threads, the cipher),
// then once per request with that one failing, and every run must end as the
// documentation says a failure ends: the right answer or a documented failure
// answer, no lost or altered file, no temporary left, one done message with
// the right counts, no descriptor or thread left behind, no leak.
//
//   qvn_torture [--all] [--op NAME] [--at N] [--cli PATH]
//
// Run against a stand-in server: QVN_TEST_PORT, QVN_TEST_FILE_PORT and
// QVN_TEST_DATA say where (tests/win/with_server.sh sets them). Without --all
// a shallow pass tries at most kShallowPoints requests per operation, chosen by
// a seed that changes every month; --all tries every one. The library is armed
// through the environment (QVN_FAIL_AT, QVN_FAULT_RUN, QVN_FAULT_REPORT), so
// the same runner drives the objects linked in, qvn.dll and the CLI.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "qvn.h"
#include "support/progress_window.h"
#include "support/temp_file.h"
#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include "support/server_process_posix.h"
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVN_TORTURE_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(QVN_TORTURE_ASAN)
#include <sanitizer/lsan_interface.h>
#define QVN_TORTURE_LEAK_CHECK 1
#endif

namespace qvn::testing {
namespace {

namespace fs = std::filesystem;

constexpr size_t kShallowPoints = 12;
constexpr int kTransferWaitMs = 30000;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

std::string Utf8(const Text& t) { return TextToUtf8(t); }

// The exports' text type is wchar_t on Windows, char16_t elsewhere.
const qvn_char* W(const Text& t) { return reinterpret_cast<const qvn_char*>(t.c_str()); }

Text TakeResult(qvn_char* p) {
  Text out = p == nullptr ? Text() : Text(reinterpret_cast<const char16_t*>(p));
  ScriptFree(p);
  return out;
}

// What one run showed: the answer to compare, and anything wrong beyond it.
struct Observation {
  std::string answer;
  std::vector<std::string> faults;
  size_t stray_files = 0;  // beside a download's target
};

// Arms the library under test through the environment, as any program over
// it can (the objects linked in here, qvn.dll, the CLI's libqvn.so), and
// reads back what it counted.
class Plan {
 public:
  struct Report {
    uint64_t calls = 0;
    std::string failed = "-";  // the kind of request made to fail
  };
  explicit Plan(std::string report) : report_(std::move(report)) { Set("QVN_FAULT_REPORT", report_); }
  // Request `at` of the run to come fails (0: none, only counted).
  void Arm(uint64_t at) {
    std::error_code ec;
    fs::remove(report_, ec);
    Set("QVN_FAIL_AT", std::to_string(at));
    Set("QVN_FAULT_RUN", std::to_string(++run_));
  }
  Report Read() const {
    Report r;
    if (FILE* f = std::fopen(report_.c_str(), "r")) {
      unsigned long long n = 0;
      char kind[32] = "-";
      if (std::fscanf(f, "%llu %31s", &n, kind) >= 1) r = {n, kind};
      std::fclose(f);
    }
    return r;
  }

 private:
  static void Set(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _putenv((name + "=" + value).c_str());  // the C runtime the DLL reads too
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
  }
  std::string report_;
  uint64_t run_ = 0;
};

struct Operation {
  std::string name;
  // Answers that a failure may give besides the undisturbed run's own.
  std::set<std::string> failure_answers;
  std::function<Observation()> run;
  // Where the answer is made of parts that fail apart (Script's directives
  // and request): whether `seen` is one the documentation allows.
  std::function<bool(const std::string& seen, const std::string& undisturbed)> allowed = nullptr;
};

// The process's open descriptors and threads, which every run must give back.
struct Resources {
  size_t descriptors = 0, threads = 0;
  static Resources Now() {
    Resources r;
#ifdef __linux__
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
      ++r.descriptors;
    for (auto it = fs::directory_iterator("/proc/self/task", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec))
      ++r.threads;
#elif defined(_WIN32)
    // Threads only: Wine's handle counts are no measure.
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
      THREADENTRY32 e{};
      e.dwSize = sizeof e;
      for (BOOL ok = Thread32First(snapshot, &e); ok; ok = Thread32Next(snapshot, &e))
        r.threads += e.th32OwnerProcessID == GetCurrentProcessId();
      CloseHandle(snapshot);
    }
#endif
    return r;
  }
  bool operator==(const Resources&) const = default;
};

class Torture {
 public:
  Torture()
      : port_(static_cast<uint16_t>(std::atoi(Env("QVN_TEST_PORT").c_str()))),
        file_port_(static_cast<uint16_t>(std::atoi(Env("QVN_TEST_FILE_PORT").c_str()))),
        data_(Env("QVN_TEST_DATA")) {}

  bool ready() const { return port_ != 0 && file_port_ != 0 && !data_.empty(); }
  void set_cli(std::string cli) { cli_ = std::move(cli); }

  std::vector<Operation> Operations();

 private:
  Text Credentials() const { return u"dbsecret@alice@alicepw"; }
  Text Local(const std::string& name) const { return Utf8ToText(folder_.File(name)); }
  std::string Stored(const std::string& name) const { return data_ + "/files/torture/" + name; }
  Observation Transfer(bool upload);
  Observation Cli();

  uint16_t port_, file_port_;
  std::string data_;
  std::string cli_;
  TempFolder folder_, downloads_;
};

// A file entry's run: the script's answer, what the window saw, the files.
Observation Torture::Transfer(bool upload) {
  // Downloads go to a folder of their own, where nothing but the target may stay.
  const std::string local = upload ? folder_.File("up.bin") : downloads_.File("down.bin");
  const Bytes content = PatternBytes(100000, upload ? 3 : 5);
  const Bytes old_target = PatternBytes(777, 9);
  if (upload) {
    WriteFileBytes(local, content);
    std::error_code ec;
    fs::remove(Stored("up.bin"), ec);
  } else {
    WriteFileBytes(local, old_target);
    if (!FileExists(Stored("down.bin"))) {
      fs::create_directories(fs::path(Stored("down.bin")).parent_path());
      WriteFileBytes(Stored("down.bin"), content);
    }
  }
  Observation seen;
  int done_messages = 0;
  std::vector<OutcomeMessage> outcomes;
  int64_t incomplete = -1;
  Text answer;
  bool started = false;
  {
    ProgressWindow window;
    // "{" keeps a Linux absolute path from reading as a "/" comment line.
    const Text script = Credentials() + (upload ? u"\r\nFILES [UPLOAD]\r\n{" : u"\r\nFILES [DOWNLOAD]\r\n{") +
                        Utf8ToText(local) + (upload ? u",..\\torture\\up.bin}\r\n" : u",..\\torture\\down.bin}\r\n");
    answer = TakeResult(::Script(window.handle(), W(script), W(u"127.0.0.1"), port_, file_port_));
    // "File transfer started" alone: a failure after the thread began.
    started = answer.starts_with(u"File transfer started");
    // Windows posts Script's own done message (no thread) rather than sending it.
    if (window.WaitForDone(started ? kTransferWaitMs : 10000) < 0) seen.faults.push_back("no done message");
    done_messages = window.DoneMessages();
    incomplete = window.DoneIncomplete();
    outcomes = window.Outcomes();
    // No thread: the empty text (none could be started) or NONE (nothing
    // obtained), and Script's own done message.
    if (!started && !answer.empty() && answer != u"NONE") seen.faults.push_back("answer " + Utf8(answer));
    if (!started && done_messages != 1)
      seen.faults.push_back(std::to_string(done_messages) + " done messages without a transfer");
  }
  if (started) {
    if (done_messages != 1) seen.faults.push_back(std::to_string(done_messages) + " done messages");
    if (outcomes.size() != 1) seen.faults.push_back(std::to_string(outcomes.size()) + " outcomes");
  }
  const bool completed = outcomes.size() == 1 && outcomes[0].status == QVN_TRANSFER_COMPLETED;
  if (started && incomplete != (completed ? 0 : 1))
    seen.faults.push_back("done message counts " + std::to_string(incomplete) + " not completed");
  seen.answer = !started ? "not started" : completed ? "completed" : "not completed";
  if (upload) {
    // The server stores an upload whole or not at all; a failure after the
    // last byte may still have stored it.
    const bool stored = FileExists(Stored("up.bin"));
    if (completed && (!stored || ReadFileBytes(Stored("up.bin")) != content))
      seen.faults.push_back("completed upload not on the server as sent");
    if (!completed && stored && ReadFileBytes(Stored("up.bin")) != content)
      seen.faults.push_back("a failed upload left an altered file on the server");
  } else {
    const Bytes now = ReadFileBytes(local);
    if (completed && now != ReadFileBytes(Stored("down.bin")))
      seen.faults.push_back("completed download differs from the server's file");
    if (!completed && now != old_target) seen.faults.push_back("a failed download altered the target");
    // A temporary stays only where the system refused to remove it.
    seen.stray_files = downloads_.Names().size() - 1;
  }
  return seen;
}

#ifndef _WIN32
// The CLI over the library: a script with a statement and a directive. Its
// requests are counted in the child, armed through its environment.
Observation Torture::Cli() {
  const ProgramOutcome out = RunProgram(
      {cli_, "-p", std::to_string(port_), "script", "-", "--file-port", std::to_string(file_port_)},
      Utf8(Credentials()) + "\r\nBUILD SHOW\r\nget Torture[0,1]\r\n", ".",
      {"QVN_PASSFILE=" + folder_.File("no-passfile")});
  Observation seen;
  seen.answer = "exit " + std::to_string(out.status);
  if (out.status == 0) seen.answer += " " + out.out;
  if (out.status < 0 || out.status > 3) seen.faults.push_back("stderr: " + out.err.substr(0, 300));
  return seen;
}
#endif

std::vector<Operation> Torture::Operations() {
  const std::string connection_error = "CONNECTION_ERROR";
  const Text h = u"127.0.0.1";
  auto text = [](qvn_char* p) { return Observation{Utf8(TakeResult(p)), {}}; };
  // A record whose version differs from this program's own (1.0.0.0).
  TakeResult(::Script(nullptr,
                      W(Credentials() + u"\r\nput Versions[0,0]=qvn\r\nput Versions[1,0]=0.0.0.1\r\n"
                                        u"put Torture[0,1]=Value\r\n"),
                      W(h), port_, 0));
  // Requests that change nothing, so that every undisturbed answer is the same.
  const Text kScriptRequest = u"get Torture[0,1]\r\n";
  std::vector<Operation> ops = {
      {"try-connect", {"false"},
       [=, this] { return Observation{::TryConnect(W(h), port_, 2000) ? "true" : "false", {}}; }},
      {"show-db-name", {connection_error}, [=, this] { return text(::ShowDbName(W(h), port_)); }},
      {"try-db-password", {connection_error},
       [=, this] { return text(::TryDbPassword(W(h), port_, W(Credentials()))); }},
      {"change-unique-pass", {connection_error},
       [=, this] { return text(::ChangeUniquePass(W(h), port_, W(u"dbsecret"), W(u"alice"), W(u"alicepw"), W(u"alicepw"))); }},
      {"db-message-file", {connection_error},
       [=, this] { return text(::DbMessageFile(W(h), port_, W(u"torture message"))); }},
      {"db-message-pipe", {connection_error},
       [=, this] { return text(::DbMessagePipe(W(h), port_, W(u"torture message"))); }},
      // Handed on to a port where nothing listens: the server's answer says so.
      {"db-message-tcp", {connection_error},
       [=, this] { return text(::DbMessageTcp(W(h), port_, W(h), 1, W(u"torture message"))); }},
      {"user-authentication", {connection_error},
       [=, this] { return text(::UserAuthentication(W(h), port_, W(u"alice"), W(u"alicepw"))); }},
      // Its failure answer, false, is also what this program hears undisturbed:
      // the run checks everything else a failure may leave.
      {"update-is-available", {},
       [=, this] {
         return Observation{::UpdateIsAvailable(W(h), port_, W(Credentials()), W(u"Versions"), 0,
                                                W(u"qvn"), 1)
                                ? "true"
                                : "false",
                            {}};
       }},
      {"script", {"NONE", "CONNECTION_ERROR\r\nNONE"},
       [=, this] {
         const Text s = Credentials() + u"\r\nBUILD SHOW\r\n" + kScriptRequest;
         return text(::Script(nullptr, W(s), W(h), port_, 0));
       },
       [=, this](const std::string& seen, const std::string& undisturbed) {
         // The directive's answer, or CONNECTION_ERROR in its place; then the
         // request's, or NONE.
         const std::string request = Utf8(TakeResult(
             ::Script(nullptr, W(Credentials() + u"\r\n" + kScriptRequest), W(h), port_, 0)));
         if (undisturbed.size() < request.size() + 2) return false;
         const std::string directive = undisturbed.substr(0, undisturbed.size() - request.size() - 2);
         for (const std::string& d : {directive, connection_error})
           for (const std::string& r : {request, std::string("NONE")})
             if (seen == d + "\r\n" + r) return true;
         return false;
       }},
      {"upload", {"not started", "not completed"}, [=, this] { return Transfer(true); }},
      {"download", {"not started", "not completed"}, [=, this] { return Transfer(false); }},
      {"pack-string", {""}, [=, this] { return text(::PackString(W(u"torture text torture text torture text"))); }},
      {"unpack-string", {""},
       [=, this] {
         const Text packed = TakeResult(::PackString(W(u"torture text torture text torture text")));
         return text(::UnPackString(W(packed)));
       }},
      {"data-encode", {""}, [=, this] { return text(::DataEncode(W(u"a<b>&c;d{e}"))); }},
      {"data-decode", {""}, [=, this] { return text(::DataDecode(W(u"a&lt;b&#59;c"))); }},
      {"value-count", {"0"},
       [=, this] { return Observation{std::to_string(::ValueCount(W(u"a;bb;ccc"), W(u";"), false)), {}}; }},
      {"value-from-string", {""}, [=, this] { return text(::ValueFromString(W(u"a;bb;ccc"), 1, W(u";"))); }},
  };
#ifndef _WIN32
  if (!cli_.empty()) ops.push_back({"cli-script", {"exit 1", "exit 3"}, [=, this] { return Cli(); }});
#endif
  return ops;
}

// Runs `op` with request `at` failing (0: none): what it answered and the
// faults it shows, and what the library counted. Without an undisturbed
// answer to compare with, only the answer is taken.
Observation RunPoint(Plan& plan, const Operation& op, uint64_t at, const std::string* undisturbed,
                     Plan::Report& report) {
  const Resources before = Resources::Now();
  plan.Arm(at);
  Observation seen = op.run();
  // A transfer thread ends just after its done message.
  Resources after = Resources::Now();
  for (int i = 0; i < 200 && !(after == before); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    after = Resources::Now();
  }
  // Read once the threads are gone: a transfer thread writes its count last.
  report = plan.Read();
  plan.Arm(0);  // what runs between the points fails nothing
  if (after.descriptors != before.descriptors)
    seen.faults.push_back(std::to_string(after.descriptors) + " descriptors, were " +
                          std::to_string(before.descriptors));
  if (after.threads != before.threads)
    seen.faults.push_back(std::to_string(after.threads) + " threads, were " + std::to_string(before.threads));
#ifdef QVN_TORTURE_LEAK_CHECK
  if (__lsan_do_recoverable_leak_check() != 0) seen.faults.push_back("leak");
#endif
  // A temporary stays only where the system refused to remove it.
  if (seen.stray_files != 0 && report.failed != "remove")
    seen.faults.push_back(std::to_string(seen.stray_files) + " files beside the target");
  if (undisturbed != nullptr && seen.answer != *undisturbed && !op.failure_answers.count(seen.answer) &&
      !(op.allowed && op.allowed(seen.answer, *undisturbed)))
    seen.faults.push_back("answer \"" + seen.answer.substr(0, 200) + "\"");
  return seen;
}

int Main(int argc, char** argv) {
  bool all = false;
  std::string only;
  uint64_t only_at = 0;
  Torture torture;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--all") all = true;
    else if (a == "--op" && i + 1 < argc) only = argv[++i];
    else if (a == "--at" && i + 1 < argc) only_at = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--cli" && i + 1 < argc) torture.set_cli(argv[++i]);
    else {
      std::fprintf(stderr, "usage: qvn_torture [--all] [--op NAME] [--at N] [--cli PATH]\n");
      return 2;
    }
  }
  if (!torture.ready()) {
    std::fprintf(stderr, "qvn_torture: QVN_TEST_PORT, QVN_TEST_FILE_PORT and QVN_TEST_DATA must name a server\n");
    return 2;
  }
  TempFolder reports;
  Plan plan(reports.File("fault-report"));
  plan.Arm(0);
  const std::time_t now = std::time(nullptr);
  const std::tm* utc = std::gmtime(&now);
  const unsigned seed = static_cast<unsigned>((utc->tm_year + 1900) * 100 + utc->tm_mon + 1);
  std::printf("%-20s %8s %6s %6s\n", "operation", "points", "runs", "faults");
  size_t total_points = 0, total_runs = 0, total_faults = 0;
  for (const Operation& op : torture.Operations()) {
    if (!only.empty() && op.name != only) continue;
    size_t faults = 0;
    auto note = [&](uint64_t at, const std::string& failed, const std::vector<std::string>& found) {
      for (const std::string& f : found) {
        std::printf("FAULT %s at %llu (%s): %s\n  repeat: qvn_torture --op %s --at %llu\n", op.name.c_str(),
                    static_cast<unsigned long long>(at), failed.c_str(), f.c_str(), op.name.c_str(),
                    static_cast<unsigned long long>(at));
      }
      faults += !found.empty();
    };
    Plan::Report counted;
    const Observation undisturbed = RunPoint(plan, op, 0, nullptr, counted);
    const uint64_t calls = counted.calls;
    note(0, "-", undisturbed.faults);
    if (op.failure_answers.count(undisturbed.answer))
      note(0, "-", {"the undisturbed run failed: \"" + undisturbed.answer + "\""});
    std::vector<uint64_t> points;
    if (only_at != 0) {
      points.push_back(only_at);
    } else {
      for (uint64_t n = 1; n <= calls; ++n) points.push_back(n);
      if (!all && points.size() > kShallowPoints) {
        std::mt19937 pick(seed + static_cast<unsigned>(std::hash<std::string>{}(op.name) & 0xFFFF));
        std::shuffle(points.begin(), points.end(), pick);
        points.resize(kShallowPoints);
        std::sort(points.begin(), points.end());
      }
    }
    for (uint64_t at : points) {
      std::fflush(stdout);
      Plan::Report report;
      const Observation seen = RunPoint(plan, op, at, &undisturbed.answer, report);
      note(at, report.failed, seen.faults);
    }
    std::printf("%-20s %8llu %6zu %6zu\n", op.name.c_str(), static_cast<unsigned long long>(calls),
                points.size() + 1, faults);
    total_points += calls;
    total_runs += points.size() + 1;
    total_faults += faults;
  }
  std::printf("%-20s %8zu %6zu %6zu   (seed %u%s)\n", "total", total_points, total_runs, total_faults, seed,
              all ? ", every point" : "");
  return total_faults == 0 ? 0 : 1;
}

}  // namespace
}  // namespace qvn::testing

int main(int argc, char** argv) { return qvn::testing::Main(argc, argv); }
