// What validators check of any VST3 plug-in: life-cycle order, odd processing calls, odd rates
// and block sizes, and output hygiene.
#include "BundleFixture.h"

#include <random>
#include <thread>

#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace brimo::test {
namespace {

using namespace Steinberg::Vst;

TEST(BundleLifecycle, RepeatedCyclesAnswerSuccess) {
  HostApplication context;  // outlives the instance, which keeps it until terminate
  auto p = makePlugin();
  ASSERT_TRUE(p);
  auto in = testSignal<float>(2, 128);
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE(cycle);
    for (int r = 0; r < 3; ++r) {
      ASSERT_EQ(p->setChannels(2, 2), kResultOk);
      ASSERT_EQ(p->setupProcessing(44100.0 * (r + 1), 128, SampleSize::k32), kResultOk);
      ASSERT_EQ(p->setActive(true), kResultOk);
      p->setProcessing(true);
      auto out = brimo::test::run(*p, in, 128);
      EXPECT_TRUE(allNormal(out));
      p->setProcessing(false);
      ASSERT_EQ(p->setActive(false), kResultOk);
    }
    ASSERT_EQ(p->component()->terminate(), kResultOk);
    ASSERT_EQ(p->component()->initialize(&context), kResultOk);
    // A fresh initialisation rebuilds the same buses and parameters, not a second set.
    EXPECT_EQ(p->controller()->getParameterCount(), 15);
    EXPECT_EQ(p->busCount(kAudio, kInput), 1);
    EXPECT_EQ(p->busCount(kAudio, kOutput), 1);
  }
}

TEST(BundleLifecycle, SecondInitializeIsRefusedWithoutDuplicates) {
  HostApplication context;  // outlives the instance, which keeps it until terminate
  auto p = makePlugin();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->component()->initialize(&context), kResultFalse);
  EXPECT_EQ(p->controller()->getParameterCount(), 15);
  EXPECT_EQ(p->busCount(kAudio, kInput), 1);
  EXPECT_EQ(p->busCount(kAudio, kOutput), 1);
}

TEST(BundleLifecycle, ManyInstancesAndTeardownWhileActive) {
  std::vector<std::unique_ptr<Plugin>> many;
  for (int i = 0; i < 8; ++i) {
    many.push_back(makePlugin());
    ASSERT_TRUE(many.back());
    ASSERT_EQ(many.back()->prepare(48000, 64, 2, SampleSize::k64), kResultOk);
  }
  many.clear();  // the host's teardown order, each instance still active and processing
  EXPECT_TRUE(makePlugin());
}

class BundleConformance : public ::testing::Test {
protected:
  void SetUp() override {
    plugin = makePlugin();
    ASSERT_TRUE(plugin);
  }
  std::unique_ptr<Plugin> plugin;
};

TEST_F(BundleConformance, ParameterFlushWithoutAudio) {
  ASSERT_EQ(plugin->prepare(48000, 256, 2, SampleSize::k32), kResultOk);
  ProcessData data;
  data.numSamples = 0;
  plugin->queueChange(kOutput, 1.0);
  plugin->queueChange(kBypassId, 1.0);
  EXPECT_EQ(plugin->processRaw(data), kResultOk);
  EXPECT_DOUBLE_EQ(plugin->controllerNormalized(kOutput), 1.0);
  EXPECT_DOUBLE_EQ(plugin->controllerNormalized(kBypassId), 1.0);
  // No buffers at all but a frame count: nothing to read or write, and no crash.
  data.numSamples = 64;
  EXPECT_EQ(plugin->processRaw(data), kResultOk);
}

// Normalised values outside [0, 1], NaN, and ids the plug-in does not know, from automation and
// from the controller side: the instance must stay in range and its output finite.
TEST_F(BundleConformance, OutOfRangeAndUnknownParameterValues) {
  ASSERT_EQ(plugin->prepare(48000, 256, 2, SampleSize::k32), kResultOk);
  auto in = testSignal<float>(2, 256);
  for (double bad : {-0.5, 1.5, -1e9, 1e9, double(NAN), double(INFINITY)}) {
    SCOPED_TRACE(bad);
    for (host::ParamID id = 0; id < kParamCount; ++id) plugin->queueChange(id, bad);
    plugin->queueChange(kParamCount, bad);
    plugin->queueChange(0xFFFFFFFFu, bad);
    plugin->queueChange(kPresetId, bad);
    ASSERT_TRUE(allNormal(run(*plugin, in, 256)));
    for (host::ParamID id = 0; id < kParamCount; ++id) {
      double v = plugin->controllerNormalized(id);
      EXPECT_TRUE(v >= 0.0 && v <= 1.0) << "parameter " << id << " at " << v;
    }
    for (host::ParamID id = 0; id < kParamCount; ++id) plugin->setControllerNormalized(id, bad);
    ASSERT_TRUE(allNormal(run(*plugin, in, 256)));
    for (host::ParamID id = 0; id < kParamCount; ++id) {
      double v = plugin->controllerNormalized(id);
      EXPECT_TRUE(v >= 0.0 && v <= 1.0) << "parameter " << id << " at " << v;
    }
  }
}

TEST_F(BundleConformance, ZeroFramesAndZeroChannels) {
  ASSERT_EQ(plugin->prepare(48000, 256, 2, SampleSize::k32), kResultOk);
  Planar<float> in(2, 1), out(2, 1);
  out.data[0][0] = out.data[1][0] = 42.0f;
  EXPECT_EQ(plugin->process32(in.p(), out.p(), 0), kResultOk);
  EXPECT_EQ(out.data[0][0], 42.0f);  // nothing written for zero frames

  AudioBusBuffers inBus{}, outBus{};  // buses present, with no channels and no buffers
  ProcessData data;
  data.symbolicSampleSize = kSample32;
  data.numSamples = 64;
  data.numInputs = data.numOutputs = 1;
  data.inputs = &inBus;
  data.outputs = &outBus;
  EXPECT_EQ(plugin->processRaw(data), kResultOk);
  data.symbolicSampleSize = kSample64;
  EXPECT_EQ(plugin->processRaw(data), kResultOk);

  // Outputs only, as a host may send for a bus it treats as a generator.
  data.numInputs = 0;
  data.inputs = nullptr;
  auto o = Planar<float>(2, 64);
  outBus.numChannels = 2;
  outBus.channelBuffers32 = o.ptrs.data();
  data.symbolicSampleSize = kSample32;
  EXPECT_EQ(plugin->processRaw(data), kResultOk);
  EXPECT_TRUE(allNormal(o));
}

TEST_F(BundleConformance, BlockLargerThanAnnounced) {
  ASSERT_EQ(plugin->prepare(48000, 64, 2, SampleSize::k32), kResultOk);
  auto in = testSignal<float>(2, 1000);
  Planar<float> out(2, 1000);
  for (auto& c : out.data) std::fill(c.begin(), c.end(), 0.0f);
  Steinberg::tresult r = plugin->process32(in.p(), out.p(), 1000);
  EXPECT_TRUE(r == kResultOk || r == kResultFalse);
  EXPECT_TRUE(allNormal(out));
  auto again = run(*plugin, in, 64);  // and it carries on normally
  EXPECT_TRUE(allNormal(again));

  ASSERT_EQ(plugin->setupProcessing(48000, 64, SampleSize::k64), kResultOk);
  auto in64 = testSignal<double>(2, 1000);
  Planar<double> out64(2, 1000);
  r = plugin->process64(in64.p(), out64.p(), 1000);
  EXPECT_TRUE(r == kResultOk || r == kResultFalse);
  EXPECT_TRUE(allNormal(out64));
}

TEST_F(BundleConformance, ProcessBeforeSetup) {
  ASSERT_EQ(plugin->setChannels(2, 2), kResultOk);
  auto in = testSignal<float>(2, 256);
  Planar<float> out(2, 256);
  Steinberg::tresult r = plugin->process32(in.p(), out.p(), 256);
  EXPECT_TRUE(r == kResultOk || r == kResultFalse);
  EXPECT_TRUE(allNormal(out));
  auto in64 = testSignal<double>(2, 256);
  Planar<double> out64(2, 256);
  r = plugin->process64(in64.p(), out64.p(), 256);
  EXPECT_TRUE(r == kResultOk || r == kResultFalse);
  EXPECT_TRUE(allNormal(out64));
}

TEST_F(BundleConformance, RandomBlockSizes) {
  constexpr int kMax = 512;
  ASSERT_EQ(plugin->prepare(48000, kMax, 2, SampleSize::k32), kResultOk);
  std::mt19937 rng(99);
  auto in = testSignal<float>(2, kMax);
  Planar<float> out(2, kMax);
  for (int i = 0; i < 300; ++i) {
    int n = static_cast<int>(rng() % (kMax + 1));
    if (i % 7 == 0)
      plugin->queueChange(static_cast<host::ParamID>(rng() % kParamCount), (rng() % 1001) / 1000.0,
                          n ? int(rng() % n) : 0);
    ASSERT_EQ(plugin->process32(in.p(), out.p(), n), kResultOk);
    ASSERT_TRUE(allNormal(out)) << "block " << i << " of " << n;
  }
}

TEST_F(BundleConformance, SampleRates) {
  for (double rate : {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0, 384000.0,
                      1234.5678, 8000.0}) {
    SCOPED_TRACE(rate);
    for (bool sixteen : {false, true}) {
      ASSERT_EQ(plugin->setupProcessing(rate, 256, SampleSize::k64), kResultOk);
      ASSERT_EQ(plugin->setActive(true), kResultOk);
      // Every stage engaged, at its most demanding setting.
      for (host::ParamID id = 1; id < kBypassSwitch; ++id) plugin->queueChange(id, 1.0);
      plugin->queueChange(kOversampling, sixteen ? 1.0 : 0.0);
      auto in = testSignal<double>(2, 4096, rate);
      auto out = run(*plugin, in, 256);
      EXPECT_TRUE(allNormal(out));
      ASSERT_EQ(plugin->setActive(false), kResultOk);
    }
  }
}

TEST_F(BundleConformance, SilenceAfterSoundStaysClean) {
  // Filter tails must not decay into subnormal numbers, in either sample size.
  for (SampleSize size : {SampleSize::k32, SampleSize::k64}) {
    auto p = makePlugin();
    ASSERT_TRUE(p);
    ASSERT_EQ(p->prepare(44100, 1024, 2, size), kResultOk);
    p->queueChange(kLowBoost, 1.0);
    p->queueChange(kMidBoost, 1.0);
    p->queueChange(kLowCut, 0.2);
    auto burst = testSignal<double>(2, 1024);
    Planar<double> silence(2, 1024);
    if (size == SampleSize::k64) {
      run(*p, burst, 1024);
      for (int i = 0; i < 300; ++i) ASSERT_TRUE(allNormal(run(*p, silence, 1024))) << i;
    } else {
      auto b32 = testSignal<float>(2, 1024);
      Planar<float> s32(2, 1024);
      run(*p, b32, 1024);
      for (int i = 0; i < 300; ++i) ASSERT_TRUE(allNormal(run(*p, s32, 1024))) << i;
    }
  }
}

TEST_F(BundleConformance, ProcessingOnAnotherThread) {
  ASSERT_EQ(plugin->prepare(48000, 256, 2, SampleSize::k32), kResultOk);
  auto in = testSignal<float>(2, 4096);
  Planar<float> fromMain = run(*plugin, in, 256);
  auto other = makePlugin();
  ASSERT_TRUE(other);
  ASSERT_EQ(other->prepare(48000, 256, 2, SampleSize::k32), kResultOk);
  Planar<float> fromThread(2, 1);
  std::thread audio([&] { fromThread = run(*other, in, 256); });
  audio.join();
  ASSERT_EQ(fromThread.data[0].size(), fromMain.data[0].size());
  EXPECT_EQ(fromThread.data, fromMain.data);
}

}  // namespace
}  // namespace brimo::test
