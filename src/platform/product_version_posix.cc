#include "platform/product_version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/errors.h"

namespace qvn::platform {
namespace {

class FileImage : public ImageReader {
 public:
  explicit FileImage(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) Raise("open");
    struct stat st;
    if (::fstat(fd_, &st) != 0) Raise("fstat");
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      Raise("open");
    }
    size_ = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  }
  ~FileImage() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FileImage(const FileImage&) = delete;
  FileImage& operator=(const FileImage&) = delete;

  uint64_t size() const override { return size_; }

  bool Read(uint64_t offset, void* out, size_t n) const override {
    if (offset > size_ || n > size_ - offset) return false;
    auto* p = static_cast<uint8_t*>(out);
    while (n > 0) {
      ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;  // shrank under us, or an I/O error
      p += got;
      offset += static_cast<uint64_t>(got);
      n -= static_cast<size_t>(got);
    }
    return true;
  }

 private:
  [[noreturn]] void Raise(const char* what) {
    int code = errno;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    throw PlatformError(std::string(what) + " failed", static_cast<uint32_t>(code));
  }

  int fd_ = -1;
  uint64_t size_ = 0;
};

}  // namespace

ProductVersion ReadProductVersion(const Text& file_name) {
  FileImage image(TextToUtf8(file_name));
  std::optional<ProductVersion> v;
  if (LooksLikeElf(image)) {
    v = ElfProductVersion(image);
  } else if (LooksLikePe(image)) {
    v = PeProductVersion(image);
  } else {
    throw PlatformError("not an executable image", ENOEXEC);
  }
  if (!v) throw PlatformError("no version information", ENODATA);
  return *v;
}

}  // namespace qvn::platform
