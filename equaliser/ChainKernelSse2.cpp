// The chain for the x86-64 baseline (SSE2), built with the library's own options.
#include "ChainKernelLoops.h"

namespace brimo {

const ChainKernels kChainKernelsSse2 = MakeChainKernels<false>();

}  // namespace brimo
