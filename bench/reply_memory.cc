// Peak memory of SendScript for one large reply: a child process serves a
// reply of about the given size (MB, default 100) on the request port; the
// parent reports its own peak resident size before and after the call.
//   qvn_reply_memory [MB]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "codecs/text_crypto.h"
#include "conversation/framing.h"
#include "conversation/script_request.h"
#include "net/listener.h"

namespace {

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Wire bytes = 4 + 2 * Base64(AES(2 bytes per unit)): about 16/3 per unit.
void Serve(qvn::net::Listener& listener, size_t reply_bytes) {
  qvn::platform::Connection peer = listener.Accept(30000);
  qvn::ReadMessage(peer);
  qvn::Text answer(reply_bytes * 3 / 16, u'r');
  qvn::Text cipher = qvn::EncryptText(qvn::Md5Hex(u"pw"), answer);
  std::printf("reply on the wire: %.1f MB\n", (4 + cipher.size() * 2) / 1e6);
  std::fflush(stdout);
  (void)qvn::WriteMessage(peer, cipher);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
  qvn::net::Listener listener("127.0.0.1", 0);
  pid_t child = fork();
  if (child == 0) {
    Serve(listener, mb * 1000000);
    _exit(0);
  }
  listener.Close();
  const long before = PeakKb();
  qvn::Text answer = qvn::SendScript(u"127.0.0.1", listener.port(), u"pw\r\nLIST");
  const long after = PeakKb();
  waitpid(child, nullptr, 0);
  std::printf("answer: %zu units (%.1f MB)\npeak resident: %.1f MB before, %.1f MB after\n",
              answer.size(), answer.size() * 2 / 1e6, before / 1e3, after / 1e3);
  return answer.size() > 0 ? 0 : 1;
}
