// Replaces the global allocation functions of the test program to count allocations, so that
// tests can show that processing allocates nothing. Kept in its own file so that the compiler
// never sees a matching new and delete pair inlined together.
#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> gAllocations{0};
std::atomic<long> gBytes{0};
}  // namespace

long AllocationCount() {
  return gAllocations.load();
}

long AllocatedBytes() {
  return gBytes.load();
}

void* operator new(std::size_t size) {
  ++gAllocations;
  gBytes += long(size);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++gAllocations;
  gBytes += long(size);
  return std::malloc(size ? size : 1);
}

void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
