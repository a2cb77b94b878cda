#include "NetworkModels.h"

#include "NetworkTables.h"

namespace brimo {

namespace {

// The common second-order form. B1 and A1 are the position-dependent first-order terms; the
// stored C and E constants give the middle coefficients directly.
SecondOrderCoefficients SecondOrder(double fs, double B2, double B1, double B0, double C2,
                                    double C0, double A2, double A1, double A0, double E2,
                                    double E0) {
  const double fs2 = fs * fs;
  SecondOrderCoefficients c;
  c.b0 = B2 * fs2 + B1 * fs + B0;
  c.b1 = C0 - C2 * fs2;
  c.b2 = B2 * fs2 - B1 * fs + B0;
  c.a0 = A2 * fs2 + A1 * fs + A0;
  c.a1 = E0 - E2 * fs2;
  c.a2 = A2 * fs2 - A1 * fs + A0;
  return c;
}

FirstOrderCoefficients FirstOrder(double fs, double P1, double P0, double Q1, double Q0) {
  FirstOrderCoefficients c;
  c.b0 = P1 * fs + P0;
  c.b1 = P0 - P1 * fs;
  c.a0 = Q1 * fs + Q0;
  c.a1 = Q0 - Q1 * fs;
  return c;
}

}  // namespace

SecondOrderCoefficients LowBoostCoefficients(int position, double fs, double b) {
  const LowBoostConstants& k = kLowBoostNetworks[position];
  return SecondOrder(fs, k.B2, k.B1 + k.B1b * b, k.B0, k.C2, k.C0, k.A2, k.B1 + k.A1b * b, k.A0,
                     k.E2, k.E0);
}

SecondOrderCoefficients MidBoostCoefficients(int position, double fs, double b) {
  const MidBoostConstants& k = kMidBoostNetworks[position];
  return SecondOrder(fs, k.B2, k.B1b * b, k.B0, k.C2, k.C0, k.A2, k.A1b * b - k.A1bb * (b * b),
                     k.A0, k.E2, k.E0);
}

SecondOrderCoefficients MidCutCoefficients(int position, double fs, double b) {
  const MidCutConstants& k = kMidCutNetworks[position];
  return SecondOrder(fs, k.A2, k.A1 - k.B1b * b, k.A0, k.E2, k.E0, k.A2, k.A1, k.A0, k.E2, k.E0);
}

FirstOrderCoefficients LowCutCoefficients(int position, double fs) {
  const LowCutConstants& k = kLowCutNetworks[position - 1];
  return FirstOrder(fs, k.P1, 0.0, k.Q1, k.Q0);
}

FirstOrderCoefficients HighBoostCoefficients(int position, double fs) {
  const HighBoostConstants& k = kHighBoostNetworks[position - 1];
  return FirstOrder(fs, k.P1, k.P0, k.Q1, k.Q0);
}

FirstOrderCoefficients HighCutCoefficients(int position, double fs) {
  const HighCutConstants& k = kHighCutNetworks[position - 1];
  return FirstOrder(fs, 0.0, k.P0, k.Q1, k.Q0);
}

}  // namespace brimo
