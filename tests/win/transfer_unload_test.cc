// A host that unloads qvn.dll while a transfer started by Script is still
// running inside it: the process must survive, the transfer must finish, and
// the DLL must go once the transfer thread has left it.
//
// The test needs to be the DLL's only user, so when other tests of this
// program have loaded it already, it runs itself again in a child process.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "qvn.h"

namespace {

constexpr UINT kProgress = 5266;
constexpr size_t kCipherBlock = 32768;
constexpr size_t kFileSize = 700000;  // 22 blocks: messages after 10, 20 and twice at the end

// Accepts one connection on 127.0.0.1 and counts its bytes until it closes.
class ByteCountingServer {
 public:
  ByteCountingServer() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listener_, 1);
    int len = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~ByteCountingServer() {
    closesocket(listener_);  // ends a pending accept
    if (thread_.joinable()) thread_.join();
    WSACleanup();
  }
  uint16_t port() const { return port_; }
  size_t bytes() const { return bytes_; }
  bool finished() const { return finished_; }

 private:
  void Run() {
    // Bounded: give up on the accept after 30 s.
    fd_set set;
    FD_ZERO(&set);
    FD_SET(listener_, &set);
    timeval limit{30, 0};
    if (select(0, &set, nullptr, nullptr, &limit) != 1) return;
    SOCKET s = accept(listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) return;
    DWORD timeout_ms = 30000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
               sizeof timeout_ms);
    std::vector<char> buf(65536);
    for (;;) {
      int got = recv(s, buf.data(), static_cast<int>(buf.size()), 0);
      if (got <= 0) break;
      bytes_ += static_cast<size_t>(got);
    }
    closesocket(s);
    finished_ = true;
  }

  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<size_t> bytes_{0};
  std::atomic<bool> finished_{false};
};

struct HostState {
  HMODULE dll = nullptr;
  UINT outcome_message = RegisterWindowMessageW(QVN_WM_TRANSFER_OUTCOME_NAME);
  UINT done_message = RegisterWindowMessageW(QVN_WM_TRANSFERS_DONE_NAME);
  int messages = 0;
  int outcomes = 0;
  int32_t status = -1;
  int dones = 0;
  bool freed_during_transfer = false;
  std::wstring last;
};
HostState* g_state = nullptr;

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == kProgress && g_state != nullptr) {
    ++g_state->messages;
    g_state->last = reinterpret_cast<const wchar_t*>(lparam);
    if (g_state->dll != nullptr) {
      // The transfer thread is blocked inside the DLL, in SendMessageW, right now.
      g_state->freed_during_transfer = FreeLibrary(g_state->dll) != 0;
      g_state->dll = nullptr;
    }
    return 0;
  }
  // The thread still runs the unloaded DLL's code: it holds its own reference.
  if (g_state != nullptr && msg == g_state->outcome_message) {
    ++g_state->outcomes;
    g_state->status = reinterpret_cast<const QvnTransferOutcome*>(lparam)->status;
    return 0;
  }
  if (g_state != nullptr && msg == g_state->done_message) {
    ++g_state->dones;
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

std::wstring TempFile() {
  wchar_t dir[MAX_PATH], name[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  GetTempFileNameW(dir, L"qvn", 0, name);
  return name;
}

void RunUnloadScenario() {
  ASSERT_EQ(GetModuleHandleW(L"qvn.dll"), nullptr);
  const std::wstring path = TempFile();
  {
    std::vector<char> content(kFileSize);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    fwrite(content.data(), 1, content.size(), f);
    fclose(f);
  }
  ByteCountingServer server;
  HostState state;
  g_state = &state;

  WNDCLASSW wc{};
  wc.lpfnWndProc = &HostWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"QvnUnloadHost";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);

  state.dll = LoadLibraryW(L"qvn.dll");
  ASSERT_NE(state.dll, nullptr);
  auto script = reinterpret_cast<decltype(&::Script)>(
      reinterpret_cast<void*>(GetProcAddress(state.dll, "Script")));
  auto script_free = reinterpret_cast<decltype(&::ScriptFree)>(
      reinterpret_cast<void*>(GetProcAddress(state.dll, "ScriptFree")));
  ASSERT_NE(script, nullptr);
  ASSERT_NE(script_free, nullptr);

  // No command line: the request port (1) is never contacted.
  const std::wstring text = L"pw@user@pass\r\nFILES [UPLOAD]\r\n" + path + L",..\\big.bin}\r\n";
  qvn_char* result = script(hwnd, text.c_str(), L"127.0.0.1", 1, server.port());
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(std::wstring(result).rfind(L"File transfer started : ", 0), 0u);
  script_free(result);

  // The host's message loop; the first progress message unloads the DLL.
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (GetTickCount64() < deadline && !(server.finished() && state.dones > 0)) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  EXPECT_TRUE(state.freed_during_transfer);
  EXPECT_TRUE(server.finished());
  EXPECT_EQ(server.bytes(), (1 + (kFileSize + 32766) / 32767) * kCipherBlock);
  EXPECT_EQ(state.messages, 4);
  EXPECT_EQ(state.outcomes, 1);
  EXPECT_EQ(state.status, QVN_TRANSFER_COMPLETED);
  EXPECT_EQ(state.dones, 1);
  EXPECT_NE(state.last.find(L"*700000*700000*100"), std::wstring::npos) << state.last.size();

  // The thread held the last reference; once it has left, the DLL is gone.
  while (GetTickCount64() < deadline && GetModuleHandleW(L"qvn.dll") != nullptr) Sleep(20);
  EXPECT_EQ(GetModuleHandleW(L"qvn.dll"), nullptr);

  DestroyWindow(hwnd);
  g_state = nullptr;
  DeleteFileW(path.c_str());
}

TEST(TransferUnloadTest, FreeLibraryWhileATransferRunsInsideTheDll) {
  if (GetModuleHandleW(L"qvn.dll") == nullptr) {
    RunUnloadScenario();
    return;
  }
  // Somebody else holds the DLL: run alone in a fresh process.
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) +
                         L"\" --gtest_filter=TransferUnloadTest.FreeLibraryWhileATransferRunsInsideTheDll";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi));
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 120000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u) << "the child process failed or crashed";
}

}  // namespace
