// End-to-end figures against a running qvn-server (started by bench/run.sh):
// file transfers through the library next to the limits of the same machine
// in the same run (one AES chain, the interleaved chains alone, a raw
// loopback TCP copy), request round trips next to a minimal socket client,
// and thread scaling. Writes Markdown rows on stdout and an SVG plot.
#include <arpa/inet.h>
#include <sys/resource.h>
#include <time.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "codecs/aes.h"
#include "codecs/text_crypto.h"
#include "qvn.h"
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
};

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

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
// client must, and the interleaved chains of the library; MB/s of this
// thread's CPU time, so other load on the machine does not count.
void CipherLimits(size_t mib, double& single, double& multi) {
  qvn::AesCipher cipher(u"5EBE2294ECD0E0F08EAB7690D2A6EE69");
  const size_t blocks = (mib << 20) / qvn::TransferBlockSize;
  std::vector<uint8_t> buf(8 * (32768 + 192) + 16, 7);
  double t = ThreadCpuSeconds();
  for (size_t k = 0; k < blocks; ++k) cipher.EncryptInPlace(buf.data(), qvn::TransferBlockSize);
  single = blocks * qvn::TransferBlockSize / 1e6 / (ThreadCpuSeconds() - t);
  uint8_t* b[8];
  for (int i = 0; i < 8; ++i) b[i] = buf.data() + i * (32768 + 192);
  t = ThreadCpuSeconds();
  for (size_t k = 0; k < blocks; k += 8) cipher.EncryptBlocks(b, b, 8, qvn::TransferBlockSize);
  multi = blocks * qvn::TransferBlockSize / 1e6 / (ThreadCpuSeconds() - t);
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

// MB/s of wall time; `cpu` gets the client's CPU seconds.
double Transfer(const Args& args, bool upload, const std::string& local, const std::string& server,
                double& cpu) {
  qvn::TFileTransferClient client;
  const double cpu0 = ProcessCpuSeconds();
  auto t = Clock::now();
  bool ok = upload ? client.FileUpLoad(u"127.0.0.1", args.file_port, args.credentials, U16(local),
                                       U16(server))
                   : client.FileDownLoad(u"127.0.0.1", args.file_port, args.credentials,
                                         U16(local), U16(server));
  double s = Seconds(t);
  cpu = ProcessCpuSeconds() - cpu0;
  if (!ok) std::fprintf(stderr, "transfer %s failed\n", local.c_str());
  return (args.mib << 20) / 1e6 / s;
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
  }
  std::printf("| Measure | Figure | Note |\n|---|---|---|\n");

  double single = 0, multi = 0;
  CipherLimits(args.mib, single, multi);
  Row("AES-128-CBC, one chain (platform cipher), 32,767-byte buffers", single, "MB/s", "one core");
  Row("AES-128-CBC, eight interleaved chains (library)", multi, "MB/s",
      "one core; " + std::to_string(multi / single).substr(0, 4) + "x one chain");
  Row("Raw loopback TCP copy", RawTcpCopy(args.mib), "MB/s", "256 KiB writes, no cipher");

  const std::string local = args.dir + "/upload.bin", back = args.dir + "/download.bin";
  WriteFile(local, args.mib << 20);
  double cpu = 0;
  const double mb = (args.mib << 20) / 1e6;
  double up = Transfer(args, true, local, "..\\bench.bin", cpu);
  Row("Upload " + std::to_string(args.mib) + " MiB through the library to qvn-server", up, "MB/s",
      std::to_string(up / single).substr(0, 4) + "x one chain; client CPU " +
          std::to_string(cpu).substr(0, 4) + " s = " + std::to_string(mb / cpu).substr(0, 6) +
          " MB per CPU-s");
  double down = Transfer(args, false, back, "..\\bench.bin", cpu);
  Row("Download " + std::to_string(args.mib) + " MiB through the library from qvn-server", down,
      "MB/s", std::to_string(down / single).substr(0, 4) + "x one chain; client CPU " +
          std::to_string(cpu).substr(0, 4) + " s; " +
          (SameBytes(local, back) ? "same bytes as uploaded" : "DIFFERENT BYTES"));
  std::remove(back.c_str());
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

  std::vector<std::pair<int, double>> calls, transfers;
  for (int threads : {1, 2, 4, 8}) {
    double c = CallsPerSecond(threads, 2.0, [&] { return LibDbName(args.port); });
    calls.push_back({threads, c});
    Row("ShowDbName, " + std::to_string(threads) + " host threads", c, "calls/s");
  }
  const size_t each = std::max<size_t>(args.mib / 4, 1);
  WriteFile(args.dir + "/each.bin", each << 20);
  for (int n : {1, 2, 4}) {
    std::vector<std::thread> pool;
    auto t = Clock::now();
    for (int i = 0; i < n; ++i) {
      pool.emplace_back([&, i] {
        qvn::TFileTransferClient c;
        c.FileUpLoad(u"127.0.0.1", args.file_port, args.credentials, U16(args.dir + "/each.bin"),
                     U16("..\\each" + std::to_string(i) + ".bin"));
      });
    }
    for (auto& th : pool) th.join();
    double mbs = n * (each << 20) / 1e6 / Seconds(t);
    transfers.push_back({n, mbs});
    Row(std::to_string(n) + " concurrent uploads of " + std::to_string(each) + " MiB", mbs,
        "MB/s total");
  }
  std::remove(local.c_str());
  std::remove((args.dir + "/each.bin").c_str());
  if (!args.svg.empty()) WriteSvg(args.svg, calls, transfers);
  return 0;
}
