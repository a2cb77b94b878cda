// The stereo chain against the plain reference, and its block-level behaviour: partitions,
// bypass, empty blocks, non-finite input, silence and allocation.
#include "AllocationCounter.h"
#include "EqualiserChain.h"
#include "ReferenceEqualiser.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace brimo {
namespace {

using test::SameBits;

struct Stereo {
  std::vector<double> left, right;
  explicit Stereo(std::size_t n = 0) : left(n), right(n) {}
};

Stereo RandomStereo(test::Rng& rng, int frames) {
  Stereo s;
  s.left = test::RandomSignal(rng, frames);
  s.right = test::RandomSignal(rng, frames);
  return s;
}

template <typename Processor>
void Process(Processor& p, const Stereo& in, Stereo& out, std::size_t offset, int frames, double fs,
             const EqualiserSettings& s) {
  const double* inputs[2] = {in.left.data() + offset, in.right.data() + offset};
  double* outputs[2] = {out.left.data() + offset, out.right.data() + offset};
  p.ProcessBlock(inputs, outputs, frames, fs, s);
}

// Equal bits, or both NaN (a NaN's payload is not part of the result).
::testing::AssertionResult SameSample(double a, double b) {
  if (SameBits(a, b) || (std::isnan(a) && std::isnan(b))) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << a << " vs " << b;
}

void ExpectSameOutput(const Stereo& a, const Stereo& b, const char* what) {
  for (std::size_t i = 0; i < a.left.size(); ++i) {
    ASSERT_TRUE(SameSample(a.left[i], b.left[i])) << what << ", left sample " << i;
    ASSERT_TRUE(SameSample(a.right[i], b.right[i])) << what << ", right sample " << i;
  }
}

// Random blocks (including empty ones) with new random settings now and then, the same for the
// chain and the reference: every output sample must carry the same bits.
TEST(EqualiserChain, EqualsReferenceOnRandomInputSettingsAndPartitions) {
  for (std::uint64_t seed = 1; seed <= 12; ++seed) {
    test::Rng rng(seed);
    const int frames = 6000;
    const Stereo in = RandomStereo(rng, frames);
    Stereo out(frames), expected(frames);
    EqualiserChain chain;
    reference::Equaliser ref;
    double fs = 44100.0;
    EqualiserSettings s = test::RandomSettings(rng, fs);
    for (int pos = 0; pos < frames;) {
      if (test::UniformInt(rng, 0, 3) == 0) s = test::RandomSettings(rng, fs);
      if (test::UniformInt(rng, 0, 20) == 0) {
        chain.ResetColouration();
        ref.ResetColouration();
      }
      const int n =
          std::min(frames - pos, test::UniformInt(rng, 0, 3) == 0 ? test::UniformInt(rng, 0, 3)
                                                                  : test::UniformInt(rng, 1, 700));
      Process(chain, in, out, pos, n, fs, s);
      Process(ref, in, expected, pos, n, fs, s);
      pos += n;
    }
    ExpectSameOutput(out, expected, "random run");
  }
}

TEST(EqualiserChain, OutputDoesNotDependOnBlockSize) {
  test::Rng rng(21);
  double fs = 0;
  for (int trial = 0; trial < 3; ++trial) {
    const EqualiserSettings s = test::RandomSettings(rng, fs);
    const int frames = 3 * 4096;
    const Stereo in = RandomStereo(rng, frames);
    Stereo first;
    for (int block : {4096, 1, 7, 64}) {
      EqualiserChain chain;
      Stereo out(frames);
      for (int pos = 0; pos < frames; pos += block)
        Process(chain, in, out, pos, std::min(block, frames - pos), fs, s);
      if (block == 4096)
        first = out;
      else
        ExpectSameOutput(out, first, "block size");
    }
  }
}

TEST(EqualiserChain, ProcessesInPlace) {
  test::Rng rng(5);
  double fs = 0;
  const EqualiserSettings s = test::RandomSettings(rng, fs);
  Stereo buffer = RandomStereo(rng, 1000);
  Stereo out(1000);
  EqualiserChain separate, inPlace;
  Process(separate, buffer, out, 0, 1000, fs, s);
  Process(inPlace, buffer, buffer, 0, 1000, fs, s);
  ExpectSameOutput(buffer, out, "in place");
}

// Bypass passes the input through untouched while every stage keeps running: releasing it gives
// what a chain that never bypassed would give.
TEST(EqualiserChain, BypassReturnsInputAndKeepsStagesRunning) {
  test::Rng rng(8);
  double fs = 0;
  EqualiserSettings s = test::RandomSettings(rng, fs);
  s.bypass = 0;
  EqualiserSettings bypassed = s;
  bypassed.bypass = 1;
  const Stereo in = RandomStereo(rng, 2000);
  Stereo out(2000), always(2000);
  EqualiserChain chain, reference;

  Process(chain, in, out, 0, 1000, fs, bypassed);
  Process(reference, in, always, 0, 1000, fs, s);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(SameBits(out.left[i], in.left[i]));
    ASSERT_TRUE(SameBits(out.right[i], in.right[i]));
  }
  Process(chain, in, out, 1000, 1000, fs, s);
  Process(reference, in, always, 1000, 1000, fs, s);
  for (int i = 1000; i < 2000; ++i)
    ASSERT_TRUE(SameBits(out.left[i], always.left[i]) && SameBits(out.right[i], always.right[i]))
        << i;
}

TEST(EqualiserChain, EmptyBlockRecomputesEverythingAndWritesNothing) {
  EqualiserChain chain;
  test::Rng rng(9);
  const Stereo in = RandomStereo(rng, 100);
  Stereo out(100);
  EqualiserSettings s;
  Process(chain, in, out, 0, 100, 44100.0, s);

  s.midBoost = 0.7;
  s.midCut = 0.3;
  s.lowBoost = -0.4;
  s.oversampleFactor = 16;
  Stereo untouched(4);
  untouched.left.assign(4, 123.0);
  untouched.right.assign(4, 456.0);
  const double history = chain.MidBoost(0).y1[0];
  for (int frames : {0, -5}) {
    Process(chain, in, untouched, 0, frames, 96000.0, s);
    EXPECT_EQ(untouched.left, std::vector<double>(4, 123.0));
    EXPECT_EQ(untouched.right, std::vector<double>(4, 456.0));
  }
  for (int k = 0; k < kMidBoostCount; ++k) {
    const SecondOrderCoefficients c = MidBoostCoefficients(k, 96000.0, 0.7);
    EXPECT_EQ(chain.MidBoost(k).c.b0, c.b0);
    EXPECT_EQ(chain.MidBoost(k).c.a1, c.a1);
    EXPECT_EQ(chain.MidCut(k).c.b0, MidCutCoefficients(k, 96000.0, 0.3).b0);
  }
  for (int k = 0; k < kLowBoostCount; ++k)
    EXPECT_EQ(chain.LowBoost(k).c.a0, LowBoostCoefficients(k, 96000.0, 0.4).a0);
  for (int k = 1; k <= kHighBoostCount; ++k)
    EXPECT_EQ(chain.HighBoost(k).c.a1, HighBoostCoefficients(k, 96000.0).a1);
  EXPECT_EQ(chain.Colour().Factor(), 16);
  EXPECT_TRUE(SameBits(chain.MidBoost(0).y1[0], history));
}

TEST(EqualiserChain, NearlyFlatSettingsPassInputPlusColouration) {
  // Every selector at 0, low boost off, mid boost 0.001, mid cut 0: about 0.99908 times the
  // input plus 0.001 times the colouration.
  const int frames = 8000;
  Stereo in(frames), out(frames);
  for (int i = 0; i < frames; ++i) in.left[i] = in.right[i] = 0.5;
  EqualiserChain chain;
  Process(chain, in, out, 0, frames, 44100.0, EqualiserSettings{});

  StereoColouration colour;
  colour.Design(4);
  std::vector<StereoSample> c(frames);
  colour.Process(in.left.data(), in.right.data(), c.data(), frames);
  const double expected = 0.99908 * (0.5 + 0.001 * c[frames - 1][0]);
  EXPECT_NEAR(out.left[frames - 1], expected, 5e-6);
  EXPECT_NEAR(out.right[frames - 1], expected, 5e-6);
  EXPECT_GT(c[frames - 1][0], 0.06);  // the colouration is present, at the curve's hard limit
}

// A NaN or infinite input, or a section driven to overflow, spoils at most the rest of its block.
TEST(EqualiserChain, RecoversFromNonFiniteValuesWithinOneBlock) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double poison : {nan, inf, -inf, 1e308}) {
    test::Rng rng(4);
    double fs = 0;
    EqualiserSettings s = test::RandomSettings(rng, fs);
    s.bypass = 0;
    s.highBoost = 8;
    const int block = 256;
    Stereo in = RandomStereo(rng, 4 * block);
    in.left[block + 17] = poison;
    in.right[block + 100] = -poison;
    Stereo out(4 * block), expected(4 * block);
    EqualiserChain chain;
    reference::Equaliser ref;
    for (int b = 0; b < 4; ++b) {
      Process(chain, in, out, b * block, block, fs, s);
      Process(ref, in, expected, b * block, block, fs, s);
    }
    for (int i = 2 * block; i < 4 * block; ++i)
      ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i]))
          << poison << " at " << i;
    ExpectSameOutput(out, expected, "non-finite input");
    chain.ForEachSectionHistory([](double v) { ASSERT_TRUE(std::isfinite(v)); });
  }
}

// A burst followed by silence: no denormal reaches the output or stays in any section history.
// The colouration filters' flush leaves a limit cycle far below audibility rather than exact zeros
// (see ColourationTest), so the chain settles at a residue instead of at zero.
TEST(EqualiserChain, SilenceAfterSignalLeavesNoDenormals) {
  test::Rng rng(12);
  for (int factor : {4, 16}) {
    EqualiserSettings s;
    s.lowBoost = -0.2;
    s.midBoost = 0.8;
    s.midCut = 0.5;
    s.lowCut = 2;
    s.highBoost = 5;
    s.highCut = 1;
    s.oversampleFactor = factor;
    const int block = 512;
    const Stereo burst = RandomStereo(rng, block);
    const Stereo silence(block);
    Stereo out(block);
    EqualiserChain chain;
    Process(chain, burst, out, 0, block, 48000.0, s);
    double residue = 0.0;
    for (int b = 0; b < 1000; ++b) {
      Process(chain, silence, out, 0, block, 48000.0, s);
      for (int i = 0; i < block; ++i) {
        ASSERT_NE(std::fpclassify(out.left[i]), FP_SUBNORMAL);
        ASSERT_NE(std::fpclassify(out.right[i]), FP_SUBNORMAL);
        if (b > 500) residue = std::max({residue, std::fabs(out.left[i]), std::fabs(out.right[i])});
      }
      chain.ForEachSectionHistory([](double v) { ASSERT_NE(std::fpclassify(v), FP_SUBNORMAL); });
    }
    std::printf("factor %d: residue in silence %.3g\n", factor, residue);
    EXPECT_LT(residue, 1e-10) << "factor " << factor;  // below -200 dB
  }
}

// Denormal input (a host may hand over anything) is read as zero, so it reaches neither the output
// nor the section histories.
TEST(EqualiserChain, DenormalInputGivesNoDenormals) {
  Stereo in(256), out(256);
  for (int i = 0; i < 256; ++i) in.left[i] = in.right[i] = (i % 2 ? -1 : 1) * 1e-310 * (1 + i % 5);
  EqualiserSettings s;
  s.highBoost = 3;
  s.lowCut = 1;
  EqualiserChain chain;
  Process(chain, in, out, 0, 256, 44100.0, s);
  for (int i = 0; i < 256; ++i) {
    ASSERT_NE(std::fpclassify(out.left[i]), FP_SUBNORMAL) << i;
    ASSERT_NE(std::fpclassify(out.right[i]), FP_SUBNORMAL) << i;
  }
  chain.ForEachSectionHistory([](double v) { ASSERT_NE(std::fpclassify(v), FP_SUBNORMAL); });
}

TEST(EqualiserChain, ProcessingAllocatesNothing) {
  test::Rng rng(13);
  const Stereo in = RandomStereo(rng, 4096);
  Stereo out(4096);
  EqualiserChain chain;
  double fs = 0;
  const EqualiserSettings s = test::RandomSettings(rng, fs);
  const long before = AllocationCount();
  Process(chain, in, out, 0, 4096, fs, s);
  Process(chain, in, out, 0, 0, fs, s);
  EXPECT_EQ(AllocationCount(), before);
}

}  // namespace
}  // namespace brimo
