#include "Response.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

namespace brimo::render {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string XmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string FrequencyLabel(double f) {
  if (f >= 1000.0) return Fixed(f / 1000.0, 0) + "k";
  return Fixed(f, 0);
}

}  // namespace

std::vector<double> LogFrequencies(double lo, double hi, int perDecade) {
  std::vector<double> f;
  if (!(lo > 0) || hi < lo || perDecade < 1) return f;
  f.push_back(lo);
  const int first = static_cast<int>(std::floor(std::log10(lo) * perDecade)) + 1;
  for (int k = first;; ++k) {
    const double v = std::pow(10.0, static_cast<double>(k) / perDecade);
    if (v >= hi * (1 - 1e-12)) break;
    if (v > lo * (1 + 1e-12)) f.push_back(v);
  }
  if (hi > lo) f.push_back(hi);
  return f;
}

std::vector<double> MagnitudeDb(const std::vector<double>& h, double sampleRate,
                                const std::vector<double>& frequencies) {
  std::vector<double> db;
  db.reserve(frequencies.size());
  for (double f : frequencies) {
    // Rotate a phasor sample by sample and resynchronise it from cos/sin every 1024 samples,
    // which keeps the accumulated rounding far below anything visible in dB.
    const double w = -2.0 * kPi * f / sampleRate;
    const std::complex<double> step = std::polar(1.0, w);
    std::complex<double> sum = 0.0;
    std::complex<double> phasor = 1.0;
    for (size_t n = 0; n < h.size(); ++n) {
      if ((n & 1023) == 0) phasor = std::polar(1.0, w * static_cast<double>(n));
      sum += h[n] * phasor;
      phasor *= step;
    }
    const double mag = std::abs(sum);
    db.push_back(mag > 0 ? 20.0 * std::log10(mag) : -300.0);
  }
  return db;
}

std::string ResponseCsv(const std::vector<double>& frequencies,
                        const std::vector<ResponseCurve>& curves) {
  std::string out = "frequency_hz";
  for (const ResponseCurve& c : curves) {
    out += ',';
    out += CsvField(c.label);
  }
  out += "\n";
  for (size_t i = 0; i < frequencies.size(); ++i) {
    out += Fixed(frequencies[i], 3);
    for (const ResponseCurve& c : curves) {
      out += ',';
      if (i < c.db.size()) out += Fixed(c.db[i], 4);
    }
    out += "\n";
  }
  return out;
}

DbAxis ChooseDbAxis(const std::vector<ResponseCurve>& curves) {
  double lo = 0.0;
  double hi = 0.0;
  for (const ResponseCurve& c : curves)
    for (double v : c.db)
      if (std::isfinite(v) && v > -200.0) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
  const double span = hi - lo;
  const double step = span > 48 ? 12.0 : span > 24 ? 6.0 : 3.0;
  DbAxis axis{std::floor(lo / step) * step, std::ceil(hi / step) * step, step};
  // Keep flat curves off the frame: at least one grid step of room on each side of the data.
  if (axis.lo > lo - step / 2) axis.lo -= step;
  if (axis.hi < hi + step / 2) axis.hi += step;
  while (axis.hi - axis.lo < 12.0) {
    axis.lo -= step;
    axis.hi += step;
  }
  return axis;
}

std::string ResponseSvg(const std::vector<double>& frequencies,
                        const std::vector<ResponseCurve>& curves, const std::string& title) {
  constexpr double kWidth = 800, kHeight = 480;
  constexpr double kLeft = 60, kRight = 20, kTop = 40, kBottom = 50;
  constexpr double kFmin = 20.0, kFmax = 20000.0;
  static const char* const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e",
                                         "#9467bd", "#8c564b", "#e377c2", "#17becf"};
  const double plotW = kWidth - kLeft - kRight;
  const double plotH = kHeight - kTop - kBottom;
  const DbAxis axis = ChooseDbAxis(curves);

  auto x = [&](double f) { return kLeft + plotW * std::log(f / kFmin) / std::log(kFmax / kFmin); };
  auto y = [&](double db) { return kTop + plotH * (axis.hi - db) / (axis.hi - axis.lo); };

  std::string s;
  s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Fixed(kWidth, 0) + "\" height=\"" +
       Fixed(kHeight, 0) + "\" viewBox=\"0 0 " + Fixed(kWidth, 0) + " " + Fixed(kHeight, 0) +
       "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  s += "<text x=\"" + Fixed(kWidth / 2, 1) +
       "\" y=\"22\" text-anchor=\"middle\" font-size=\"15\">" + XmlEscape(title) + "</text>\n";

  // Frequency grid: every 1-2-5 decade step, the 1s drawn darker.
  s += "<g stroke-width=\"1\">\n";
  for (double decade = 10; decade <= 10000; decade *= 10) {
    for (int m = 1; m <= 9; ++m) {
      const double f = decade * m;
      if (f < kFmin || f > kFmax) continue;
      const bool major = (m == 1 || m == 2 || m == 5);
      s += "<line x1=\"" + Fixed(x(f), 2) + "\" y1=\"" + Fixed(kTop, 1) + "\" x2=\"" +
           Fixed(x(f), 2) + "\" y2=\"" + Fixed(kTop + plotH, 1) + "\" stroke=\"" +
           (major ? "#bbbbbb" : "#e6e6e6") + "\"/>\n";
      if (major)
        s += "<text x=\"" + Fixed(x(f), 2) + "\" y=\"" + Fixed(kTop + plotH + 16, 1) +
             "\" text-anchor=\"middle\">" + FrequencyLabel(f) + "</text>\n";
    }
  }
  // dB grid, 0 dB drawn darker.
  const int lines = static_cast<int>(std::lround((axis.hi - axis.lo) / axis.step));
  for (int i = 0; i <= lines; ++i) {
    const double db = axis.lo + i * axis.step;
    const bool zero = std::fabs(db) < 1e-9;
    s += "<line x1=\"" + Fixed(kLeft, 1) + "\" y1=\"" + Fixed(y(db), 2) + "\" x2=\"" +
         Fixed(kLeft + plotW, 1) + "\" y2=\"" + Fixed(y(db), 2) + "\" stroke=\"" +
         (zero ? "#888888" : "#cccccc") + "\"/>\n";
    s += "<text x=\"" + Fixed(kLeft - 6, 1) + "\" y=\"" + Fixed(y(db) + 4, 2) +
         "\" text-anchor=\"end\">" + (db > 0 ? "+" : "") + Fixed(db, 0) + "</text>\n";
  }
  s += "</g>\n";
  s += "<rect x=\"" + Fixed(kLeft, 1) + "\" y=\"" + Fixed(kTop, 1) + "\" width=\"" +
       Fixed(plotW, 1) + "\" height=\"" + Fixed(plotH, 1) +
       "\" fill=\"none\" stroke=\"#444444\"/>\n";
  s += "<text x=\"" + Fixed(kLeft + plotW / 2, 1) + "\" y=\"" + Fixed(kHeight - 10, 1) +
       "\" text-anchor=\"middle\">Frequency (Hz)</text>\n";
  s += "<text transform=\"translate(16 " + Fixed(kTop + plotH / 2, 1) +
       ") rotate(-90)\" text-anchor=\"middle\">Level (dB)</text>\n";

  // Curves, clipped to the plot area.
  s += "<clipPath id=\"plot\"><rect x=\"" + Fixed(kLeft, 1) + "\" y=\"" + Fixed(kTop, 1) +
       "\" width=\"" + Fixed(plotW, 1) + "\" height=\"" + Fixed(plotH, 1) + "\"/></clipPath>\n";
  // The legend sits on a translucent panel so curves passing beneath it stay readable.
  if (!curves.empty()) {
    size_t longest = 0;
    for (const ResponseCurve& c : curves) longest = std::max(longest, c.label.size());
    s += "<rect x=\"" + Fixed(kLeft + 6, 1) + "\" y=\"" + Fixed(kTop + 4, 1) + "\" width=\"" +
         Fixed(42 + 7.0 * static_cast<double>(longest), 1) + "\" height=\"" +
         Fixed(18.0 * static_cast<double>(curves.size()) + 4, 1) +
         "\" fill=\"white\" fill-opacity=\"0.8\" stroke=\"#cccccc\"/>\n";
  }
  for (size_t c = 0; c < curves.size(); ++c) {
    const char* colour = kColours[c % std::size(kColours)];
    std::string points;
    for (size_t i = 0; i < frequencies.size() && i < curves[c].db.size(); ++i) {
      if (frequencies[i] < kFmin || frequencies[i] > kFmax) continue;
      const double db =
          std::clamp(curves[c].db[i], axis.lo - axis.step / 2, axis.hi + axis.step / 2);
      if (!points.empty()) points += ' ';
      points += Fixed(x(frequencies[i]), 2) + "," + Fixed(y(db), 2);
    }
    s += "<polyline clip-path=\"url(#plot)\" fill=\"none\" stroke=\"" + std::string(colour) +
         "\" stroke-width=\"2\" points=\"" + points + "\"/>\n";
    const double ly = kTop + 16 + 18 * static_cast<double>(c);
    s += "<line x1=\"" + Fixed(kLeft + 12, 1) + "\" y1=\"" + Fixed(ly - 4, 1) + "\" x2=\"" +
         Fixed(kLeft + 36, 1) + "\" y2=\"" + Fixed(ly - 4, 1) + "\" stroke=\"" + colour +
         "\" stroke-width=\"2\"/>\n";
    s += "<text x=\"" + Fixed(kLeft + 42, 1) + "\" y=\"" + Fixed(ly, 1) + "\">" +
         XmlEscape(curves[c].label) + "</text>\n";
  }
  s += "</svg>\n";
  return s;
}

}  // namespace brimo::render
