// Allocations made by the test program so far (AllocationCounter.cpp replaces the global
// allocation functions to count them), so tests can show that processing allocates nothing.
#pragma once

long AllocationCount();
// Bytes asked of operator new so far.
long AllocatedBytes();
