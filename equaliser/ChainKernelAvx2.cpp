// The chain for x86-64-v3 (AVX2): this file alone is built with -march=x86-64-v3 (CMakeLists.txt),
// still without contraction into fused multiply-adds, and runs only where ColourPath.cpp finds
// the features.
#include "ChainKernelLoops.h"

namespace brimo {

const ChainKernels kChainKernelsAvx2 = MakeChainKernels<true>();

}  // namespace brimo
