// The colouration's inner loops, used by the equaliser chain (which runs its stages in the gaps of
// the colouration's recursion) and by StereoColouration::Process. Internal to the DSP library and
// included only by the ChainKernel*.cpp files, each built for one instruction set: everything here
// has internal linkage, so no copy compiled for a wider instruction set can stand in for another.
#pragma once

#include "Colouration.h"
#include "StereoSample.h"

#include <emmintrin.h>

namespace brimo {
namespace {

#if defined(__AVX__)
// Both filters of both channels as one vector: up left, up right, down left, down right. Only
// where the processor has 256-bit registers; elsewhere it would pass in memory.
using QuadSample = double __attribute__((vector_size(32)));
using QuadMask = long long __attribute__((vector_size(32)));
#endif

// The lanes of a fresh filter output that survive the flush: magnitude 2^-54 or more and finite
// (the same condition as NeedsColourFlush, tested on the double value). The small-value test is a
// mask, computed beside the recursion's next multiplication; a branch would be cheaper while the
// signal is loud but mispredicts when the filters hover around 2^-54 in silence. Infinity is rare
// enough for a branch.
StereoMask Kept(StereoSample y) {
  constexpr long long kSign = static_cast<long long>(0x8000000000000000ULL);
  constexpr StereoMask kSignBit = {kSign, kSign};
  const StereoSample magnitude =
      reinterpret_cast<StereoSample>(reinterpret_cast<StereoMask>(y) & ~kSignBit);
  StereoMask keep = magnitude >= 0x1p-54;  // false for NaN
  const StereoMask infinite = magnitude > 0x1.fffffffffffffp+1023;
  if ((infinite[0] | infinite[1]) != 0) keep &= ~infinite;
  return keep;
}

StereoSample KeepLanes(StereoSample v, StereoMask keep) {
  return reinterpret_cast<StereoSample>(reinterpret_cast<StereoMask>(v) & keep);
}

// ColourShape on both lanes at once, with the same arithmetic: the magnitude scaled, clamped to
// the table (199 at and beyond the hard limit, 0 for NaN), interpolated, and the sign of x copied.
StereoSample Shape(StereoSample x) {
#if defined(__AVX512DQ__) && defined(__AVX512VL__)
  using IndexPair =
      long long __attribute__((vector_size(16)));  // VCVTTPD2QQ: ready to address with
#else
  using IndexPair = int __attribute__((vector_size(8)));
#endif
  constexpr long long kSign = static_cast<long long>(0x8000000000000000ULL);
  constexpr StereoMask kSignBit = {kSign, kSign};
  const StereoSample magnitude =
      reinterpret_cast<StereoSample>(reinterpret_cast<StereoMask>(x) & ~kSignBit);
  StereoSample v = static_cast<double>(kSaturationScale) * magnitude;
  // MAXPD and MINPD return their second operand when the comparison fails, NaN included: NaN
  // becomes 0, and 199 caps everything at and beyond the hard limit.
  v = _mm_min_pd(_mm_max_pd(v, StereoSample{}), StereoSample{199.0, 199.0});
  const IndexPair index = __builtin_convertvector(v, IndexPair);  // truncation toward zero
  const StereoSample t = v - __builtin_convertvector(index, StereoSample);
  static_assert(sizeof(SaturationPair) == 16);
  const IndexPair offset = index << 4;  // in bytes
  const char* pairs = reinterpret_cast<const char*>(kSaturationPairs);
  const StereoSample pair0 = *reinterpret_cast<const StereoSample*>(pairs + offset[0]);
  const StereoSample pair1 = *reinterpret_cast<const StereoSample*>(pairs + offset[1]);
  const StereoSample low = __builtin_shufflevector(pair0, pair1, 0, 2);
  const StereoSample high = __builtin_shufflevector(pair0, pair1, 1, 3);
  const StereoSample r =
      low * (1.0 - t) + high * t;  // never negative, so OR-ing in the sign copies it
  return reinterpret_cast<StereoSample>(reinterpret_cast<StereoMask>(r) |
                                        (reinterpret_cast<StereoMask>(x) & kSignBit));
}

// The colouration of a block at a fixed factor N (0: the factor is only known at run time; it
// must be 2 or more, which makes every pole's angle below pi / 2 and so f1 > 0).
// Histories and coefficients live in locals for the whole block so that they can stay in
// registers; the recursion is a chain of dependent additions and every load on it costs time. With
// N fixed the sub-sample loop unrolls completely and the history shifts become register renames.
template <int kFactor, typename OnFrame>
void ColourBlock(const ColourFilterDesign& design, int factor, StereoSample* up, StereoSample* down,
                 const double* left, const double* right, int frames, OnFrame& onFrame) {
  const int n = kFactor > 0 ? kFactor : factor;
  StereoSample u0 = up[0], u1 = up[1], u2 = up[2], u3 = up[3], u4 = up[4];
  StereoSample u5 = up[5], u6 = up[6], u7 = up[7], u8 = up[8], u9 = up[9];
  StereoSample d0 = down[0], d1 = down[1], d2 = down[2], d3 = down[3], d4 = down[4];
  StereoSample d5 = down[5], d6 = down[6], d7 = down[7], d8 = down[8], d9 = down[9];
  const double g = design.g;
  const double f1 = design.f[0], f2 = design.f[1], f3 = design.f[2], f4 = design.f[3],
               f5 = design.f[4];
  const double f6 = design.f[5], f7 = design.f[6], f8 = design.f[7], f9 = design.f[8],
               f10 = design.f[9];
  const double gainN = static_cast<double>(n);

  // Up-sampling filter step (with the input on the first sub-sample, zero after) and the
  // saturation; returns the shaped value for the down-sampling filter.
  // f1 * y[n-1] of each filter, kept from the previous step. The recursion's critical path runs
  // from one output through this product into the next sum, so the product is formed from the
  // unflushed output at the same time as the flush mask and masked afterwards: with f1 > 0,
  // f1 * y masked to +0 equals f1 * (+0) bit for bit.
  StereoSample f1u0 = f1 * u0, f1d0 = f1 * d0;

  // Up-sampling filter step (with the input on the first sub-sample, zero after) and the
  // saturation; returns the shaped value for the down-sampling filter.
  auto upStep = [&](bool first, StereoSample x) {
    // g * 0 is +0, and f1 * y[n-1] is never -0 (f1 > 0 and the history holds +0 or values of
    // magnitude 2^-54 and more), so the zero-stuffed input term changes nothing and is left out.
    StereoSample head = f1u0;
    if (first) head = head + g * x;
    StereoSample y = head + f2 * u1 + f3 * u2 + f4 * u3 + f5 * u4 + f6 * u5 + f7 * u6 + f8 * u7 +
                     f9 * u8 + f10 * u9;
    const StereoMask keep = Kept(y);
    f1u0 = KeepLanes(f1 * y, keep);
    y = KeepLanes(y, keep);
    u9 = u8;
    u8 = u7;
    u7 = u6;
    u6 = u5;
    u5 = u4;
    u4 = u3;
    u3 = u2;
    u2 = u1;
    u1 = u0;
    u0 = y;
    return Shape(gainN * y);
  };
  auto downStep = [&](StereoSample v) {
    StereoSample z = (f1d0 + g * v) + f2 * d1 + f3 * d2 + f4 * d3 + f5 * d4 + f6 * d5 + f7 * d6 +
                     f8 * d7 + f9 * d8 + f10 * d9;
    const StereoMask keep = Kept(z);
    f1d0 = KeepLanes(f1 * z, keep);
    z = KeepLanes(z, keep);
    d9 = d8;
    d8 = d7;
    d7 = d6;
    d6 = d5;
    d5 = d4;
    d4 = d3;
    d3 = d2;
    d2 = d1;
    d1 = d0;
    d0 = z;
    return z;
  };

  if (n < 3) {
    for (int i = 0; i < frames; ++i) {
      onFrame(i, downStep(upStep(true, StereoSample{left[i], right[i]})));
      for (int j = 1; j < n; ++j) downStep(upStep(false, StereoSample{}));
    }
  } else {
    // The two filters are independent recursions linked only by the shaped values. Running the
    // down-sampling filter two sub-samples behind the up-sampling one puts both recursions side
    // by side in the instruction stream, with the saturation's latency in between, so the
    // processor overlaps them instead of waiting for one chain of additions after the other.
    // The order of each filter's own steps is unchanged. older and newer hold the shaped
    // values that the down-sampling filter has still to take.
    StereoSample older{}, newer{};
    auto advance = [&](StereoSample v, bool stepDown) {
      StereoSample z{};
      if (stepDown) z = downStep(older);
      older = newer;
      newer = v;
      return z;
    };
    for (int i = 0; i < frames; ++i) {
      // The first two down-sampling steps of a frame finish the previous frame.
      advance(upStep(true, StereoSample{left[i], right[i]}), i > 0);
      advance(upStep(false, StereoSample{}), i > 0);
      onFrame(i, advance(upStep(false, StereoSample{}), true));  // decimation keeps sub-sample 0
#pragma GCC unroll 16
      for (int j = 3; j < n; ++j) advance(upStep(false, StereoSample{}), true);
    }
    if (frames > 0) {
      downStep(older);
      downStep(newer);
    }
  }

  up[0] = u0;
  up[1] = u1;
  up[2] = u2;
  up[3] = u3;
  up[4] = u4;
  up[5] = u5;
  up[6] = u6;
  up[7] = u7;
  up[8] = u8;
  up[9] = u9;
  down[0] = d0;
  down[1] = d1;
  down[2] = d2;
  down[3] = d3;
  down[4] = d4;
  down[5] = d5;
  down[6] = d6;
  down[7] = d7;
  down[8] = d8;
  down[9] = d9;
}

#if defined(__AVX__)
// The flush condition of NeedsColourFlush, on all four lanes and without a branch: the biased
// exponent plus one, wrapped, so that infinity and NaN (exponent 0x7FF) land below the threshold
// with zero and the denormals. Integer operations only, beside the recursion's floating-point ones.
inline QuadMask KeptQuad(QuadSample y) {
  using QuadBits = unsigned long long __attribute__((vector_size(32)));
  const QuadBits exponent =
      (reinterpret_cast<QuadBits>(y) + 0x0010000000000000ULL) & 0x7FF0000000000000ULL;
  return reinterpret_cast<QuadMask>(exponent) >= 0x3CA0000000000000LL;
}

inline QuadSample Select(QuadMask mask, QuadSample a, QuadSample b) {
  return mask ? a : b;
}

inline QuadSample Join(StereoSample low, StereoSample high) {
  return __builtin_shufflevector(low, high, 0, 1, 2, 3);
}
inline StereoSample LowHalf(QuadSample q) {
  return __builtin_shufflevector(q, q, 0, 1);
}
inline StereoSample HighHalf(QuadSample q) {
  return __builtin_shufflevector(q, q, 2, 3);
}

// The colouration of a block at a fixed factor N, with both filters of both channels as one
// four-lane recursion. The down-sampling filter needs the up-sampling filter's shaped output of the
// same sub-sample, so its lanes run kLag sub-samples behind: step k takes the up-sampling filters
// to sub-sample k and the down-sampling filters to k - kLag. The shaped value crosses from the up
// lanes to the down lanes of the same vector, so it joins the recursion's loop-carried chain:
// kLag steps of the recursion must cover the saturation's latency, or the saturation sets the
// pace. One chain of four-wide additions per sub-sample instead of two chains of two-wide ones.
//
// Every lane performs the operations of ColourBlock in the same order. The up-sampling lanes also
// add g * 0 = +0 on the zero-stuffed sub-samples, which changes nothing: f1 * y[n-1] is never -0
// (see ColourBlock). The first kLag up-sampling steps of the block and the last kLag down-sampling
// steps run on two lanes alone, so that a block ends with both filters at the same sub-sample.
template <int kFactor, int kLag, typename OnFrame>
[[gnu::flatten]] void ColourBlockSkewed(const ColourFilterDesign& design, StereoSample* up,
                                        StereoSample* down, const double* left, const double* right,
                                        int frames, OnFrame& onFrame) {
  static_assert(kLag >= 1 && kLag < kFactor,
                "each frame's decimated sample is ready within the frame");
  if (frames <= 0) return;
  const double g = design.g;
  const double f1 = design.f[0], f2 = design.f[1], f3 = design.f[2], f4 = design.f[3],
               f5 = design.f[4];
  const double f6 = design.f[5], f7 = design.f[6], f8 = design.f[7], f9 = design.f[8],
               f10 = design.f[9];
  const double gainN = static_cast<double>(kFactor);

  // Shaped values on their way to the down-sampling lanes, the oldest first.
  StereoSample pending[kLag];
  auto push = [&](StereoSample v) {
    for (int k = 0; k + 1 < kLag; ++k) pending[k] = pending[k + 1];
    pending[kLag - 1] = v;
  };

  // Two-lane steps, as in ColourBlock.
  StereoSample u0 = up[0], u1 = up[1], u2 = up[2], u3 = up[3], u4 = up[4];
  StereoSample u5 = up[5], u6 = up[6], u7 = up[7], u8 = up[8], u9 = up[9];
  StereoSample f1u0 = f1 * u0;
  auto upStep = [&](bool first, StereoSample x) {
    StereoSample head = f1u0;
    if (first) head = head + g * x;
    StereoSample y = head + f2 * u1 + f3 * u2 + f4 * u3 + f5 * u4 + f6 * u5 + f7 * u6 + f8 * u7 +
                     f9 * u8 + f10 * u9;
    const StereoMask keep = Kept(y);
    f1u0 = KeepLanes(f1 * y, keep);
    y = KeepLanes(y, keep);
    u9 = u8;
    u8 = u7;
    u7 = u6;
    u6 = u5;
    u5 = u4;
    u4 = u3;
    u3 = u2;
    u2 = u1;
    u1 = u0;
    u0 = y;
    return Shape(gainN * y);
  };
  for (int j = 0; j < kLag; ++j) pending[j] = upStep(j == 0, StereoSample{left[0], right[0]});

  QuadSample h0 = Join(u0, down[0]), h1 = Join(u1, down[1]), h2 = Join(u2, down[2]),
             h3 = Join(u3, down[3]);
  QuadSample h4 = Join(u4, down[4]), h5 = Join(u5, down[5]), h6 = Join(u6, down[6]),
             h7 = Join(u7, down[7]);
  QuadSample h8 = Join(u8, down[8]), h9 = Join(u9, down[9]);
  // The newest output before its flush, and which of its lanes the flush keeps.
  QuadSample raw = h0;
  QuadMask keep = KeptQuad(h0);

  // One four-lane step: x is the up-sampling input (zero after the first sub-sample); returns
  // the down-sampling filters' output. The flush applies to f1 * y[n-1] after the first
  // addition instead of before it, so the selection waits one addition less for the flush mask:
  // a flushed lane's head, (+0) + g * input, is g * input except that -0 becomes +0. That
  // difference never shows: the head's zero only decides the sign of a zero sum, and a zero
  // output is flushed to +0.
  auto step = [&](StereoSample x) {
    const QuadSample input = g * Join(x, pending[0]);
    const QuadSample head = Select(keep, f1 * raw + input, input);
    QuadSample y = head + f2 * h1 + f3 * h2 + f4 * h3 + f5 * h4 + f6 * h5 + f7 * h6 + f8 * h7 +
                   f9 * h8 + f10 * h9;
    raw = y;
    keep = KeptQuad(y);
    y = Select(keep, y, QuadSample{});
    h9 = h8;
    h8 = h7;
    h7 = h6;
    h6 = h5;
    h5 = h4;
    h4 = h3;
    h3 = h2;
    h2 = h1;
    h1 = h0;
    h0 = y;
    push(Shape(gainN * LowHalf(y)));
    return HighHalf(y);
  };
  // Sub-samples kLag to N - 1 of frame i; the down-sampling lanes reach the frame's sub-sample 0
  // at the first of them, and decimation keeps it.
  auto rest = [&](int i) {
    onFrame(i, step(StereoSample{}));
#pragma GCC unroll 16
    for (int j = kLag + 1; j < kFactor; ++j) step(StereoSample{});
  };

  rest(0);
  for (int i = 1; i < frames; ++i) {
    step(StereoSample{left[i], right[i]});  // the first kLag down-sampling steps finish frame i - 1
#pragma GCC unroll 16
    for (int j = 1; j < kLag; ++j) step(StereoSample{});
    rest(i);
  }

  u0 = LowHalf(h0);
  u1 = LowHalf(h1);
  u2 = LowHalf(h2);
  u3 = LowHalf(h3);
  u4 = LowHalf(h4);
  u5 = LowHalf(h5);
  u6 = LowHalf(h6);
  u7 = LowHalf(h7);
  u8 = LowHalf(h8);
  u9 = LowHalf(h9);
  StereoSample d0 = HighHalf(h0), d1 = HighHalf(h1), d2 = HighHalf(h2), d3 = HighHalf(h3),
               d4 = HighHalf(h4);
  StereoSample d5 = HighHalf(h5), d6 = HighHalf(h6), d7 = HighHalf(h7), d8 = HighHalf(h8),
               d9 = HighHalf(h9);
  StereoSample f1d0 = HighHalf(f1 * h0);  // f1 * +0 is +0: the same as the masked product
  for (int j = 0; j < kLag; ++j) {
    StereoSample z = (f1d0 + g * pending[j]) + f2 * d1 + f3 * d2 + f4 * d3 + f5 * d4 + f6 * d5 +
                     f7 * d6 + f8 * d7 + f9 * d8 + f10 * d9;
    const StereoMask keep = Kept(z);
    f1d0 = KeepLanes(f1 * z, keep);
    z = KeepLanes(z, keep);
    d9 = d8;
    d8 = d7;
    d7 = d6;
    d6 = d5;
    d5 = d4;
    d4 = d3;
    d3 = d2;
    d2 = d1;
    d1 = d0;
    d0 = z;
  }

  up[0] = u0;
  up[1] = u1;
  up[2] = u2;
  up[3] = u3;
  up[4] = u4;
  up[5] = u5;
  up[6] = u6;
  up[7] = u7;
  up[8] = u8;
  up[9] = u9;
  down[0] = d0;
  down[1] = d1;
  down[2] = d2;
  down[3] = d3;
  down[4] = d4;
  down[5] = d5;
  down[6] = d6;
  down[7] = d7;
  down[8] = d8;
  down[9] = d9;
}

#endif  // __AVX__

}  // namespace
}  // namespace brimo
