#include <string>

#include "commands.h"
#include "platform/executable_path.h"
#include "platform/product_version.h"
#include "qvn.h"
#include "wide.h"

namespace qvn_cli {
namespace {

const char kGeneral[] =
    "usage: qvn [OPTIONS] COMMAND [ARGUMENTS]\n"
    "       qvn [OPTIONS] -U USER -c STATEMENT [-c STATEMENT ...]\n"
    "       qvn [OPTIONS] -f FILE\n"
    "       qvn --help | -? | --version | -V\n"
    "\n"
    "Talks to a Quarven database server through the qvn library. Answers go to\n"
    "stdout; progress, warnings and errors to stderr. 'qvn COMMAND --help'\n"
    "explains a command. A TEXT argument of '-' is read from standard input;\n"
    "texts are UTF-8.\n"
    "\n"
    "Options for every command:\n"
    "  -h, --host HOST          127.0.0.1, or $QVN_HOST\n"
    "  -p, --port PORT          7711, or $QVN_PORT (--file-port: 7712, $QVN_FILE_PORT)\n"
    "  -U, --user USER          build the credentials line for USER ($QVN_USER)\n"
    "  -c, --command STATEMENT  run the statements as a script (needs a user)\n"
    "  -f, --file FILE          run a script file, as 'qvn script FILE'\n"
    "  -q, --quiet              no progress of file transfers\n"
    "  --connect-timeout MS     give up a connect after MS milliseconds\n"
    "  --io-timeout MS          give up a wait for the server after MS ms\n"
    "\n"
    "Passwords: a PASSWORD or CREDENTIALS argument of '-' is read from standard\n"
    "input; left out, it comes from $QVN_PASSWORD (user) / $QVN_DB_PASSWORD\n"
    "(database), else from the password file (~/.qvnpass or $QVN_PASSFILE,\n"
    "lines host:port:user:password, an empty user for the database password,\n"
    "mode 0600), else from a prompt without echo on a terminal.\n"
    "\n"
    "Exit status: 0 success; 1 refused, not found or NONE, or a file entry did\n"
    "not complete; 2 wrong usage; 3 the server could not be reached.\n"
    "\n"
    "commands:\n";

}  // namespace

void PrintGeneralHelp(FILE* out) {
  std::fputs(kGeneral, out);
  for (size_t i = 0; i < kCommandCount; ++i) std::fprintf(out, "  %s\n", kCommands[i].synopsis);
}

// "qvn 1.0.0" and the library that was loaded, with its version: on Linux
// the one its file name carries (libqvn.so.1.0.0), on Windows qvn.dll's
// version resource.
int PrintVersion() {
  std::printf("qvn %s\n", QVN_CLI_VERSION);
  const std::string path = ToUtf8(qvn::platform::ModulePathOf(reinterpret_cast<const void*>(&Script)));
  if (path.empty()) return 0;
#if defined(_WIN32)
  std::string version = "unknown";
  try {
    const qvn::ProductVersion v = qvn::platform::ReadProductVersion(FromUtf8(path));
    version = std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.release);
  } catch (const std::exception&) {
    // A DLL without its version resource: the path still says which one.
  }
  std::printf("qvn.dll %s (%s)\n", version.c_str(), path.c_str());
#else
  size_t so = path.rfind(".so.");
  std::string version = so == std::string::npos ? "unknown" : path.substr(so + 4);
  std::printf("libqvn %s (%s)\n", version.c_str(), path.c_str());
#endif
  return 0;
}

}  // namespace qvn_cli
