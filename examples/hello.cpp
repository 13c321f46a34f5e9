// hello.cpp: hello.c again, over the C++ header qvn.hpp. Text is UTF-8
// std::string throughout; results release themselves; a command that does
// not reach the server gives an empty std::optional.
//
//   hello_cpp HOST PORT CREDENTIALS
#include <qvn.hpp>

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: " << argv[0] << " HOST PORT CREDENTIALS\n";
    return 2;
  }
  const qvn::Connection server{argv[1], static_cast<uint16_t>(std::atoi(argv[2]))};
  if (!server.TryConnect(2000)) {
    std::cerr << "nothing answers on " << server.host << ':' << server.port << '\n';
    return 1;
  }
  const std::optional<std::string> name = server.DbName();
  if (!name) {
    std::cerr << "the server did not answer (run with QVN_DEBUG=1 to see why)\n";
    return 1;
  }
  std::cout << "database: " << *name << '\n';

  const std::string answer =
      qvn::Script(std::string(argv[3]) + "\r\nadd Greetings=Grüße aus C++ ✓\r\nlist Greetings")
          .Run(server);
  std::cout << "script: " << answer << '\n';
  // The codecs work without a server.
  std::cout << "escaped: " << qvn::Encode("a;b{c}") << '\n';
  return answer.empty() || answer == "NONE" ? 1 : 0;
}
