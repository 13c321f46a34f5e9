#include "input.h"

#include <iostream>
#include <iterator>

namespace qvn_cli {

std::string ReadAll(std::istream& in) {
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (s.rfind("\xEF\xBB\xBF", 0) == 0) s.erase(0, 3);
  return s;
}

Wide TextArg(const std::string& s) {
  if (s == "-") return FromUtf8(ReadAll(std::cin));
  return FromUtf8(s);
}

}  // namespace qvn_cli
