#include "platform/codepage.h"

#include <windows.h>


#include "base/errors.h"

namespace qvn::platform {
namespace {

// The conversion functions count in int; longer texts go in pieces.
constexpr size_t kPiece = size_t{1} << 28;

}  // namespace

Bytes TextToSystemCodePage(TextView text) {
  Bytes out;
  size_t done = 0;
  while (done < text.size()) {
    size_t n = text.size() - done < kPiece ? text.size() - done : kPiece;
    // Never split a surrogate pair between two pieces.
    if (done + n < text.size() && text[done + n - 1] >= 0xD800 && text[done + n - 1] <= 0xDBFF) --n;
    const auto* src = reinterpret_cast<const WCHAR*>(text.data() + done);
    int need = WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    if (need <= 0) throw PlatformError("WideCharToMultiByte", GetLastError());
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(need));
    int got = WideCharToMultiByte(CP_ACP, 0, src, static_cast<int>(n),
                                  reinterpret_cast<char*>(out.data() + at), need, nullptr, nullptr);
    if (got <= 0) throw PlatformError("WideCharToMultiByte", GetLastError());
    out.resize(at + static_cast<size_t>(got));
    done += n;
  }
  return out;
}

Text SystemCodePageToText(const uint8_t* bytes, size_t size) {
  Text out;
  size_t done = 0;
  while (done < size) {
    size_t n = size - done < kPiece ? size - done : kPiece;
    // Keep a double-byte character together when the code page has them.
    if (done + n < size && IsDBCSLeadByteEx(CP_ACP, bytes[done + n - 1])) --n;
    const auto* src = reinterpret_cast<const char*>(bytes + done);
    int need = MultiByteToWideChar(CP_ACP, 0, src, static_cast<int>(n), nullptr, 0);
    if (need <= 0) throw PlatformError("MultiByteToWideChar", GetLastError());
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(need));
    int got = MultiByteToWideChar(CP_ACP, 0, src, static_cast<int>(n),
                                  reinterpret_cast<WCHAR*>(out.data() + at), need);
    if (got <= 0) throw PlatformError("MultiByteToWideChar", GetLastError());
    out.resize(at + static_cast<size_t>(got));
    done += n;
  }
  return out;
}

}  // namespace qvn::platform
