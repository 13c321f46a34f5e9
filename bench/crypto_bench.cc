// The cipher as the file transfer uses it (32,767-byte blocks under one key)
// next to a plain EVP loop doing the same work, so the layers above EVP show.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstring>
#include <vector>

#include "codecs/aes.h"
#include "codecs/text_crypto.h"

namespace {

constexpr size_t kBlock = 32767;
const qvn::Text kKeyText = u"5EBE2294ECD0E0F08EAB7690D2A6EE69";

std::vector<uint8_t> Plain() {
  std::vector<uint8_t> p(kBlock + 16);
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * 31 + 7);
  return p;
}

void BM_AesCipherEncrypt(benchmark::State& state) {
  qvn::AesCipher cipher(kKeyText);
  std::vector<uint8_t> plain = Plain(), buf(kBlock + 16);
  for (auto _ : state) {
    std::memcpy(buf.data(), plain.data(), kBlock);
    benchmark::DoNotOptimize(cipher.EncryptInPlace(buf.data(), kBlock));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kBlock);
}
BENCHMARK(BM_AesCipherEncrypt);

void BM_EvpDirectEncrypt(benchmark::State& state) {
  auto key = qvn::DeriveAesKey(kKeyText);
  const uint8_t iv[16] = {};
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  std::vector<uint8_t> plain = Plain(), buf(kBlock + 16);
  for (auto _ : state) {
    std::memcpy(buf.data(), plain.data(), kBlock);
    int n = 0, last = 0;
    EVP_EncryptInit_ex2(ctx, EVP_aes_128_cbc(), key.data(), iv, nullptr);
    EVP_EncryptUpdate(ctx, buf.data(), &n, buf.data(), int(kBlock));
    EVP_EncryptFinal_ex(ctx, buf.data() + n, &last);
    benchmark::DoNotOptimize(n + last);
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * kBlock);
}
BENCHMARK(BM_EvpDirectEncrypt);

// A transfer's batch of blocks at once, each its own chain (Arg: the gap in
// bytes between the 32,768-byte buffers; 0 puts them all at the same offset
// in their 4 KiB pages, where they compete for the same L1 sets).
void BM_MultiBlockEncrypt(benchmark::State& state) {
  constexpr size_t kCount = qvn::AesCipher::kInterleavedBuffers;
  qvn::AesCipher cipher(kKeyText);
  const size_t stride = 32768 + static_cast<size_t>(state.range(0));
  std::vector<uint8_t> plain = Plain();
  std::vector<uint8_t> buf(kCount * stride + 4096);
  uint8_t* base = buf.data() + (4096 - reinterpret_cast<uintptr_t>(buf.data()) % 4096);
  uint8_t* bufs[kCount];
  for (size_t i = 0; i < kCount; ++i) {
    bufs[i] = base + i * stride;
    std::memcpy(bufs[i], plain.data(), kBlock);
  }
  for (auto _ : state) benchmark::DoNotOptimize(cipher.EncryptBlocks(bufs, bufs, kCount, kBlock));
  state.SetBytesProcessed(int64_t(state.iterations()) * kCount * kBlock);
}
BENCHMARK(BM_MultiBlockEncrypt)->Arg(0)->Arg(192);

std::vector<uint8_t> CipherBlock() {
  qvn::AesCipher cipher(kKeyText);
  std::vector<uint8_t> buf = Plain();
  buf.resize(cipher.EncryptInPlace(buf.data(), kBlock));
  return buf;
}

void BM_AesCipherDecrypt(benchmark::State& state) {
  qvn::AesCipher cipher(kKeyText);
  std::vector<uint8_t> cipher_block = CipherBlock(), buf(cipher_block.size());
  for (auto _ : state) {
    std::memcpy(buf.data(), cipher_block.data(), buf.size());
    benchmark::DoNotOptimize(cipher.DecryptInPlace(buf.data(), buf.size()));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kBlock);
}
BENCHMARK(BM_AesCipherDecrypt);

void BM_EvpDirectDecrypt(benchmark::State& state) {
  auto key = qvn::DeriveAesKey(kKeyText);
  const uint8_t iv[16] = {};
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  std::vector<uint8_t> cipher_block = CipherBlock(), buf(cipher_block.size());
  for (auto _ : state) {
    std::memcpy(buf.data(), cipher_block.data(), buf.size());
    int n = 0, last = 0;
    EVP_DecryptInit_ex2(ctx, EVP_aes_128_cbc(), key.data(), iv, nullptr);
    EVP_DecryptUpdate(ctx, buf.data(), &n, buf.data(), int(buf.size()));
    EVP_DecryptFinal_ex(ctx, buf.data() + n, &last);
    benchmark::DoNotOptimize(n + last);
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * kBlock);
}
BENCHMARK(BM_EvpDirectDecrypt);

// One-shot form: derives the key for every block.
void BM_AesEncryptBytesOneShot(benchmark::State& state) {
  std::vector<uint8_t> p = Plain();
  qvn::Bytes plain(p.begin(), p.begin() + kBlock);
  for (auto _ : state) benchmark::DoNotOptimize(qvn::AesEncryptBytes(plain, kKeyText));
  state.SetBytesProcessed(int64_t(state.iterations()) * kBlock);
}
BENCHMARK(BM_AesEncryptBytesOneShot);

// A script request of 16 KB of text under a digest key, and a digest text.
void BM_EncryptText16K(benchmark::State& state) {
  qvn::Text script(8192, u'x');
  for (auto _ : state) benchmark::DoNotOptimize(qvn::EncryptText(kKeyText, script));
  state.SetBytesProcessed(int64_t(state.iterations()) * 16384);
}
BENCHMARK(BM_EncryptText16K);

void BM_Md5Hex(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(qvn::Md5Hex(u"dbpassword@user@userpassword"));
}
BENCHMARK(BM_Md5Hex);

}  // namespace
