// The equaliser's signal path for two channels, independent of any plug-in framework: a block of
// samples in, coefficients refreshed from the sample rate and settings, every sample through
// colouration, low cut, low boost, mid boost, mid cut, high boost, high cut and the output stage.
//
// Thread contract: one block at a time; the owner serialises ProcessBlock, ResetColouration and
// changes of the settings it passes (the plug-in does so with its lock). Tags: [audio] the host's
// audio thread, [main] its main thread, [any] either (always under the owner's serialisation).
#pragma once

#include "Colouration.h"
#include "FilterSections.h"
#include "NetworkModels.h"
#include "StereoSample.h"

#include <cstdint>

namespace brimo {

// Everything a block needs besides the samples and the sample rate. The knob values are the
// parameters' plain values; the selectors are the positions of the switches.
struct EqualiserSettings {
  double lowBoost = -1.0;     // "Low Boost": -1 is off (network bypassed), 0 is full boost
  double midBoost = 0.001;    // "Mid Boost": 0.001 .. 1
  double midCut = 0.0;        // "Mid Cut": 0 .. 1
  double outputGain = 1.0;    // linear gain of the output stage
  int oversampleFactor = 4;   // colouration factor: 4 or 16 (any from 2 up works)
  int lowCut = 0;             // 0 (off) .. 5
  int lowFrequency = 0;       // 0 .. 3
  int midBoostFrequency = 0;  // 0 .. 7
  int midCutFrequency = 0;    // 0 .. 7
  int highBoost = 0;          // 0 (off) .. 8
  int highCut = 0;            // 0 (off) .. 2
  int bypass = 0;             // non-zero: the output is the dry input
};

// Make-up gain after the networks with 14.5 dB insertion loss, and the colouration mix.
double MakeUpGain();
double ColourMix();

class EqualiserChain {
public:
  using Stereo2nd = BasicSecondOrderSection<StereoSample>;
  using Stereo1st = BasicFirstOrderSection<StereoSample>;

  // [audio] Recomputes every network's coefficients and designs the colouration for sampleRate and
  // settings (also when frames <= 0), then processes frames samples: inputs[c][i] to
  // outputs[c][i], c = 0 left, 1 right. Inputs and outputs may be the same arrays. Allocates
  // nothing. The samples run on the instruction-set path selected for this processor
  // (ColourPath.h); every path gives the same bits.
  //
  // Non-finite values never stay in the histories beyond the block in which they appeared: a
  // section whose history is infinite or NaN at the end of a block restarts from zero.
  void ProcessBlock(const double* const* inputs, double* const* outputs, std::int32_t frames,
                    double sampleRate, const EqualiserSettings& settings);

  // [main] Clears the colouration histories; the sections keep theirs.
  void ResetColouration() { colour_.Reset(); }

  // [any] Read access for tests and measurements. Positions as in EqualiserSettings; the
  // first-order families count from 1.
  const StereoColouration& Colour() const { return colour_; }
  const Stereo2nd& LowBoost(int position) const { return lowBoost_[position]; }
  const Stereo2nd& MidBoost(int position) const { return midBoost_[position]; }
  const Stereo2nd& MidCut(int position) const { return midCut_[position]; }
  const Stereo1st& LowCut(int position) const { return lowCut_[position - 1]; }
  const Stereo1st& HighBoost(int position) const { return highBoost_[position - 1]; }
  const Stereo1st& HighCut(int position) const { return highCut_[position - 1]; }

  // Calls visit(value) for every history value of every section, both channels.
  template <typename Visit>
  void ForEachSectionHistory(Visit&& visit) const {
    auto both = [&](StereoSample v) {
      visit(v[0]);
      visit(v[1]);
    };
    auto second = [&](const Stereo2nd& s) {
      both(s.x1);
      both(s.x2);
      both(s.y1);
      both(s.y2);
    };
    for (const Stereo2nd& s : lowBoost_) second(s);
    for (const Stereo2nd& s : midBoost_) second(s);
    for (const Stereo2nd& s : midCut_) second(s);
    for (const Stereo1st& s : lowCut_) {
      both(s.x1);
      both(s.y1);
    }
    for (const Stereo1st& s : highBoost_) {
      both(s.x1);
      both(s.y1);
    }
    for (const Stereo1st& s : highCut_) {
      both(s.x1);
      both(s.y1);
    }
  }

private:
  void UpdateCoefficients(double sampleRate, const EqualiserSettings& settings);
  void Run(const double* left, const double* right, double* outLeft, double* outRight,
           std::int32_t frames, const EqualiserSettings& settings);

  Stereo2nd lowBoost_[kLowBoostCount];
  Stereo2nd midBoost_[kMidBoostCount];
  Stereo2nd midCut_[kMidCutCount];
  Stereo1st lowCut_[kLowCutCount];
  Stereo1st highBoost_[kHighBoostCount];
  Stereo1st highCut_[kHighCutCount];
  StereoColouration colour_;
};

}  // namespace brimo
