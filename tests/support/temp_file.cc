#include "support/temp_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace qvn::testing {

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(path), ec);
}

TempFolder::TempFolder() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto candidate = base / ("qvn-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate.string();
      break;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(path_), ec);
}

std::string TempFolder::File(const std::string& name) const {
  return (std::filesystem::path(path_) / name).string();
}

std::vector<std::string> TempFolder::Names() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(path_)))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

Bytes PatternBytes(size_t size, uint32_t seed) {
  Bytes out(size);
  uint32_t x = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = static_cast<uint8_t>(x >> 16);
  }
  return out;
}

}  // namespace qvn::testing
