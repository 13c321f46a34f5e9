// Windows-only behaviour of the file transfer: the exclusive-open probe,
// idle priority, and progress sent to real windows with SendMessageW.
#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/files.h"
#include "platform/idle_thread.h"
#include "support/fake_file_server.h"
#include "support/progress_window.h"
#include "transfer/file_transfer_client.h"
#include "transfer/file_transfer_thread.h"

namespace qvn::testing {
namespace {

const Text kPassword = u"pw@user@pass";

Text T(const std::string& s) { return Utf8ToText(s); }
const wchar_t* W(const Text& t) { return reinterpret_cast<const wchar_t*>(t.c_str()); }

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

TEST(FileInUseWinTest, AnyOtherOpenHandleMakesTheFileInUse) {
  TempFolder folder;
  const Text path = T(folder.File("f.bin"));
  WriteFileBytes(folder.File("f.bin"), PatternBytes(10));
  EXPECT_FALSE(platform::IsFileInUse(path));
  {
    // A reader that lets everybody else read and write still blocks the probe.
    Handle reader(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(reader.get(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(platform::IsFileInUse(path));
  }
  EXPECT_FALSE(platform::IsFileInUse(path));  // the probe closed its own handle
  EXPECT_TRUE(platform::IsFileInUse(T(folder.File("missing"))));
  EXPECT_TRUE(platform::IsFileInUse(T(folder.path())));
}

TEST(FileInUseWinTest, UploadOfAFileOpenElsewhereFailsWithoutConnecting) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  const Text path = T(folder.File("open.bin"));
  WriteFileBytes(folder.File("open.bin"), PatternBytes(100));
  Handle reader(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr));
  ASSERT_NE(reader.get(), INVALID_HANDLE_VALUE);
  TFileTransferClient client;
  bool done = false;
  client.SetOnProcessDone([&](void*, const Text&) { done = true; });
  EXPECT_FALSE(client.FileUpLoad(u"127.0.0.1", server.port(), kPassword, path, u"..\\o"));
  EXPECT_FALSE(done);
  EXPECT_FALSE(server.WaitForSessions(1, 300));
}

TEST(FilesWinTest, DownloadCannotReplaceAFileHeldOpenWithoutDeleteSharing) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  const std::string name = folder.File("held.bin");
  WriteFileBytes(name, PatternBytes(50, 2));
  server.SetDownload({u"", u"", PatternBytes(60000), -1});
  Handle holder(CreateFileW(W(T(name)), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
  ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
  TFileTransferClient client;
  EXPECT_FALSE(client.FileDownLoad(u"127.0.0.1", server.port(), kPassword, T(name), u"..\\h"));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"held.bin"});
  EXPECT_TRUE(testing::ReadFileBytes(name) == PatternBytes(50, 2));
}

struct Signal {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  int priority = 0;
};

// A read-only file, a folder or a device name is refused as a download
// target and left as it was.
TEST(FilesWinTest, TargetsTheHostCouldNotWriteAreRefused) {
  FakeFileServer server(kPassword);
  server.SetDownload({u"", u"", PatternBytes(40000), -1});
  TempFolder folder;
  const std::string read_only = folder.File("read-only.bin"), sub = folder.File("sub");
  WriteFileBytes(read_only, PatternBytes(10));
  ASSERT_TRUE(SetFileAttributesW(W(T(read_only)), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(CreateDirectoryW(W(T(sub)), nullptr));
  for (const Text& target : {T(read_only), T(sub), Text(u"NUL"), Text(u"CON")}) {
    SCOPED_TRACE(TextToUtf8(target));
    EXPECT_FALSE(TFileTransferClient().FileDownLoad(u"127.0.0.1", server.port(), kPassword, target,
                                                    u"..\\f"));
  }
  EXPECT_TRUE(ReadFileBytes(read_only) == PatternBytes(10));
  SetFileAttributesW(W(T(read_only)), FILE_ATTRIBUTE_NORMAL);  // so that the folder can go
  EXPECT_EQ(folder.Names().size(), 2u);
}

TEST(IdleThreadWinTest, RunsAtIdlePriority) {
  auto signal = std::make_shared<Signal>();
  platform::StartIdleThread([signal] {
    std::lock_guard<std::mutex> lock(signal->m);
    signal->priority = GetThreadPriority(GetCurrentThread());
    signal->done = true;
    signal->cv.notify_all();
  });
  std::unique_lock<std::mutex> lock(signal->m);
  ASSERT_TRUE(signal->cv.wait_for(lock, std::chrono::seconds(10), [&] { return signal->done; }));
  EXPECT_EQ(signal->priority, THREAD_PRIORITY_IDLE);
}

TEST(ProgressWindowWinTest, MessageOnlyWindowReceivesTheUploadsProgress) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  ProgressWindow window;
  ASSERT_NE(window.handle(), nullptr);
  ASSERT_TRUE(IsWindow(static_cast<HWND>(window.handle())));
  const std::string path = folder.File("w.bin");
  WriteFileBytes(path, PatternBytes(327670));  // exactly ten blocks
  TFileTransferThread thread;
  thread.SetHost(u"127.0.0.1");
  thread.SetFilePort(server.port());
  thread.SetMessageHandle(window.handle());
  thread.SetFilesScript(kPassword + u"\r\nCONTENT [UPLOAD]\r\n" + T(path) + u",.@\\w}");
  thread.Execute();
  auto messages = window.Messages();
  ASSERT_EQ(messages.size(), 2u);  // block 10 is both a tenth block and the end
  for (const auto& m : messages) {
    EXPECT_EQ(m.message, 5266u);
    auto f = ProgressFields(m.text);
    ASSERT_EQ(f.size(), 8u);
    EXPECT_EQ(f[3], u"327670");
    EXPECT_EQ(f[6], DecimalText(m.wparam));
    EXPECT_EQ(f[7], u"Upload");
  }
}

TEST(ProgressWindowWinTest, HandleThatNamesNoWindowIsIgnored) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  HWND gone;
  {
    ProgressWindow window;
    gone = static_cast<HWND>(window.handle());
  }
  ASSERT_FALSE(IsWindow(gone));
  const std::string path = folder.File("n.bin");
  WriteFileBytes(path, PatternBytes(40000));
  TFileTransferThread thread;
  thread.SetHost(u"127.0.0.1");
  thread.SetFilePort(server.port());
  thread.SetMessageHandle(gone);
  thread.SetFilesScript(kPassword + u"\r\nFILES [UPLOAD]\r\n" + T(path) + u",..\\n}");
  thread.Execute();
  ASSERT_TRUE(server.WaitForSessions(1));
  EXPECT_TRUE(server.Sessions()[0].uploaded == PatternBytes(40000));
}

// The host destroys its window while a transfer reports to it: what would
// follow (progress, the outcome, the done message) goes nowhere, and the
// transfer still completes.
TEST(ProgressWindowWinTest, WindowDestroyedDuringTheTransferGetsNothingMore) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  const std::string path = folder.File("d.bin");
  WriteFileBytes(path, PatternBytes(700000));  // messages after blocks 10 and 20, and at the end
  ProgressWindow window;
  HWND hwnd = static_cast<HWND>(window.handle());
  // Runs on the window's own thread, while the transfer thread waits in SendMessageW.
  window.CancelWhen([hwnd](const ProgressMessage&) { return !DestroyWindow(hwnd); });
  TFileTransferThread thread;
  thread.SetHost(u"127.0.0.1");
  thread.SetFilePort(server.port());
  thread.SetMessageHandle(hwnd);
  thread.SetFilesScript(kPassword + u"\r\nFILES [UPLOAD]\r\n" + T(path) + u",..\\d}");
  thread.Execute();
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(window.Messages().size(), 1u);
  EXPECT_TRUE(window.Outcomes().empty());
  EXPECT_EQ(window.DoneMessages(), 0);
  ASSERT_TRUE(server.WaitForSessions(1));
  EXPECT_TRUE(server.Sessions()[0].uploaded == PatternBytes(700000));
}

}  // namespace
}  // namespace qvn::testing
