#include "base/executable_version.h"

#include <algorithm>

namespace qvn {
namespace {

// Little- or big-endian fields at offsets that may lie anywhere in the file.
class Fields {
 public:
  Fields(const ImageReader& image, bool big_endian) : image_(image), big_(big_endian) {}

  bool U16(uint64_t off, uint16_t& v) const { return Get(off, 2, v); }
  bool U32(uint64_t off, uint32_t& v) const { return Get(off, 4, v); }
  bool U64(uint64_t off, uint64_t& v) const { return Get(off, 8, v); }

 private:
  template <typename T>
  bool Get(uint64_t off, size_t n, T& v) const {
    uint8_t b[8];
    if (!image_.Read(off, b, n)) return false;
    uint64_t x = 0;
    for (size_t i = 0; i < n; ++i) x |= uint64_t{b[big_ ? n - 1 - i : i]} << (8 * i);
    v = static_cast<T>(x);
    return true;
  }

  const ImageReader& image_;
  bool big_;
};

bool Add(uint64_t a, uint64_t b, uint64_t& sum) {
  sum = a + b;
  return sum >= a;
}

// [off, off + len) inside [0, limit)?
bool Inside(uint64_t off, uint64_t len, uint64_t limit) {
  return off <= limit && len <= limit - off;
}

ProductVersion FromWords(uint32_t ms, uint32_t ls) {
  return {static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms & 0xFFFF),
          static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls & 0xFFFF)};
}

// ---- ELF ----

struct ElfLayout {
  bool wide;             // ELFCLASS64
  uint64_t shoff;        // section header table
  uint64_t shentsize;
  uint64_t shnum;
  uint64_t shstrndx;
};

struct ElfSection {
  uint32_t name = 0, type = 0;
  uint64_t offset = 0, size = 0;
};

bool ReadSection(const Fields& f, const ElfLayout& l, uint64_t index, ElfSection& s,
                 uint32_t* link = nullptr) {
  uint64_t at = l.shoff + index * l.shentsize;  // bounds of the table checked by the caller
  if (!f.U32(at, s.name) || !f.U32(at + 4, s.type)) return false;
  if (l.wide) {
    if (!f.U64(at + 24, s.offset) || !f.U64(at + 32, s.size)) return false;
    if (link && !f.U32(at + 40, *link)) return false;
  } else {
    uint32_t off = 0, size = 0;
    if (!f.U32(at + 16, off) || !f.U32(at + 20, size)) return false;
    s.offset = off;
    s.size = size;
    if (link && !f.U32(at + 24, *link)) return false;
  }
  return true;
}

}  // namespace

bool LooksLikeElf(const ImageReader& image) {
  uint8_t m[4];
  return image.Read(0, m, 4) && m[0] == 0x7F && m[1] == 'E' && m[2] == 'L' && m[3] == 'F';
}

bool LooksLikePe(const ImageReader& image) {
  uint8_t m[2];
  return image.Read(0, m, 2) && m[0] == 'M' && m[1] == 'Z';
}

std::optional<ProductVersion> ElfProductVersion(const ImageReader& image) {
  uint8_t ident[16];
  if (!LooksLikeElf(image) || !image.Read(0, ident, sizeof ident)) return std::nullopt;
  if ((ident[4] != 1 && ident[4] != 2) || (ident[5] != 1 && ident[5] != 2)) return std::nullopt;
  Fields f(image, ident[5] == 2);
  ElfLayout l{};
  l.wide = ident[4] == 2;
  uint16_t entsize = 0, num = 0, strndx = 0;
  if (l.wide) {
    if (!f.U64(0x28, l.shoff) || !f.U16(0x3A, entsize) || !f.U16(0x3C, num) ||
        !f.U16(0x3E, strndx))
      return std::nullopt;
  } else {
    uint32_t off = 0;
    if (!f.U32(0x20, off) || !f.U16(0x2E, entsize) || !f.U16(0x30, num) || !f.U16(0x32, strndx))
      return std::nullopt;
    l.shoff = off;
  }
  l.shentsize = entsize;
  l.shnum = num;
  l.shstrndx = strndx;
  if (l.shoff == 0 || l.shentsize < (l.wide ? 64u : 40u)) return std::nullopt;
  if (!Inside(l.shoff, l.shentsize, image.size())) return std::nullopt;
  // Many sections: the real counts live in section 0.
  if (l.shnum == 0 || l.shstrndx == 0xFFFF) {
    ElfSection zero;
    uint32_t link = 0;
    if (!ReadSection(f, l, 0, zero, &link)) return std::nullopt;
    if (l.shnum == 0) l.shnum = zero.size;
    if (l.shstrndx == 0xFFFF) l.shstrndx = link;
  }
  if (l.shnum > image.size() / l.shentsize ||
      !Inside(l.shoff, l.shnum * l.shentsize, image.size()) || l.shstrndx >= l.shnum)
    return std::nullopt;

  ElfSection names;
  if (!ReadSection(f, l, l.shstrndx, names) || !Inside(names.offset, names.size, image.size()))
    return std::nullopt;
  constexpr size_t kNameLen = sizeof kElfVersionSection;  // with its NUL
  for (uint64_t i = 1; i < l.shnum; ++i) {
    ElfSection s;
    if (!ReadSection(f, l, i, s)) return std::nullopt;
    if (s.type == 8 /* SHT_NOBITS */ || s.name >= names.size || names.size - s.name < kNameLen)
      continue;
    char name[kNameLen];
    if (!image.Read(names.offset + s.name, name, kNameLen) ||
        std::memcmp(name, kElfVersionSection, kNameLen) != 0)
      continue;
    uint8_t rec[16];
    if (s.size < sizeof rec || !image.Read(s.offset, rec, sizeof rec) ||
        std::memcmp(rec, kElfVersionMagic, 8) != 0)
      return std::nullopt;
    auto word = [&](int k) { return static_cast<uint16_t>(rec[8 + 2 * k] | (rec[9 + 2 * k] << 8)); };
    return ProductVersion{word(0), word(1), word(2), word(3)};
  }
  return std::nullopt;
}

// ---- PE ----

namespace {

struct PeSection {
  uint32_t virtual_size, virtual_address, raw_size, raw_offset;
};

class PeImage {
 public:
  explicit PeImage(const ImageReader& image) : image_(image), f_(image, false) {}

  bool Open() {
    uint32_t lfanew = 0, sig = 0;
    uint16_t nsections = 0, opt_size = 0, magic = 0;
    if (!LooksLikePe(image_) || !f_.U32(0x3C, lfanew) || !f_.U32(lfanew, sig) ||
        sig != 0x00004550)
      return false;
    const uint64_t coff = uint64_t{lfanew} + 4, opt = coff + 20;
    if (!f_.U16(coff + 2, nsections) || !f_.U16(coff + 16, opt_size) || !f_.U16(opt, magic))
      return false;
    uint64_t dirs_count_at, dirs_at;
    if (magic == 0x10B) {
      dirs_count_at = opt + 92;
      dirs_at = opt + 96;
    } else if (magic == 0x20B) {
      dirs_count_at = opt + 108;
      dirs_at = opt + 112;
    } else {
      return false;
    }
    uint32_t ndirs = 0;
    if (!f_.U32(dirs_count_at, ndirs) || ndirs < 3) return false;
    // The resource directory is entry 2 and must lie inside the optional header.
    if (dirs_at + 3 * 8 > opt + opt_size) return false;
    if (!f_.U32(dirs_at + 16, rsrc_rva_) || !f_.U32(dirs_at + 20, rsrc_size_)) return false;
    if (rsrc_rva_ == 0 || rsrc_size_ == 0) return false;
    sections_at_ = opt + opt_size;
    nsections_ = nsections;
    return true;
  }

  // File offset of [rva, rva + n) when it lies within one section's raw data.
  bool Map(uint64_t rva, uint64_t n, uint64_t& offset) const {
    for (uint32_t i = 0; i < nsections_; ++i) {
      const uint64_t at = sections_at_ + uint64_t{i} * 40;
      PeSection s;
      if (!f_.U32(at + 8, s.virtual_size) || !f_.U32(at + 12, s.virtual_address) ||
          !f_.U32(at + 16, s.raw_size) || !f_.U32(at + 20, s.raw_offset))
        return false;
      if (rva < s.virtual_address) continue;
      const uint64_t within = rva - s.virtual_address;
      const uint64_t extent = s.virtual_size ? std::min(s.virtual_size, s.raw_size) : s.raw_size;
      if (!Inside(within, n, extent)) continue;
      return Add(s.raw_offset, within, offset) && Inside(offset, n, image_.size());
    }
    return false;
  }

  // A resource directory entry with the given id at a directory `dir`
  // (offset from the resource base); any entry when id < 0. Returns the raw
  // OffsetToData field.
  bool FindEntry(uint32_t dir, int32_t id, uint32_t& data) const {
    uint64_t at;
    uint16_t named = 0, ids = 0;
    if (!MapResource(dir, 16, at) || !f_.U16(at + 12, named) || !f_.U16(at + 14, ids))
      return false;
    const uint32_t count = uint32_t{named} + ids;
    for (uint32_t i = 0; i < count; ++i) {
      uint64_t e = 0;
      uint32_t name = 0;
      if (!MapResource(uint64_t{dir} + 16 + uint64_t{i} * 8, 8, e) || !f_.U32(e, name) ||
          !f_.U32(e + 4, data))
        return false;
      if (id < 0 || (!(name & 0x80000000u) && name == static_cast<uint32_t>(id))) return true;
    }
    return false;
  }

  bool MapResource(uint64_t offset_in_rsrc, uint64_t n, uint64_t& file_offset) const {
    if (!Inside(offset_in_rsrc, n, rsrc_size_)) return false;
    return Map(rsrc_rva_ + offset_in_rsrc, n, file_offset);
  }

  const Fields& fields() const { return f_; }

 private:
  const ImageReader& image_;
  Fields f_;
  uint32_t rsrc_rva_ = 0, rsrc_size_ = 0;
  uint64_t sections_at_ = 0;
  uint32_t nsections_ = 0;
};

constexpr uint32_t kSubdirectory = 0x80000000u;

}  // namespace

std::optional<ProductVersion> PeProductVersion(const ImageReader& image) {
  PeImage pe(image);
  if (!pe.Open()) return std::nullopt;
  // RT_VERSION (16) / VS_VERSION_INFO (1) / first language, as the loader's
  // resource lookup for the version API finds it.
  uint32_t type = 0, name = 0, lang = 0;
  if (!pe.FindEntry(0, 16, type) || !(type & kSubdirectory)) return std::nullopt;
  if (!pe.FindEntry(type & ~kSubdirectory, 1, name) || !(name & kSubdirectory))
    return std::nullopt;
  if (!pe.FindEntry(name & ~kSubdirectory, -1, lang) || (lang & kSubdirectory))
    return std::nullopt;
  const Fields& f = pe.fields();
  uint64_t entry;
  uint32_t data_rva = 0, data_size = 0;
  if (!pe.MapResource(lang, 16, entry) || !f.U32(entry, data_rva) || !f.U32(entry + 4, data_size))
    return std::nullopt;
  // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO", padding
  // to 32 bits, then VS_FIXEDFILEINFO.
  constexpr uint64_t kFixedAt = 40, kFixedSize = 52;
  uint64_t at;
  if (data_size < kFixedAt + kFixedSize || !pe.Map(data_rva, kFixedAt + kFixedSize, at))
    return std::nullopt;
  uint16_t length = 0, value_length = 0;
  if (!f.U16(at, length) || !f.U16(at + 2, value_length) || value_length < kFixedSize ||
      length < kFixedAt + kFixedSize)
    return std::nullopt;
  static const char kKey[] = "VS_VERSION_INFO";
  for (size_t i = 0; i < sizeof kKey; ++i) {
    uint16_t c = 0;
    if (!f.U16(at + 6 + 2 * i, c) || c != static_cast<uint8_t>(kKey[i])) return std::nullopt;
  }
  uint32_t signature = 0, ms = 0, ls = 0;
  if (!f.U32(at + kFixedAt, signature) || signature != 0xFEEF04BDu ||
      !f.U32(at + kFixedAt + 16, ms) || !f.U32(at + kFixedAt + 20, ls))
    return std::nullopt;
  return FromWords(ms, ls);
}

}  // namespace qvn
