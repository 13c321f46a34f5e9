// qvn.dll under Wine against the Linux stand-in server: every command family
// through the Winsock path, and a file transfer whose progress reaches a real
// message-only window. tests/win/with_server.sh starts the server and passes
// its ports in QVN_TEST_PORT and QVN_TEST_FILE_PORT; without them these skip.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "qvn.h"
#include "win/dll_loader.h"

namespace {

constexpr const wchar_t* kHost = L"127.0.0.1";
constexpr const wchar_t* kCredentials = L"dbsecret@alice@alicepw";

uint16_t EnvPort(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? 0 : static_cast<uint16_t>(std::atoi(v));
}

template <typename F>
F Export(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(qvn::testing::Dll().module(), name)));
}

std::wstring Take(qvn_char* p) {
  std::wstring out(p);
  qvn::testing::Dll().script_free(p);
  return out;
}

class ServerDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = EnvPort("QVN_TEST_PORT");
    file_port_ = EnvPort("QVN_TEST_FILE_PORT");
    if (port_ == 0) GTEST_SKIP() << "no stand-in server (run through with_server.sh)";
  }
  std::wstring RunScript(const std::wstring& script, HWND window = nullptr, uint16_t file_port = 0) {
    return Take(qvn::testing::Dll().script(window, script.c_str(), kHost, port_, file_port));
  }
  uint16_t port_ = 0;
  uint16_t file_port_ = 0;
};

TEST_F(ServerDllTest, AdministrativeCommands) {
  auto& d = qvn::testing::Dll();
  EXPECT_TRUE(d.try_connect(kHost, port_, 5000));
  EXPECT_EQ(Take(d.show_db_name(kHost, port_)), L"Wine test base");
  auto try_password = Export<decltype(&::TryDbPassword)>("TryDbPassword");
  EXPECT_EQ(Take(try_password(kHost, port_, kCredentials)), L"OK");
  EXPECT_EQ(Take(try_password(kHost, port_, L"dbsecret@alice@wrong")), L"DENIED");
  // BUILD SHOW through a script directive: the admin token of the first line.
  std::wstring shown = RunScript(std::wstring(kCredentials) + L"\r\nBUILD SHOW[0]-");
  EXPECT_NE(shown.find(L"Wine test base"), std::wstring::npos) << shown;
}

TEST_F(ServerDllTest, ScriptRequestsWithAndWithoutUser) {
  std::wstring put = RunScript(std::wstring(kCredentials) + L"\r\nput Notes[0,+]=from wine\r\n");
  EXPECT_EQ(put.rfind(L"OK ", 0), 0u) << put;
  std::wstring record = put.substr(3);
  EXPECT_EQ(RunScript(L"dbsecret\r\nget Notes[0," + record + L"]-"), L"from wine");
  EXPECT_EQ(RunScript(L"dbsecret@alice@wrong\r\nget Notes[0,1]-"), L"");
}

TEST_F(ServerDllTest, DatabaseMessagesAndAuthentication) {
  auto pipe = Export<decltype(&::DbMessagePipe)>("DbMessagePipe");
  auto file = Export<decltype(&::DbMessageFile)>("DbMessageFile");
  auto auth = Export<decltype(&::UserAuthentication)>("UserAuthentication");
  EXPECT_EQ(Take(pipe(kHost, port_, L"through the pipe")), L"OK");
  EXPECT_EQ(Take(file(kHost, port_, L"line one\r\nline two")), L"OK");
  std::wstring answer = Take(auth(kHost, port_, L" Alice ", L"alicepw"));
  EXPECT_EQ(answer.rfind(L"OK", 0), 0u) << answer;
  EXPECT_EQ(Take(auth(kHost, 0, L"alice", L"alicepw")), L"CONNECTION_ERROR");
}

// A message-only window that records the progress texts it is sent.
class ProgressWindow {
 public:
  ProgressWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &ProgressWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QvnTestProgress";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            wc.hInstance, nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~ProgressWindow() { DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }

  // Pumps messages until `count` messages ending in `suffix` arrived, at most timeout_ms.
  bool WaitFor(const std::wstring& suffix, size_t count, DWORD timeout_ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout_ms) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      size_t n = 0;
      for (const auto& t : texts)
        if (t.size() >= suffix.size() && t.compare(t.size() - suffix.size(), suffix.size(), suffix) == 0) ++n;
      if (n >= count) return true;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return false;
  }
  std::vector<std::wstring> texts;
  std::vector<WPARAM> indexes;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == QVN_WM_TRANSFER_PROGRESS) {
      auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      self->texts.emplace_back(reinterpret_cast<const wchar_t*>(lparam));
      self->indexes.push_back(wparam);
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
  HWND hwnd_ = nullptr;
};

std::wstring TempPath(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(ServerDllTest, UploadAndDownloadReportProgressToAWindow) {
  if (file_port_ == 0) GTEST_SKIP() << "no file port";
  std::wstring local = TempPath(L"qvn_wine_upload.bin");
  std::wstring back = TempPath(L"qvn_wine_download.bin");
  std::string content(400001, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
  {
    std::ofstream out(local.c_str(), std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }
  DeleteFileW(back.c_str());

  ProgressWindow window;
  std::wstring up = RunScript(std::wstring(kCredentials) + L"\r\nFILES [UPLOAD]\r\n{" + local +
                                  L",..\\wine\\data.bin}\r\n",
                              window.hwnd(), file_port_);
  EXPECT_EQ(up.rfind(L"File transfer started : ", 0), 0u) << up;
  ASSERT_TRUE(window.WaitFor(L"*Upload", 2, 60000));
  // After block 10, and the final one: 13 blocks in all.
  ASSERT_EQ(window.texts.size(), 2u);
  EXPECT_NE(window.texts[0].find(L"*400001*327670*81"), std::wstring::npos) << window.texts[0];
  EXPECT_EQ(window.texts[1].rfind(local + L"*..\\wine\\data.bin*400001*400001*100", 0), 0u)
      << window.texts[1];

  window.texts.clear();
  std::wstring down = RunScript(std::wstring(kCredentials) + L"\r\nFILES [DOWNLOAD]\r\n{" + back +
                                    L",..\\wine\\data.bin}\r\n",
                                window.hwnd(), file_port_);
  EXPECT_EQ(down.rfind(L"File transfer started : ", 0), 0u) << down;
  ASSERT_TRUE(window.WaitFor(L"*Download", 2, 60000));
  // The final message may come just before the finished file takes its name.
  bool same = false;
  for (int i = 0; i < 100 && !same; ++i, Sleep(100)) same = ReadAll(back) == content;
  EXPECT_TRUE(same);
  DeleteFileW(local.c_str());
  DeleteFileW(back.c_str());
}

}  // namespace
