// qvn-server: a stand-in Quarven database server for development and tests.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "log.h"
#include "options.h"
#include "platform/command_line.h"
#include "platform/stop_request.h"
#include "server.h"
#include "store.h"

namespace {

using namespace qvn::server;

int Init(const std::vector<std::string>& args) {
  InitOptions o = ParseInitOptions(args);
  Store::Create(o.data_dir, o.db_name, o.db_password, o.users);
  std::printf("qvn-server: created database in %s (%zu users)\n", o.data_dir.c_str(),
              o.users.size());
  return 0;
}

int Serve(const std::vector<std::string>& args) {
  Options o = ParseServeOptions(args);
  SetQuiet(o.quiet);
  // Before the server's threads start, so that only this one takes them.
  qvn::platform::TakeStopRequests();

  Store store(o.data_dir);
  Server server(store, o);
  server.Start();
  std::printf("qvn-server listening: port=%u file-port=%u\n", server.port(), server.file_port());
  std::fflush(stdout);
  Log("", "serving " + o.data_dir + " on " + o.address + " port " + std::to_string(server.port()) +
              ", file port " + std::to_string(server.file_port()));
  Log("", "stopping on " + qvn::platform::WaitForStopRequest());
  server.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = qvn::platform::CommandLineArguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());  // the program's name
  if (!args.empty() && args[0] == "--version") {
    std::printf("qvn-server %s\n", QVN_SERVER_VERSION);
    return 0;
  }
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  try {
    if (args[0] == "init") return Init(std::vector<std::string>(args.begin() + 1, args.end()));
    return Serve(args);
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "qvn-server: %s\n%s", e.what(), kUsage);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvn-server: %s\n", e.what());
    return 1;
  }
}
