// Oversampled colouration: zero-stuffed up-sampling, a static saturation curve, band-limiting and
// decimation. The band-limiting filter is a tenth-order all-pole low-pass (matched-z Bessel poles)
// that flushes tiny, infinite and not-a-number outputs to zero, so its history never lingers in
// the denormal range nor keeps a NaN.
#pragma once

#include "StereoSample.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace brimo {

// Gain g and feedback coefficients f1..f10 (f[0]..f[9]).
struct ColourFilterDesign {
  double g = 0.0;
  double f[10] = {};
};

// One channel's filter history: y[0] is y[n-1] (the newest) .. y[9] is y[n-10]; y[10] receives the
// value shifted out and is never read.
struct ColourFilterState {
  double y[11] = {};
  double latest = 0.0;
};

// Designs the filter for the cut-off fc in cycles per sample of the oversampled rate, with unit
// gain at DC.
void DesignColourFilter(ColourFilterDesign& design, double fc);

// True when a filter output must be stored as zero: |y| < 2^-54 (zero and denormals included),
// infinite or not a number. Tested on the biased exponent in the high word.
inline bool NeedsColourFlush(double y) {
  std::uint64_t bits;
  std::memcpy(&bits, &y, sizeof bits);
  const auto high = static_cast<std::uint32_t>(bits >> 32);
  return ((high + 0x00100000u) & 0x7FF00000u) < 0x3CA00000u;
}

// One step of the all-pole filter; the result is state.latest.
void StepColourFilter(ColourFilterState& state, double x, const ColourFilterDesign& design);

inline constexpr float kSaturationScale = 1990.0f;
inline constexpr int kSaturationSize = 200;
// The curve's outputs for magnitudes k / 1990, single precision, followed by one padding entry
// (a copy of the last) that ColourShape reads with weight zero at the hard limit.
extern const float kSaturationTable[kSaturationSize + 1];

// Entries k and k + 1 of the table, widened to double, for k = 0 to 199: the two values that an
// interpolation between knots k and k + 1 reads, in one aligned load.
struct alignas(16) SaturationPair {
  double low, high;
};
extern const SaturationPair* const kSaturationPairs;

// The odd saturation curve: linear interpolation in the table, T[199] for larger magnitudes and
// for infinity, zero for NaN; the result carries the sign of x (-0 stays -0).
inline double ColourShape(double x) {
  double v = static_cast<double>(kSaturationScale) * std::fabs(x);
  if (!(v < 199.0)) v = v >= 199.0 ? 199.0 : 0.0;  // hard limit; NaN reads entry 0, which is zero
  const int i = static_cast<int>(v);
  const double t = v - i;
  const double r = static_cast<double>(kSaturationTable[i]) * (1.0 - t) +
                   static_cast<double>(kSaturationTable[i + 1]) * t;
  return std::copysign(r, x);
}

// Both channels' colouration. Left and right use the same design, so it is designed once; the
// four filter histories (up- and down-sampling, left and right) run as two stereo pairs on the
// baseline path and as one four-lane vector on the AVX paths (ColourationKernel.h).
class StereoColouration {
public:
  // Designs the band-limiting filter for the oversampling factor (cut-off 0.2 / factor); the
  // factor is 2 or more (smaller values count as 2).
  void Design(int factor);

  // Colours frames samples: out[i] = the decimated, shaped, band-limited version of
  // (left[i], right[i]) at the factor given to Design. Allocates nothing. Runs on the colour
  // path chosen for this processor (ColourPath.h), like the equaliser chain.
  void Process(const double* left, const double* right, StereoSample* out, int frames);

  // Clears the four histories; the design stays.
  void Reset();

  const ColourFilterDesign& GetDesign() const { return design_; }
  int Factor() const { return factor_; }
  // History value k (0 = newest) of the up- or down-sampling filter, for channel 0 or 1.
  double UpHistory(int channel, int k) const { return up_[k][channel]; }
  double DownHistory(int channel, int k) const { return down_[k][channel]; }

private:
  friend class EqualiserChain;  // runs the colouration inside its own loop

  ColourFilterDesign design_;
  int factor_ = 4;
  StereoSample up_[10] = {};
  StereoSample down_[10] = {};
};

}  // namespace brimo
