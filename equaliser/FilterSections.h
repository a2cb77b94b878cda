// The two section types that carry the networks. The step follows one fixed evaluation order and
// divides by a0 on every sample (coefficients are not normalised in advance), so every build gives
// the same samples. Sample is double for one channel or StereoSample for left and right together.
#pragma once

#include "NetworkModels.h"

namespace brimo {

// Step is always inlined: the per-instruction-set builds of the chain's loop (ChainKernel*.cpp)
// call it, and an out-of-line copy compiled for a wider instruction set could otherwise stand in
// for everyone's.
template <typename Sample>
struct BasicSecondOrderSection {
  SecondOrderCoefficients c;
  Sample x1{}, x2{}, y1{}, y2{};

  [[gnu::always_inline]] Sample Step(Sample x) {
    const Sample y = ((((x1 * c.b1 + x * c.b0) + c.b2 * x2) - y1 * c.a1) - c.a2 * y2) / c.a0;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }

  void ClearHistory() { x1 = x2 = y1 = y2 = Sample{}; }
};

template <typename Sample>
struct BasicFirstOrderSection {
  FirstOrderCoefficients c;
  Sample x1{}, y1{};

  [[gnu::always_inline]] Sample Step(Sample x) {
    const Sample y = ((x1 * c.b1 + x * c.b0) - y1 * c.a1) / c.a0;
    x1 = x;
    y1 = y;
    return y;
  }

  void ClearHistory() { x1 = y1 = Sample{}; }
};

using SecondOrderSection = BasicSecondOrderSection<double>;
using FirstOrderSection = BasicFirstOrderSection<double>;

}  // namespace brimo
