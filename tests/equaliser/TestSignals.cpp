#include "TestSignals.h"

#include <cmath>
#include <cstring>

namespace brimo::test {

double Uniform(Rng& rng, double lo, double hi) {
  const double unit = static_cast<double>(rng() >> 11) * 0x1p-53;
  return lo + (hi - lo) * unit;
}

int UniformInt(Rng& rng, int lo, int hi) {
  return lo + static_cast<int>(rng() % static_cast<std::uint64_t>(hi - lo + 1));
}

EqualiserSettings RandomSettings(Rng& rng, double& sampleRate) {
  static const double rates[] = {44100.0, 48000.0, 96000.0, 192000.0};
  sampleRate = rates[UniformInt(rng, 0, 3)];
  EqualiserSettings s;
  s.lowBoost = UniformInt(rng, 0, 3) == 0 ? -1.0 : Uniform(rng, -1.0, 0.0);
  s.midBoost = Uniform(rng, 0.001, 1.0);
  s.midCut = Uniform(rng, 0.0, 1.0);
  s.outputGain = std::pow(10.0, Uniform(rng, -15.0, 15.0) / 20.0);
  s.oversampleFactor = UniformInt(rng, 0, 1) ? 16 : 4;
  s.lowCut = UniformInt(rng, 0, 5);
  s.lowFrequency = UniformInt(rng, 0, 3);
  s.midBoostFrequency = UniformInt(rng, 0, 7);
  s.midCutFrequency = UniformInt(rng, 0, 7);
  s.highBoost = UniformInt(rng, 0, 8);
  s.highCut = UniformInt(rng, 0, 2);
  s.bypass = UniformInt(rng, 0, 7) == 0 ? 1 : 0;
  return s;
}

std::vector<double> RandomSignal(Rng& rng, int frames) {
  std::vector<double> x(frames);
  double level = Uniform(rng, 0.0, 1.0);
  for (int i = 0; i < frames; ++i) {
    if (UniformInt(rng, 0, 499) == 0)
      level = UniformInt(rng, 0, 3) == 0 ? 0.0 : std::pow(10.0, Uniform(rng, -4.0, 0.3));
    x[i] = level * Uniform(rng, -1.0, 1.0);
    if (UniformInt(rng, 0, 999) == 0) x[i] = Uniform(rng, -4.0, 4.0);
  }
  return x;
}

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace brimo::test
