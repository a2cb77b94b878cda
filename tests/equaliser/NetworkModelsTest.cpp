// Each network's digital section against its analogue prototype, and the response figures the
// product is known by.
#include "NetworkModels.h"
#include "NetworkTables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace brimo {
namespace {

using cd = std::complex<double>;
const double kPi = 3.141592653589793;
const double kRates[] = {44100.0, 48000.0, 96000.0, 192000.0};
const double kFrequencies[] = {20.0,   61.0,   100.0,   300.0,   692.6,  1000.0,
                               2054.7, 5000.0, 10000.0, 15000.0, 20000.0};

// Digital response at f Hz.
cd Digital(const SecondOrderCoefficients& c, double f, double fs) {
  const cd z1 = std::polar(1.0, -2.0 * kPi * f / fs);
  return (c.b0 + c.b1 * z1 + c.b2 * z1 * z1) / (c.a0 + c.a1 * z1 + c.a2 * z1 * z1);
}
cd Digital(const FirstOrderCoefficients& c, double f, double fs) {
  const cd z1 = std::polar(1.0, -2.0 * kPi * f / fs);
  return (c.b0 + c.b1 * z1) / (c.a0 + c.a1 * z1);
}

// The analogue prototype (N2 s^2 + N1 s + N0) / (D2 s^2 + D1 s + D0) at the frequency that the
// bilinear transform maps to f: s = j 2 fs tan(w / 2). The stored constants are the bilinear
// images of the prototype's coefficients (B2 = 4 N2, B1 = 2 N1, B0 = N0 and likewise A).
struct Prototype {
  double N2, N1, N0, D2, D1, D0;
  cd At(double f, double fs) const {
    const cd s(0.0, 2.0 * fs * std::tan(kPi * f / fs));
    return (N2 * s * s + N1 * s + N0) / (D2 * s * s + D1 * s + D0);
  }
};

Prototype LowBoostPrototype(int k, double b) {
  const LowBoostConstants& t = kLowBoostNetworks[k];
  return {t.B2 / 4, (t.B1 + t.B1b * b) / 2, t.B0, t.A2 / 4, (t.B1 + t.A1b * b) / 2, t.A0};
}
Prototype MidBoostPrototype(int k, double b) {
  const MidBoostConstants& t = kMidBoostNetworks[k];
  return {t.B2 / 4, t.B1b * b / 2, t.B0, t.A2 / 4, (t.A1b * b - t.A1bb * b * b) / 2, t.A0};
}
Prototype MidCutPrototype(int k, double b) {
  const MidCutConstants& t = kMidCutNetworks[k];
  return {t.A2 / 4, (t.A1 - t.B1b * b) / 2, t.A0, t.A2 / 4, t.A1 / 2, t.A0};
}
Prototype FirstOrderPrototype(double P1, double P0, double Q1, double Q0) {
  return {0, P1 / 2, P0, 0, Q1 / 2, Q0};
}

double Db(double gain) {
  return 20.0 * std::log10(gain);
}

// Relative difference of the two responses; small when the digital coefficients are the bilinear
// image of the prototype. A wrong digit in a stored constant shows up far above the limit.
template <typename Coefficients>
double Mismatch(const Coefficients& c, const Prototype& p, double fs) {
  double worst = 0.0;
  for (double f : kFrequencies) {
    if (f >= 0.49 * fs) continue;
    const cd a = p.At(f, fs);
    worst = std::max(worst, std::abs(Digital(c, f, fs) - a) / std::abs(a));
  }
  return worst;
}

constexpr double kLimit = 2e-7;  // the mid-boost resonance at b = 0.001 amplifies rounding most

TEST(NetworkModels, SecondOrderNetworksMatchTheirPrototypes) {
  for (double fs : kRates) {
    for (double b : {0.0, 0.001, 0.25, 0.5, 0.99, 1.0}) {
      for (int k = 0; k < kLowBoostCount; ++k)
        EXPECT_LT(Mismatch(LowBoostCoefficients(k, fs, b), LowBoostPrototype(k, b), fs), kLimit)
            << "low boost " << k << " fs " << fs << " b " << b;
      for (int k = 0; k < kMidCutCount; ++k)
        EXPECT_LT(Mismatch(MidCutCoefficients(k, fs, b), MidCutPrototype(k, b), fs), kLimit)
            << "mid cut " << k << " fs " << fs << " b " << b;
      if (b == 0.0) continue;  // the mid-boost pole is undamped there
      for (int k = 0; k < kMidBoostCount; ++k)
        EXPECT_LT(Mismatch(MidBoostCoefficients(k, fs, b), MidBoostPrototype(k, b), fs), kLimit)
            << "mid boost " << k << " fs " << fs << " b " << b;
    }
  }
}

TEST(NetworkModels, FirstOrderNetworksMatchTheirPrototypes) {
  for (double fs : kRates) {
    for (int k = 1; k <= kLowCutCount; ++k) {
      const LowCutConstants& t = kLowCutNetworks[k - 1];
      EXPECT_LT(Mismatch(LowCutCoefficients(k, fs), FirstOrderPrototype(t.P1, 0, t.Q1, t.Q0), fs),
                kLimit);
    }
    for (int k = 1; k <= kHighBoostCount; ++k) {
      const HighBoostConstants& t = kHighBoostNetworks[k - 1];
      EXPECT_LT(
          Mismatch(HighBoostCoefficients(k, fs), FirstOrderPrototype(t.P1, t.P0, t.Q1, t.Q0), fs),
          kLimit);
    }
    for (int k = 1; k <= kHighCutCount; ++k) {
      const HighCutConstants& t = kHighCutNetworks[k - 1];
      EXPECT_LT(Mismatch(HighCutCoefficients(k, fs), FirstOrderPrototype(0, t.P0, t.Q1, t.Q0), fs),
                kLimit);
      const FirstOrderCoefficients c = HighCutCoefficients(k, fs);
      EXPECT_EQ(c.b0, c.b1);
      EXPECT_NEAR(std::abs(Digital(c, 0.0, fs)), 1.0, 1e-15);
    }
  }
}

// The documented centre, corner and lift columns follow from the stored constants; a mistyped
// constant would move them.
TEST(NetworkModels, StoredConstantsAgreeWithTheDocumentedColumns) {
  auto centre = [](double A0, double A2) { return std::sqrt(4.0 * A0 / A2) / (2.0 * kPi); };
  auto twice = [](double doubled, double single) {
    EXPECT_NEAR(doubled / (2.0 * single), 1.0, 1e-13);
  };

  const double lowCentres[] = {61.0, 100.7, 197.4, 290.6};
  for (int k = 0; k < 4; ++k) {
    const LowBoostConstants& t = kLowBoostNetworks[k];
    EXPECT_NEAR(centre(t.A0, t.A2), lowCentres[k], 0.05);
    twice(t.C0, t.B0), twice(t.C2, t.B2), twice(t.E0, t.A0), twice(t.E2, t.A2);
  }
  const double midBoostCentres[] = {692.6, 1002.6, 1385.3, 2054.7, 2796.1, 3473.0, 4414.2, 5931.4};
  for (int k = 0; k < 8; ++k) {
    const MidBoostConstants& t = kMidBoostNetworks[k];
    EXPECT_NEAR(centre(t.A0, t.A2), midBoostCentres[k], 0.05);
    twice(t.C0, t.B0), twice(t.C2, t.B2), twice(t.E0, t.A0), twice(t.E2, t.A2);
  }
  const double midCutCentres[] = {692.6, 989.5, 1319.3, 1979.0, 2770.5, 3378.7, 4468.6, 5894.7};
  for (int k = 0; k < 8; ++k) {
    const MidCutConstants& t = kMidCutNetworks[k];
    EXPECT_NEAR(centre(t.A0, t.A2), midCutCentres[k], 0.05);
    twice(t.E0, t.A0), twice(t.E2, t.A2);
  }
  const double lowCutCorners[] = {67.6, 99.4, 143.8, 204.8, 307.1};
  for (int k = 0; k < 5; ++k) {
    const LowCutConstants& t = kLowCutNetworks[k];
    EXPECT_NEAR(t.Q0 / (kPi * t.Q1), lowCutCorners[k], 0.05);
    EXPECT_NEAR(t.P1 / t.Q1, 0.188192, 5e-7);
  }
  const double lifts[] = {2.26, 3.41, 5.73, 7.77, 10.63, 12.40, 13.97, 14.51};
  for (int k = 0; k < 8; ++k) {
    const HighBoostConstants& t = kHighBoostNetworks[k];
    EXPECT_NEAR(Db((t.P1 / t.Q1) / (t.P0 / t.Q0)), lifts[k], 0.005);
    EXPECT_NEAR(t.P0 / t.Q0, 0.188192, 5e-7);
  }
  const double highCutCorners[] = {12918.0, 7234.0};
  for (int k = 0; k < 2; ++k)
    EXPECT_NEAR(kHighCutNetworks[k].Q0 / (kPi * kHighCutNetworks[k].Q1), highCutCorners[k], 0.5);
}

// Frequency whose digital response equals the prototype's at f (undoes the bilinear warping).
double Warped(double f, double fs) {
  return fs / kPi * std::atan(kPi * f / fs);
}

TEST(NetworkModels, DocumentedResponseFigures) {
  const double M = std::pow(10.0, 0.725);
  const double fs = 44100.0;

  // Low boost, position 1 at b = 0: 0.188192 at DC and unity at its centre.
  const SecondOrderCoefficients lb = LowBoostCoefficients(1, fs, 0.0);
  EXPECT_NEAR(std::abs(Digital(lb, 0.0, fs)), 0.188192, 5e-7);
  EXPECT_NEAR(std::abs(Digital(lb, Warped(100.7, fs), fs)), 1.0, 1e-3);
  for (int k = 0; k < 4; ++k) {
    const double centre =
        std::sqrt(4.0 * kLowBoostNetworks[k].A0 / kLowBoostNetworks[k].A2) / (2 * kPi);
    EXPECT_NEAR(Db(std::abs(Digital(LowBoostCoefficients(k, fs, 1.0), Warped(centre, fs), fs))),
                -12.0, 0.05);
    // "Low Boost" at -0.99: a bump of about 2.5 dB after the make-up gain.
    EXPECT_NEAR(
        Db(M * std::abs(Digital(LowBoostCoefficients(k, fs, 0.99), Warped(centre, fs), fs))), 2.5,
        0.05);
  }

  // Mid boost: nearly flat at 0.188192 for b = 0.001 (0.99908 with make-up), 0 dB at the centre for
  // b = 1.
  for (int k = 0; k < 8; ++k) {
    const double centre =
        std::sqrt(4.0 * kMidBoostNetworks[k].A0 / kMidBoostNetworks[k].A2) / (2 * kPi);
    EXPECT_NEAR(M * std::abs(Digital(MidBoostCoefficients(k, fs, 0.001), 0.0, fs)), 0.99908, 5e-6);
    EXPECT_NEAR(Db(std::abs(Digital(MidBoostCoefficients(k, fs, 1.0), Warped(centre, fs), fs))),
                0.0, 0.005);
  }

  // Mid cut: flat at b = 0 (numerator equals denominator), -4.0 dB at b = 0.5, -11.5 dB at b = 1.
  for (int k = 0; k < 8; ++k) {
    const SecondOrderCoefficients flat = MidCutCoefficients(k, fs, 0.0);
    EXPECT_EQ(flat.b0, flat.a0);
    EXPECT_EQ(flat.b1, flat.a1);
    EXPECT_EQ(flat.b2, flat.a2);
    const double centre =
        std::sqrt(4.0 * kMidCutNetworks[k].A0 / kMidCutNetworks[k].A2) / (2 * kPi);
    EXPECT_NEAR(Db(std::abs(Digital(MidCutCoefficients(k, fs, 0.5), Warped(centre, fs), fs))), -4.0,
                0.05);
    EXPECT_NEAR(Db(std::abs(Digital(MidCutCoefficients(k, fs, 1.0), Warped(centre, fs), fs))),
                -11.5, 0.05);
  }

  // High boost 8 relative to position 0 (no network), with the make-up gain.
  const FirstOrderCoefficients hb = HighBoostCoefficients(8, fs);
  EXPECT_NEAR(Db(M * std::abs(Digital(hb, 100.0, fs))), 0.03, 0.005);
  EXPECT_NEAR(Db(M * std::abs(Digital(hb, 1000.0, fs))), 2.6, 0.05);
  EXPECT_NEAR(Db(M * std::abs(Digital(hb, 5000.0, fs))), 11.3, 0.05);
  EXPECT_NEAR(Db(M * std::abs(Digital(hb, 10000.0, fs))), 13.7, 0.05);
}

}  // namespace
}  // namespace brimo
