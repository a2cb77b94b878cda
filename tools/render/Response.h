// Magnitude response from an impulse response, and its CSV table and SVG chart.
#pragma once

#include <string>
#include <vector>

namespace brimo::render {

// Frequencies from lo to hi (both included) on a logarithmic grid of perDecade steps per decade,
// anchored at the powers of ten so that 100 Hz, 1 kHz and 10 kHz are grid points.
std::vector<double> LogFrequencies(double lo, double hi, int perDecade);

// |H(f)| in dB of the impulse response h (the output for a unit impulse at sample 0) at each
// frequency: the discrete-time Fourier transform evaluated directly, so any frequency is exact
// (no bin spacing) as long as h has decayed within its length.
std::vector<double> MagnitudeDb(const std::vector<double>& h, double sampleRate,
                                const std::vector<double>& frequencies);

struct ResponseCurve {
  std::string label;
  std::vector<double> db;  // one value per frequency
};

// "frequency_hz,<label>,<label>..." then one row per frequency. Labels are quoted as CSV needs.
std::string ResponseCsv(const std::vector<double>& frequencies,
                        const std::vector<ResponseCurve>& curves);

// A self-contained SVG chart: logarithmic frequency axis from 20 Hz to 20 kHz, a dB grid whose
// range covers every curve, one coloured line per curve and a legend.
std::string ResponseSvg(const std::vector<double>& frequencies,
                        const std::vector<ResponseCurve>& curves, const std::string& title);

// The dB axis range chosen for a set of curves: whole multiples of the grid step, at least 12 dB.
struct DbAxis {
  double lo;
  double hi;
  double step;
};
DbAxis ChooseDbAxis(const std::vector<ResponseCurve>& curves);

}  // namespace brimo::render
