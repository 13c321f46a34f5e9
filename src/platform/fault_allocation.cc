// The allocations of a fault-injection build: operator new counts as a
// fallible request (only on a thread inside the library) and throws
// std::bad_alloc when chosen. Linked into the library itself and into the
// torture program, never into the library's object set, so the sanitizers
// keep their own operators for every other test.
#include <cstdlib>
#include <new>

#include "platform/fault_injection.h"

namespace {

void* Allocate(std::size_t n) {
  if (qvn::platform::fault::Injected(qvn::platform::fault::Op::kAllocate)) throw std::bad_alloc();
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}

void* AllocateAligned(std::size_t n, std::align_val_t align) {
  if (qvn::platform::fault::Injected(qvn::platform::fault::Op::kAllocate)) throw std::bad_alloc();
  const std::size_t a = static_cast<std::size_t>(align);
  void* p = nullptr;
#ifdef _WIN32
  p = _aligned_malloc(n == 0 ? a : n, a);
#else
  if (posix_memalign(&p, a < sizeof(void*) ? sizeof(void*) : a, n == 0 ? a : n) != 0) p = nullptr;
#endif
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void FreeAligned(void* p) noexcept {
#ifdef _WIN32
  _aligned_free(p);
#else
  std::free(p);
#endif
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return Allocate(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void* operator new(std::size_t n, std::align_val_t a) { return AllocateAligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return AllocateAligned(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
