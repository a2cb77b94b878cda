#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "IParamDef.h"

namespace {

std::string Display(const IParamDef& p, double plain) {
  char out[IParamDisplaySize];
  std::memset(out, 'x', sizeof out);
  p.FormatValue(plain, out);
  return out;
}

TEST(ParamDef, DeclarationRaisesMaxKeepsEarlierKindAndShape) {
  IParamDef p;
  p.DefineDouble("Gain", 0.0, 0.0, 0.0, 1.0, "dB", "", 0.0);
  EXPECT_EQ(p.Kind(), KindDouble);
  EXPECT_EQ(p.Max(), 1.0);    // raised to min + step
  EXPECT_EQ(p.Shape(), 1.0);  // shape 0 keeps the previous one

  IParamDef i;
  i.DefineInt("Mode", 2, 0, 8);
  EXPECT_EQ(i.Kind(), KindInt);
  EXPECT_EQ(i.Value(), 2.0);
  i.DefineDouble("Mode", 1.0, 0.0, 8.0, 0.5);
  EXPECT_EQ(i.Kind(), KindInt) << "a kind set earlier stays";
  EXPECT_EQ(i.Precision(), 1);

  IParamDef shaped;
  shaped.SetShape(3.0);
  shaped.DefineDouble("S", 0.0, 0.0, 1.0, 0.1, "", "", 0.0);
  EXPECT_EQ(shaped.Shape(), 3.0);
  // Shapes the conversions cannot use are refused and the previous one stays.
  for (double bad : {0.0, -2.0, double(NAN), double(INFINITY)}) {
    shaped.SetShape(bad);
    shaped.DefineDouble("S", 0.0, 0.0, 1.0, 0.1, "", "", bad);
    EXPECT_EQ(shaped.Shape(), 3.0) << bad;
  }
  EXPECT_NEAR(shaped.ToNormalized(0.125), 0.5, 1e-12);

  // A name alone leaves the record undeclared.
  IParamDef named;
  named.SetName("Switch");
  EXPECT_STREQ(named.Name(), "Switch");
  EXPECT_EQ(named.Kind(), KindNone);
  EXPECT_EQ(named.Max(), 1.0);
}

TEST(ParamDef, PrecisionFromStep) {
  EXPECT_EQ(IParamDef::PrecisionFromStep(1.0), 0);
  EXPECT_EQ(IParamDef::PrecisionFromStep(0.5), 1);
  EXPECT_EQ(IParamDef::PrecisionFromStep(0.25), 2);
  EXPECT_EQ(IParamDef::PrecisionFromStep(0.1), 1);
  EXPECT_EQ(IParamDef::PrecisionFromStep(0.01), 2);
  EXPECT_EQ(IParamDef::PrecisionFromStep(0.001), 3);
  EXPECT_EQ(IParamDef::PrecisionFromStep(0.07), 6);  // binary steps never land on an integer
  EXPECT_EQ(IParamDef::PrecisionFromStep(std::nan("")), 6);
}

TEST(ParamDef, StringsAreCutToTheirFields) {
  IParamDef p;
  const std::string longName(40, 'n');
  p.DefineDouble(longName.c_str(), 0.0, 0.0, 1.0, 0.01, nullptr, "Group");
  EXPECT_EQ(std::string(p.Name()), std::string(31, 'n'));
  EXPECT_STREQ(p.Label(), "");
  EXPECT_STREQ(p.Group(), "Group");
  p.SetDisplayText(1, longName.c_str());
  EXPECT_EQ(std::strlen(p.GetDisplayText(1.0)), 31u);
}

TEST(ParamDef, NormalisedMappingWithShapeAndClamping) {
  IParamDef p;
  p.DefineDouble("P", 0.0, -10.0, 30.0, 0.01, "", "", 2.0);
  EXPECT_DOUBLE_EQ(p.FromNormalized(0.5), 0.25 * 40.0 - 10.0);
  EXPECT_DOUBLE_EQ(p.ToNormalized(0.0), std::sqrt(10.0 / 40.0));
  for (double x : {0.0, 0.1, 0.37, 0.9, 1.0})
    EXPECT_NEAR(p.ToNormalized(p.FromNormalized(x)), x, 1e-12);
  EXPECT_EQ(p.ToNormalized(1000.0), 1.0);
  EXPECT_EQ(p.ToNormalized(-1000.0), 0.0);
  EXPECT_EQ(p.FromNormalized(1.5), 1.5 * 1.5 * 40.0 - 10.0) << "FromNormalized does not clamp";

  p.SetPlain(12.5);
  EXPECT_DOUBLE_EQ(p.GetNormalized(), std::sqrt(22.5 / 40.0));
  p.SetPlain(99.0);
  EXPECT_EQ(p.Value(), 30.0);
  p.SetPlain(-99.0);
  EXPECT_EQ(p.Value(), -10.0);
}

TEST(ParamDef, SteppedKindsRoundHalfUpAfterTheShape) {
  IParamDef i;
  i.DefineInt("I", 0, 0, 8);
  i.SetNormalized(0.5);
  EXPECT_EQ(i.Value(), 4.0);
  i.SetNormalized(0.56);
  EXPECT_EQ(i.Value(), 4.0);
  i.SetNormalized(0.5625);  // 4.5
  EXPECT_EQ(i.Value(), 5.0);
  i.SetNormalized(1.0);
  EXPECT_EQ(i.Value(), 8.0);

  IParamDef neg;
  neg.DefineInt("N", 0, -8, 0);
  neg.SetNormalized(0.4375);  // -4.5 rounds up, not away from zero
  EXPECT_EQ(neg.Value(), -4.0);

  IParamDef shaped;
  shaped.DefineInt("S", 0, 0, 8);
  shaped.SetShape(2.0);
  shaped.SetNormalized(0.5);  // 0.25 * 8
  EXPECT_EQ(shaped.Value(), 2.0);

  IParamDef undeclared;  // KindNone still rounds to its step
  undeclared.SetNormalized(0.49);
  EXPECT_EQ(undeclared.Value(), 0.0);
  undeclared.SetNormalized(0.5);
  EXPECT_EQ(undeclared.Value(), 1.0);

  IParamDef d;
  d.DefineDouble("D", 0.0, 0.0, 8.0, 1.0);
  d.SetNormalized(0.56);
  EXPECT_EQ(d.Value(), 0.56 * 8.0) << "KindDouble keeps the exact mapped value";
}

TEST(ParamDef, NaNAndOutOfRangeInputsNeverBecomeTheValue) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  IParamDef p;
  p.DefineDouble("P", 0.25, 0.0, 1.0, 0.01);
  p.SetPlain(nan);
  EXPECT_EQ(p.Value(), 0.25);
  p.SetNormalized(nan);
  EXPECT_EQ(p.Value(), 0.25);
  EXPECT_EQ(p.ToNormalized(nan), 0.0);

  p.SetNormalized(-0.5);
  EXPECT_EQ(p.Value(), 0.0);
  p.SetNormalized(std::numeric_limits<double>::infinity());
  EXPECT_EQ(p.Value(), 1.0);

  IParamDef fractionalShape;
  fractionalShape.DefineDouble("F", 0.5, 0.0, 1.0, 0.01, "", "", 0.5);
  fractionalShape.SetNormalized(-0.25);  // pow of a negative base with a fractional exponent is NaN
  EXPECT_EQ(fractionalShape.Value(), 0.5);

  IParamDef zeroStep;  // a step of 0 gives nothing to round to; it must not poison the value
  zeroStep.DefineInt("Z", 0, 0, 4);
  zeroStep.DefineDouble("Z", 0.0, 0.0, 4.0, 0.0);  // stays KindInt, now with step 0
  zeroStep.SetNormalized(0.3);
  EXPECT_DOUBLE_EQ(zeroStep.Value(), 1.2);
}

TEST(ParamDef, FormattingTruncatesTowardZeroAndNegates) {
  IParamDef i;
  i.DefineInt("I", 0, -5, 5);
  EXPECT_EQ(Display(i, 2.9), "2");
  EXPECT_EQ(Display(i, -2.9), "-2");
  EXPECT_EQ(Display(i, 1e300), "2147483647") << "saturates instead of overflowing";
  EXPECT_EQ(Display(i, std::nan("")), "0");

  IParamDef d;
  d.DefineDouble("D", 0.0, -10.0, 10.0, 0.1);
  EXPECT_EQ(Display(d, 3.14159), "3.1");
  d.SetNegateDisplay(true);
  EXPECT_EQ(Display(d, 3.0), "-3.0");
  d.SetPlain(3.0);
  char out[IParamDisplaySize];
  d.GetDisplay(out);
  EXPECT_STREQ(out, "-3.0");

  IParamDef huge;
  huge.DefineDouble("H", 0.0, 0.0, 1.0, 0.001);
  const std::string text = Display(huge, 1e300);
  EXPECT_EQ(text.size(), size_t(IParamDisplaySize - 1)) << "cut to the output buffer";
}

TEST(ParamDef, DisplayTextsReplaceTheNumber) {
  IParamDef p;
  p.DefineDouble("P", 0.0, -5.0, 5.0, 0.5, "%");
  p.SetDisplayText(3, "three");
  p.SetDisplayText(3, "second three");
  p.SetDisplayText(-2, "minus two");
  p.SetDisplayText(1, "");
  p.SetNegateDisplay(true);

  EXPECT_EQ(Display(p, 3.0), "three") << "first entry wins; lookup uses the un-negated value";
  EXPECT_EQ(Display(p, 3.7), "three");
  EXPECT_EQ(Display(p, -2.9), "minus two");
  EXPECT_EQ(Display(p, 1.0), "-1.0") << "an empty text counts as absent";
  EXPECT_EQ(Display(p, 2.0), "-2.0");

  p.SetPlain(3.0);
  EXPECT_STREQ(p.GetLabelForHost(), "");
  p.SetPlain(2.0);
  EXPECT_STREQ(p.GetLabelForHost(), "%");

  IParamDef none;
  EXPECT_STREQ(none.GetDisplayText(0.0), "");
}

}  // namespace
