#include "platform/replace_file.h"

#include <atomic>
#include <chrono>

#include "base/errors.h"
#include "platform/idle_thread.h"

namespace qvn::platform {
namespace {

constexpr char16_t kPrefix[] = u".qvn-";
constexpr char16_t kSuffix[] = u".part";
constexpr size_t kHexDigits = 8;

Text HexText(uint32_t v) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  Text out(kHexDigits, u'0');
  for (size_t i = kHexDigits; i-- > 0; v >>= 4) out[i] = kDigits[v & 15];
  return out;
}

bool IsHexDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'); }

}  // namespace

bool IsTemporaryFileName(TextView name) {
  const TextView prefix(kPrefix), suffix(kSuffix);
  if (name.size() != prefix.size() + kHexDigits + suffix.size()) return false;
  if (!name.starts_with(prefix) || !name.ends_with(suffix)) return false;
  for (size_t i = 0; i < kHexDigits; ++i)
    if (!IsHexDigit(name[prefix.size() + i])) return false;
  return true;
}

File CreateTemporaryBeside(const Text& target, Text& temp_name) {
  static std::atomic<uint32_t> counter{0};
  // Thread and clock keep two processes (or threads) apart; the counter keeps
  // one thread's attempts apart.
  const uint32_t seed =
      CurrentThreadId() * 40503u ^
      static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  const Text folder = FolderOf(target);
  for (int attempt = 0;; ++attempt) {
    const uint32_t n = counter.fetch_add(1) * 2654435761u ^ seed;
    temp_name = folder + kPrefix + HexText(n) + kSuffix;
    try {
      return File::CreateNewPrivate(temp_name);
    } catch (const PlatformError&) {
      // Only a name already taken is worth another try.
      if (attempt >= 15 || !IsRegularFile(temp_name)) {
        temp_name.clear();
        throw;
      }
    }
  }
}

}  // namespace qvn::platform
