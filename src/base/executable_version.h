// Product versions inside executable images, read without the loader: the
// VS_FIXEDFILEINFO of a PE image's RT_VERSION resource, and the
// ".qvn_version" section of an ELF image. Every read is bounds-checked; a
// damaged or hostile file gives no version, never a crash.
//
// Portable byte parsing, below platform/ because the Linux product version of
// a file (platform/product_version.h) is read with it; the Linux build reads
// Windows images too. Windows asks its version API instead.
//
// ".qvn_version" holds 16 bytes: the magic "QVNPRVER", then the major, minor,
// release and build numbers as 16-bit little-endian values (any ELF class
// and byte order). cmake/QvnVersion.cmake writes it.
#ifndef QVN_BASE_EXECUTABLE_VERSION_H_
#define QVN_BASE_EXECUTABLE_VERSION_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "base/text.h"

namespace qvn {

// major.minor.release.build, as a version resource and ".qvn_version" hold it.
struct ProductVersion {
  uint16_t major = 0, minor = 0, release = 0, build = 0;
  bool operator==(const ProductVersion&) const = default;
};

// Random access to a file's bytes. Read fails (false) unless the whole range
// lies inside the image.
class ImageReader {
 public:
  virtual ~ImageReader() = default;
  virtual uint64_t size() const = 0;
  virtual bool Read(uint64_t offset, void* out, size_t n) const = 0;
};

class MemoryImage : public ImageReader {
 public:
  explicit MemoryImage(const Bytes& bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, void* out, size_t n) const override {
    if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
    if (n) std::memcpy(out, bytes_.data() + offset, n);
    return true;
  }

 private:
  const Bytes& bytes_;
};

inline constexpr char kElfVersionSection[] = ".qvn_version";
inline constexpr char kElfVersionMagic[] = "QVNPRVER";  // 8 bytes, no NUL stored

bool LooksLikeElf(const ImageReader& image);
bool LooksLikePe(const ImageReader& image);

std::optional<ProductVersion> ElfProductVersion(const ImageReader& image);
std::optional<ProductVersion> PeProductVersion(const ImageReader& image);

}  // namespace qvn

#endif  // QVN_BASE_EXECUTABLE_VERSION_H_
