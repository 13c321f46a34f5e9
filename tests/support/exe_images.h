// Small executable images built in memory for the version reader: a PE32+
// image whose only section holds a resource tree, and ELF images with a
// ".qvn_version" section. The PE image is complete enough for the Windows
// version API too.
#ifndef QVN_TESTS_SUPPORT_EXE_IMAGES_H_
#define QVN_TESTS_SUPPORT_EXE_IMAGES_H_

#include <array>
#include <cstdint>
#include <string>

#include "base/text.h"

namespace qvn::testing {

class ByteWriter {
 public:
  explicit ByteWriter(Bytes& out, bool big_endian = false) : out_(out), big_(big_endian) {}
  void Put(size_t at, uint64_t v, size_t n) {
    if (out_.size() < at + n) out_.resize(at + n);
    for (size_t i = 0; i < n; ++i)
      out_[at + (big_ ? n - 1 - i : i)] = static_cast<uint8_t>(v >> (8 * i));
  }
  void U16(size_t at, uint64_t v) { Put(at, v, 2); }
  void U32(size_t at, uint64_t v) { Put(at, v, 4); }
  void U64(size_t at, uint64_t v) { Put(at, v, 8); }
  void Raw(size_t at, const std::string& s) {
    if (out_.size() < at + s.size()) out_.resize(at + s.size());
    std::copy(s.begin(), s.end(), out_.begin() + at);
  }

 private:
  Bytes& out_;
  bool big_;
};

struct FourParts {
  uint16_t a, b, c, d;
  uint32_t ms() const { return uint32_t{a} << 16 | b; }
  uint32_t ls() const { return uint32_t{c} << 16 | d; }
};

// A PE32+ DLL image with one ".rsrc" section. With with_version, the tree
// holds RT_VERSION / 1 / 0x409 with the given file and product versions;
// otherwise an RT_RCDATA resource of the same shape.
inline Bytes BuildPe(bool with_version, FourParts file, FourParts product) {
  Bytes img(0x400, 0);
  ByteWriter w(img);
  w.Raw(0, "MZ");
  w.U32(0x3C, 0x40);
  w.Raw(0x40, std::string("PE\0\0", 4));
  const size_t coff = 0x44, opt = coff + 20;
  w.U16(coff + 0, 0x8664);
  w.U16(coff + 2, 1);       // sections
  w.U16(coff + 16, 240);    // optional header size
  w.U16(coff + 18, 0x2022); // executable image, large address aware, DLL
  w.U16(opt + 0, 0x20B);
  w.U32(opt + 8, 0x200);
  w.U32(opt + 20, 0x1000);
  w.U64(opt + 24, 0x180000000ull);
  w.U32(opt + 32, 0x1000);
  w.U32(opt + 36, 0x200);
  w.U16(opt + 40, 6);
  w.U16(opt + 48, 6);
  w.U32(opt + 56, 0x2000);
  w.U32(opt + 60, 0x200);
  w.U16(opt + 68, 2);
  w.U64(opt + 72, 0x100000);
  w.U64(opt + 80, 0x1000);
  w.U64(opt + 88, 0x100000);
  w.U64(opt + 96, 0x1000);
  w.U32(opt + 108, 16);
  const uint32_t rsrc_size = 0x58 + 92;
  w.U32(opt + 112 + 2 * 8, 0x1000);
  w.U32(opt + 112 + 2 * 8 + 4, rsrc_size);
  const size_t sec = opt + 240;
  w.Raw(sec, ".rsrc");
  w.U32(sec + 8, rsrc_size);
  w.U32(sec + 12, 0x1000);
  w.U32(sec + 16, 0x200);
  w.U32(sec + 20, 0x200);
  w.U32(sec + 36, 0x40000040);

  const size_t r = 0x200;
  w.U16(r + 14, 1);
  w.U32(r + 0x10, with_version ? 16 : 10);
  w.U32(r + 0x14, 0x80000000u | 0x18);
  w.U16(r + 0x18 + 14, 1);
  w.U32(r + 0x28, 1);
  w.U32(r + 0x2C, 0x80000000u | 0x30);
  w.U16(r + 0x30 + 14, 1);
  w.U32(r + 0x40, 0x409);
  w.U32(r + 0x44, 0x48);
  w.U32(r + 0x48, 0x1000 + 0x58);
  w.U32(r + 0x4C, 92);
  const size_t vi = r + 0x58;
  w.U16(vi + 0, 92);
  w.U16(vi + 2, 52);
  const std::string key = "VS_VERSION_INFO";
  for (size_t i = 0; i < key.size(); ++i) w.U16(vi + 6 + 2 * i, static_cast<uint8_t>(key[i]));
  const size_t fixed = vi + 40;
  w.U32(fixed + 0, 0xFEEF04BDu);
  w.U32(fixed + 4, 0x00010000u);
  w.U32(fixed + 8, file.ms());
  w.U32(fixed + 12, file.ls());
  w.U32(fixed + 16, product.ms());
  w.U32(fixed + 20, product.ls());
  w.U32(fixed + 24, 0x3F);
  w.U32(fixed + 32, 0x40004);
  w.U32(fixed + 36, 2);  // VFT_DLL
  return img;
}

// An ELF image with sections null, .shstrtab and `section_name` holding the
// 16-byte version record (magic "QVNPRVER" and four little-endian numbers).
inline Bytes BuildElf(bool wide, bool big_endian, FourParts v,
                      const std::string& section_name = ".qvn_version",
                      const std::string& magic = "QVNPRVER") {
  Bytes img;
  ByteWriter w(img, big_endian);
  const size_t ehsize = wide ? 64 : 52, shentsize = wide ? 64 : 40;
  img.assign(ehsize, 0);
  w.Raw(0, "\x7f" "ELF");
  img[4] = wide ? 2 : 1;
  img[5] = big_endian ? 2 : 1;
  img[6] = 1;
  w.U16(16, 2);
  w.U16(18, wide ? 62 : 3);
  w.U32(20, 1);
  const std::string names = std::string("\0.shstrtab\0", 11) + section_name + std::string(1, '\0');
  const size_t names_at = ehsize, rec_at = (names_at + names.size() + 3) / 4 * 4;
  const size_t shoff = (rec_at + 16 + 7) / 8 * 8;
  w.Raw(names_at, names);
  w.Raw(rec_at, magic.substr(0, 8));
  ByteWriter le(img, false);
  const uint16_t parts[4] = {v.a, v.b, v.c, v.d};
  for (int i = 0; i < 4; ++i) le.U16(rec_at + 8 + 2 * i, parts[i]);
  if (wide) {
    w.U64(40, shoff);
    w.U16(52, ehsize);
    w.U16(58, shentsize);
    w.U16(60, 3);
    w.U16(62, 1);
  } else {
    w.U32(32, shoff);
    w.U16(40, ehsize);
    w.U16(46, shentsize);
    w.U16(48, 3);
    w.U16(50, 1);
  }
  img.resize(shoff + 3 * shentsize, 0);
  auto section = [&](size_t index, uint32_t name, uint32_t type, size_t offset, size_t size) {
    const size_t at = shoff + index * shentsize;
    w.U32(at, name);
    w.U32(at + 4, type);
    if (wide) {
      w.U64(at + 24, offset);
      w.U64(at + 32, size);
    } else {
      w.U32(at + 16, offset);
      w.U32(at + 20, size);
    }
  };
  section(1, 1, 3 /* SHT_STRTAB */, names_at, names.size());
  section(2, 11, 1 /* SHT_PROGBITS */, rec_at, 16);
  return img;
}

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_EXE_IMAGES_H_
