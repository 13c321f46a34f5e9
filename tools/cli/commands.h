// The commands: each one's name, synopsis, help text, options and runner.
#ifndef QVN_CLI_COMMANDS_H_
#define QVN_CLI_COMMANDS_H_

#include <cstdio>
#include <set>
#include <string>

#include "options.h"

namespace qvn_cli {

struct Command {
  const char* name;
  const char* synopsis;
  const char* help;
  int (*run)(const Args&);
  std::set<std::string> options = {};  // the command options it takes
};

extern const Command kCommands[];
extern const size_t kCommandCount;

// The runners, by the file that holds them.
int RunScript(const Args& a);  // script.cc
int RunShell(const Args& a);   // shell.cc
int RunTryConnect(const Args& a);  // server_commands.cc
int RunDbName(const Args& a);
int RunCheckPassword(const Args& a);
int RunChangePassword(const Args& a);
int RunMessage(const Args& a);
int RunAuth(const Args& a);
int RunUpdateAvailable(const Args& a);
int RunPack(const Args& a);  // codec_commands.cc
int RunUnpack(const Args& a);
int RunEncode(const Args& a);
int RunDecode(const Args& a);
int RunValueCount(const Args& a);
int RunValue(const Args& a);
int RunTempFiles(const Args& a);  // temp_files.cc

// help.cc
void PrintGeneralHelp(FILE* out);
int PrintVersion();

}  // namespace qvn_cli

#endif  // QVN_CLI_COMMANDS_H_
