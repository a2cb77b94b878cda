// The audio path allocates nothing: operator new is counted while blocks run.

#include <gtest/gtest.h>

#include <vector>

#include "AllocationCounter.h"
#include "TestPlug.h"

namespace {

TEST(AudioPath, BlocksAllocateNothing) {
  TestPlug plug;
  plug.SetupProcessing(48000.0, 32);
  plug.SetLatency(5);
  std::vector<float> l(100, 0.5f), r(100, -0.5f), ol(100), orr(100);
  std::vector<double> dl(100, 0.5), dr(100, -0.5), dol(100), dor(100);
  const float* in32[] = {l.data(), r.data()};
  float* out32[] = {ol.data(), orr.data()};
  double* in64[] = {dl.data(), dr.data()};
  double* out64[] = {dol.data(), dor.data()};

  const long before = AllocationCount();
  for (bool bypass : {false, true}) {
    plug.SetBypassed(bypass);
    plug.RunBlock32(in32, 2, out32, 2, 100);  // longer than the block: processed in pieces
    plug.RunBlock64(in64, 2, out64, 2, 100);
    plug.RunBlock32(in32, 1, out32, 2, 7);
  }
  const long during = AllocationCount() - before;
  EXPECT_EQ(during, 0);
}

}  // namespace
