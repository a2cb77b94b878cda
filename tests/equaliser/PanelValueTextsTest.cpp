// The readout's texts and the typed values of BRIMO's controls, against the panel's legends and
// the plug-in's parameters.
#include "BRIMO.h"
#include "PanelLegends.h"
#include "PanelValueTexts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

namespace {

using P = BRIMO::Param;

TEST(PanelValueTexts, TheReadoutSaysWhatThePanelSays) {
  struct Row {
    P param;
    double normalized;
    const char* name;
    const char* value;
  } rows[] = {
      {P::kLowBoost, 0.0, "LOW BOOST", "0.0"},
      {P::kLowBoost, 0.43, "LOW BOOST", "4.3"},
      {P::kMidBoost, 1.0, "MID BOOST", "10.0"},
      {P::kMidCut, 0.25, "MID CUT", "2.5"},
      {P::kOutput, 0.0, "OUTPUT", "-15.0 dB"},
      {P::kOutput, 0.5, "OUTPUT", "0.0 dB"},
      {P::kOutput, 0.4999, "OUTPUT", "0.0 dB"},  // never "-0.0"
      {P::kOutput, 18.2 / 30, "OUTPUT", "+3.2 dB"},
      {P::kHighBoost, 0.0, "HIGH BOOST", "OFF"},
      {P::kHighBoost, 5.0 / 8, "HIGH BOOST", "11 dB"},
      {P::kHighCut, 0.0, "HIGH CUT", "OFF"},
      {P::kHighCut, 1.0, "HIGH CUT", "7.2 kHz"},
      {P::kLowCut, 0.2, "LOW CUT", "68 Hz"},
      {P::kLowFrequency, 1.0 / 3, "LOW FREQ", "100 Hz"},
      {P::kMidBoostFrequency, 2.0 / 7, "MID BOOST FREQ", "1.4 kHz"},
      {P::kMidCutFrequency, 2.0 / 7, "MID CUT FREQ", "1.3 kHz"},
      {P::kOversampling, 1.0, "OVERSAMPLING", "16x"},
      {P::kBypass, 1.0, "BYPASS", "ON"},
  };
  PanelValueTexts texts;
  for (const Row& row : rows) {
    IReadoutText out;
    ASSERT_TRUE(texts.Describe(row.param, row.normalized, &out)) << row.name;
    EXPECT_STREQ(out.name, row.name);
    EXPECT_STREQ(out.value, row.value) << row.name << " at " << row.normalized;
  }
  IReadoutText out;
  EXPECT_FALSE(texts.Describe(P::kUnused, 0.5, &out));
  EXPECT_FALSE(texts.Describe(P::kOutput, std::nan(""), &out));
}

// Each stepped control has one legend per position of its parameter, in the parameter's order,
// and every value the readout shows reads back as the value it shows.
TEST(PanelValueTexts, EveryShownValueReadsBackAndStepsMatchTheParameters) {
  BRIMO plug;
  PanelValueTexts texts;
  for (const brimo::panel::ControlLegend& control : brimo::panel::kControls) {
    const IParamDef* param = plug.GetParam(control.paramIndex);
    ASSERT_NE(param, nullptr);
    if (control.reading == brimo::panel::Reading::kSteps) {
      const bool isSwitch = control.paramIndex >= P::kOversampling;
      const int positions = isSwitch ? 2 : int(param->Max() - param->Min()) + 1;
      EXPECT_EQ(int(control.steps.size()), positions) << control.section << control.label;
    }
    for (int k = 0; k <= 60; ++k) {
      IReadoutText shown;
      ASSERT_TRUE(texts.Describe(control.paramIndex, k / 60.0, &shown));
      double read = -1;
      ASSERT_TRUE(texts.Parse(control.paramIndex, shown.value, sizeof shown.value, &read))
          << shown.name << " " << shown.value;
      IReadoutText again;
      texts.Describe(control.paramIndex, read, &again);
      EXPECT_STREQ(again.value, shown.value) << shown.name;
    }
  }
}

TEST(PanelValueTexts, TypedValuesInThePanelsTermsAndNothingElse) {
  const std::optional<double> refused;
  struct Row {
    P param;
    const char* typed;
    std::optional<double> normalized;
  } rows[] = {
      {P::kLowBoost, "4.3", 0.43},
      {P::kLowBoost, " 4,3 ", 0.43},
      {P::kLowBoost, "12", 1.0},  // clamped to the scale
      {P::kLowBoost, "-1", 0.0},
      {P::kOutput, "+3.2 dB", 18.2 / 30},
      {P::kOutput, "-3,2", 11.8 / 30},
      {P::kOutput, "3db", 0.6},
      {P::kOutput, "3", 0.6},
      {P::kOutput, "99", 1.0},
      {P::kOutput, "3 Hz", refused},
      {P::kLowFrequency, "100 Hz", 1.0 / 3},
      {P::kLowFrequency, "100", 1.0 / 3},
      {P::kLowFrequency, "150", 1.0 / 3},  // the nearer of 100 and 200 on a tie: the first
      {P::kLowFrequency, "151", 2.0 / 3},
      {P::kHighBoost, "11 dB", 5.0 / 8},
      {P::kHighBoost, "0", 0.0},
      {P::kHighBoost, "off", 0.0},
      {P::kHighCut, "OFF", 0.0},
      {P::kHighCut, "10", 1.0},  // 7.2 is nearer than 13
      {P::kLowCut, "1", 0.2},    // OFF means no number: the nearest corner is 68 Hz
      {P::kMidCutFrequency, "1.3 kHz", 2.0 / 7},
      {P::kOversampling, "16x", 1.0},
      {P::kOversampling, "4", 0.0},
      {P::kBypass, "on", 1.0},
      {P::kBypass, "1", refused},
      {P::kOutput, "", refused},
      {P::kOutput, "+", refused},
      {P::kOutput, ".", refused},
      {P::kOutput, "nan", refused},
      {P::kOutput, "inf", refused},
      {P::kOutput, "-infinity", refused},
      {P::kOutput, "1e3", refused},
      {P::kOutput, "0x10", refused},
      {P::kOutput, "3..2", refused},
      {P::kOutput, "1234567890123", refused},  // 13 digits
      {P::kLowBoost, "4.3 dB", refused},
      {P::kUnused, "0", refused},
  };
  PanelValueTexts texts;
  for (const Row& row : rows) {
    double normalized = -1;
    const bool accepted =
        texts.Parse(row.param, row.typed, std::string(row.typed).size() + 1, &normalized);
    ASSERT_EQ(accepted, row.normalized.has_value()) << row.param << " \"" << row.typed << "\"";
    if (accepted) {
      EXPECT_NEAR(normalized, *row.normalized, 1e-12) << row.typed;
    }
  }
}

TEST(PanelValueTexts, ReadsNoFurtherThanItIsAllowedTo) {
  PanelValueTexts texts;
  double normalized = -1;
  // Unterminated: only the first two bytes count ("+3"); the sanitizers see any read past them.
  const char unterminated[2] = {'+', '3'};
  ASSERT_TRUE(texts.Parse(P::kOutput, unterminated, sizeof unterminated, &normalized));
  EXPECT_NEAR(normalized, 0.6, 1e-12);
  // Thousands of digits, or any text longer than a field holds, is refused whole.
  const std::string digits(5000, '7');
  EXPECT_FALSE(texts.Parse(P::kOutput, digits.c_str(), digits.size(), &normalized));
  const std::string padded = "3" + std::string(40, ' ');
  EXPECT_FALSE(texts.Parse(P::kOutput, padded.c_str(), padded.size(), &normalized));
}

}  // namespace
