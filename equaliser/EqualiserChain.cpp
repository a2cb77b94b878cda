#include "EqualiserChain.h"

#include "DenormalFlush.h"

#include <algorithm>
#include <cmath>

namespace brimo {

double MakeUpGain()
{
    static const double gain = std::pow(10.0, 0.725);
    return gain;
}

double ColourMix()
{
    static const double mix = std::pow(10.0, -3.0);
    return mix;
}

namespace {

// Selector positions cannot leave their ranges through the parameter model; anything else that
// drives the chain is held to the valid positions rather than indexing outside the families.
EqualiserSettings Clamped(EqualiserSettings s)
{
    s.lowCut = std::clamp(s.lowCut, 0, kLowCutCount);
    s.lowFrequency = std::clamp(s.lowFrequency, 0, kLowBoostCount - 1);
    s.midBoostFrequency = std::clamp(s.midBoostFrequency, 0, kMidBoostCount - 1);
    s.midCutFrequency = std::clamp(s.midCutFrequency, 0, kMidCutCount - 1);
    s.highBoost = std::clamp(s.highBoost, 0, kHighBoostCount);
    s.highCut = std::clamp(s.highCut, 0, kHighCutCount);
    s.oversampleFactor = std::max(s.oversampleFactor, 2);  // the colouration needs 2 or more
    return s;
}

bool Finite(StereoSample v, int lane) { return std::isfinite(v[lane]); }

// A channel whose section history went infinite or NaN restarts that section from silence;
// otherwise it would repeat the non-finite value for ever.
template <typename Section>
void RecoverLanes(Section& s)
{
    for (int lane = 0; lane < 2; ++lane) {
        bool finite = Finite(s.x1, lane) && Finite(s.y1, lane);
        if constexpr (requires { s.x2; })
            finite = finite && Finite(s.x2, lane) && Finite(s.y2, lane);
        if (finite)
            continue;
        s.x1[lane] = 0.0;
        s.y1[lane] = 0.0;
        if constexpr (requires { s.x2; }) {
            s.x2[lane] = 0.0;
            s.y2[lane] = 0.0;
        }
    }
}

}  // namespace

void EqualiserChain::UpdateCoefficients(double fs, const EqualiserSettings& s)
{
    // Left and right share each network's coefficients: both channels' sets are the same numbers.
    for (int k = 0; k < kLowBoostCount; ++k)
        lowBoost_[k].c = LowBoostCoefficients(k, fs, -s.lowBoost);
    for (int k = 1; k <= kLowCutCount; ++k)
        lowCut_[k - 1].c = LowCutCoefficients(k, fs);
    for (int k = 0; k < kMidBoostCount; ++k)
        midBoost_[k].c = MidBoostCoefficients(k, fs, s.midBoost);
    for (int k = 0; k < kMidCutCount; ++k)
        midCut_[k].c = MidCutCoefficients(k, fs, s.midCut);
    for (int k = 1; k <= kHighBoostCount; ++k)
        highBoost_[k - 1].c = HighBoostCoefficients(k, fs);
    for (int k = 1; k <= kHighCutCount; ++k)
        highCut_[k - 1].c = HighCutCoefficients(k, fs);
    colour_.Design(s.oversampleFactor);
}

void EqualiserChain::ProcessBlock(const double* const* inputs, double* const* outputs, std::int32_t frames,
                                  double sampleRate, const EqualiserSettings& settings)
{
    const EqualiserSettings s = Clamped(settings);
    UpdateCoefficients(sampleRate, s);
    if (frames <= 0)
        return;

    {
        const ScopedDenormalFlush flushDenormals;
        Run(inputs[0], inputs[1], outputs[0], outputs[1], frames, s);
    }

    if (s.lowCut > 0)
        RecoverLanes(lowCut_[s.lowCut - 1]);
    RecoverLanes(lowBoost_[s.lowFrequency]);
    RecoverLanes(midBoost_[s.midBoostFrequency]);
    RecoverLanes(midCut_[s.midCutFrequency]);
    if (s.highBoost > 0)
        RecoverLanes(highBoost_[s.highBoost - 1]);
    if (s.highCut > 0)
        RecoverLanes(highCut_[s.highCut - 1]);
}

void EqualiserChain::Run(const double* left, const double* right, double* outLeft, double* outRight,
                         std::int32_t frames, const EqualiserSettings& s)
{
    const double M = MakeUpGain();
    const double K = ColourMix();
    const double gain = s.outputGain;
    const bool lowBoostOff = s.lowBoost == -1.0;
    const bool bypass = s.bypass != 0;

    // Only the selected section of each stage steps. Work on local copies so that the histories
    // stay in registers (the output stores could otherwise alias them) and write them back after.
    Stereo1st lowCut = s.lowCut > 0 ? lowCut_[s.lowCut - 1] : Stereo1st{};
    Stereo2nd lowBoost = lowBoost_[s.lowFrequency];
    Stereo2nd midBoost = midBoost_[s.midBoostFrequency];
    Stereo2nd midCut = midCut_[s.midCutFrequency];
    Stereo1st highBoost = s.highBoost > 0 ? highBoost_[s.highBoost - 1] : Stereo1st{};
    Stereo1st highCut = s.highCut > 0 ? highCut_[s.highCut - 1] : Stereo1st{};
    const bool useLowCut = s.lowCut > 0, useHighBoost = s.highBoost > 0, useHighCut = s.highCut > 0;

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
            const StereoSample out = bypass ? MakeStereo(left[i], right[i]) : hc * gain;
            outLeft[i] = out[0];
            outRight[i] = out[1];
        }
        if (t >= 4 && t - 4 < frames)
            hb = useHighBoost ? M * highBoost.Step(mc) : mc;
        if (t >= 3 && t - 3 < frames)
            mc = midCut.Step(mb);
        if (t >= 2 && t - 2 < frames)
            mb = M * midBoost.Step(lb);
        if (t >= 1 && t - 1 < frames) {
            const StereoSample boosted = M * lowBoost.Step(lc);  // steps even when bypassed
            lb = lowBoostOff ? lc : boosted;
        }
        if (t < frames) {
            const StereoSample u = K * colour + MakeStereo(left[t], right[t]);
            lc = useLowCut ? M * lowCut.Step(u) : u;
        }
    };
    colour_.ProcessEach(left, right, frames, pipelineStep);
    for (std::int32_t t = frames; t < frames + 5; ++t)  // drain the pipeline
        pipelineStep(t, StereoSample{});

    if (useLowCut)
        lowCut_[s.lowCut - 1] = lowCut;
    lowBoost_[s.lowFrequency] = lowBoost;
    midBoost_[s.midBoostFrequency] = midBoost;
    midCut_[s.midCutFrequency] = midCut;
    if (useHighBoost)
        highBoost_[s.highBoost - 1] = highBoost;
    if (useHighCut)
        highCut_[s.highCut - 1] = highCut;
}

}  // namespace brimo
