// Coefficient models of the 35 networks: sample rate and potentiometer position in, digital
// section coefficients out (bilinear transform without prewarping, evaluated as polynomials in
// fs and b). Pure arithmetic; no state.
#pragma once

#include <cstdint>

namespace brimo {

// Denominator a0..a2, numerator b0..b2; the section divides by a0 on every sample.
struct SecondOrderCoefficients {
  double a0 = 0.0, a1 = 0.0, a2 = 0.0;
  double b0 = 0.0, b1 = 0.0, b2 = 0.0;
};

struct FirstOrderCoefficients {
  double a0 = 0.0, a1 = 0.0;
  double b0 = 0.0, b1 = 0.0;
};

// Number of networks per family; low cut, high boost and high cut positions start at 1.
inline constexpr int kLowBoostCount = 4;
inline constexpr int kMidBoostCount = 8;
inline constexpr int kMidCutCount = 8;
inline constexpr int kLowCutCount = 5;
inline constexpr int kHighBoostCount = 8;
inline constexpr int kHighCutCount = 2;

// Positions outside a family's range are a caller error; the index is not checked here.
SecondOrderCoefficients LowBoostCoefficients(int position, double fs, double b);  // 0..3
SecondOrderCoefficients MidBoostCoefficients(int position, double fs, double b);  // 0..7
SecondOrderCoefficients MidCutCoefficients(int position, double fs, double b);    // 0..7
FirstOrderCoefficients LowCutCoefficients(int position, double fs);               // 1..5
FirstOrderCoefficients HighBoostCoefficients(int position, double fs);            // 1..8
FirstOrderCoefficients HighCutCoefficients(int position, double fs);              // 1..2

}  // namespace brimo
