// Linux-only behaviour of the file transfer: the in-use probe's flock
// equivalent, the transfer thread's scheduling class, and unloading the
// library while a transfer runs.
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "api/script.h"
#include "base/errors.h"
#include "platform/files.h"
#include "platform/idle_thread.h"
#include "platform/replace_file.h"
#include "qvn.h"
#include "support/fake_file_server.h"
#include "support/loopback.h"
#include "support/progress_window.h"
#include "transfer/file_transfer_client.h"
#include "transfer/file_transfer_thread.h"

namespace qvn::testing {
namespace {

const Text kPassword = u"pw@user@pass";

Text T(const std::string& s) { return Utf8ToText(s); }

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

TEST(FileInUsePosixTest, LockedMissingAndNonRegularFilesAreInUse) {
  TempFolder folder;
  const std::string path = folder.File("f.bin");
  WriteFileBytes(path, PatternBytes(10));
  EXPECT_FALSE(platform::IsFileInUse(T(path)));
  {
    Fd holder(::open(path.c_str(), O_RDONLY));
    ASSERT_GE(holder.get(), 0);
    EXPECT_FALSE(platform::IsFileInUse(T(path)));  // open without a lock goes unnoticed
    ASSERT_EQ(::flock(holder.get(), LOCK_SH), 0);
    EXPECT_TRUE(platform::IsFileInUse(T(path)));  // even a shared (read) lock
  }
  EXPECT_FALSE(platform::IsFileInUse(T(path)));  // the probe itself left no lock behind
  EXPECT_TRUE(platform::IsFileInUse(T(folder.File("missing"))));
  EXPECT_TRUE(platform::IsFileInUse(T(folder.path())));
  const std::string fifo = folder.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(platform::IsFileInUse(T(fifo)));  // and the probe does not block on it
  // A file swapped for a FIFO after the probe: refused, not waited on.
  EXPECT_THROW(platform::File::OpenForSharedRead(T(fifo)), PlatformError);
  EXPECT_FALSE(platform::IsRegularFile(T(fifo)));
  EXPECT_FALSE(platform::IsRegularFile(T(folder.path())));
  EXPECT_TRUE(platform::IsRegularFile(T(path)));
}

TEST(FileInUsePosixTest, UploadOfALockedFileFailsWithoutConnecting) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  const std::string path = folder.File("locked.bin");
  WriteFileBytes(path, PatternBytes(100));
  Fd holder(::open(path.c_str(), O_RDONLY));
  ASSERT_EQ(::flock(holder.get(), LOCK_EX), 0);
  TFileTransferClient client;
  bool done = false;
  client.SetOnProcessDone([&](void*, const Text&) { done = true; });
  EXPECT_FALSE(client.FileUpLoad(u"127.0.0.1", server.port(), kPassword, T(path), u"..\\l"));
  EXPECT_FALSE(done);
  EXPECT_FALSE(server.WaitForSessions(1, 300));
}

TEST(FilesPosixTest, NonAsciiNamesAreUtf8Paths) {
  TempFolder folder;
  const std::string path = folder.File("gr\xc3\xbc\xc3\x9f" "e.bin");
  {
    platform::File f = platform::File::Create(T(path), true);
    const uint8_t data[] = {1, 2, 3};
    f.Write(data, 3);
    EXPECT_THROW(platform::File::Create(T(path), true), PlatformError);
  }
  EXPECT_EQ(testing::ReadFileBytes(path), (Bytes{1, 2, 3}));
}

struct Signal {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  int policy = -1;
};

TEST(IdleThreadPosixTest, RunsDetachedUnderTheIdleClass) {
  auto signal = std::make_shared<Signal>();
  platform::StartIdleThread([signal] {
    std::lock_guard<std::mutex> lock(signal->m);
    signal->policy = sched_getscheduler(0);
    signal->done = true;
    signal->cv.notify_all();
  });
  std::unique_lock<std::mutex> lock(signal->m);
  ASSERT_TRUE(signal->cv.wait_for(lock, std::chrono::seconds(10), [&] { return signal->done; }));
  EXPECT_EQ(signal->policy, SCHED_IDLE);
}

// The host's window: blocks the transfer thread inside the library (it calls
// us synchronously) until the test has unloaded the library.
struct Host {
  std::mutex m;
  std::condition_variable cv;
  int messages = 0;
  bool unloaded = false;
  Text last;

  bool done = false;

  static intptr_t Proc(void* context, uint32_t message, uintptr_t, intptr_t lparam) {
    auto* host = static_cast<Host*>(context);
    std::unique_lock<std::mutex> lock(host->m);
    if (message == QVN_WM_TRANSFERS_DONE) {
      host->done = true;
      host->cv.notify_all();
      return 0;
    }
    if (message != QVN_WM_TRANSFER_PROGRESS) return 0;
    host->last = reinterpret_cast<const char16_t*>(lparam);
    ++host->messages;
    host->cv.notify_all();
    host->cv.wait_for(lock, std::chrono::seconds(20), [&] { return host->unloaded; });
    return 0;
  }
};

TEST(LibraryUnloadPosixTest, DlcloseDuringATransferDoesNotUnmapRunningCode) {
  FakeFileServer file_server(kPassword);
  TempFolder folder;
  const std::string path = folder.File("big.bin");
  // 22 blocks: messages after blocks 10 and 20, and twice at 700000.
  const Bytes content = PatternBytes(700000);
  WriteFileBytes(path, content);

  void* library = dlopen(QVN_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using ScriptFn = qvn_char* (*)(void*, const qvn_char*, const qvn_char*, uint16_t, uint16_t);
  using FreeFn = void (*)(qvn_char*);
  auto script_fn = reinterpret_cast<ScriptFn>(dlsym(library, "Script"));
  auto free_fn = reinterpret_cast<FreeFn>(dlsym(library, "ScriptFree"));
  ASSERT_NE(script_fn, nullptr);
  ASSERT_NE(free_fn, nullptr);

  auto host = std::make_unique<Host>();
  QvnWindow window{&Host::Proc, host.get()};
  // Port 1 for requests: the script has no command, so nothing goes there.
  // A line that begins with "/" is a comment: the "{" keeps the absolute path.
  const Text script = kPassword + u"\r\nFILES [UPLOAD]\r\n{" + T(path) + u",..\\big.bin}\r\n";
  qvn_char* result = script_fn(&window, script.c_str(), u"127.0.0.1", 1, file_server.port());
  ASSERT_NE(result, nullptr);
  EXPECT_TRUE(TextView(result).starts_with(u"File transfer started : "));
  free_fn(result);

  {
    std::unique_lock<std::mutex> lock(host->m);
    ASSERT_TRUE(
        host->cv.wait_for(lock, std::chrono::seconds(20), [&] { return host->messages > 0; }));
  }
  // The transfer thread is now inside the library, waiting for us.
  EXPECT_EQ(dlclose(library), 0);
  {
    std::lock_guard<std::mutex> lock(host->m);
    host->unloaded = true;
    host->cv.notify_all();
  }
  ASSERT_TRUE(file_server.WaitForSessions(1));
  EXPECT_TRUE(file_server.Sessions()[0].uploaded == content);
  std::unique_lock<std::mutex> lock(host->m);
  EXPECT_TRUE(host->cv.wait_for(lock, std::chrono::seconds(20), [&] { return host->done; }));
  EXPECT_EQ(host->messages, 4);
  EXPECT_TRUE(TextView(host->last).find(u"*700000*700000*") != TextView::npos);
  // The library's thread may still be returning from its last message; the
  // Host outlives it by staying allocated.
  host.release();
}

}  // namespace
}  // namespace qvn::testing

namespace qvn::testing {
namespace {

// The host may free its QvnWindow record as soon as Script returns, and learns
// from the done message (sent whatever became of the entries) when context
// may go too.
TEST(TransfersDoneTest, RecordMayGoAtOnceAndTheLastCallSaysHowManyEntries) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  const std::string upload = folder.File("up.bin");
  WriteFileBytes(upload, PatternBytes(70000));
  const uint16_t closed = PortWithNoListener();
  struct Case {
    const char* what;
    std::string client_file;
    uint16_t file_port;
    int64_t entries;
  } cases[] = {
      {"upload", upload, server.port(), 1},
      {"missing file skipped", folder.File("missing"), server.port(), 0},
      {"no file server", upload, closed, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ProgressWindow window;
    auto* record = new QvnWindow(*static_cast<QvnWindow*>(window.handle()));
    const Text script =
        kPassword + u"\r\nFILES [UPLOAD]\r\n{" + T(c.client_file) + u",..\\up.bin}\r\n";
    EXPECT_FALSE(Script(record, script, u"127.0.0.1", 1, c.file_port).empty());
    delete record;  // ASan reports any later read of it
    EXPECT_EQ(window.WaitForDone(), c.entries);
    for (const auto& m : window.Messages()) EXPECT_EQ(m.message, QVN_WM_TRANSFER_PROGRESS);
  }
}

}  // namespace
}  // namespace qvn::testing

namespace qvn::testing {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

// A successful download changes the content only: permissions stay, a link
// stays a link (its file is replaced), and the longest legal name works.
TEST(DownloadTargetPosixTest, OnlyTheContentChanges) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  const Bytes fresh = PatternBytes(40000, 3);
  server.SetDownload({u"", u"", fresh, -1});
  auto download = [&](const std::string& path) {
    TFileTransferClient client;
    return client.FileDownLoad(u"127.0.0.1", server.port(), kPassword, T(path), u"..\\f");
  };
  const std::string secret = folder.File("secret.bin");
  WriteFileBytes(secret, PatternBytes(10));
  ASSERT_EQ(::chmod(secret.c_str(), 0640), 0);
  ASSERT_TRUE(download(secret));
  EXPECT_EQ(ModeOf(secret), 0640u);
  EXPECT_TRUE(testing::ReadFileBytes(secret) == fresh);

  const std::string link = folder.File("link.bin");
  ASSERT_EQ(::symlink("secret.bin", link.c_str()), 0);  // relative to the link's folder
  WriteFileBytes(secret, PatternBytes(10));
  ASSERT_TRUE(download(link));
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_TRUE(testing::ReadFileBytes(secret) == fresh);
  EXPECT_EQ(ModeOf(secret), 0640u);

  const std::string longest = folder.File(std::string(255, 'n'));
  ASSERT_TRUE(download(longest));
  EXPECT_TRUE(testing::ReadFileBytes(longest) == fresh);
  const mode_t mask = ::umask(022);
  ::umask(mask);
  EXPECT_EQ(ModeOf(longest), 0666u & ~mask);  // a new file as any other program makes it
  EXPECT_EQ(folder.Names().size(), 3u);       // no temporary file left
}

// Downloads the server's `reply` to each of `targets` as an unprivileged user (the
// permission cases mean nothing to root): when the tests run as root, in a
// child that drops to "nobody". The child is forked before the server's
// threads exist: a child forked beside a running thread can inherit a lock
// that thread held (a sanitizer's allocator, say) and hang. Whether each
// download succeeded.
std::vector<bool> DownloadAsUnprivileged(const DownloadReply& reply,
                                         const std::vector<std::string>& targets) {
  auto download = [](uint16_t port, const std::string& target) {
    return TFileTransferClient().FileDownLoad(u"127.0.0.1", port, kPassword, T(target), u"..\\f");
  };
  std::vector<bool> done(targets.size(), false);
  if (::geteuid() != 0) {
    FakeFileServer server(kPassword);
    server.SetDownload(reply);
    for (size_t i = 0; i < targets.size(); ++i) done[i] = download(server.port(), targets[i]);
    return done;
  }
  int to_child[2], from_child[2];
  if (::pipe(to_child) != 0 || ::pipe(from_child) != 0) return done;
  const pid_t child = ::fork();
  if (child == 0) {
    uint16_t port = 0;
    if (::read(to_child[0], &port, sizeof port) != sizeof port) ::_exit(2);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    for (const std::string& target : targets) {
      const char answer = download(port, target) ? 1 : 0;
      if (::write(from_child[1], &answer, 1) != 1) ::_exit(2);
    }
    ::_exit(0);
  }
  ::close(to_child[0]);
  ::close(from_child[1]);
  {
    FakeFileServer server(kPassword);
    server.SetDownload(reply);
    const uint16_t port = server.port();
    if (::write(to_child[1], &port, sizeof port) == sizeof port) {
      char answer = 0;
      for (size_t i = 0; i < targets.size() && ::read(from_child[0], &answer, 1) == 1; ++i)
        done[i] = answer == 1;
    }
  }
  ::close(to_child[1]);
  ::close(from_child[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the unprivileged child failed";
  return done;
}

// A target that is not a regular file, or that the host could not open for
// writing, is refused and left as it was; a writable file in a folder that
// takes no temporary file is written in place.
TEST(DownloadTargetPosixTest, TargetsTheHostCouldNotWriteAreRefused) {
  const Bytes fresh = PatternBytes(40000, 3), original = PatternBytes(10);
  TempFolder top;
  ASSERT_EQ(::chmod(top.path().c_str(), 0777), 0);  // reachable for "nobody"
  const std::string fifo = top.File("fifo"), link = top.File("link"),
                    read_only = top.File("read-only.bin"), closed = top.File("closed"),
                    in_closed = closed + "/file.bin";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  ASSERT_EQ(::symlink(fifo.c_str(), link.c_str()), 0);
  WriteFileBytes(read_only, original);
  ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
  ASSERT_EQ(::mkdir(closed.c_str(), 0777), 0);
  WriteFileBytes(in_closed, original);
  ASSERT_EQ(::chmod(in_closed.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(closed.c_str(), 0555), 0);
  const struct {
    const char* what;
    std::string target;
    bool done;
    Bytes after;  // a regular target's content afterwards
  } cases[] = {
      {"FIFO", fifo, false, {}},
      {"link to a FIFO", link, false, {}},
      {"read-only file", read_only, false, original},
      {"writable file in a read-only folder", in_closed, true, fresh},
  };
  std::vector<std::string> targets;
  for (const auto& c : cases) targets.push_back(c.target);
  const std::vector<bool> done = DownloadAsUnprivileged({u"", u"", fresh, -1}, targets);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.what);
    EXPECT_EQ(done[i], c.done);
    if (!c.after.empty()) {
      EXPECT_TRUE(ReadFileBytes(c.target) == c.after);
    }
  }
  // Written in place only once data arrives: a name the server lacks leaves
  // the target as it was.
  WriteFileBytes(in_closed, original);
  EXPECT_EQ(DownloadAsUnprivileged({u"ERROR^NOT_FOUND", u"", {}, 0}, {in_closed}),
            std::vector<bool>{false});
  EXPECT_TRUE(ReadFileBytes(in_closed) == original);
  struct stat st;
  ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(top.Names().size(), 4u);  // no temporary file left
  ::chmod(closed.c_str(), 0777);      // so that the folder can go
}

// A name with a lone surrogate has no Linux form: it is refused, never
// written as the file whose name has U+FFFD in its place.
TEST(DownloadTargetPosixTest, NamesWithALoneSurrogateAreRefused) {
  FakeFileServer server(kPassword);
  server.SetDownload({u"", u"", PatternBytes(100, 3), -1});
  TempFolder folder;
  const Bytes original = PatternBytes(10);
  WriteFileBytes(folder.File("victim\xEF\xBF\xBD.txt"), original);  // U+FFFD
  const Text lone = T(folder.File("victim")) + u"\xDC00.txt";
  TFileTransferClient client;
  EXPECT_FALSE(client.FileDownLoad(u"127.0.0.1", server.port(), kPassword, lone, u"..\\f"));
  EXPECT_FALSE(client.FileUpLoad(u"127.0.0.1", server.port(), kPassword, lone, u"..\\f"));
  EXPECT_TRUE(ReadFileBytes(folder.File("victim\xEF\xBF\xBD.txt")) == original);
  EXPECT_EQ(folder.Names().size(), 1u);
}

TEST(DownloadTargetPosixTest, TemporaryNamesHaveOneShortPattern) {
  TempFolder folder;
  Text name;
  platform::File f = platform::CreateTemporaryBeside(T(folder.File(std::string(255, 'x'))), name);
  const Text base = name.substr(name.rfind(u'/') + 1);
  EXPECT_TRUE(platform::IsTemporaryFileName(base)) << TextToUtf8(base);
  EXPECT_EQ(ModeOf(TextToUtf8(name)), 0600u);  // nobody else reads it meanwhile
  for (const char16_t* other : {u".qvn-0123abcd.par", u"qvn-0123abcd.part", u".qvn-0123ABCD.part",
                                u".qvn-0123abc.part", u"x.qvn-0123abcd.part"})
    EXPECT_FALSE(platform::IsTemporaryFileName(other)) << TextToUtf8(other);
}

}  // namespace
}  // namespace qvn::testing

namespace qvn::testing {
namespace {

// A host may call exit() while the transfer thread still works through its
// entries: the library's statics must outlive it (ASan catches any that go).
TEST(ProcessExitPosixTest, ExitDuringTransfersIsClean) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Text script = kPassword + u"\r\nFILES [UPLOAD]\r\n";
  // Entries for missing files keep the thread busy with text, not sockets.
  // (A relative name: a line that begins with "/" is a comment.)
  for (int i = 0; i < 100000; ++i) script += u"missing-qvn-entry,..\\Gone\r\n";
  script += u"}\r\n";
  EXPECT_EXIT(
      {
        Script(nullptr, script, u"127.0.0.1", 1, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qvn::testing
