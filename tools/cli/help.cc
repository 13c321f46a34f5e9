#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "qvn.h"

namespace qvn_cli {
namespace {

const char kGeneral[] =
    "usage: qvn [-h HOST] [-p PORT] COMMAND [ARGUMENTS]\n"
    "       qvn --help | -? | --version\n"
    "\n"
    "Talks to a Quarven database server through the qvn library.\n"
    "Defaults: -h/--host 127.0.0.1 (or $QVN_HOST), -p/--port 7711 ($QVN_PORT),\n"
    "--file-port 7712 ($QVN_FILE_PORT). A TEXT argument of '-' is read from\n"
    "standard input. Texts are UTF-8. 'qvn COMMAND --help' explains a command.\n"
    "\n"
    "Passwords: a PASSWORD or CREDENTIALS argument of '-' is read from standard\n"
    "input; left out, it comes from $QVN_PASSWORD (user) / $QVN_DB_PASSWORD\n"
    "(database), else from a prompt without echo on a terminal. -U USER builds\n"
    "the credentials line dbpassword@USER@password from those sources.\n"
    "\n"
    "Exit status: 0 success; 1 refused, not found or NONE, or a file transfer\n"
    "did not complete; 2 wrong usage; 3 the server could not be reached.\n"
    "\n"
    "commands:\n";

}  // namespace

void PrintGeneralHelp(FILE* out) {
  std::fputs(kGeneral, out);
  for (size_t i = 0; i < kCommandCount; ++i) std::fprintf(out, "  %s\n", kCommands[i].synopsis);
}

// "qvn 1.0.0" and the library that was loaded, with its version.
int PrintVersion() {
  std::printf("qvn %s\n", QVN_CLI_VERSION);
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&Script), &info) != 0 && info.dli_fname != nullptr) {
    char resolved[4096];
    std::string path = ::realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    size_t so = path.rfind(".so.");
    std::string version = so == std::string::npos ? "unknown" : path.substr(so + 4);
    std::printf("libqvn %s (%s)\n", version.c_str(), path.c_str());
  }
  return 0;
}

}  // namespace qvn_cli
