// Reads tests/data/crypto_vectors.txt: known answers made with openssl and
// python3, never with this library.
#ifndef QVN_TESTS_SUPPORT_CRYPTO_VECTORS_H_
#define QVN_TESTS_SUPPORT_CRYPTO_VECTORS_H_

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"

namespace qvn::testing {

struct Vector {
  std::string kind;                 // key, aes, aesd, text, twice, md5
  std::vector<std::string> fields;  // as written, "-" already turned into ""
};

inline std::vector<Vector> LoadCryptoVectors() {
  std::vector<Vector> out;
  std::ifstream in(std::string(QVN_TEST_DATA_DIR) + "/crypto_vectors.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    Vector v;
    words >> v.kind;
    for (std::string w; words >> w;) v.fields.push_back(w == "-" ? "" : w);
    out.push_back(std::move(v));
  }
  return out;
}

inline std::vector<Vector> VectorsOf(const std::string& kind) {
  std::vector<Vector> out;
  for (Vector& v : LoadCryptoVectors())
    if (v.kind == kind) out.push_back(std::move(v));
  return out;
}

inline Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string ToHex(const uint8_t* p, size_t n) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kHex[p[i] >> 4];
    out += kHex[p[i] & 15];
  }
  return out;
}

// A text given as the hex of its UTF-16LE bytes.
inline Text TextFromHex(const std::string& hex) {
  Bytes b = FromHex(hex);
  Text out;
  for (size_t i = 0; i + 1 < b.size(); i += 2)
    out += static_cast<char16_t>(b[i] | (b[i + 1] << 8));
  return out;
}

inline Text Ascii(const std::string& s) { return Latin1ToText(s); }

}  // namespace qvn::testing

#endif  // QVN_TESTS_SUPPORT_CRYPTO_VECTORS_H_
