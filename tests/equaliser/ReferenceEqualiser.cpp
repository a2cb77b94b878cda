#include "ReferenceEqualiser.h"

#include "Colouration.h"
#include "DenormalFlush.h"
#include "NetworkTables.h"

#include <cmath>
#include <complex>
#include <cstring>

namespace brimo::reference {

double Section2::Step(double x) {
  double y = ((((x1 * b1 + x * b0) + b2 * x2) - y1 * a1) - a2 * y2) / a0;
  x2 = x1;
  x1 = x;
  y2 = y1;
  y1 = y;
  in = x;
  out = y;
  return y;
}

bool Section2::Finite() const {
  return std::isfinite(x1) && std::isfinite(x2) && std::isfinite(y1) && std::isfinite(y2);
}

double Section1::Step(double x) {
  double y = ((x1 * b1 + x * b0) - y1 * a1) / a0;
  x1 = x;
  y1 = y;
  in = x;
  out = y;
  return y;
}

bool Section1::Finite() const {
  return std::isfinite(x1) && std::isfinite(y1);
}

void Design(ColourDesign& d, double fc) {
  const double sigma[5] = {-1.927619691324482, -1.8421962445659017, -1.6618102413500957,
                           -1.3606922783857325, -0.8657569017089488};
  const double omega[5] = {0.2416234709451774, 0.7272575977534836, 1.221100218591516,
                           1.73350574265843, 2.2926048309837426};
  const double w = fc * 6.283185307179586;

  std::complex<double> p[10];
  for (int k = 0; k < 5; ++k) {
    p[2 * k] = std::exp(sigma[k] * w) *
               std::complex<double>(std::cos(omega[k] * w), std::sin(omega[k] * w));
    p[2 * k + 1] = std::exp(sigma[k] * w) *
                   std::complex<double>(std::cos(-omega[k] * w), std::sin(-omega[k] * w));
  }

  std::complex<double> c[11] = {1.0};
  int degree = 0;
  for (int n = 0; n < 10; ++n) {  // multiply by (1 - p[n] z^-1)
    std::complex<double> next[11];
    for (int m = 0; m <= degree + 1; ++m) {
      next[m] = c[m];
      if (m > 0) next[m] = next[m] - p[n] * c[m - 1];
    }
    ++degree;
    for (int m = 0; m < 11; ++m) c[m] = next[m];
  }

  std::complex<double> S = c[0];
  for (int k = 1; k <= 10; ++k) S = S + c[k];
  const double norm = S.real() * S.real() + S.imag() * S.imag();
  d.g = 1.0 / std::hypot(-S.imag() / norm, S.real() / norm);
  for (int k = 1; k <= 10; ++k) d.f[k - 1] = -c[k].real() / c[0].real();
}

void Step(ColourState& s, double x, const ColourDesign& d) {
  double y = d.f[0] * s.y[0] + d.g * x;
  for (int k = 1; k < 10; ++k) y = y + d.f[k] * s.y[k];
  for (int k = 10; k > 0; --k) s.y[k] = s.y[k - 1];
  s.y[0] = y;
  s.latest = y;

  std::uint64_t bits;
  std::memcpy(&bits, &y, 8);
  std::uint32_t high = static_cast<std::uint32_t>(bits >> 32);
  if (((high + 0x00100000u) & 0x7FF00000u) < 0x3CA00000u) {
    s.y[0] = 0.0;
    s.latest = 0.0;
  }
}

double Shape(double x) {
  const float* T = kSaturationTable;
  double v = static_cast<double>(1990.0f) * std::fabs(x);
  double r;
  if (std::isnan(x)) {
    r = T[0];
  } else if (v >= 199.0) {
    r = T[199];
  } else {
    int i = static_cast<int>(v);
    r = static_cast<double>(T[i]) * (1.0 - (v - i)) + static_cast<double>(T[i + 1]) * (v - i);
  }
  return std::copysign(r, x);
}

void Equaliser::ResetColouration() {
  for (int ch = 0; ch < 2; ++ch) {
    up[ch] = ColourState{};
    down[ch] = ColourState{};
  }
}

void Equaliser::ComputeCoefficients(double fs, const EqualiserSettings& s) {
  const double f2 = fs * fs;
  for (int ch = 0; ch < 2; ++ch) {
    const double lb = -s.lowBoost;
    for (int k = 0; k < 4; ++k) {
      const LowBoostConstants& t = kLowBoostNetworks[k];
      Section2& n = lowBoost[ch][k];
      n.b0 = t.B2 * f2 + (t.B1 + t.B1b * lb) * fs + t.B0;
      n.b1 = t.C0 - t.C2 * f2;
      n.b2 = t.B2 * f2 - (t.B1 + t.B1b * lb) * fs + t.B0;
      n.a0 = t.A2 * f2 + (t.B1 + t.A1b * lb) * fs + t.A0;
      n.a1 = t.E0 - t.E2 * f2;
      n.a2 = t.A2 * f2 - (t.B1 + t.A1b * lb) * fs + t.A0;
    }
    for (int k = 0; k < 5; ++k) {
      const LowCutConstants& t = kLowCutNetworks[k];
      Section1& n = lowCut[ch][k];
      n.b0 = t.P1 * fs;
      n.b1 = -(t.P1 * fs);
      n.a0 = t.Q1 * fs + t.Q0;
      n.a1 = t.Q0 - t.Q1 * fs;
    }
    const double mb = s.midBoost;
    for (int k = 0; k < 8; ++k) {
      const MidBoostConstants& t = kMidBoostNetworks[k];
      Section2& n = midBoost[ch][k];
      n.b0 = t.B2 * f2 + (t.B1b * mb) * fs + t.B0;
      n.b1 = t.C0 - t.C2 * f2;
      n.b2 = t.B2 * f2 - (t.B1b * mb) * fs + t.B0;
      n.a0 = t.A2 * f2 + (t.A1b * mb - t.A1bb * (mb * mb)) * fs + t.A0;
      n.a1 = t.E0 - t.E2 * f2;
      n.a2 = t.A2 * f2 - (t.A1b * mb - t.A1bb * (mb * mb)) * fs + t.A0;
    }
    const double mc = s.midCut;
    for (int k = 0; k < 8; ++k) {
      const MidCutConstants& t = kMidCutNetworks[k];
      Section2& n = midCut[ch][k];
      n.b0 = t.A2 * f2 + (t.A1 - t.B1b * mc) * fs + t.A0;
      n.b1 = t.E0 - t.E2 * f2;
      n.b2 = t.A2 * f2 - (t.A1 - t.B1b * mc) * fs + t.A0;
      n.a0 = t.A2 * f2 + t.A1 * fs + t.A0;
      n.a1 = n.b1;
      n.a2 = t.A2 * f2 - t.A1 * fs + t.A0;
    }
    for (int k = 0; k < 8; ++k) {
      const HighBoostConstants& t = kHighBoostNetworks[k];
      Section1& n = highBoost[ch][k];
      n.b0 = t.P1 * fs + t.P0;
      n.b1 = t.P0 - t.P1 * fs;
      n.a0 = t.Q1 * fs + t.Q0;
      n.a1 = t.Q0 - t.Q1 * fs;
    }
    for (int k = 0; k < 2; ++k) {
      const HighCutConstants& t = kHighCutNetworks[k];
      Section1& n = highCut[ch][k];
      n.b0 = t.P0;
      n.b1 = t.P0;
      n.a0 = t.Q1 * fs + t.Q0;
      n.a1 = t.Q0 - t.Q1 * fs;
    }
    Design(design[ch], 0.2 / s.oversampleFactor);
  }
}

double Equaliser::Colour(int ch, double x, int N) {
  double kept = 0.0;
  for (int j = 0; j < N; ++j) {
    const double u = j == 0 ? x : 0.0;
    Step(up[ch], u, design[ch]);
    const double v = Shape(static_cast<double>(N) * up[ch].latest);
    Step(down[ch], v, design[ch]);
    if (j == 0) kept = down[ch].latest;
  }
  return kept;
}

void Equaliser::ProcessBlock(const double* const* inputs, double* const* outputs,
                             std::int32_t frames, double fs, const EqualiserSettings& s) {
  ComputeCoefficients(fs, s);
  if (frames <= 0) return;

  const double M = std::pow(10.0, 0.725);
  const double K = std::pow(10.0, -3.0);
  {
    ScopedDenormalFlush flush;
    for (std::int32_t i = 0; i < frames; ++i) {
      const double x[2] = {inputs[0][i], inputs[1][i]};
      double c[2], lc[2], lb[2], mb[2], mc[2], hb[2], hc[2];
      for (int ch = 0; ch < 2; ++ch) c[ch] = Colour(ch, x[ch], s.oversampleFactor);
      for (int ch = 0; ch < 2; ++ch) {
        const double u = K * c[ch] + x[ch];
        lc[ch] = s.lowCut == 0 ? u : M * lowCut[ch][s.lowCut - 1].Step(u);
      }
      for (int ch = 0; ch < 2; ++ch) lb[ch] = M * lowBoost[ch][s.lowFrequency].Step(lc[ch]);
      if (s.lowBoost == -1.0) {
        lb[0] = lc[0];
        lb[1] = lc[1];
      }
      for (int ch = 0; ch < 2; ++ch) mb[ch] = M * midBoost[ch][s.midBoostFrequency].Step(lb[ch]);
      for (int ch = 0; ch < 2; ++ch) mc[ch] = midCut[ch][s.midCutFrequency].Step(mb[ch]);
      for (int ch = 0; ch < 2; ++ch)
        hb[ch] = s.highBoost == 0 ? mc[ch] : M * highBoost[ch][s.highBoost - 1].Step(mc[ch]);
      for (int ch = 0; ch < 2; ++ch)
        hc[ch] = s.highCut == 0 ? hb[ch] : highCut[ch][s.highCut - 1].Step(hb[ch]);
      for (int ch = 0; ch < 2; ++ch) outputs[ch][i] = s.bypass == 0 ? hc[ch] * s.outputGain : x[ch];
    }
  }

  for (int ch = 0; ch < 2; ++ch) {
    auto recover = [](auto& section) {
      if (!section.Finite()) {
        section.x1 = section.y1 = 0.0;
        if constexpr (requires { section.x2; }) section.x2 = section.y2 = 0.0;
      }
    };
    if (s.lowCut > 0) recover(lowCut[ch][s.lowCut - 1]);
    recover(lowBoost[ch][s.lowFrequency]);
    recover(midBoost[ch][s.midBoostFrequency]);
    recover(midCut[ch][s.midCutFrequency]);
    if (s.highBoost > 0) recover(highBoost[ch][s.highBoost - 1]);
    if (s.highCut > 0) recover(highCut[ch][s.highCut - 1]);
  }
}

}  // namespace brimo::reference
