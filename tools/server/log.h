// One line per event on stderr, safe from any thread.
#ifndef QVN_SERVER_LOG_H_
#define QVN_SERVER_LOG_H_

#include <string>

namespace qvn::server {

void Log(const std::string& peer, const std::string& message);
void SetQuiet(bool quiet);  // drops informational lines, keeps warnings

// Informational lines (connections served) unless quiet.
void LogInfo(const std::string& peer, const std::string& message);

}  // namespace qvn::server

#endif  // QVN_SERVER_LOG_H_
