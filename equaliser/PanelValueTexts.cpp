#include "PanelValueTexts.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string_view>

#include "PanelLegends.h"

using brimo::panel::ControlLegend;
using brimo::panel::Reading;

namespace {

constexpr size_t kMaxText = 31;
constexpr int kMaxDigits = 12;

void CopyText(char (&to)[32], const std::string& from) {
  const size_t n = std::min(from.size(), sizeof to - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// A plain decimal number at the start of s: optional sign, digits, optional point or comma and
// digits. Reads only what it accepts (never "nan", "inf", exponents or hex) and stores the rest.
bool ReadNumber(std::string_view s, double* value, std::string_view* rest) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  double number = 0, scale = 1;
  int digits = 0;
  bool fraction = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      if (++digits > kMaxDigits) return false;
      if (fraction) {
        scale /= 10;
        number += (c - '0') * scale;
      } else {
        number = number * 10 + (c - '0');
      }
    } else if ((c == '.' || c == ',') && !fraction) {
      fraction = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  *value = negative ? -number : number;
  *rest = s.substr(i);
  return true;
}

double Normalized(double v, double lo, double hi) {
  return (std::clamp(v, lo, hi) - lo) / (hi - lo);
}

}  // namespace

bool PanelValueTexts::Describe(int32_t paramIdx, double normalized, IReadoutText* out) const {
  const ControlLegend* control = brimo::panel::FindControl(paramIdx);
  if (!control || !out || std::isnan(normalized)) return false;
  CopyText(out->name, brimo::panel::ReadoutName(*control));
  CopyText(out->value, brimo::panel::ValueText(*control, normalized));
  return true;
}

bool PanelValueTexts::Parse(int32_t paramIdx, const char* text, size_t length,
                            double* normalized) const {
  const ControlLegend* control = brimo::panel::FindControl(paramIdx);
  if (!control || !text || !normalized) return false;
  // Never past the terminator or the length, whichever comes first.
  length = strnlen(text, std::min(length, kMaxText + 1));
  if (length > kMaxText) return false;
  const std::string_view typed = Trimmed(std::string_view(text, length));

  const size_t steps = control->steps.size();
  if (control->reading == Reading::kSteps) {
    for (size_t i = 0; i < steps; ++i)
      if (SameWord(typed, control->steps[i].legend) ||
          SameWord(typed, brimo::panel::StepText(*control, control->steps[i]))) {
        *normalized = steps > 1 ? double(i) / double(steps - 1) : 0.0;
        return true;
      }
  }
  double number = 0;
  std::string_view unit;
  if (!ReadNumber(typed, &number, &unit)) return false;
  unit = Trimmed(unit);
  if (!unit.empty() && !SameWord(unit, control->unit)) return false;

  switch (control->reading) {
    case Reading::kScale:
      *normalized = Normalized(number, 0, 10);
      return true;
    case Reading::kDecibels:
      *normalized =
          Normalized(number, brimo::panel::kOutputMinimumDb, brimo::panel::kOutputMaximumDb);
      return true;
    case Reading::kSteps: {
      // The nearest step that means a number; the first of two equally near.
      size_t best = steps;
      for (size_t i = 0; i < steps; ++i) {
        const double n = control->steps[i].number;
        if (std::isnan(n)) continue;
        if (best == steps ||
            std::fabs(n - number) < std::fabs(control->steps[best].number - number))
          best = i;
      }
      if (best == steps) return false;
      *normalized = steps > 1 ? double(best) / double(steps - 1) : 0.0;
      return true;
    }
  }
  return false;
}
