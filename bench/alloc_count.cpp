// The C library's allocation entry points, replaced for the whole process so
// that every allocation is counted: operator new calls malloc, and a module
// loaded at run time binds to these definitions too. Each forwards to the C
// library's own allocator, so free and everything not replaced here stay
// consistent with it.
#include "bench/alloc_count.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);
}

namespace {

std::atomic<long long> allocations{0};

void Count() {
  allocations.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

long long AllocationCount() {
  return allocations.load(std::memory_order_relaxed);
}

extern "C" {

void* malloc(size_t size) noexcept {
  Count();
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
  Count();
  return __libc_calloc(count, size);
}

void* realloc(void* p, size_t size) noexcept {
  Count();
  return __libc_realloc(p, size);
}

void free(void* p) noexcept {
  __libc_free(p);
}

void* memalign(size_t alignment, size_t size) noexcept {
  Count();
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept {
  Count();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  if (alignment == 0 || alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
    return EINVAL;
  Count();
  void* p = __libc_memalign(alignment, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}

}  // extern "C"
