// Peak memory and time of UnPackString for a packed text that inflates
// enormously: a child process packs MB megabytes of text (default 400) and
// hands over the packed line, so that only the unpacking counts here.
//   qvn_unpack_memory [MB]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "codecs/base64.h"
#include "codecs/packing.h"

namespace {

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::string PackedLine(size_t bytes) {
  const std::string line = "one line of a large packed text, 0123456789\r\n";
  qvn::Bytes raw;
  raw.reserve(bytes);
  while (raw.size() + line.size() <= bytes) raw.insert(raw.end(), line.begin(), line.end());
  qvn::CompressBuffer(raw);
  return qvn::TextToUtf8(qvn::Base64EncodeBytes(raw));
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 400;
  int fds[2];
  if (pipe(fds) != 0) return 1;
  pid_t child = fork();
  if (child == 0) {
    const std::string packed = PackedLine(mb * 1000000);
    for (size_t at = 0; at < packed.size();) {
      const ssize_t n = write(fds[1], packed.data() + at, packed.size() - at);
      if (n <= 0) _exit(1);
      at += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string packed;
  char buffer[65536];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) packed.append(buffer, n);
  waitpid(child, nullptr, 0);
  const qvn::Text text = qvn::Utf8ToText(packed);
  packed.clear();
  packed.shrink_to_fit();

  const long before = PeakKb();
  const auto start = std::chrono::steady_clock::now();
  const qvn::Text unpacked = qvn::UnPackString(text);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long after = PeakKb();
  const double out_mb = unpacked.size() * 2 / 1e6;
  std::printf("packed: %.1f KB; unpacked: %zu units (%.1f MB of text, %.1f MB inflated)\n",
              text.size() / 1e3, unpacked.size(), out_mb, unpacked.size() / 1e6);
  std::printf("time: %.2f s; peak resident: %.1f MB before, %.1f MB after = %.2fx the text\n",
              seconds, before / 1e3, after / 1e3, after / 1e3 / out_mb);
  return unpacked.size() > 0 ? 0 : 1;
}
