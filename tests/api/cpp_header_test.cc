// The C++ layer of include/qvn.hpp over the exports: typed answers, UTF-8 and
// UTF-16 both ways, and the progress callback of a script's transfers.
#include "qvn.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "support/fake_file_server.h"
#include "support/fake_server.h"
#include "support/temp_file.h"

namespace qvn::testing {
namespace {

using testing::FakeServer;
using testing::Reply;

TEST(CppHeaderTest, CommandsGiveTheReplyOrNoValue) {
  FakeServer server(Reply::Framed(u"Grüße ✓ \U0001D11E"));
  const Connection reachable{"127.0.0.1", server.port()};
  EXPECT_TRUE(reachable.TryConnect());
  EXPECT_EQ(reachable.DbName(), "Grüße ✓ \U0001D11E");
  EXPECT_EQ(reachable.DbName<std::u16string>(), u"Grüße ✓ \U0001D11E");
  EXPECT_EQ(reachable.CheckPassword(u"db@bob@pw"), "Grüße ✓ \U0001D11E");

  const Connection nowhere{"127.0.0.1", 0};  // port 0: nothing is sent
  EXPECT_FALSE(nowhere.TryConnect(100));
  EXPECT_EQ(nowhere.DbName(), std::nullopt);
  EXPECT_EQ(nowhere.MessageToPipe("hello"), std::nullopt);
  EXPECT_EQ(nowhere.Authenticate("bob", "pw"), std::nullopt);
  EXPECT_FALSE(nowhere.UpdateIsAvailable("db@bob@pw", "T", 0, "x", 1));
  EXPECT_EQ(Script("db@bob@pw\r\nlist T").Run(nowhere), "");
}

TEST(CppHeaderTest, TextCrossesInBothEncodings) {
  // The header's own conversion must agree with the library's.
  for (const std::u16string text :
       {u"", u"plain", u"a;b&c{d}\t\r\n", u"Grüße ✓", u"\U0001D11E pair", u"\xD800 lone"}) {
    SCOPED_TRACE(TextToUtf8(text));
    const std::string utf8 = Utf16ToUtf8(text);
    EXPECT_EQ(utf8, TextToUtf8(text));
    EXPECT_EQ(Utf8ToUtf16(utf8), Utf8ToText(utf8));
    EXPECT_EQ(Decode(Encode(utf8)), utf8);
    EXPECT_EQ(Decode<std::u16string>(Encode(text)), Utf8ToText(utf8));
  }
  for (const std::string bad : {"\xff", "a\xc3", "\xe2\x82", "\xed\xa0\x80", "\xf4\x90\x80\x80"}) {
    EXPECT_EQ(Utf8ToUtf16(bad), Utf8ToText(bad)) << bad;
  }
  // Packed text goes through the system's code page: plain text survives.
  EXPECT_EQ(Unpack(Pack(" packed\r\ntext ")), "packed\r\ntext");
  EXPECT_EQ(Value("  a@b@c ", 1, "@"), "b");
  EXPECT_EQ(Value("a@b@c", 3, "@"), std::nullopt);
  EXPECT_EQ(Value("single", 0, "@"), "single");
  EXPECT_EQ(ValueCount("a;b;c", ";"), 3);
}

#if !defined(_WIN32)
TEST(CppHeaderTest, ScriptReportsProgressToItsCallback) {
  const Text credentials = u"db@bob@pw";
  testing::FakeFileServer files(credentials);
  TempFile upload(".bin", PatternBytes(100000));
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Progress> seen;
  {
    Script script(credentials + u"\r\nFILES [UPLOAD]\r\n{" + upload.name() + u",..\\up.bin}");
    script.OnProgress([&](const Progress& p) {
      std::lock_guard<std::mutex> lock(mutex);
      seen.push_back(p);
      changed.notify_all();
    });
    // Nothing but file sections: the request port is never used.
    const std::string started = script.Run(Connection{"127.0.0.1", 1, files.port()});
    EXPECT_EQ(started.rfind("File transfer started : ", 0), 0u) << started;
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return seen.size() >= 2; }));
  }  // the script goes while the thread may still run: the callback is cut, not freed
  std::lock_guard<std::mutex> lock(mutex);
  const Progress& last = seen.back();
  EXPECT_EQ(last.client_file, TextToUtf8(upload.name()));
  EXPECT_EQ(last.server_file, "..\\up.bin");
  EXPECT_EQ(last.size, 100000);
  EXPECT_TRUE(last.complete());
  EXPECT_TRUE(last.upload);
  EXPECT_EQ(last.percent.size(), 7u);  // "100.00%" with the locale's separator
}
#endif

}  // namespace
}  // namespace qvn::testing
