#include "transfer/file_transfer_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/errors.h"
#include "base/text.h"
#include "net/listener.h"
#include "platform/socket.h"
#include "support/fake_file_server.h"

namespace qvn::testing {
namespace {

const Text kPassword = u"dbpass@user@userpass";

Text T(const std::string& s) { return Utf8ToText(s); }

struct Event {
  Text client, server;
  int64_t size, count;
  int32_t index;
};

// Records every event of one client.
struct Recorder {
  std::vector<Event> progress;
  std::vector<Text> done;

  void Attach(TFileTransferClient& c) {
    auto record = [this](TFileTransferClient*, const Text& cl, const Text& sv, int64_t size,
                         int64_t count, Text&, int32_t index) {
      progress.push_back({cl, sv, size, count, index});
    };
    c.SetOnUploadProgress(record);
    c.SetOnDownloadProgress(record);
    c.SetOnProcessDone([this](void*, const Text& f) { done.push_back(f); });
  }
  std::vector<int64_t> Counts() const {
    std::vector<int64_t> out;
    for (const Event& e : progress) out.push_back(e.count);
    return out;
  }
};

class FileTransferClientTest : public ::testing::Test {
 protected:
  FakeFileServer server_{kPassword};
  TempFolder folder_;

  bool Upload(const std::string& path, const Text& server_name, Recorder& rec) {
    TFileTransferClient client;
    rec.Attach(client);
    return client.FileUpLoad(u"127.0.0.1", server_.port(), kPassword, T(path), server_name);
  }
  bool Download(const std::string& path, const Text& server_name, Recorder& rec) {
    TFileTransferClient client;
    rec.Attach(client);
    return client.FileDownLoad(u"127.0.0.1", server_.port(), kPassword, T(path), server_name);
  }
  FileSession OnlySession() {
    EXPECT_TRUE(server_.WaitForSessions(1));
    auto sessions = server_.Sessions();
    EXPECT_EQ(sessions.size(), 1u);
    return sessions.empty() ? FileSession{} : sessions[0];
  }
};

const size_t kSizes[] = {0, 32766, 32767, 32768, 65534, 100000};

TEST_F(FileTransferClientTest, UploadSendsCeilingOfSizeOverBlockSizeBlocksAndTheExactBytes) {
  const size_t expected_blocks[] = {0, 1, 1, 2, 2, 4};
  for (size_t i = 0; i < std::size(kSizes); ++i) {
    SCOPED_TRACE(kSizes[i]);
    FakeFileServer server(kPassword);
    Bytes content = PatternBytes(kSizes[i], static_cast<uint32_t>(i + 7));
    std::string path = folder_.File("up" + std::to_string(i) + ".bin");
    WriteFileBytes(path, content);
    TFileTransferClient client;
    Recorder rec;
    rec.Attach(client);
    ASSERT_TRUE(client.FileUpLoad(u"127.0.0.1", server.port(), kPassword, T(path), u"..\\up.bin"));
    ASSERT_TRUE(server.WaitForSessions(1));
    FileSession s = server.Sessions()[0];
    EXPECT_EQ(s.request, u"2^" + DecimalText(static_cast<int64_t>(kSizes[i])) + u"^..\\up.bin");
    EXPECT_EQ(s.blocks.size(), expected_blocks[i]);
    EXPECT_EQ(s.trailing_bytes, 0u);
    for (const Bytes& b : s.blocks) EXPECT_EQ(b.size(), testing::kPlainBlock);
    EXPECT_TRUE(s.uploaded == content);
    EXPECT_EQ(rec.progress.size(), expected_blocks[i]);
    EXPECT_EQ(rec.done, std::vector<Text>{T(path)});
    EXPECT_EQ(client.ClientFileName(), T(path));
    EXPECT_EQ(client.ServerFileName(), u"..\\up.bin");
  }
}

TEST_F(FileTransferClientTest, UploadProgressCarriesSizePositionTagAndIndex) {
  std::string path = folder_.File("a.bin");
  WriteFileBytes(path, PatternBytes(100000));
  TFileTransferClient client;
  client.SetIdx(-42);
  client.SetTag(u"t0");
  std::vector<Event> events;
  std::vector<Text> tags;
  client.SetOnUploadProgress([&](TFileTransferClient* sender, const Text& c, const Text& s,
                                 int64_t size, int64_t count, Text& tag, int32_t index) {
    EXPECT_EQ(sender, &client);
    events.push_back({c, s, size, count, index});
    tags.push_back(tag);
    tag += u"+";  // by reference: changes the client's Tag
  });
  ASSERT_TRUE(client.FileUpLoad(u"127.0.0.1", server_.port(), kPassword, T(path), u"..\\a"));
  ASSERT_EQ(events.size(), 4u);
  const int64_t counts[] = {32767, 65534, 98301, 100000};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(events[i].count, counts[i]);
    EXPECT_EQ(events[i].size, 100000);
    EXPECT_EQ(events[i].index, -42);
    EXPECT_EQ(events[i].client, T(path));
    EXPECT_EQ(events[i].server, u"..\\a");
  }
  EXPECT_EQ(tags, (std::vector<Text>{u"t0", u"t0+", u"t0++", u"t0+++"}));
  EXPECT_EQ(client.Tag(), u"t0++++");
}

TEST_F(FileTransferClientTest, ShortLastReadKeepsThePreviousBlocksBytes) {
  Bytes content = PatternBytes(32768, 3);
  std::string path = folder_.File("b.bin");
  WriteFileBytes(path, content);
  Recorder rec;
  ASSERT_TRUE(Upload(path, u"..\\b", rec));
  FileSession s = OnlySession();
  ASSERT_EQ(s.blocks.size(), 2u);
  EXPECT_TRUE(std::equal(s.blocks[0].begin(), s.blocks[0].end(), content.begin()));
  EXPECT_EQ(s.blocks[1][0], content[32767]);
  EXPECT_TRUE(std::equal(s.blocks[1].begin() + 1, s.blocks[1].end(), content.begin() + 1));

  // A lone short block has zeros behind the file's bytes.
  FakeFileServer second(kPassword);
  std::string small = folder_.File("c.bin");
  WriteFileBytes(small, Bytes{9, 8, 7});
  TFileTransferClient client;
  ASSERT_TRUE(client.FileUpLoad(u"127.0.0.1", second.port(), kPassword, T(small), u"..\\c"));
  ASSERT_TRUE(second.WaitForSessions(1));
  Bytes block = second.Sessions()[0].blocks.at(0);
  EXPECT_EQ(block[0], 9);
  EXPECT_EQ(block[2], 7);
  EXPECT_TRUE(std::all_of(block.begin() + 3, block.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(FileTransferClientTest, MissingOrFolderUploadFileFailsWithoutConnecting) {
  Recorder rec;
  EXPECT_FALSE(Upload(folder_.File("missing.bin"), u"..\\m", rec));
  EXPECT_FALSE(Upload(folder_.path(), u"..\\m", rec));
  EXPECT_TRUE(rec.done.empty());
  EXPECT_FALSE(server_.WaitForSessions(1, 300));
}

TEST_F(FileTransferClientTest, DownloadReadsSizeDivBlockSizePlusOneBlocksAndCutsTheFile) {
  for (size_t i = 0; i < std::size(kSizes); ++i) {
    SCOPED_TRACE(kSizes[i]);
    FakeFileServer server(kPassword);
    Bytes content = PatternBytes(kSizes[i], static_cast<uint32_t>(i + 11));
    server.SetDownload({u"", u"", content, -1});
    std::string path = folder_.File("down" + std::to_string(i) + ".bin");
    TFileTransferClient client;
    Recorder rec;
    rec.Attach(client);
    ASSERT_TRUE(client.FileDownLoad(u"127.0.0.1", server.port(), kPassword, T(path), u"..\\d"));
    EXPECT_TRUE(ReadFileBytes(path) == content);
    const int64_t blocks = static_cast<int64_t>(kSizes[i] / 32767) + 1;
    std::vector<int64_t> expected;
    for (int64_t k = 1; k <= blocks; ++k) expected.push_back(k * 32767);
    expected.push_back(static_cast<int64_t>(kSizes[i]));
    EXPECT_EQ(rec.Counts(), expected);
    for (const Event& e : rec.progress) EXPECT_EQ(e.size, static_cast<int64_t>(kSizes[i]));
    ASSERT_TRUE(server.WaitForSessions(1));
    EXPECT_EQ(server.Sessions()[0].request, u"3^0^..\\d");
  }
}

TEST_F(FileTransferClientTest, DownloadAnswersAreReadFromFieldOne) {
  struct Case {
    const char16_t* answer;
    bool ok;
    int64_t size;
  } cases[] = {
      {u"OK^123", true, 123},    {u"^65534", true, 65534}, {u"OK^0", true, 0},
      {u"OK^ 77^more", true, 77}, {u"OK^$10", true, 16},     {u"123", false, 0},
      {u"0", false, 0},          {u"OK^", false, 0},        {u"OK^12a", false, 0},
  };
  Bytes content = PatternBytes(70000, 5);
  for (const Case& c : cases) {
    SCOPED_TRACE(TextToUtf8(c.answer));
    FakeFileServer server(kPassword);
    server.SetDownload({c.answer, u"", content, c.ok ? c.size / 32767 + 1 : 3});
    std::string path = folder_.File("ans.bin");
    std::remove(path.c_str());
    TFileTransferClient client;
    Recorder rec;
    rec.Attach(client);
    EXPECT_EQ(client.FileDownLoad(u"127.0.0.1", server.port(), kPassword, T(path), u"..\\x"),
              c.ok);
    EXPECT_EQ(rec.done.size(), 1u);
    if (c.ok) {
      Bytes got = ReadFileBytes(path);
      EXPECT_EQ(got.size(), static_cast<size_t>(c.size));
      EXPECT_TRUE(std::equal(got.begin(), got.end(), content.begin()));
      EXPECT_EQ(rec.progress.back().count, c.size);
      EXPECT_EQ(rec.progress.size(), static_cast<size_t>(c.size / 32767 + 2));
    } else {
      EXPECT_TRUE(rec.progress.empty());
      EXPECT_FALSE(testing::FileExists(path));  // nothing half-made is left
    }
    EXPECT_EQ(folder_.Names().size(), c.ok ? 1u : 0u);
  }
}

TEST_F(FileTransferClientTest, OkAnswerOf123GivesTwoProgressEvents) {
  server_.SetDownload({u"OK^123", u"", PatternBytes(123), -1});
  Recorder rec;
  ASSERT_TRUE(Download(folder_.File("x.bin"), u"..\\x", rec));
  EXPECT_EQ(rec.Counts(), (std::vector<int64_t>{32767, 123}));
  EXPECT_EQ(ReadFileBytes(folder_.File("x.bin")).size(), 123u);
}

TEST_F(FileTransferClientTest, FailedDownloadsLeaveTheExistingFileAsItWas) {
  const std::string path = folder_.File("keep.bin");
  const Bytes original = PatternBytes(5000, 99);
  struct Case {
    const char* what;
    DownloadReply reply;
  } cases[] = {
      {"answer under another key", {u"OK^70000", u"another key", PatternBytes(70000), -1}},
      {"no size in the answer", {u"123", u"", PatternBytes(70000), 3}},
      {"server closes after one of three blocks", {u"OK^70000", u"", PatternBytes(70000), 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(path, original);
    FakeFileServer server(kPassword);
    server.SetDownload(c.reply);
    TFileTransferClient client;
    Recorder rec;
    rec.Attach(client);
    EXPECT_FALSE(client.FileDownLoad(u"127.0.0.1", server.port(), kPassword, T(path), u"..\\k"));
    EXPECT_EQ(rec.done.size(), 1u);
    EXPECT_TRUE(ReadFileBytes(path) == original);
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"keep.bin"});  // no temporary file
  }
  // A download that succeeds replaces it.
  Bytes fresh = PatternBytes(40000, 1);
  server_.SetDownload({u"", u"", fresh, -1});
  Recorder rec;
  ASSERT_TRUE(Download(path, u"..\\k", rec));
  EXPECT_TRUE(ReadFileBytes(path) == fresh);
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"keep.bin"});
  // Events count positions in the file being written.
  EXPECT_EQ(rec.Counts(), (std::vector<int64_t>{32767, 65534, 40000}));
}

TEST_F(FileTransferClientTest, DownloadIntoAMissingFolderFails) {
  server_.SetDownload({u"", u"", PatternBytes(10), -1});
  Recorder rec;
  EXPECT_FALSE(Download(folder_.File("no-such-folder/x.bin"), u"..\\x", rec));
  EXPECT_EQ(rec.done.size(), 1u);
}

TEST_F(FileTransferClientTest, RequestTextIsUtf8AndCutToOneBlock) {
  server_.SetDownload({u"nothing", u"", {}, 0});
  const Text name = u"..\\Gr\u00fc\u00dfe\\\u30d5\u30a1\u30a4\u30eb.txt";
  Recorder rec;
  EXPECT_FALSE(Download(folder_.File("u.bin"), name, rec));
  FileSession s = OnlySession();
  std::string utf8 = TextToUtf8(u"3^0^" + name);
  ASSERT_EQ(s.request_plain.size(), testing::kPlainBlock);
  EXPECT_EQ(std::string(s.request_plain.begin(), s.request_plain.begin() + utf8.size()), utf8);
  EXPECT_TRUE(std::all_of(s.request_plain.begin() + utf8.size(), s.request_plain.end(),
                          [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(s.request, u"3^0^" + name);

  Text long_name(40000, u'\u00e9');  // two UTF-8 bytes each
  Bytes block = TransferRequestBlock(u"2^5^" + long_name);
  ASSERT_EQ(block.size(), 32767u);
  EXPECT_EQ(std::string(block.begin(), block.end()),
            TextToUtf8(u"2^5^" + long_name).substr(0, 32767));
}

TEST_F(FileTransferClientTest, ProgressHandlerThatRaisesFailsTheCall) {
  std::string path = folder_.File("r.bin");
  WriteFileBytes(path, PatternBytes(70000));
  TFileTransferClient client;
  int done = 0;
  client.SetOnUploadProgress(
      [](TFileTransferClient*, const Text&, const Text&, int64_t, int64_t, Text&, int32_t) {
        throw std::runtime_error("handler");
      });
  client.SetOnProcessDone([&](void*, const Text&) { ++done; });
  EXPECT_FALSE(client.FileUpLoad(u"127.0.0.1", server_.port(), kPassword, T(path), u"..\\r"));
  EXPECT_EQ(done, 1);
  // The object is reusable when it does not free itself.
  client.SetOnUploadProgress(nullptr);
  EXPECT_TRUE(client.FileUpLoad(u"127.0.0.1", server_.port(), kPassword, T(path), u"..\\r"));
  EXPECT_EQ(done, 2);
}

uint16_t ClosedPort() {
  net::Listener listener("127.0.0.1", 0);
  uint16_t port = listener.port();
  listener.Close();
  return port;
}

TEST(FileTransferClientConnectTest, ConnectFailureRaisesAfterTheEndOfCallSteps) {
  TempFolder folder;
  std::string path = folder.File("f.bin");
  WriteFileBytes(path, PatternBytes(10));
  const uint16_t port = ClosedPort();
  for (bool upload : {true, false}) {
    std::vector<Text> done;
    // Allocated with new and freeing itself: nothing may touch it afterwards.
    auto* client = new TFileTransferClient;
    client->SetFreeOnProgressEnd(true);
    client->SetOnProcessDone([&](void* sender, const Text& f) {
      EXPECT_EQ(sender, client);
      done.push_back(f);
    });
    Text client_file = T(path);
    EXPECT_THROW(upload ? client->FileUpLoad(u"127.0.0.1", port, kPassword, client_file, u"..\\f")
                        : client->FileDownLoad(u"127.0.0.1", port, kPassword, client_file, u"..\\f"),
                 ConnectionError);
    EXPECT_EQ(done, std::vector<Text>{T(path)});
  }
  EXPECT_TRUE(ReadFileBytes(path) == PatternBytes(10));  // the failed download left it alone
}

TEST(FileTransferClientFreeTest, FreeOnProgressEndDeletesAfterProcessDone) {
  FakeFileServer server(kPassword);
  TempFolder folder;
  std::string path = folder.File("g.bin");
  WriteFileBytes(path, PatternBytes(40000));
  auto* client = new TFileTransferClient;
  client->SetFreeOnProgressEnd(true);
  bool done = false;
  client->SetOnProcessDone([&](void*, const Text&) { done = true; });
  EXPECT_TRUE(client->FileUpLoad(u"127.0.0.1", server.port(), kPassword, T(path), u"..\\g"));
  EXPECT_TRUE(done);
  // A missing file returns early and still frees it (checked under the
  // sanitizer build: no leak, no use after free).
  auto* early = new TFileTransferClient;
  early->SetFreeOnProgressEnd(true);
  EXPECT_FALSE(early->FileUpLoad(u"127.0.0.1", server.port(), kPassword, u"", u"..\\g"));
}

}  // namespace
}  // namespace qvn::testing
