// The text codecs, which need no server.
#include <cstdio>

#include "answers.h"
#include "commands.h"
#include "input.h"
#include "qvn.h"

namespace qvn_cli {
namespace {

int RunCodec(const Args& a, qvn_char* (*fn)(const qvn_char*), const char* synopsis) {
  Need(a, 1, synopsis);
  Wide text = TextArg(a.rest[0]);
  return PrintText(TakeResult(fn(QVN_TEXT(text))));
}
}  // namespace

int RunPack(const Args& a) { return RunCodec(a, PackString, "pack TEXT|-"); }
int RunUnpack(const Args& a) { return RunCodec(a, UnPackString, "unpack TEXT|-"); }
int RunEncode(const Args& a) { return RunCodec(a, DataEncode, "encode TEXT|-"); }
int RunDecode(const Args& a) { return RunCodec(a, DataDecode, "decode TEXT|-"); }

int RunValueCount(const Args& a) {
  Need(a, 2, "value-count TEXT DELIMITER [--single]");
  Wide text = TextArg(a.rest[0]), delim = FromUtf8(a.rest[1]);
  std::printf("%d\n", ValueCount(QVN_TEXT(text), QVN_TEXT(delim), a.single));
  return 0;
}

int RunValue(const Args& a) {
  Need(a, 3, "value TEXT INDEX DELIMITER");
  Wide text = TextArg(a.rest[0]), delim = FromUtf8(a.rest[2]);
  int32_t index = IntNumber("INDEX", a.rest[1]);
  return PrintText(TakeResult(ValueFromString(QVN_TEXT(text), index, QVN_TEXT(delim))));
}

}  // namespace qvn_cli
