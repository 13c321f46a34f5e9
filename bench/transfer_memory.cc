// Peak memory of a large upload and download through the library: uploads
// FILE to the server, downloads it back beside it, and prints the process's
// peak resident size after each (it must not grow with the file's size).
//   qvn_transfer_memory HOST FILE_PORT CREDENTIALS FILE
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "base/text.h"
#include "transfer/file_transfer_client.h"

namespace {

long PeakKiB() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s HOST FILE_PORT CREDENTIALS FILE\n", argv[0]);
    return 2;
  }
  const qvn::Text host = qvn::Utf8ToText(argv[1]);
  const auto port = static_cast<uint16_t>(std::stoi(argv[2]));
  const qvn::Text credentials = qvn::Utf8ToText(argv[3]);
  const qvn::Text file = qvn::Utf8ToText(argv[4]);
  std::printf("before: peak %ld KiB\n", PeakKiB());
  qvn::TFileTransferClient up;
  if (!up.FileUpLoad(host, port, credentials, file, u"..\\memory.bin")) return 1;
  std::printf("upload: peak %ld KiB\n", PeakKiB());
  qvn::TFileTransferClient down;
  if (!down.FileDownLoad(host, port, credentials, file + u".down", u"..\\memory.bin")) return 1;
  std::printf("download: peak %ld KiB\n", PeakKiB());
  return 0;
}
