#include "commands.h"

#include <iterator>

namespace qvn_cli {

const Command kCommands[] = {
    {"script", "script [-U USER] [FILE|-] [--file-port N] [--timeout S] [--idle-timeout S]",
     "Runs a script (first line: dbpassword@user@password, unless -U builds it)\n"
     "and prints the answers. A script file or standard input is read up to\n"
     "64 MiB; an empty or blank one is refused (exit 2). File sections\n"
     "(FILES [UPLOAD] ... }) run in the background over the file port; each\n"
     "entry that does not complete gets one line on stderr with its cause. The\n"
     "command waits for the last one: at most --timeout seconds (600) in all and\n"
     "--idle-timeout seconds (120, 0 = no limit) without news. Exits 1 when a\n"
     "file entry did not complete or the answer is NONE, 3 when the server is\n"
     "not reachable. --file-port 0: no transfers. 'qvn -f FILE' and\n"
     "'qvn -U USER -c STATEMENT' run the same way.",
     RunScript, {"--file-port", "--timeout", "--idle-timeout", "--user"}},
    {"shell", "shell [-U USER]",
     "Interactive: asks for the credentials once (or takes -U USER / $QVN_USER\n"
     "and the password sources) and has the server check them, with two more\n"
     "tries on a terminal; then reads a script line by line and sends it on an\n"
     "empty line, printing the answers. \\q, quit or exit ends it, help or \\?\n"
     "explains it. History in ~/.qvn_history (created 0600). Without a terminal\n"
     "the first line of standard input is the credentials line (unless a user\n"
     "is given) and empty lines separate the scripts.",
     RunShell, {"--file-port", "--timeout", "--idle-timeout", "--user"}},
    {"try-connect", "try-connect [--probe-ms N]",
     "Prints true when a connection to the port can be made within N ms (5000),\n"
     "else false and exits 1.",
     RunTryConnect, {"--probe-ms"}},
    {"db-name", "db-name", "Prints the database's name.", RunDbName, {}},
    {"check-password", "check-password [-U USER | CREDENTIALS|-]",
     "Asks the server to check a credentials line dbpassword@user@password\n"
     "(DENIED: exit 1).",
     RunCheckPassword, {"--user"}},
    {"change-password", "change-password USER | DB_PASSWORD USER PASSWORD NEW_PASSWORD",
     "Changes a user's password; the new one travels encrypted under both passwords.\n"
     "With USER alone the passwords come from $QVN_DB_PASSWORD, $QVN_PASSWORD and\n"
     "$QVN_NEW_PASSWORD or prompts.",
     RunChangePassword, {}},
    {"message", "message pipe TEXT | message file TEXT | message tcp HOST PORT TEXT",
     "Hands the server a message to pass on through a pipe, a file or a TCP\n"
     "connection to HOST:PORT.",
     RunMessage, {}},
    {"auth", "auth USER [PASSWORD|-]",
     "Authenticates a user without sending name or password; prints the server's\n"
     "decrypted answer. An empty answer means refused (exit 1).",
     RunAuth, {}},
    {"update-available",
     "update-available [-U USER | CREDENTIALS|-] TABLE SEARCH_FIELD SEARCH_TEXT VERSION_FIELD",
     "Prints true when the version stored in TABLE (record found by SEARCH_TEXT in\n"
     "SEARCH_FIELD, version in VERSION_FIELD) differs from this program's version.",
     RunUpdateAvailable, {"--user"}},
    {"pack", "pack TEXT|-", "Packs a text into one Base64 line of its compressed bytes.", RunPack, {}},
    {"unpack", "unpack TEXT|-", "Unpacks a packed text.", RunUnpack, {}},
    {"encode", "encode TEXT|-", "Escapes ; & , TAB CR LF { } as entities.", RunEncode, {}},
    {"decode", "decode TEXT|-", "Turns entities back into their characters.", RunDecode, {}},
    {"value-count", "value-count TEXT DELIMITER [--single]",
     "Prints the number of fields of TEXT split at DELIMITER; a text without the\n"
     "delimiter counts 1 with --single, else 0.",
     RunValueCount, {"--single"}},
    {"value", "value TEXT INDEX DELIMITER",
     "Prints field INDEX (from 0) of TEXT split at DELIMITER.", RunValue, {}},
    {"temp-files", "temp-files [FOLDER ...] [--remove]",
     "Lists the temporary files (.qvn-XXXXXXXX.part) that downloads killed before\n"
     "they finished left in each FOLDER (default: the current one), with their\n"
     "sizes; --remove deletes them. Run it when no download into them is running.",
     RunTempFiles, {"--remove"}},
};

const size_t kCommandCount = std::size(kCommands);

}  // namespace qvn_cli
