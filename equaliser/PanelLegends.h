// What the panel says about each control: its name, its unit and the legends of its steps. The
// artwork generator engraves the panel from this table and the editor's readout reads values
// with it, so the two can never disagree. Header only: the generator includes it without linking
// the plug-in.
#pragma once

#include <cmath>
#include <cstdio>
#include <limits>
#include <span>
#include <string>

namespace brimo::panel {

enum class Reading {
  kScale,     // a pot engraved 0 to 10 over its whole travel
  kDecibels,  // the output trim, in dB
  kSteps,     // one legend per position
};

// A position's legend and what it means as a number (NaN for a word such as "OFF").
struct Step {
  const char* legend;
  double number;
};

struct ControlLegend {
  int paramIndex;
  const char* section;  // engraved over a group of controls ("LOW")
  const char* label;    // engraved under the control ("BOOST"); empty when the section names it
  const char* unit;     // engraved under the label; for steps only shown after numbers
  bool unitJoined;      // the unit follows the number without a space ("16x")
  Reading reading;
  std::span<const Step> steps;
};

inline constexpr double kWord = std::numeric_limits<double>::quiet_NaN();

inline constexpr Step kLowCutSteps[] = {{"OFF", kWord}, {"68", 68},   {"100", 100},
                                        {"144", 144},   {"205", 205}, {"307", 307}};
inline constexpr Step kLowFrequencySteps[] = {{"60", 60}, {"100", 100}, {"200", 200}, {"290", 290}};
inline constexpr Step kMidCutFrequencySteps[] = {{"0.7", 0.7}, {"1.0", 1.0}, {"1.3", 1.3},
                                                 {"2.0", 2.0}, {"2.8", 2.8}, {"3.4", 3.4},
                                                 {"4.5", 4.5}, {"5.9", 5.9}};
inline constexpr Step kMidBoostFrequencySteps[] = {{"0.7", 0.7}, {"1.0", 1.0}, {"1.4", 1.4},
                                                   {"2.0", 2.0}, {"2.8", 2.8}, {"3.5", 3.5},
                                                   {"4.4", 4.4}, {"5.9", 5.9}};
// No lift is 0 dB, so a typed 0 finds "OFF".
inline constexpr Step kHighBoostSteps[] = {{"OFF", 0}, {"2", 2},   {"3", 3},   {"6", 6},  {"8", 8},
                                           {"11", 11}, {"12", 12}, {"14", 14}, {"15", 15}};
inline constexpr Step kHighCutSteps[] = {{"OFF", kWord}, {"13", 13}, {"7.2", 7.2}};
inline constexpr Step kOversamplingSteps[] = {{"4", 4}, {"16", 16}};
inline constexpr Step kBypassSteps[] = {{"OFF", kWord}, {"ON", kWord}};

// Parameter indices as the plug-in declares them.
inline constexpr ControlLegend kControls[] = {
    {1, "LOW", "BOOST", "", false, Reading::kScale, {}},
    {2, "MID", "BOOST", "", false, Reading::kScale, {}},
    {3, "MID", "CUT", "", false, Reading::kScale, {}},
    {4, "OUTPUT", "", "dB", false, Reading::kDecibels, {}},
    {5, "HIGH", "BOOST", "dB", false, Reading::kSteps, kHighBoostSteps},
    {6, "HIGH", "CUT", "kHz", false, Reading::kSteps, kHighCutSteps},
    {7, "LOW", "CUT", "Hz", false, Reading::kSteps, kLowCutSteps},
    {8, "LOW", "FREQ", "Hz", false, Reading::kSteps, kLowFrequencySteps},
    {9, "MID", "BOOST FREQ", "kHz", false, Reading::kSteps, kMidBoostFrequencySteps},
    {10, "MID", "CUT FREQ", "kHz", false, Reading::kSteps, kMidCutFrequencySteps},
    {11, "OVERSAMPLING", "", "x", true, Reading::kSteps, kOversamplingSteps},
    {12, "BYPASS", "", "", false, Reading::kSteps, kBypassSteps},
};

inline constexpr double kOutputMinimumDb = -15;
inline constexpr double kOutputMaximumDb = 15;

inline const ControlLegend* FindControl(int paramIndex) {
  for (const ControlLegend& control : kControls)
    if (control.paramIndex == paramIndex) return &control;
  return nullptr;
}

// The engraved label under a frequency selector is "FREQ": the section and the knob above it
// tell which; the readout's name says it in full.
inline std::string EngravedLabel(const ControlLegend& control) {
  const std::string label = control.label;
  const size_t space = label.rfind(' ');
  return space == std::string::npos ? label : label.substr(space + 1);
}

inline std::string ReadoutName(const ControlLegend& control) {
  std::string name = control.section;
  if (control.label[0]) name.append(" ").append(control.label);
  return name;
}

// A step as the panel and the readout show it: "OFF", "100 Hz", "16x". Words carry no unit.
inline std::string StepText(const ControlLegend& control, const Step& step) {
  std::string text = step.legend;
  const bool numeric = step.legend[0] >= '0' && step.legend[0] <= '9';
  if (numeric && control.unit[0]) {
    if (!control.unitJoined) text.push_back(' ');
    text.append(control.unit);
  }
  return text;
}

// The position (0-based) a normalised value selects on a stepped control.
inline size_t StepIndex(const ControlLegend& control, double normalized) {
  const size_t last = control.steps.size() - 1;
  const double position = std::round(std::fmin(std::fmax(normalized, 0.0), 1.0) * double(last));
  return size_t(position);
}

// The value as the panel reads it: "4.3", "+3.2 dB", "100 Hz".
inline std::string ValueText(const ControlLegend& control, double normalized) {
  normalized = std::fmin(std::fmax(normalized, 0.0), 1.0);
  char text[32] = "";
  switch (control.reading) {
    case Reading::kScale:
      std::snprintf(text, sizeof text, "%.1f", normalized * 10.0);
      return text;
    case Reading::kDecibels: {
      double db = kOutputMinimumDb + normalized * (kOutputMaximumDb - kOutputMinimumDb);
      db = std::round(db * 10.0) / 10.0;
      if (db == 0) return "0.0 dB";  // no sign, and never "-0.0"
      std::snprintf(text, sizeof text, "%+.1f dB", db);
      return text;
    }
    case Reading::kSteps:
      if (control.steps.empty()) return "";
      return StepText(control, control.steps[StepIndex(control, normalized)]);
  }
  return "";
}

}  // namespace brimo::panel
