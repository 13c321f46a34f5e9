// End-to-end figures against a running qvn-server (started by bench/run.sh):
// file transfers through the library next to the limits of the same machine
// in the same run (one AES chain, the interleaved chains alone, a raw
// loopback TCP copy), request round trips next to a minimal socket client,
// and thread scaling. Writes Markdown rows on stdout and an SVG plot.
#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <signal.h>
#include <time.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "codecs/aes.h"
#include "codecs/text_crypto.h"
#include "qvn.h"
#include "platform/executable_path.h"
#include "transfer/file_transfer_client.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// User and system CPU seconds of another process (0 when unknown).
double OtherProcessCpuSeconds(int pid) {
  if (pid <= 0) return 0;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');  // the command name may hold blanks
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::stod(field);  // utime, stime
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool SameBytes(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> x(1 << 20), y(1 << 20);
  while (fa && fb) {
    fa.read(x.data(), x.size());
    fb.read(y.data(), y.size());
    if (fa.gcount() != fb.gcount() || std::memcmp(x.data(), y.data(), fa.gcount()) != 0) return false;
  }
  return !fa && !fb;
}

struct Args {
  std::string dir;
  uint16_t port = 0, file_port = 0;
  std::u16string credentials;
  size_t mib = 1024;
  std::string svg;
  bool transfers_only = false;  // --transfers-only 1: for profiling
  int runs = 5;                 // runs of (floor, upload, download), each the best of 3
  int server_pid = 0;           // qvn-server's CPU time is read from /proc when given
};

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string ExecutableDir() {
  std::string path = qvn::TextToUtf8(qvn::platform::ExecutablePath());
  return path.substr(0, path.rfind('/'));
}

void Row(const std::string& what, double value, const std::string& unit, const std::string& note = "") {
  std::printf("| %s | %.1f %s | %s |\n", what.c_str(), value, unit.c_str(), note.c_str());
  std::fflush(stdout);
}

void WriteFile(const std::string& path, size_t bytes) {
  std::vector<uint8_t> chunk(1 << 20);
  uint32_t x = 12345;
  for (auto& b : chunk) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  FILE* f = std::fopen(path.c_str(), "wb");
  for (size_t done = 0; done < bytes; done += chunk.size()) {
    chunk[0] = static_cast<uint8_t>(done >> 20);  // no two MiB alike
    std::fwrite(chunk.data(), 1, chunk.size(), f);
  }
  std::fclose(f);
}

// One chain after another through the platform cipher, as any one-chain
// client must; the library's interleaved chains on a batch laid out as the
// transfer lays it out; and the library's decryption of one cipher block.
// MB/s of this thread's CPU time, so other load on the machine does not count.
struct CipherFigures {
  double single = 0, batch = 0, decrypt = 0;
};

CipherFigures CipherLimits(size_t mib) {
  qvn::AesCipher cipher(u"5EBE2294ECD0E0F08EAB7690D2A6EE69");
  const size_t blocks = (mib << 20) / qvn::TransferBlockSize;
  constexpr size_t kBatch = qvn::AesCipher::kInterleavedBuffers;
  constexpr size_t kPlainSlot = 32768 + 192, kWireSlot = 32768 + 128;
  std::vector<uint8_t> plain(kBatch * kPlainSlot, 7), wire(kBatch * kWireSlot);
  CipherFigures f;
  double t = ThreadCpuSeconds();
  for (size_t k = 0; k < blocks; ++k) cipher.EncryptInPlace(plain.data(), qvn::TransferBlockSize);
  f.single = blocks * qvn::TransferBlockSize / 1e6 / (ThreadCpuSeconds() - t);
  const uint8_t* in[kBatch];
  uint8_t* out[kBatch];
  for (size_t i = 0; i < kBatch; ++i) {
    in[i] = plain.data() + i * kPlainSlot;
    out[i] = wire.data() + i * kWireSlot;
  }
  t = ThreadCpuSeconds();
  for (size_t k = 0; k < blocks; k += kBatch) cipher.EncryptBlocks(in, out, kBatch, qvn::TransferBlockSize);
  f.batch = blocks * qvn::TransferBlockSize / 1e6 / (ThreadCpuSeconds() - t);
  t = ThreadCpuSeconds();
  for (size_t k = 0; k < blocks; ++k) cipher.DecryptInPlace(wire.data(), qvn::TransferCipherBlockSize);
  f.decrypt = blocks * qvn::TransferBlockSize / 1e6 / (ThreadCpuSeconds() - t);
  return f;
}

// The kernel's loopback with nothing else to do: one thread writes 256 KiB
// at a time, the other reads.
double RawTcpCopy(size_t mib) {
  int lsock = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(lsock, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(lsock, 1);
  socklen_t len = sizeof a;
  ::getsockname(lsock, reinterpret_cast<sockaddr*>(&a), &len);
  const size_t total = mib << 20;
  auto t = Clock::now();
  std::thread writer([&] {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    std::vector<uint8_t> buf(256 << 10, 1);
    for (size_t done = 0; done < total;) {
      ssize_t n = ::send(s, buf.data(), std::min(buf.size(), total - done), 0);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(s);
  });
  int c = ::accept(lsock, nullptr, nullptr);
  std::vector<uint8_t> buf(256 << 10);
  size_t got = 0;
  for (ssize_t n; (n = ::recv(c, buf.data(), buf.size(), 0)) > 0;) got += static_cast<size_t>(n);
  writer.join();
  ::close(c);
  ::close(lsock);
  return got / 1e6 / Seconds(t);
}

// A host's transfer: one Script call whose file section names the entries,
// progress through the QvnWindow callback on the library's transfer thread,
// and a wait for its last message. Seconds of wall time; false when an
// entry did not complete.
struct HostWait {
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  intptr_t incomplete = 0;
};

intptr_t HostProc(void* context, uint32_t message, uintptr_t, intptr_t lparam) {
  auto* w = static_cast<HostWait*>(context);
  if (message == QVN_WM_TRANSFERS_DONE) {
    std::lock_guard<std::mutex> lock(w->mu);
    w->done = true;
    w->incomplete = lparam;
    w->cv.notify_all();
  }
  return 0;
}

bool HostTransfer(const Args& args, bool upload, const std::string& local,
                  const std::string& server, double& seconds) {
  HostWait wait;
  QvnWindow window{&HostProc, &wait};
  const std::u16string script = args.credentials + u"\r\nFILES [" +
                                (upload ? u"UPLOAD" : u"DOWNLOAD") + u"]\r\n{" + U16(local) +
                                u" , " + U16(server) + u"}";
  auto t = Clock::now();
  qvn_char* r = Script(&window, reinterpret_cast<const qvn_char*>(script.c_str()),
                       reinterpret_cast<const qvn_char*>(u"127.0.0.1"), args.port, args.file_port);
  ScriptFree(r);
  std::unique_lock<std::mutex> lock(wait.mu);
  wait.cv.wait(lock, [&] { return wait.done; });
  seconds = Seconds(t);
  return wait.incomplete == 0;
}

// CPU seconds (user + system) of a child process, from wait4.
struct ChildTimes {
  double cpu = 0;
  bool ok = false;
};

ChildTimes WaitChild(pid_t pid) {
  int status = 0;
  rusage u{};
  ChildTimes t;
  if (::wait4(pid, &status, 0, &u) != pid) return t;
  t.cpu = u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  t.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return t;
}

pid_t Spawn(const std::vector<std::string>& argv, int* stdout_fd) {
  int pipefd[2] = {-1, -1};
  if (stdout_fd != nullptr && ::pipe(pipefd) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    if (stdout_fd != nullptr) {
      ::dup2(pipefd[1], STDOUT_FILENO);
      ::close(pipefd[0]);
      ::close(pipefd[1]);
    }
    std::vector<char*> v;
    for (const auto& a : argv) v.push_back(const_cast<char*>(a.c_str()));
    v.push_back(nullptr);
    ::execv(v[0], v.data());
    ::_exit(127);
  }
  if (stdout_fd != nullptr) {
    ::close(pipefd[1]);
    *stdout_fd = pipefd[0];
  }
  return pid;
}

// The no-cipher pipeline (qvn_floor, beside this program): one process reads
// `from` and sends it over loopback, the other writes it to `to`.
struct FloorRun {
  double seconds = 0, sender_cpu = 0, receiver_cpu = 0;
  bool ok = false;
};

FloorRun Floor(const std::string& from, const std::string& to) {
  const std::string tool = ExecutableDir() + "/qvn_floor";
  FloorRun f;
  int out = -1;
  auto t = Clock::now();
  pid_t receiver = Spawn({tool, "recv", to}, &out);
  char port[16] = {};
  ssize_t n = receiver > 0 ? ::read(out, port, sizeof port - 1) : -1;
  if (out >= 0) ::close(out);
  if (n <= 0) return f;
  pid_t sender = Spawn({tool, "send", port, from}, nullptr);
  ChildTimes s = WaitChild(sender), r = WaitChild(receiver);
  f.seconds = Seconds(t);
  f.sender_cpu = s.cpu;
  f.receiver_cpu = r.cpu;
  f.ok = s.ok && r.ok;
  std::remove(to.c_str());
  return f;
}

std::string Ratio(double r) {
  char b[32];
  std::snprintf(b, sizeof b, "%.2fx", r);
  return b;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string Fixed(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.2f", v);
  return b;
}

std::string List(const std::vector<double>& v) {
  std::string s;
  for (double x : v) s += (s.empty() ? "" : ", ") + Fixed(x);
  return s;
}

std::string AtLeast(double v, double target) {
  return "target >= " + Fixed(target) + (v >= target ? ": met" : ": NOT met");
}

std::string AtMost(double v, double target) {
  return "target <= " + Fixed(target) + (v <= target ? ": met" : ": NOT met");
}

// Per run: the floor, an upload and a download through Script, each the best
// of three, so that each transfer is compared with the floor of the same
// minute. Client CPU is set beside the floor process doing the same side:
// the sender for an upload, the receiver for a download.
void TransferFigures(const Args& args) {
  const std::string local = args.dir + "/upload.bin", back = args.dir + "/download.bin",
                    floor_out = args.dir + "/floor.bin", server = "..\\bench.bin";
  WriteFile(local, args.mib << 20);
  const double mb = (args.mib << 20) / 1e6, gib = (args.mib << 20) / double(1 << 30);
  struct Best {
    double seconds = 1e30, cpu = 0, other_cpu = 0;
    bool ok = true;
    void Take(double s, double c, double other, bool good) {
      ok = ok && good;
      if (s < seconds) seconds = s, cpu = c, other_cpu = other;
    }
  };
  std::vector<double> floor_mbs, up_mbs, down_mbs, up_ratio, down_ratio;
  std::vector<double> send_cpu, recv_cpu, up_cpu, down_cpu, up_server, down_server;
  bool all_ok = true;
  for (int run = 0; run < args.runs; ++run) {
    Best floor, up, down;
    // Interleaved, so that a slow spell of the machine touches all three alike.
    for (int i = 0; i < 3; ++i) {
      FloorRun f = Floor(local, floor_out);
      floor.Take(f.seconds, f.sender_cpu, f.receiver_cpu, f.ok);
      double s = 0, cpu0 = ProcessCpuSeconds(), server0 = OtherProcessCpuSeconds(args.server_pid);
      bool ok = HostTransfer(args, true, local, server, s);
      up.Take(s, ProcessCpuSeconds() - cpu0, OtherProcessCpuSeconds(args.server_pid) - server0, ok);
      std::remove(back.c_str());  // fresh pages, as the floor's receiver gets
      cpu0 = ProcessCpuSeconds();
      server0 = OtherProcessCpuSeconds(args.server_pid);
      ok = HostTransfer(args, false, back, server, s);
      down.Take(s, ProcessCpuSeconds() - cpu0, OtherProcessCpuSeconds(args.server_pid) - server0, ok);
    }
    all_ok = all_ok && floor.ok && up.ok && down.ok && SameBytes(local, back);
    floor_mbs.push_back(mb / floor.seconds);
    up_mbs.push_back(mb / up.seconds);
    down_mbs.push_back(mb / down.seconds);
    up_ratio.push_back(floor.seconds / up.seconds);
    down_ratio.push_back(floor.seconds / down.seconds);
    send_cpu.push_back(floor.cpu / gib);
    recv_cpu.push_back(floor.other_cpu / gib);
    up_cpu.push_back(up.cpu / gib);
    down_cpu.push_back(down.cpu / gib);
    up_server.push_back(up.other_cpu / gib);
    down_server.push_back(down.other_cpu / gib);
  }
  std::remove(back.c_str());
  const std::string size = std::to_string(args.mib) + " MiB";
  Row("Floor: " + size + " read, sent over loopback, written in 32,767-byte writes (qvn_floor)",
      Median(floor_mbs), "MB/s",
      "median of " + std::to_string(args.runs) + " runs, each the best of 3; sender " +
          Fixed(Median(send_cpu)) + " CPU-s/GiB, receiver " + Fixed(Median(recv_cpu)));
  auto transfer_row = [&](const std::string& what, const std::vector<double>& mbs,
                          const std::vector<double>& ratio, const std::vector<double>& cpu,
                          const std::vector<double>& server_cpu, double floor_cpu,
                          const std::string& side, double server_floor_cpu,
                          const std::string& server_side) {
    std::string note = Ratio(Median(ratio)) + " the floor (" + AtLeast(Median(ratio), 0.85) +
                       "; runs " + List(ratio) + "); client " + Fixed(Median(cpu)) +
                       " CPU-s/GiB = " + Ratio(Median(cpu) / floor_cpu) + " the floor's " + side +
                       " (" + AtMost(Median(cpu) / floor_cpu, 1.30) + ")";
    if (args.server_pid > 0) {
      note += "; qvn-server " + Fixed(Median(server_cpu)) + " CPU-s/GiB = " +
              Ratio(Median(server_cpu) / server_floor_cpu) + " the floor's " + server_side;
    }
    Row(what, Median(mbs), "MB/s", note);
  };
  transfer_row("Upload " + size + " through Script to qvn-server", up_mbs, up_ratio, up_cpu,
               up_server, Median(send_cpu), "sender", Median(recv_cpu), "receiver");
  transfer_row("Download " + size + " through Script from qvn-server", down_mbs, down_ratio,
               down_cpu, down_server, Median(recv_cpu), "receiver", Median(send_cpu), "sender");
  if (!all_ok) Row("A TRANSFER FAILED OR THE DOWNLOADED BYTES DIFFER FROM THE UPLOAD", 0, "", "");
}

// A busy machine: one nice-19 busy loop per core while a transfer runs. The
// transfer thread runs at idle priority, below even nice 19, so it gets only
// the time the loops leave; the same transfer from a normal thread is shown
// beside it.
void TransfersUnderLoad(const Args& args) {
  const std::string local = args.dir + "/upload.bin", back = args.dir + "/download.bin";
  std::vector<pid_t> loops;
  for (long i = 0, n = sysconf(_SC_NPROCESSORS_ONLN); i < n; ++i) {
    pid_t pid = ::fork();
    if (pid == 0) {
      (void)setpriority(PRIO_PROCESS, 0, 19);
      volatile unsigned spin = 0;
      for (;;) spin = spin + 1;
    }
    loops.push_back(pid);
  }
  const double mb = (args.mib << 20) / 1e6;
  for (bool upload : {true, false}) {
    double s = 0;
    bool ok = HostTransfer(args, upload, upload ? local : back, "..\\bench.bin", s);
    const double host = mb / s;
    qvn::TFileTransferClient client;
    auto t = Clock::now();
    ok = ok && (upload ? client.FileUpLoad(u"127.0.0.1", args.file_port, args.credentials,
                                           U16(local), u"..\\bench.bin")
                       : client.FileDownLoad(u"127.0.0.1", args.file_port, args.credentials,
                                             U16(back), u"..\\bench.bin"));
    const double direct = mb / Seconds(t);
    Row(std::string(upload ? "Upload" : "Download") + " while a nice-19 busy loop runs on every core",
        host, "MB/s",
        "through Script (idle-priority thread); " + Fixed(direct) +
            " MB/s from a normal-priority thread" + (ok ? "" : "; A TRANSFER FAILED"));
  }
  for (pid_t pid : loops) ::kill(pid, SIGKILL);
  for (pid_t pid : loops) ::waitpid(pid, nullptr, 0);
  std::remove(back.c_str());
}

// Uploads of a quarter of the size side by side, each its own Script call
// (its own transfer thread), as separate host threads make them.
std::vector<std::pair<int, double>> ConcurrentUploads(const Args& args) {
  std::vector<std::pair<int, double>> transfers;
  const size_t each = std::max<size_t>(args.mib / 4, 1);
  const std::string each_file = args.dir + "/each.bin";
  WriteFile(each_file, each << 20);
  for (int n : {1, 2, 4}) {
    std::vector<std::thread> pool;
    std::atomic<bool> ok{true};
    auto t = Clock::now();
    for (int i = 0; i < n; ++i) {
      pool.emplace_back([&, i] {
        double s = 0;
        if (!HostTransfer(args, true, each_file, "..\\each" + std::to_string(i) + ".bin", s))
          ok = false;
      });
    }
    for (auto& th : pool) th.join();
    double mbs = n * (each << 20) / 1e6 / Seconds(t);
    transfers.push_back({n, mbs});
    std::string note = ok ? "" : "AN UPLOAD FAILED";
    if (n == 4) {
      const double r = mbs / transfers[1].second;
      note += Ratio(r) + " the 2-transfer figure (" + AtLeast(r, 0.80) + ")";
    }
    Row(std::to_string(n) + " concurrent uploads of " + std::to_string(each) + " MiB (Script calls)",
        mbs, "MB/s total", note);
  }
  std::remove(each_file.c_str());
  return transfers;
}

// The minimal client of ShowDbName's exchange: a probe connection opened
// and closed, then one connection carrying the framed "DBNAME#" and its reply.
int Connect(uint16_t port) {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(s);
    return -1;
  }
  return s;
}

// One framed message: the count, then the text's UTF-16LE bytes.
std::vector<uint8_t> FrameOf(const std::u16string& text) {
  const uint32_t n = static_cast<uint32_t>(text.size() * 2);
  std::vector<uint8_t> msg = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                              static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
  for (char16_t c : text) {
    msg.push_back(static_cast<uint8_t>(c & 0xFF));
    msg.push_back(static_cast<uint8_t>(c >> 8));
  }
  return msg;
}

// Sends one prepared request on a fresh connection and reads the whole framed
// reply; true when a non-empty reply arrived.
bool RawExchange(uint16_t port, const std::vector<uint8_t>& msg) {
  int s = Connect(port);
  if (s < 0) return false;
  ::send(s, msg.data(), msg.size(), 0);
  uint8_t head[4];
  size_t got = 0;
  while (got < 4) {
    ssize_t n = ::recv(s, head + got, 4 - got, 0);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  uint32_t len = (uint32_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
  std::vector<uint8_t> body(len);
  for (got = 0; got < len;) {
    ssize_t n = ::recv(s, body.data() + got, len - got, 0);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(s);
  return len > 0 && got == len;
}

bool RawDbName(uint16_t port) {
  int probe = Connect(port);
  if (probe < 0) return false;
  ::shutdown(probe, SHUT_RDWR);
  ::close(probe);
  static const std::vector<uint8_t> msg = FrameOf(u"DBNAME#");
  return RawExchange(port, msg);
}

const char16_t kBenchScript[] = u"dbpass@bench@secret\r\nGET bench 1";

// The minimal client of a small script: the request is encrypted once, up
// front, and replayed; the reply is read but not decrypted. So this is the
// floor of the exchange itself, below what any client that encrypts can do.
bool RawScript(uint16_t port) {
  static const std::vector<uint8_t> msg = [] {
    const std::u16string plain = std::u16string(u"QUARVEN_v1.0#") + kBenchScript;
    return FrameOf(u"UID:bench#" +
                   qvn::Trim(qvn::EncryptTextTwice(qvn::Md5Hex(u"secret"), qvn::Md5Hex(u"dbpass"),
                                                   plain)));
  }();
  return RawExchange(port, msg);
}

bool LibScript(uint16_t port) {
  qvn_char* r = Script(nullptr, reinterpret_cast<const qvn_char*>(kBenchScript),
                       reinterpret_cast<const qvn_char*>(u"127.0.0.1"), port, 0);
  bool ok = r != nullptr && r[0] != 0;
  ScriptFree(r);
  return ok;
}

bool LibDbName(uint16_t port) {
  qvn_char* r = ShowDbName(reinterpret_cast<const qvn_char*>(u"127.0.0.1"), port);
  bool ok = r != nullptr && r[0] != 0;
  ScriptFree(r);
  return ok;
}

// Calls per second of `call` on `threads` threads for `seconds`.
double CallsPerSecond(int threads, double seconds, const std::function<bool()>& call) {
  std::atomic<long> calls{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> pool;
  auto t = Clock::now();
  for (int i = 0; i < threads; ++i) {
    pool.emplace_back([&] {
      while (!stop.load(std::memory_order_relaxed)) {
        if (call()) calls.fetch_add(1, std::memory_order_relaxed);
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (auto& th : pool) th.join();
  return calls / Seconds(t);
}

void WriteSvg(const std::string& path, const std::vector<std::pair<int, double>>& calls,
              const std::vector<std::pair<int, double>>& transfers) {
  std::ofstream out(path);
  out << "<svg xmlns='http://www.w3.org/2000/svg' width='720' height='300' font-family='sans-serif' font-size='12'>\n";
  auto panel = [&](int x0, const std::string& title, const std::vector<std::pair<int, double>>& v,
                   const std::string& unit) {
    double top = 1;
    for (auto& p : v) top = std::max(top, p.second);
    out << "<text x='" << x0 + 10 << "' y='20' font-weight='bold'>" << title << "</text>\n";
    for (size_t i = 0; i < v.size(); ++i) {
      int h = static_cast<int>(220 * v[i].second / top), x = x0 + 20 + static_cast<int>(i) * 80;
      out << "<rect x='" << x << "' y='" << 260 - h << "' width='50' height='" << h
          << "' fill='#4a7ab5'/>\n<text x='" << x << "' y='" << 255 - h << "'>"
          << static_cast<long>(v[i].second) << "</text>\n<text x='" << x + 10 << "' y='278'>"
          << v[i].first << "</text>\n";
    }
    out << "<text x='" << x0 + 20 << "' y='295'>threads / concurrent transfers; " << unit
        << "</text>\n";
  };
  panel(0, "ShowDbName calls/s by host threads", calls, "calls/s");
  panel(370, "Concurrent uploads, total MB/s", transfers, "MB/s");
  out << "</svg>\n";
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string k = argv[i], v = argv[i + 1];
    if (k == "--dir") args.dir = v;
    else if (k == "--port") args.port = static_cast<uint16_t>(std::stoi(v));
    else if (k == "--file-port") args.file_port = static_cast<uint16_t>(std::stoi(v));
    else if (k == "--credentials") args.credentials = U16(v);
    else if (k == "--mib") args.mib = std::stoul(v);
    else if (k == "--svg") args.svg = v;
    else if (k == "--transfers-only") args.transfers_only = v == "1";
    else if (k == "--runs") args.runs = std::max(1, std::stoi(v));
    else if (k == "--server-pid") args.server_pid = std::stoi(v);
  }
  std::printf("| Measure | Figure | Note |\n|---|---|---|\n");

  const CipherFigures cipher = CipherLimits(args.mib);
  Row("AES-128-CBC encryption, one chain (platform cipher), 32,767-byte buffers", cipher.single,
      "MB/s", "one core");
  Row("AES-128-CBC encryption, " + std::to_string(qvn::AesCipher::kInterleavedBuffers) +
          " interleaved chains (library)",
      cipher.batch, "MB/s", "one core; " + Ratio(cipher.batch / cipher.single) + " one chain");
  Row("AES-128-CBC decryption of 32,768-byte blocks (library)", cipher.decrypt, "MB/s", "one core");
  Row("Raw loopback TCP copy", RawTcpCopy(args.mib), "MB/s", "256 KiB writes, no cipher");

  TransferFigures(args);
  TransfersUnderLoad(args);
  const std::vector<std::pair<int, double>> transfers = ConcurrentUploads(args);
  std::remove((args.dir + "/upload.bin").c_str());
  if (args.transfers_only) return 0;

  // Round trips: the library's ShowDbName against the minimal client.
  double raw = CallsPerSecond(1, 2.0, [&] { return RawDbName(args.port); });
  double lib = CallsPerSecond(1, 2.0, [&] { return LibDbName(args.port); });
  Row("ShowDbName round trip, minimal socket client", 1e6 / raw, "us", "probe + request connection");
  Row("ShowDbName round trip, library", 1e6 / lib, "us",
      std::to_string(raw / lib).substr(0, 4) + "x the minimal client");

  double raw_script = CallsPerSecond(1, 2.0, [&] { return RawScript(args.port); });
  double script = CallsPerSecond(1, 2.0, [&] { return LibScript(args.port); });
  Row("Small Script round trip (one GET), minimal socket client", 1e6 / raw_script, "us",
      "request encrypted once and replayed, reply not decrypted");
  Row("Small Script round trip (one GET), library", 1e6 / script, "us",
      std::to_string(raw_script / script).substr(0, 4) + "x the minimal client");

  std::vector<std::pair<int, double>> calls;
  for (int threads : {1, 2, 4, 8}) {
    double c = CallsPerSecond(threads, 2.0, [&] { return LibDbName(args.port); });
    calls.push_back({threads, c});
    Row("ShowDbName, " + std::to_string(threads) + " host threads", c, "calls/s");
  }
  if (!args.svg.empty()) WriteSvg(args.svg, calls, transfers);
  return 0;
}
