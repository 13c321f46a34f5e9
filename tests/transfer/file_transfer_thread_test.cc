#include "transfer/file_transfer_thread.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <set>

#include "platform/idle_thread.h"
#include "platform/locale_format.h"
#include "platform/socket.h"
#include "net/listener.h"
#include "qvn.h"
#include "support/fake_file_server.h"
#include "support/progress_window.h"

namespace qvn::testing {
namespace {

const Text kPassword = u"dbpass@user@userpass";

Text T(const std::string& s) { return Utf8ToText(s); }

Text Percent(const char* digits_with_point) {
  Text p = Latin1ToText(digits_with_point);
  p.replace(p.find(u'.'), 1, platform::LocaleDecimalSeparator());
  return p + u"%";
}

// Runs the thread body on the test's own thread: deterministic and
// self-contained; the object stays on the stack.
struct SectionRun {
  std::vector<Text> uploads_done, downloads_done;
  int transfer_done = 0;
  std::vector<uint32_t> thread_ids;

  void operator()(const Text& files_script, uint16_t port, void* handle) {
    TFileTransferThread thread;
    thread.SetHost(u"127.0.0.1");
    thread.SetFilePort(port);
    thread.SetMessageHandle(handle);
    thread.SetFilesScript(files_script);
    thread.SetOnUploadDone([this](void*, const Text& f) { uploads_done.push_back(f); });
    thread.SetOnDownloadDone([this](void*, const Text& f) { downloads_done.push_back(f); });
    thread.SetOnTransferDone([this](TFileTransferThread* t) {
      ++transfer_done;
      EXPECT_FALSE(t->Terminated());
    });
    thread.Execute();
    EXPECT_TRUE(thread.Terminated());
  }
};

TEST(TransferProgressTextTest, EightFieldsJoinedWithStars) {
  EXPECT_EQ(TFileTransferThread::ProgressText(u"C:\\data\\a.txt", u"..\\a.txt", 100000, 100000,
                                              u"", 123456, true),
            u"C:\\data\\a.txt*..\\a.txt*100000*100000*" + Percent("100.00") + u"**123456*Upload");
  EXPECT_EQ(TFileTransferThread::ProgressText(u"c", u"s", 400001, 327670, u"tag", -5, false),
            u"c*s*400001*327670*" + Percent("81.92") + u"*tag*-5*Download");
  // An announced size of 0 is complete at once.
  EXPECT_EQ(ProgressFields(TFileTransferThread::ProgressText(u"c", u"s", 0, 32767, u"", 1, false))[4],
            Percent("100.00"));
  EXPECT_EQ(ProgressFields(TFileTransferThread::ProgressText(u"c", u"s", 3, 1, u"", 1, true))[4],
            Percent("33.33"));
  EXPECT_EQ(ProgressFields(TFileTransferThread::ProgressText(u"c", u"s", 3, 2, u"", 1, true))[4],
            Percent("66.67"));
}

TEST(LocaleFormatTest, TwoDecimalsRounded) {
  const Text sep = platform::LocaleDecimalSeparator();
  EXPECT_EQ(platform::FormatTwoDecimals(81.9179), u"81" + sep + u"92");
  EXPECT_EQ(platform::FormatTwoDecimals(0.004), u"0" + sep + u"00");
  EXPECT_EQ(platform::FormatTwoDecimals(1234.5), u"1234" + sep + u"50");
  EXPECT_FALSE(platform::LocalDateTimeText().empty());
}

class FileTransferThreadTest : public ::testing::Test {
 protected:
  FakeFileServer server_{kPassword};
  TempFolder folder_;
  ProgressWindow window_;
};

TEST_F(FileTransferThreadTest, UploadOf100000BytesSendsExactlyTwoFinalMessages) {
  const std::string path = folder_.File("a.bin");
  const Bytes content = PatternBytes(100000);
  WriteFileBytes(path, content);
  SectionRun run;
  run(kPassword + u"\r\nFILES [UPLOAD]\r\n" + T(path) + u",..\\a.bin}\r\n", server_.port(),
      window_.handle());
  ASSERT_TRUE(server_.WaitForSessions(1));
  EXPECT_TRUE(server_.Sessions()[0].uploaded == content);
  auto messages = window_.Messages();
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& m : messages) {
    EXPECT_EQ(m.message, 5266u);
    auto f = ProgressFields(m.text);
    ASSERT_EQ(f.size(), 8u);
    EXPECT_EQ(f[0], T(path));
    EXPECT_EQ(f[1], u"..\\a.bin");
    EXPECT_EQ(f[2], u"100000");
    EXPECT_EQ(f[3], u"100000");
    EXPECT_EQ(f[4], Percent("100.00"));
    EXPECT_EQ(f[5], u"");
    EXPECT_EQ(f[6], DecimalText(m.wparam));
    EXPECT_EQ(f[7], u"Upload");
  }
  EXPECT_EQ(run.uploads_done, std::vector<Text>{T(path)});
  EXPECT_EQ(run.transfer_done, 1);
}

TEST_F(FileTransferThreadTest, DownloadProgressAfterEveryTenthBlockAndAtTheSize) {
  struct Case {
    size_t size;
    std::vector<std::pair<const char16_t*, const char*>> expected;  // count, percent
  } cases[] = {
      {400001, {{u"327670", "81.92"}, {u"400001", "100.00"}}},
      {400000, {{u"327670", "81.92"}, {u"400000", "100.00"}, {u"400000", "100.00"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    FakeFileServer server(kPassword);
    ProgressWindow window;
    const Bytes content = PatternBytes(c.size, 4);
    server.SetDownload({u"", u"", content, -1});
    const std::string path = folder_.File(std::to_string(c.size) + ".download");
    SectionRun run;
    run(kPassword + u"\r\nfiles  [ download ]\r\n{" + T(path) + u" , ..\\ big.bin }",
        server.port(), window.handle());
    EXPECT_TRUE(ReadFileBytes(path) == content);
    ASSERT_TRUE(server.WaitForSessions(1));
    EXPECT_EQ(server.Sessions()[0].request, u"3^0^..\\big.bin");
    auto messages = window.Messages();
    ASSERT_EQ(messages.size(), c.expected.size());
    for (size_t i = 0; i < messages.size(); ++i) {
      auto f = ProgressFields(messages[i].text);
      ASSERT_EQ(f.size(), 8u);
      EXPECT_EQ(f[2], DecimalText(static_cast<int64_t>(c.size)));
      EXPECT_EQ(f[3], c.expected[i].first);
      EXPECT_EQ(f[4], Percent(c.expected[i].second));
      EXPECT_EQ(f[7], u"Download");
    }
    if (messages.size() == 3) {
      EXPECT_EQ(messages[1].text, messages[2].text);
    }
    EXPECT_EQ(run.downloads_done, std::vector<Text>{T(path)});
  }
}

TEST_F(FileTransferThreadTest, IndexIsThreadIdPlusMillisecond) {
  const std::string path = folder_.File("i.bin");
  WriteFileBytes(path, PatternBytes(10));
  SectionRun run;
  run(kPassword + u"\r\nFILES [UPLOAD]\r\n" + T(path) + u",..\\i}", server_.port(),
      window_.handle());
  auto messages = window_.Messages();
  ASSERT_EQ(messages.size(), 2u);  // count 10 is a multiple of 10 and the size
  const uint32_t idx = static_cast<uint32_t>(messages[0].wparam);
  EXPECT_LT(idx - platform::CurrentThreadId(), 1000u);
  EXPECT_EQ(ProgressFields(messages[0].text)[6], DecimalText(static_cast<int32_t>(idx)));
}

// Entries begun within one millisecond still get an index each, and a
// failure outside an entry's transfer (its done handler out of memory) fails
// that entry only: every entry gets its outcome and the done message counts
// them.
TEST_F(FileTransferThreadTest, EveryEntryHasAnIndexAndAnOutcomeOfItsOwn) {
  Text entries;
  for (int i = 0; i < 18; ++i) {
    const std::string path = folder_.File("e" + std::to_string(i));
    WriteFileBytes(path, PatternBytes(10));
    entries += T(path) + u",..\\e\r\n";
  }
  TFileTransferThread thread;
  thread.SetHost(u"127.0.0.1");
  thread.SetFilePort(server_.port());
  thread.SetMessageHandle(window_.handle());
  thread.SetFilesScript(kPassword + u"\r\nFILES [UPLOAD]\r\n{" + entries + u"}\r\n");
  int done_calls = 0;
  thread.SetOnUploadDone([&](void*, const Text&) {
    if (done_calls++ == 1) throw std::bad_alloc();
  });
  thread.Execute();
  EXPECT_EQ(window_.WaitForDone(), 18);
  EXPECT_EQ(window_.DoneIncomplete(), 1);
  std::set<int64_t> indexes;
  std::vector<int32_t> statuses;
  for (const OutcomeMessage& o : window_.Outcomes()) {
    indexes.insert(o.index);
    statuses.push_back(o.status);
  }
  EXPECT_EQ(indexes.size(), 18u);
  std::vector<int32_t> expected(18, QVN_TRANSFER_COMPLETED);
  expected[1] = QVN_TRANSFER_FAILED;
  EXPECT_EQ(statuses, expected);
}

TEST_F(FileTransferThreadTest, EntriesSeparatorsAndPrefixes) {
  const std::string up = folder_.File("u.bin");
  WriteFileBytes(up, PatternBytes(5));
  server_.SetDownload({u"OK^3", u"", PatternBytes(3), -1});
  const Text script = kPassword + u"\r\n" +
                      u"FILES [UPLOAD]\r\n{" + T(up) + u" , ..\\ docs\\a.txt\r\n" +
                      T(up) + u"}\r\n" +  // no separator: the bare prefix
                      u"CONTENT [UPLOAD]\r\n" + T(up) + u",.@\\pics\\a.txt}\r\n" +
                      u"CONTENT [DOWNLOAD]\r\n" + T(folder_.File("c.bin")) + u" ,.@\\ x\\c }\r\n";
  SectionRun run;
  run(script, server_.port(), nullptr);
  ASSERT_TRUE(server_.WaitForSessions(4));
  auto s = server_.Sessions();
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0].request, u"2^5^..\\docs\\a.txt");
  EXPECT_EQ(s[1].request, u"2^5^..\\");
  EXPECT_EQ(s[2].request, u"2^5^.@\\pics\\a.txt");
  EXPECT_EQ(s[3].request, u"3^0^.@\\x\\c");
  EXPECT_EQ(ReadFileBytes(folder_.File("c.bin")), PatternBytes(3));
  EXPECT_EQ(run.uploads_done.size(), 3u);
  EXPECT_EQ(run.downloads_done.size(), 1u);
}

TEST_F(FileTransferThreadTest, MissingUploadFileIsSkippedAndStillEndsItsSection) {
  const std::string up = folder_.File("present.bin");
  WriteFileBytes(up, PatternBytes(7));
  // The line after the section is an entry only if the section failed to end.
  const Text script = kPassword + u"\r\nFILES [UPLOAD]\r\n" + T(folder_.File("missing")) +
                      u",..\\m}\r\n" + T(up) + u",..\\stray\r\n}\r\nFILES [UPLOAD]\r\n" + T(up) +
                      u",..\\p}";
  SectionRun run;
  run(script, server_.port(), window_.handle());
  ASSERT_TRUE(server_.WaitForSessions(1));
  auto s = server_.Sessions();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].request, u"2^7^..\\p");
  EXPECT_EQ(run.uploads_done, std::vector<Text>{T(up)});
}

TEST_F(FileTransferThreadTest, LoneBraceEndsTheSectionAndEmptyHeaderTransfersNothing) {
  const std::string up = folder_.File("p.bin");
  WriteFileBytes(up, PatternBytes(7));
  SectionRun run;
  run(kPassword + u"\r\nFILES [UPLOAD]\r\n}\r\n" + T(up) + u",..\\after\r\nFILES [DOWNLOAD]",
      server_.port(), window_.handle());
  EXPECT_FALSE(server_.WaitForSessions(1, 300));
  EXPECT_EQ(run.transfer_done, 1);
}

TEST_F(FileTransferThreadTest, ConnectFailureEndsTheRemainingEntries) {
  const std::string up = folder_.File("p.bin");
  WriteFileBytes(up, PatternBytes(7));
  net::Listener closed("127.0.0.1", 0);
  const uint16_t port = closed.port();
  closed.Close();
  SectionRun run;
  run(kPassword + u"\r\nFILES [UPLOAD]\r\n" + T(up) + u",..\\1\r\n" + T(up) + u",..\\2}\r\n" +
          u"FILES [DOWNLOAD]\r\n" + T(folder_.File("d")) + u",..\\3}",
      port, window_.handle());
  EXPECT_EQ(run.uploads_done.size(), 1u);  // the first entry's end-of-call steps, then nothing
  EXPECT_TRUE(run.downloads_done.empty());
  EXPECT_EQ(run.transfer_done, 1);
  EXPECT_TRUE(window_.Messages().empty());
}

TEST_F(FileTransferThreadTest, FilePortZeroTransfersNothing) {
  const std::string up = folder_.File("p.bin");
  WriteFileBytes(up, PatternBytes(7));
  SectionRun run;
  run(kPassword + u"\r\nFILES [UPLOAD]\r\n" + T(up) + u",..\\1}", 0, window_.handle());
  EXPECT_TRUE(run.uploads_done.empty());
  EXPECT_EQ(run.transfer_done, 1);
}

TEST_F(FileTransferThreadTest, NoWindowDoesNotStopTheTransfers) {
  const std::string up = folder_.File("p.bin");
  WriteFileBytes(up, PatternBytes(70000));
  SectionRun run;
  run(kPassword + u"\r\nFILES [UPLOAD]\r\n" + T(up) + u",..\\1\r\n" + T(up) + u",..\\2}",
      server_.port(), nullptr);
  ASSERT_TRUE(server_.WaitForSessions(2));
  EXPECT_EQ(server_.Sessions()[1].uploaded, PatternBytes(70000));
}

// Signals across threads without anything the test frees early.
struct Signal {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  uint32_t thread_id = 0;
  bool Wait(int ms) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done; });
  }
};

TEST_F(FileTransferThreadTest, StartedThreadRunsInTheBackgroundAndFreesItself) {
  const std::string up = folder_.File("bg.bin");
  WriteFileBytes(up, PatternBytes(50000));
  auto signal = std::make_shared<Signal>();
  auto* thread = new TFileTransferThread;
  thread->SetHost(u"127.0.0.1");
  thread->SetFilePort(server_.port());
  thread->SetMessageHandle(window_.handle());
  thread->SetFilesScript(kPassword + u"\r\nFILES [UPLOAD]\r\n" + T(up) + u",..\\bg}");
  thread->SetOnTransferDone([signal](TFileTransferThread*) {
    std::lock_guard<std::mutex> lock(signal->m);
    signal->done = true;
    signal->thread_id = platform::CurrentThreadId();
    signal->cv.notify_all();
  });
  thread->Start();  // from here on the object is the thread's
  ASSERT_TRUE(signal->Wait(20000));
  EXPECT_NE(signal->thread_id, platform::CurrentThreadId());
  ASSERT_TRUE(server_.WaitForSessions(1));
  EXPECT_EQ(server_.Sessions()[0].uploaded, PatternBytes(50000));
  ASSERT_TRUE(window_.WaitForMessages(1));
  EXPECT_LT(static_cast<uint32_t>(window_.Messages()[0].wparam) - signal->thread_id, 1000u);
}

}  // namespace
}  // namespace qvn::testing
