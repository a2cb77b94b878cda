// The colouration's pieces: saturation curve, filter design, filter step with its flush, and the
// stereo colouration against the plain per-channel procedure.
#include "Colouration.h"
#include "ColourPath.h"
#include "ReferenceEqualiser.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace brimo {
namespace {

using test::SameBits;

TEST(Colouration, ShapeFollowsTheTableWithOddSymmetry) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const float* T = kSaturationTable;

  EXPECT_TRUE(SameBits(ColourShape(0.0), 0.0));
  EXPECT_TRUE(SameBits(ColourShape(-0.0), -0.0));
  EXPECT_NEAR(ColourShape(0.05), T[99] * 0.5 + T[100] * 0.5, 1e-12);
  EXPECT_EQ(ColourShape(1.0), static_cast<double>(T[199]));
  EXPECT_EQ(ColourShape(-1.0), -static_cast<double>(T[199]));
  EXPECT_EQ(ColourShape(inf), static_cast<double>(T[199]));
  EXPECT_EQ(ColourShape(-inf), -static_cast<double>(T[199]));
  EXPECT_TRUE(SameBits(ColourShape(nan), 0.0));
  EXPECT_TRUE(SameBits(ColourShape(-nan), -0.0));
  EXPECT_NEAR(T[199], 0.0606, 1e-4);

  // Every magnitude class, including both sides of each table knot and of the hard limit, gives
  // the same bits as the curve written out step by step.
  test::Rng rng(7);
  for (int k = 0; k < 200000; ++k) {
    double x = k < 2010 ? (k - 5) / 1990.0 : test::Uniform(rng, -0.12, 0.12);
    if (k % 3 == 1) x = std::nextafter(x, 1.0);
    EXPECT_TRUE(SameBits(ColourShape(x), reference::Shape(x))) << x;
  }
  for (double x : {199.0 / 1990.0, std::nextafter(199.0 / 1990.0, 0.0), 1e300, -1e300, 4.9e-324})
    EXPECT_TRUE(SameBits(ColourShape(x), reference::Shape(x))) << x;
}

TEST(Colouration, FlushThresholdIsTwoToTheMinus54) {
  const double limit = 0x1p-54;
  EXPECT_FALSE(NeedsColourFlush(limit));
  EXPECT_FALSE(NeedsColourFlush(-limit));
  EXPECT_TRUE(NeedsColourFlush(std::nextafter(limit, 0.0)));
  EXPECT_TRUE(NeedsColourFlush(0.0));
  EXPECT_TRUE(NeedsColourFlush(-0.0));
  EXPECT_TRUE(NeedsColourFlush(4.9e-324));
  EXPECT_TRUE(NeedsColourFlush(std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(NeedsColourFlush(-std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(NeedsColourFlush(std::numeric_limits<double>::max()));
  EXPECT_FALSE(NeedsColourFlush(1.0));
}

// Schur-Cohn step-down: all roots of 1 - f1 z^-1 - ... - f10 z^-10 lie inside the unit circle
// exactly when every reflection coefficient has magnitude below one.
bool Stable(const ColourFilterDesign& d) {
  double a[11] = {1.0};
  for (int k = 1; k <= 10; ++k) a[k] = -d.f[k - 1];
  for (int m = 10; m >= 1; --m) {
    const double k = a[m];
    if (std::fabs(k) >= 1.0) return false;
    double next[11] = {};
    for (int i = 0; i < m; ++i) next[i] = (a[i] - k * a[m - i]) / (1.0 - k * k);
    for (int i = 0; i < m; ++i) a[i] = next[i];
  }
  return true;
}

TEST(Colouration, DesignIsStableWithUnitGainAtDc) {
  for (double fc : {0.05, 0.0125}) {
    ColourFilterDesign d;
    DesignColourFilter(d, fc);
    reference::ColourDesign r;
    reference::Design(r, fc);
    EXPECT_TRUE(SameBits(d.g, r.g));
    for (int k = 0; k < 10; ++k) EXPECT_TRUE(SameBits(d.f[k], r.f[k])) << k;
    EXPECT_TRUE(Stable(d)) << fc;

    double sum = d.g;
    for (double f : d.f) sum += f;
    // H(1) = g / (1 - sum f). The design sums coefficients that cancel heavily (A(1) is about
    // 1e-3 at fc = 0.05 and 1e-8 at 0.0125), so the gain is unity to about 1e-7, not to the last
    // bit.
    EXPECT_NEAR(d.g / (1.0 - (sum - d.g)), 1.0, 1e-6);

    ColourFilterState s;
    for (int i = 0; i < 4000; ++i) StepColourFilter(s, 0.25, d);
    EXPECT_NEAR(s.latest, 0.25, 1e-6);
  }
}

TEST(Colouration, StepFlushesTinyAndNonFiniteValues) {
  ColourFilterDesign d;
  DesignColourFilter(d, 0.05);
  ColourFilterState s;
  reference::ColourState r;
  test::Rng rng(3);
  for (int i = 0; i < 200; ++i) {
    const double x = test::Uniform(rng, -1.0, 1.0);
    StepColourFilter(s, x, d);
    reference::Step(
        r, x,
        reference::ColourDesign{
            d.g, {d.f[0], d.f[1], d.f[2], d.f[3], d.f[4], d.f[5], d.f[6], d.f[7], d.f[8], d.f[9]}});
    ASSERT_TRUE(SameBits(s.latest, r.latest));
  }
  // In silence the flush keeps the history out of the denormal range. It does not bring it to a
  // rest: the error of zeroing a value below 2^-54, amplified by the all-pole filter's DC gain of
  // 1 / g, keeps a limit cycle of about 2^-47 going (2^-33 at the 16x cut-off), far below
  // audibility.
  double largest = 0.0;
  for (int i = 0; i < 200000; ++i) {
    StepColourFilter(s, 0.0, d);
    for (int k = 0; k < 10; ++k) ASSERT_NE(std::fpclassify(s.y[k]), FP_SUBNORMAL);
    if (i > 100000) largest = std::max(largest, std::fabs(s.latest));
  }
  EXPECT_LT(largest, 0x1p-44);

  StepColourFilter(s, std::numeric_limits<double>::quiet_NaN(), d);
  EXPECT_TRUE(SameBits(s.latest, 0.0));
}

// The stereo colouration against the per-sample procedure written out per channel, on every
// instruction-set path the processor supports.
TEST(Colouration, StereoProcessEqualsThePlainProcedure) {
  const ColourPath active = ActiveColourPath();
  for (ColourPath path : kColourPaths) {
    if (!UseColourPath(path)) continue;
    test::Rng rng(11);
    for (int factor : {2, 3, 4, 7, 16}) {  // the fixed 4 and 16 loops and the general one
      StereoColouration stereo;
      stereo.Design(factor);
      reference::ColourDesign design;
      reference::Design(design, 0.2 / factor);
      reference::ColourState up[2], down[2];

      const std::vector<double> left = test::RandomSignal(rng, 3000),
                                right = test::RandomSignal(rng, 3000);
      std::vector<StereoSample> out(left.size());
      // Blocks of 1 to 700 frames: each block ends with both filters at the same sub-sample.
      for (std::size_t pos = 0; pos < left.size();) {
        const int n =
            std::min<int>(static_cast<int>(left.size() - pos), test::UniformInt(rng, 1, 700));
        stereo.Process(left.data() + pos, right.data() + pos, out.data() + pos, n);
        pos += n;
      }
      for (std::size_t i = 0; i < left.size(); ++i) {
        for (int ch = 0; ch < 2; ++ch) {
          double kept = 0.0;
          for (int j = 0; j < factor; ++j) {
            reference::Step(up[ch], j == 0 ? (ch ? right[i] : left[i]) : 0.0, design);
            reference::Step(down[ch], reference::Shape(factor * up[ch].latest), design);
            if (j == 0) kept = down[ch].latest;
          }
          ASSERT_TRUE(SameBits(out[i][ch], kept))
              << ColourPathName(path) << ", factor " << factor << ", sample " << i;
        }
      }
    }
  }
  UseColourPath(active);
}

}  // namespace
}  // namespace brimo
