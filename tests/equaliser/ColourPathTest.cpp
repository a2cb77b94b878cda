// The signal path on every instruction set this processor supports, against the baseline (SSE2)
// path and the plain reference: the same bits on every sample and in the colouration's histories,
// whatever the settings, rate, factor, block partition or input.
#include "ColourPath.h"
#include "EqualiserChain.h"
#include "ReferenceEqualiser.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace brimo {
namespace {

using test::SameBits;

// Puts back the path the process selected when a test ends.
struct PathGuard {
  ColourPath saved = ActiveColourPath();
  ~PathGuard() { UseColourPath(saved); }
};

std::vector<ColourPath> SupportedPaths() {
  std::vector<ColourPath> paths;
  for (ColourPath p : kColourPaths)
    if (ColourPathSupported(p)) paths.push_back(p);
  return paths;
}

struct Stereo {
  std::vector<double> left, right;
  explicit Stereo(std::size_t n = 0) : left(n), right(n) {}
};

enum class Input { Music, NonFinite, BurstThenSilence };

Stereo MakeInput(Input kind, test::Rng& rng, int frames) {
  Stereo s;
  s.left = test::RandomSignal(rng, frames);
  s.right = test::RandomSignal(rng, frames);
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  switch (kind) {
    case Input::Music:
      break;
    case Input::NonFinite:
      // Runs of each kind, on one channel or both, and values that overflow the filters.
      for (int i = 0; i < 6; ++i) {
        s.left[301 + i] = nan;
        s.right[1203 + i] = inf;
        s.left[2100 + 3 * i] = s.right[2100 + 3 * i] = -inf;
        s.right[3300 + i] = i % 2 ? 1e308 : -1e308;
      }
      s.left[4000] = -nan;
      break;
    case Input::BurstThenSilence:
      for (int i = 400; i < frames; ++i) s.left[i] = s.right[i] = 0.0;
      break;
  }
  return s;
}

template <typename Processor>
Stereo ProcessInBlocks(Processor& p, const Stereo& in, int block, double fs,
                       const EqualiserSettings& s) {
  const int frames = static_cast<int>(in.left.size());
  Stereo out(frames);
  for (int pos = 0; pos < frames; pos += block) {
    const double* inputs[2] = {in.left.data() + pos, in.right.data() + pos};
    double* outputs[2] = {out.left.data() + pos, out.right.data() + pos};
    p.ProcessBlock(inputs, outputs, std::min(block, frames - pos), fs, s);
  }
  return out;
}

// Equal bits, or both NaN (a NaN's payload is not part of the result).
bool SameSample(double a, double b) {
  return SameBits(a, b) || (std::isnan(a) && std::isnan(b));
}

::testing::AssertionResult SameOutput(const Stereo& a, const Stereo& b) {
  for (std::size_t i = 0; i < a.left.size(); ++i)
    if (!SameSample(a.left[i], b.left[i]) || !SameSample(a.right[i], b.right[i]))
      return ::testing::AssertionFailure()
             << "sample " << i << ": " << a.left[i] << ", " << a.right[i] << " vs " << b.left[i]
             << ", " << b.right[i];
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameColourHistories(const StereoColouration& a,
                                               const StereoColouration& b) {
  for (int ch = 0; ch < 2; ++ch)
    for (int k = 0; k < 10; ++k)
      if (!SameBits(a.UpHistory(ch, k), b.UpHistory(ch, k)) ||
          !SameBits(a.DownHistory(ch, k), b.DownHistory(ch, k)))
        return ::testing::AssertionFailure() << "channel " << ch << ", history " << k;
  return ::testing::AssertionSuccess();
}

TEST(ColourPath, EveryPathGivesTheBaselineAndReferenceBits) {
  const PathGuard guard;
  const std::vector<ColourPath> paths = SupportedPaths();
  ASSERT_EQ(paths.front(), ColourPath::Sse2);
  std::printf("paths on this processor:");
  for (ColourPath p : paths) std::printf(" %s", ColourPathName(p));
  std::printf("\n");
  const char* inputNames[] = {"music", "non-finite runs", "burst then silence"};

  test::Rng rng(31);
  for (Input kind : {Input::Music, Input::NonFinite, Input::BurstThenSilence}) {
    for (int factor : {4, 16}) {
      for (int block : {1, 7, 64, 4096}) {
        double fs = 0;
        EqualiserSettings s = test::RandomSettings(rng, fs);
        s.oversampleFactor = factor;
        s.bypass = 0;
        const Stereo in = MakeInput(kind, rng, 5000);
        SCOPED_TRACE(::testing::Message()
                     << inputNames[static_cast<int>(kind)] << ", factor " << factor
                     << ", blocks of " << block << ", " << fs << " Hz");
        reference::Equaliser ref;
        const Stereo expected = ProcessInBlocks(ref, in, block, fs, s);

        EqualiserChain baseline;
        for (ColourPath path : paths) {
          ASSERT_TRUE(UseColourPath(path));
          EqualiserChain chain;
          const Stereo out = ProcessInBlocks(chain, in, block, fs, s);
          EXPECT_TRUE(SameOutput(out, expected))
              << ColourPathName(path) << " against the reference";
          if (path == ColourPath::Sse2)
            baseline = chain;
          else
            EXPECT_TRUE(SameColourHistories(chain.Colour(), baseline.Colour()))
                << ColourPathName(path) << " against sse2";
        }
      }
    }
  }
}

// Without BRIMO_COLOUR_PATH the process runs on the widest path the processor supports; with it,
// on the path it names. CTest runs this once forcing sse2 and looks for "active path: sse2", so an
// override that never reaches the program fails too.
TEST(ColourPath, StartsOnTheWidestSupportedPathUnlessForced) {
  ColourPath expected = SupportedPaths().back();
  if (const char* forced = std::getenv("BRIMO_COLOUR_PATH"))
    for (ColourPath p : SupportedPaths())
      if (std::strcmp(forced, ColourPathName(p)) == 0) expected = p;
  std::printf("active path: %s\n", ColourPathName(ActiveColourPath()));
  EXPECT_EQ(ActiveColourPath(), expected);
}

}  // namespace
}  // namespace brimo
