// A pair of samples (left, right) processed as one value.
//
// Both channels run the same arithmetic with the same coefficients, so the stereo path computes
// them side by side in one two-lane vector. Every lane operation is the same IEEE-754 operation as
// its scalar counterpart, which keeps each channel bit for bit equal to a scalar computation.
#pragma once

namespace brimo {

using StereoSample = double __attribute__((vector_size(16)));
using StereoMask = long long __attribute__((vector_size(16)));

}  // namespace brimo
