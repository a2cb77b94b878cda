// Whether the processor flushes subnormals at this moment: the smallest subnormal double, read
// through volatile so the compiler cannot fold it, multiplies to zero only under
// denormals-are-zero.
#pragma once

inline bool SubnormalsFlushed() {
  volatile double smallest = 4.9406564584124654e-324;
  return smallest * 1.0 == 0.0;
}
