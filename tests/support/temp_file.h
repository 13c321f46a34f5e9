// A file in the system's temporary folder that is removed again.
#ifndef QVN_TESTS_SUPPORT_TEMP_FILE_H_
#define QVN_TESTS_SUPPORT_TEMP_FILE_H_

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "base/text.h"

namespace qvn::testing {

class TempFile {
 public:
  TempFile(const std::string& suffix, const Bytes& content) {
    static std::atomic<int> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("qvn_test_" + std::to_string(stamp) + "_" + std::to_string(counter++) + suffix);
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()),
              static_cast<std::streamsize>(content.size()));
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  Text name() const { return path_.u16string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_TEMP_FILE_H_
