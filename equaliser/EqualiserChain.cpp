#include "EqualiserChain.h"

#include "ChainKernel.h"
#include "DenormalFlush.h"

#include <algorithm>
#include <cmath>

namespace brimo {

double MakeUpGain() {
  static const double gain = std::pow(10.0, 0.725);
  return gain;
}

double ColourMix() {
  static const double mix = std::pow(10.0, -3.0);
  return mix;
}

namespace {

// Selector positions cannot leave their ranges through the parameter model; anything else that
// drives the chain is held to the valid positions rather than indexing outside the families.
EqualiserSettings Clamped(EqualiserSettings s) {
  s.lowCut = std::clamp(s.lowCut, 0, kLowCutCount);
  s.lowFrequency = std::clamp(s.lowFrequency, 0, kLowBoostCount - 1);
  s.midBoostFrequency = std::clamp(s.midBoostFrequency, 0, kMidBoostCount - 1);
  s.midCutFrequency = std::clamp(s.midCutFrequency, 0, kMidCutCount - 1);
  s.highBoost = std::clamp(s.highBoost, 0, kHighBoostCount);
  s.highCut = std::clamp(s.highCut, 0, kHighCutCount);
  s.oversampleFactor = std::max(s.oversampleFactor, 2);  // the colouration needs 2 or more
  return s;
}

bool Finite(StereoSample v, int lane) {
  return std::isfinite(v[lane]);
}

// A channel whose section history went infinite or NaN restarts that section from silence;
// otherwise it would repeat the non-finite value for ever.
template <typename Section>
void RecoverLanes(Section& s) {
  for (int lane = 0; lane < 2; ++lane) {
    bool finite = Finite(s.x1, lane) && Finite(s.y1, lane);
    if constexpr (requires { s.x2; }) finite = finite && Finite(s.x2, lane) && Finite(s.y2, lane);
    if (finite) continue;
    s.x1[lane] = 0.0;
    s.y1[lane] = 0.0;
    if constexpr (requires { s.x2; }) {
      s.x2[lane] = 0.0;
      s.y2[lane] = 0.0;
    }
  }
}

}  // namespace

void EqualiserChain::UpdateCoefficients(double fs, const EqualiserSettings& s) {
  // Left and right share each network's coefficients: both channels' sets are the same numbers.
  for (int k = 0; k < kLowBoostCount; ++k)
    lowBoost_[k].c = LowBoostCoefficients(k, fs, -s.lowBoost);
  for (int k = 1; k <= kLowCutCount; ++k) lowCut_[k - 1].c = LowCutCoefficients(k, fs);
  for (int k = 0; k < kMidBoostCount; ++k) midBoost_[k].c = MidBoostCoefficients(k, fs, s.midBoost);
  for (int k = 0; k < kMidCutCount; ++k) midCut_[k].c = MidCutCoefficients(k, fs, s.midCut);
  for (int k = 1; k <= kHighBoostCount; ++k) highBoost_[k - 1].c = HighBoostCoefficients(k, fs);
  for (int k = 1; k <= kHighCutCount; ++k) highCut_[k - 1].c = HighCutCoefficients(k, fs);
  colour_.Design(s.oversampleFactor);
}

void EqualiserChain::ProcessBlock(const double* const* inputs, double* const* outputs,
                                  std::int32_t frames, double sampleRate,
                                  const EqualiserSettings& settings) {
  const EqualiserSettings s = Clamped(settings);
  UpdateCoefficients(sampleRate, s);
  if (frames <= 0) return;

  {
    const ScopedDenormalFlush flushDenormals;
    Run(inputs[0], inputs[1], outputs[0], outputs[1], frames, s);
  }

  if (s.lowCut > 0) RecoverLanes(lowCut_[s.lowCut - 1]);
  RecoverLanes(lowBoost_[s.lowFrequency]);
  RecoverLanes(midBoost_[s.midBoostFrequency]);
  RecoverLanes(midCut_[s.midCutFrequency]);
  if (s.highBoost > 0) RecoverLanes(highBoost_[s.highBoost - 1]);
  if (s.highCut > 0) RecoverLanes(highCut_[s.highCut - 1]);
}

void EqualiserChain::Run(const double* left, const double* right, double* outLeft, double* outRight,
                         std::int32_t frames, const EqualiserSettings& s) {
  ChainBlock block;
  block.left = left;
  block.right = right;
  block.outLeft = outLeft;
  block.outRight = outRight;
  block.frames = frames;
  block.lowCut = s.lowCut > 0 ? &lowCut_[s.lowCut - 1] : nullptr;
  block.lowBoost = &lowBoost_[s.lowFrequency];
  block.midBoost = &midBoost_[s.midBoostFrequency];
  block.midCut = &midCut_[s.midCutFrequency];
  block.highBoost = s.highBoost > 0 ? &highBoost_[s.highBoost - 1] : nullptr;
  block.highCut = s.highCut > 0 ? &highCut_[s.highCut - 1] : nullptr;
  block.makeUp = MakeUpGain();
  block.colourMix = ColourMix();
  block.outputGain = s.outputGain;
  block.lowBoostOff = s.lowBoost == -1.0;
  block.bypass = s.bypass != 0;
  block.design = &colour_.design_;
  block.factor = colour_.factor_;
  block.up = colour_.up_;
  block.down = colour_.down_;
  ActiveChainKernels().runChain(block);
}

}  // namespace brimo
