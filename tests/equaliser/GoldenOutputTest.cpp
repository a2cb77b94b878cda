// Rendered output committed to the repository, so that every build and platform can be compared
// with the same samples. Set BRIMO_REGENERATE_GOLDEN=1 to rewrite the file from this build (then
// review the diff). The file was written by a glibc build: glibc builds must match it bit for bit;
// other runtimes differ in the last bits of exp, cos, sin, pow and hypot, and must
// agree within 1e-9 of full scale.
#include "EqualiserChain.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace brimo {
namespace {

constexpr int kFrames = 800;
constexpr int kCases = 4;

// Case k: fixed seed, factor 4 or 16 alternately, random settings and block sizes.
std::vector<double> Render(int k) {
  test::Rng rng(1000 + k);
  double fs = 0;
  EqualiserSettings s = test::RandomSettings(rng, fs);
  s.oversampleFactor = k % 2 ? 16 : 4;
  s.bypass = 0;
  const std::vector<double> left = test::RandomSignal(rng, kFrames),
                            right = test::RandomSignal(rng, kFrames);
  std::vector<double> outLeft(kFrames), outRight(kFrames);
  EqualiserChain chain;
  for (int pos = 0; pos < kFrames;) {
    const int n = std::min(kFrames - pos, test::UniformInt(rng, 1, 300));
    const double* in[2] = {left.data() + pos, right.data() + pos};
    double* out[2] = {outLeft.data() + pos, outRight.data() + pos};
    chain.ProcessBlock(in, out, n, fs, s);
    pos += n;
  }
  std::vector<double> both(outLeft);
  both.insert(both.end(), outRight.begin(), outRight.end());
  return both;
}

std::uint64_t Bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, 8);
  return b;
}

double FromBits(std::uint64_t b) {
  double v;
  std::memcpy(&v, &b, 8);
  return v;
}

TEST(GoldenOutput, MatchesCommittedSamples) {
  const char* path = BRIMO_EQUALISER_GOLDEN_FILE;
  const char* regenerate = std::getenv("BRIMO_REGENERATE_GOLDEN");
  if (regenerate && *regenerate && std::strcmp(regenerate, "0") != 0) {
    FILE* f = std::fopen(path, "w");
    ASSERT_NE(f, nullptr) << path;
    std::fprintf(f,
                 "# equaliser golden output: %d cases x 2 channels x %d samples, IEEE-754 bits\n",
                 kCases, kFrames);
    for (int k = 0; k < kCases; ++k)
      for (double v : Render(k)) std::fprintf(f, "%016" PRIx64 "\n", Bits(v));
    std::fclose(f);
    GTEST_SKIP() << "rewrote " << path;
  }

  FILE* f = std::fopen(path, "r");
  ASSERT_NE(f, nullptr) << "cannot open " << path;
  char line[128];
  ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
  double worst = 0.0;
  long differing = 0;
  for (int k = 0; k < kCases; ++k) {
    const std::vector<double> samples = Render(k);
    for (double v : samples) {
      std::uint64_t stored = 0;
      ASSERT_EQ(std::fscanf(f, "%" SCNx64, &stored), 1) << "golden file too short";
      const double expected = FromBits(stored);
      ASSERT_TRUE(std::isfinite(v));
      if (Bits(v) != stored) {
        ++differing;
        worst = std::max(worst, std::fabs(v - expected));
      }
    }
  }
  std::fclose(f);
  RecordProperty("differing_samples", std::to_string(differing));
  RecordProperty("largest_difference", std::to_string(worst));
  std::printf("golden output: %ld of %d samples differ, largest difference %.3g\n", differing,
              kCases * 2 * kFrames, worst);
#if defined(__GLIBC__)
  EXPECT_EQ(differing, 0);  // the file was written by a glibc build
#else
  EXPECT_LE(worst, 1e-9);
#endif
}

}  // namespace
}  // namespace brimo
