#include "platform/files.h"

#include <windows.h>

#include "base/errors.h"
#include "platform/fault_injection.h"

namespace qvn::platform {
namespace {

const wchar_t* PathOf(const Text& name) { return reinterpret_cast<const wchar_t*>(name.c_str()); }

[[noreturn]] void RaiseLast(const char* what) {
  throw PlatformError(what, static_cast<uint32_t>(GetLastError()));
}

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

intptr_t Own(HANDLE h, const char* what) {
  if (h == INVALID_HANDLE_VALUE) RaiseLast(what);
  return reinterpret_cast<intptr_t>(h);
}

// CreateFileW for the files the library reads and writes (not the probes).
HANDLE OpenCounted(const Text& name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE model) {
  if (fault::Injected(fault::Op::kOpen)) return INVALID_HANDLE_VALUE;
  return CreateFileW(PathOf(name), access, share, security, disposition, flags, model);
}

}  // namespace

static_assert(sizeof(wchar_t) == sizeof(char16_t));

File File::OpenForSharedRead(const Text& name) {
  HANDLE h = OpenCounted(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  return File(Own(h, "open for reading failed"));
}

File File::Create(const Text& name, bool must_be_new) {
  HANDLE h = OpenCounted(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         must_be_new ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return File(Own(h, "create failed"));
}

File File::OpenExistingForWrite(const Text& name) {
  HANDLE h = OpenCounted(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return File(Own(h, "open for writing failed"));
}

File File::CreateNewPrivate(const Text& name) { return Create(name, /*must_be_new=*/true); }

File File::OpenForAppend(const Text& name) {
  // Only the right to append: the system puts every write at the end.
  HANDLE h = OpenCounted(name, FILE_APPEND_DATA | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return File(Own(h, "open for appending failed"));
}

size_t File::Read(uint8_t* data, size_t n) {
  // ReadFile takes 32-bit counts; a short count is allowed by the contract.
  DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
  DWORD got = 0;
  if (fault::Injected(fault::Op::kRead) || !ReadFile(H(handle_), data, chunk, &got, nullptr))
    RaiseLast("read failed");
  return got;
}

void File::Write(const uint8_t* data, size_t n) {
  while (n > 0) {
    DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
    DWORD put = 0;
    if (fault::Injected(fault::Op::kWrite) || !WriteFile(H(handle_), data, chunk, &put, nullptr))
      RaiseLast("write failed");
    if (put == 0) throw PlatformError("write failed", ERROR_WRITE_FAULT);
    data += put;
    n -= put;
  }
}

int64_t File::Size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(H(handle_), &size)) RaiseLast("size failed");
  return size.QuadPart;
}

int64_t File::Position() const {
  LARGE_INTEGER zero{}, pos{};
  if (!SetFilePointerEx(H(handle_), zero, &pos, FILE_CURRENT)) RaiseLast("seek failed");
  return pos.QuadPart;
}

void File::SetEndOfFile(int64_t size) {
  if (size < 0) throw PlatformError("negative file size", ERROR_NEGATIVE_SEEK);
  LARGE_INTEGER to;
  to.QuadPart = size;
  if (!SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN)) RaiseLast("seek failed");
  if (fault::Injected(fault::Op::kSetEnd) || !::SetEndOfFile(H(handle_)))
    RaiseLast("set end of file failed");
}

void File::Flush() {
  if (fault::Injected(fault::Op::kFlush) || !FlushFileBuffers(H(handle_))) RaiseLast("flush failed");
}

void File::CloseOrRaise() {
  HANDLE h = H(handle_);
  handle_ = kNoHandle;
  if (!CloseHandle(h)) RaiseLast("close failed");
}

void File::Close() noexcept {
  if (handle_ != kNoHandle) {
    CloseHandle(H(handle_));
    handle_ = kNoHandle;
  }
}

bool IsRegularFile(const Text& name) {
  DWORD attributes = GetFileAttributesW(PathOf(name));
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool RemoveFile(const Text& name) noexcept {
  return !fault::Injected(fault::Op::kRemove) && DeleteFileW(PathOf(name)) != 0;
}

bool IsFileInUse(const Text& name) noexcept {
  HANDLE h = CreateFileW(PathOf(name), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return true;
  CloseHandle(h);
  return false;
}

}  // namespace qvn::platform
