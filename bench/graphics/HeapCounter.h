// What the benchmark program has asked of operator new so far (HeapCounter.cpp replaces the global
// allocation functions to count it). Memory taken straight from malloc, such as bitmap pixels, is
// not seen here.
#pragma once

#include <cstddef>

struct HeapRequests {
  long calls = 0;
  std::size_t bytes = 0;
};

HeapRequests HeapRequestsSoFar();
