// The bodies of the chain and colouration loops, included once by each ChainKernel*.cpp and
// compiled there for that file's instruction set. Internal linkage throughout (see
// ColourationKernel.h).
#pragma once

#include "ChainKernel.h"
#include "ColourationKernel.h"

namespace brimo {
namespace {

// kSkewed: run the factors 4 and 16 as one four-lane recursion (ColourBlockSkewed) rather than as
// two stereo pairs (ColourBlock); needs AVX. Other factors always take the general loop.
//
// The down-sampling lanes' lag, in sub-samples: the least that covers the saturation's latency
// (measured; longer lags cost time in the two-lane steps at either end of the block).
template <bool kSkewed, typename OnFrame>
void ColourAnyFactor(const ColourFilterDesign& design, int factor, StereoSample* up,
                     StereoSample* down, const double* left, const double* right, int frames,
                     OnFrame& onFrame) {
  if constexpr (kSkewed) {
#if defined(__AVX__)
    switch (factor) {
      case 4:
        ColourBlockSkewed<4, 3>(design, up, down, left, right, frames, onFrame);
        return;
      case 16:
        ColourBlockSkewed<16, 4>(design, up, down, left, right, frames, onFrame);
        return;
      default:
        ColourBlock<0>(design, factor, up, down, left, right, frames, onFrame);
        return;
    }
#else
    static_assert(!kSkewed, "the four-lane recursion needs AVX");
#endif
  } else {
    switch (factor) {
      case 4:
        ColourBlock<4>(design, factor, up, down, left, right, frames, onFrame);
        return;
      case 16:
        ColourBlock<16>(design, factor, up, down, left, right, frames, onFrame);
        return;
      default:
        ColourBlock<0>(design, factor, up, down, left, right, frames, onFrame);
        return;
    }
  }
}

template <bool kSkewed>
void ColourOnly(const ColourFilterDesign& design, int factor, StereoSample* up, StereoSample* down,
                const double* left, const double* right, StereoSample* out, int frames) {
  auto store = [out](int i, StereoSample c) { out[i] = c; };
  ColourAnyFactor<kSkewed>(design, factor, up, down, left, right, frames, store);
}

template <bool kSkewed>
void RunChain(const ChainBlock& b) {
  using Stereo1st = BasicFirstOrderSection<StereoSample>;
  using Stereo2nd = BasicSecondOrderSection<StereoSample>;
  const double M = b.makeUp;
  const double K = b.colourMix;
  const double gain = b.outputGain;
  const bool lowBoostOff = b.lowBoostOff;
  const bool bypass = b.bypass;
  const double* left = b.left;
  const double* right = b.right;
  double* outLeft = b.outLeft;
  double* outRight = b.outRight;
  const std::int32_t frames = b.frames;

  // Only the selected section of each stage steps. Work on local copies so that the histories
  // stay in registers (the output stores could otherwise alias them) and write them back after.
  Stereo1st lowCut = b.lowCut ? *b.lowCut : Stereo1st{};
  Stereo2nd lowBoost = *b.lowBoost;
  Stereo2nd midBoost = *b.midBoost;
  Stereo2nd midCut = *b.midCut;
  Stereo1st highBoost = b.highBoost ? *b.highBoost : Stereo1st{};
  Stereo1st highCut = b.highCut ? *b.highCut : Stereo1st{};
  const bool useLowCut = b.lowCut, useHighBoost = b.highBoost, useHighCut = b.highCut;

  // The six stages run as a software pipeline: at step t the low cut takes sample t, the low
  // boost sample t - 1, and so on down to the high cut with sample t - 5. Each stage is a
  // recursion with a division in it; in this order the six recursions are independent of each
  // other within one step, so the processor overlaps them instead of waiting for a sample to pass
  // all six in turn. Step t runs as soon as the colouration of sample t is ready, inside the
  // colouration's loop, where it fills the gaps of the colouration filters' long recursion. Every
  // section still sees its inputs in sample order, so the results are the same.
  StereoSample lc{}, lb{}, mb{}, mc{}, hb{};
  auto pipelineStep = [&](std::int32_t t, StereoSample colour) {
    if (t >= 5) {
      const std::int32_t i = t - 5;
      const StereoSample hc = useHighCut ? highCut.Step(hb) : hb;
      // The dry sample is read before the output is written: the arrays may coincide.
      const StereoSample out = bypass ? StereoSample{left[i], right[i]} : hc * gain;
      outLeft[i] = out[0];
      outRight[i] = out[1];
    }
    if (t >= 4 && t - 4 < frames) hb = useHighBoost ? M * highBoost.Step(mc) : mc;
    if (t >= 3 && t - 3 < frames) mc = midCut.Step(mb);
    if (t >= 2 && t - 2 < frames) mb = M * midBoost.Step(lb);
    if (t >= 1 && t - 1 < frames) {
      const StereoSample boosted = M * lowBoost.Step(lc);  // steps even when bypassed
      lb = lowBoostOff ? lc : boosted;
    }
    if (t < frames) {
      const StereoSample u = K * colour + StereoSample{left[t], right[t]};
      lc = useLowCut ? M * lowCut.Step(u) : u;
    }
  };
  ColourAnyFactor<kSkewed>(*b.design, b.factor, b.up, b.down, left, right, frames, pipelineStep);
  for (std::int32_t t = frames; t < frames + 5; ++t)  // drain the pipeline
    pipelineStep(t, StereoSample{});

  if (useLowCut) *b.lowCut = lowCut;
  *b.lowBoost = lowBoost;
  *b.midBoost = midBoost;
  *b.midCut = midCut;
  if (useHighBoost) *b.highBoost = highBoost;
  if (useHighCut) *b.highCut = highCut;
}

template <bool kSkewed>
constexpr ChainKernels MakeChainKernels() {
  return {&RunChain<kSkewed>, &ColourOnly<kSkewed>};
}

}  // namespace
}  // namespace brimo
