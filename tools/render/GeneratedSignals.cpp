#include "GeneratedSignals.h"

#include <algorithm>
#include <cmath>

namespace brimo::render {

namespace {

constexpr double kPi = 3.14159265358979323846;

void Fade(std::vector<double>& x, double sampleRate) {
  const int64_t n = std::min<int64_t>(static_cast<int64_t>(0.01 * sampleRate),
                                      static_cast<int64_t>(x.size()) / 2);
  for (int64_t i = 0; i < n; ++i) {
    const double g = 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / static_cast<double>(n));
    x[static_cast<size_t>(i)] *= g;
    x[x.size() - 1 - static_cast<size_t>(i)] *= g;
  }
}

}  // namespace

std::vector<double> SineSweep(double sampleRate, int64_t frames, double f0, double f1,
                              double amplitude) {
  std::vector<double> x(static_cast<size_t>(std::max<int64_t>(frames, 0)));
  if (x.empty()) return x;
  const double duration = static_cast<double>(frames) / sampleRate;
  const double k = std::log(f1 / f0);
  for (size_t i = 0; i < x.size(); ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    // Phase of a sweep whose instantaneous frequency is f0 * (f1/f0)^(t/T).
    const double phase = 2.0 * kPi * f0 * duration / k * (std::exp(t / duration * k) - 1.0);
    x[i] = amplitude * std::sin(phase);
  }
  Fade(x, sampleRate);
  return x;
}

std::vector<double> PinkNoise(double sampleRate, int64_t frames, double amplitude, uint32_t seed) {
  std::vector<double> x(static_cast<size_t>(std::max<int64_t>(frames, 0)));
  if (x.empty()) return x;
  uint32_t state = seed ? seed : 1;
  double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
  double peak = 0;
  for (double& v : x) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    const double white = static_cast<double>(state) / 2147483648.0 - 1.0;
    b0 = 0.99886 * b0 + white * 0.0555179;
    b1 = 0.99332 * b1 + white * 0.0750759;
    b2 = 0.96900 * b2 + white * 0.1538520;
    b3 = 0.86650 * b3 + white * 0.3104856;
    b4 = 0.55000 * b4 + white * 0.5329522;
    b5 = -0.7616 * b5 - white * 0.0168980;
    v = b0 + b1 + b2 + b3 + b4 + b5 + b6 + white * 0.5362;
    b6 = white * 0.115926;
    peak = std::max(peak, std::fabs(v));
  }
  for (double& v : x) v *= amplitude / peak;
  Fade(x, sampleRate);
  return x;
}

std::vector<std::vector<double>> DemoSignal(double sampleRate) {
  const int64_t sweepFrames = static_cast<int64_t>(4.0 * sampleRate);
  const int64_t noiseFrames = static_cast<int64_t>(2.0 * sampleRate);
  const std::vector<double> sweep = SineSweep(sampleRate, sweepFrames, 20.0, 20000.0, 0.25);
  std::vector<std::vector<double>> out(2);
  for (int c = 0; c < 2; ++c) {
    out[static_cast<size_t>(c)] = sweep;
    const std::vector<double> noise =
        PinkNoise(sampleRate, noiseFrames, 0.25, 0x9E3779B9u + 77u * c);
    out[static_cast<size_t>(c)].insert(out[static_cast<size_t>(c)].end(), noise.begin(),
                                       noise.end());
  }
  return out;
}

}  // namespace brimo::render
