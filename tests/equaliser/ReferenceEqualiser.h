// A plain reference of the equaliser's signal path, written for reading rather than speed: one
// channel at a time, every section and filter kept separately for left and right, coefficients
// computed for both channels, each stage stepped in the documented order. The production chain
// must give the same samples bit for bit.
//
// Like the production chain it runs the samples with denormals flushed to zero and restarts a
// section whose history became infinite or NaN at the end of a block.
#pragma once

#include "EqualiserChain.h"

#include <cstdint>

namespace brimo::reference {

struct Section2 {
  double a0 = 0, a1 = 0, a2 = 0, b0 = 0, b1 = 0, b2 = 0;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double in = 0, out = 0;
  double Step(double x);
  bool Finite() const;
};

struct Section1 {
  double a0 = 0, a1 = 0, b0 = 0, b1 = 0;
  double x1 = 0, y1 = 0;
  double in = 0, out = 0;
  double Step(double x);
  bool Finite() const;
};

struct ColourDesign {
  double g = 0;
  double f[10] = {};
};

struct ColourState {
  double y[11] = {};
  double latest = 0;
};

void Design(ColourDesign& d, double fc);
void Step(ColourState& s, double x, const ColourDesign& d);
double Shape(double x);

class Equaliser {
public:
  void ProcessBlock(const double* const* inputs, double* const* outputs, std::int32_t frames,
                    double fs, const EqualiserSettings& settings);
  void ResetColouration();

private:
  void ComputeCoefficients(double fs, const EqualiserSettings& s);
  double Colour(int ch, double x, int N);

  Section2 lowBoost[2][4], midBoost[2][8], midCut[2][8];
  Section1 lowCut[2][5], highBoost[2][8], highCut[2][2];
  ColourDesign design[2];
  ColourState up[2], down[2];
};

}  // namespace brimo::reference
