// Stand-in for libFuzzer's driver where it is not used: runs every file of the
// given corpus folders, then a fixed number of deterministic mutations of them,
// so the fuzz targets also serve as ordinary regression tests.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  std::vector<std::vector<uint8_t>> corpus;
  long random_runs = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--random") == 0 && i + 1 < argc) {
      random_runs = std::strtol(argv[++i], nullptr, 10);
      continue;
    }
    std::filesystem::path p(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::directory_iterator(p)) files.push_back(e.path());
    } else {
      files.push_back(p);
    }
    for (const auto& f : files) {
      std::ifstream in(f, std::ios::binary);
      corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  for (const auto& c : corpus) LLVMFuzzerTestOneInput(c.data(), c.size());
  if (corpus.empty()) corpus.emplace_back();
  std::mt19937 rng(20261208);
  static const uint8_t kInteresting[] = {0,    0xFF, '\r', '\n', ' ',  '@', '^', ';', '&', '{',
                                         '}',  '[',  ']',  '=',  '/',  '#', 0x80, 0xD8, 0xDC, 0x7F};
  for (long run = 0; run < random_runs; ++run) {
    std::vector<uint8_t> input = corpus[rng() % corpus.size()];
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      size_t pos = input.empty() ? 0 : rng() % (input.size() + 1);
      switch (rng() % 4) {
        case 0:  // insert an interesting byte
          input.insert(input.begin() + pos, kInteresting[rng() % sizeof(kInteresting)]);
          break;
        case 1:  // insert a random byte
          input.insert(input.begin() + pos, static_cast<uint8_t>(rng()));
          break;
        case 2:  // drop a byte
          if (pos < input.size()) input.erase(input.begin() + pos);
          break;
        default:  // overwrite a byte
          if (pos < input.size()) input[pos] = static_cast<uint8_t>(rng());
          break;
      }
    }
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("replayed %zu corpus inputs and %ld mutations\n", corpus.size(), random_runs);
  return 0;
}
