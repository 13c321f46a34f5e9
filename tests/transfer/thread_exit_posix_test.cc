// A host's progress handler may end the thread it runs on, as a language
// runtime does when it shuts down (Python ends a thread that calls back into
// a finalizing interpreter with pthread_exit). The thread then unwinds
// through the library instead of aborting the process: the entry's
// connection and file are closed, no temporary is left beside a download's
// target, no further message comes, and the thread's objects are freed (the
// leak checker of the sanitized builds sees to that).
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>

#include "qvn.h"
#include "support/fake_file_server.h"
#include "support/temp_file.h"
#include "transfer/file_transfer_thread.h"

namespace qvn::testing {
namespace {

const Text kPassword = u"dbpass@user@userpass";

// Set when the thread's thread_local objects go: after its stack is unwound.
struct EndWitness {
  std::promise<void>* ended;
  ~EndWitness() { ended->set_value(); }
};

// A window whose handler ends its thread at the first progress message.
struct EndingHost {
  explicit EndingHost(void (*how)()) : end(how) {}
  void (*end)();
  QvnWindow window{&Proc, this};
  std::atomic<int> messages{0};
  std::promise<void> ended;

  static intptr_t Proc(void* context, uint32_t /*message*/, uintptr_t, intptr_t) {
    auto* self = static_cast<EndingHost*>(context);
    if (self->messages++ > 0) return 0;  // only a thread that failed to end gets here
    thread_local EndWitness witness{&self->ended};
    self->end();
    return 0;
  }
};

TEST(ThreadEndedByHandlerTest, UnwindsThroughTheLibraryAndLeavesNothingBehind) {
  const struct {
    const char* how;
    void (*end)();
  } endings[] = {
      {"pthread_exit", [] { pthread_exit(nullptr); }},
      {"pthread_cancel acted on in the handler",
       [] {
         pthread_cancel(pthread_self());
         pthread_testcancel();
       }},
  };
  const Bytes content = PatternBytes(2 << 20, 7);
  const Bytes previous = PatternBytes(1000, 8);
  for (const auto& e : endings) {
    for (const bool upload : {true, false}) {
      SCOPED_TRACE(std::string(e.how) + (upload ? ", upload" : ", download"));
      TempFolder folder;
      const std::string local = folder.File("local.bin");
      WriteFileBytes(local, upload ? content : previous);
      FakeFileServer server(kPassword);
      server.SetDownload({u"", u"", content, -1});
      EndingHost host(e.end);
      auto* thread = new TFileTransferThread;
      thread->SetHost(u"127.0.0.1");
      thread->SetFilePort(server.port());
      thread->SetMessageHandle(&host.window);
      thread->SetFilesScript(kPassword + (upload ? u"\r\nFILES [UPLOAD]\r\n"
                                                 : u"\r\nFILES [DOWNLOAD]\r\n") +
                             Utf8ToText(local) + u",..\\remote.bin}");
      thread->Start();
      ASSERT_EQ(host.ended.get_future().wait_for(std::chrono::seconds(20)),
                std::future_status::ready);
      EXPECT_EQ(host.messages.load(), 1);  // no outcome, no done message
      ASSERT_TRUE(server.WaitForSessions(1));  // the connection was closed
      if (upload) {
        EXPECT_LT(server.Sessions()[0].uploaded.size(), content.size());
      } else {
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"local.bin"});
        EXPECT_TRUE(ReadFileBytes(local) == previous);
      }
    }
  }
}

}  // namespace
}  // namespace qvn::testing

namespace qvn::testing {
namespace {

// The same on a host's own thread: Script's done message (no transfer thread
// started) reaches a handler that ends the thread calling Script.
TEST(ThreadEndedByHandlerTest, AHostThreadEndedInScriptsDoneMessageUnwindsThroughTheExport) {
  struct Host {
    QvnWindow window{&Proc, this};
    std::atomic<int> dones{0};
    static intptr_t Proc(void* context, uint32_t message, uintptr_t, intptr_t) {
      if (message != QVN_WM_TRANSFERS_DONE) return 0;
      ++static_cast<Host*>(context)->dones;
      pthread_exit(nullptr);
    }
  } host;
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, nullptr,
                [](void* arg) -> void* {
                  ScriptFree(::Script(&static_cast<Host*>(arg)->window, u"db@@\r\nlist", u"127.0.0.1",
                                      0, 0));
                  return arg;  // only when the thread was not ended
                },
                &host),
            0);
  void* returned = &host;
  ASSERT_EQ(pthread_join(thread, &returned), 0);
  EXPECT_EQ(returned, nullptr);
  EXPECT_EQ(host.dones.load(), 1);
}

}  // namespace
}  // namespace qvn::testing
