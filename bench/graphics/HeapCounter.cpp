// Replaces the global allocation functions of the benchmark program to count calls and requested
// bytes. In its own file so that the compiler never sees a matching new and delete pair inlined
// together and drops both.
#include "HeapCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> gCalls{0};
std::atomic<std::size_t> gBytes{0};
}  // namespace

HeapRequests HeapRequestsSoFar() {
  return {gCalls.load(), gBytes.load()};
}

void* operator new(std::size_t size) {
  ++gCalls;
  gBytes += size;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
