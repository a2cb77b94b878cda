// Buses, processing set-up and audio through the processor interface.
#include "BundleFixture.h"

namespace brimo::test {
namespace {

using namespace Steinberg::Vst;
namespace SA = SpeakerArr;

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kFrames = 4096;

std::unique_ptr<Plugin> prepared(SampleSize size = SampleSize::k32, int channels = 2) {
  auto p = makePlugin();
  if (p) {
    EXPECT_EQ(p->prepare(kRate, kBlock, channels, size), kResultOk);
  }
  return p;
}

template <typename T>
double maxAbsDiff(const Planar<T>& a, const Planar<T>& b, double scaleB = 1.0) {
  double worst = 0.0;
  for (size_t c = 0; c < a.data.size(); ++c)
    for (size_t i = 0; i < a.data[c].size(); ++i)
      worst = std::max(worst, std::abs(double(a.data[c][i]) - scaleB * double(b.data[c][i])));
  return worst;
}

TEST(BundleBuses, InitialLayout) {
  auto p = makePlugin();
  ASSERT_TRUE(p);
  ASSERT_EQ(p->busCount(kAudio, kInput), 1);
  ASSERT_EQ(p->busCount(kAudio, kOutput), 1);
  EXPECT_EQ(p->busCount(kEvent, kInput), 0);
  auto in = p->busInfo(kAudio, kInput, 0);
  auto out = p->busInfo(kAudio, kOutput, 0);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(host::narrow(in->name), "Main Input");
  EXPECT_EQ(host::narrow(out->name), "Output");
  EXPECT_EQ(in->channelCount, 2);
  EXPECT_EQ(in->busType, kMain);
  EXPECT_TRUE(in->flags & BusInfo::kDefaultActive);
  EXPECT_EQ(p->busArrangement(kInput, 0), SA::kStereo);
  EXPECT_EQ(p->busArrangement(kOutput, 0), SA::kStereo);
  EXPECT_EQ(p->processor()->canProcessSampleSize(kSample32), kResultOk);
  EXPECT_EQ(p->processor()->canProcessSampleSize(kSample64), kResultOk);
  EXPECT_EQ(p->processor()->canProcessSampleSize(7), kResultFalse);
  EXPECT_EQ(p->processor()->getLatencySamples(), 0u);
  EXPECT_EQ(p->processor()->getTailSamples(), 0u);
}

TEST(BundleBuses, Arrangements) {
  auto p = makePlugin();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->setBusArrangements({SA::kStereo}, {SA::kStereo}), kResultOk);
  EXPECT_EQ(p->setBusArrangements({SA::kMono}, {SA::kStereo}), kResultFalse);
  EXPECT_EQ(p->setBusArrangements({SA::kStereo}, {SA::kMono}), kResultFalse);
  EXPECT_EQ(p->setBusArrangements({SA::k51}, {SA::k51}), kResultFalse);
  EXPECT_EQ(p->setBusArrangements({SA::kStereo, SA::kStereo}, {SA::kStereo}), kResultFalse);
  EXPECT_EQ(p->setBusArrangements({}, {SA::kStereo}), kResultFalse);
  EXPECT_EQ(p->setBusArrangements({SA::kStereo}, {}), kResultFalse);
  EXPECT_EQ(p->busArrangement(kInput, 0), SA::kStereo);  // refused offers change nothing

  ASSERT_EQ(p->setBusArrangements({SA::kMono}, {SA::kMono}), kResultOk);
  EXPECT_EQ(p->busArrangement(kInput, 0), SA::kMono);
  EXPECT_EQ(p->busArrangement(kOutput, 0), SA::kMono);
  EXPECT_EQ(host::narrow(p->busInfo(kAudio, kInput, 0)->name), "Input");
  EXPECT_EQ(host::narrow(p->busInfo(kAudio, kOutput, 0)->name), "Output");
  ASSERT_EQ(p->setBusArrangements({SA::kStereo}, {SA::kStereo}), kResultOk);
  EXPECT_EQ(p->busArrangement(kInput, 0), SA::kStereo);
  EXPECT_EQ(p->busCount(kAudio, kInput), 1);
}

TEST(BundleSetup, SampleSizes) {
  auto p = makePlugin();
  ASSERT_TRUE(p);
  ProcessSetup bad{kRealtime, 3, kBlock, kRate};
  EXPECT_EQ(p->processor()->setupProcessing(bad), kResultFalse);
  EXPECT_EQ(p->setupProcessing(kRate, kBlock, SampleSize::k64), kResultOk);
  EXPECT_EQ(p->setupProcessing(kRate, kBlock, SampleSize::k32, kOffline), kResultOk);
  EXPECT_EQ(p->setActive(true), kResultOk);
  EXPECT_EQ(p->setActive(false), kResultOk);
}

TEST(BundleProcessing, DefaultsAreNearlyFlat) {
  auto p = prepared();
  ASSERT_TRUE(p);
  auto in = testSignal<float>(2, kFrames);
  auto out = run(*p, in, kBlock);
  EXPECT_TRUE(allNormal(out));
  // The default chain passes about 0.99908 of the input plus a faint colouration.
  double err = 0, ref = 0;
  for (int c = 0; c < 2; ++c)
    for (int i = kFrames / 2; i < kFrames; ++i) {
      err += std::pow(out.data[c][i] - 0.99908 * in.data[c][i], 2);
      ref += std::pow(in.data[c][i], 2);
    }
  EXPECT_LT(std::sqrt(err / ref), 0.01);
}

TEST(BundleProcessing, SixtyFourBitsMatchThirtyTwo) {
  auto p32 = prepared(SampleSize::k32);
  auto p64 = prepared(SampleSize::k64);
  ASSERT_TRUE(p32 && p64);
  for (auto* p : {p32.get(), p64.get()}) {
    p->queueChange(kOutput, 0.7);
    p->queueChange(kMidCut, 0.4);
    p->queueChange(kHighBoost, 0.5);
    p->queueChange(kOversampling, 1.0);
  }
  auto in32 = testSignal<float>(2, kFrames);
  auto in64 = testSignal<double>(2, kFrames);
  auto out32 = run(*p32, in32, kBlock);
  auto out64 = run(*p64, in64, kBlock);
  // Processing is in double precision either way; 32-bit output is the narrowed result.
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < kFrames; ++i)
      ASSERT_EQ(out32.data[c][i], static_cast<float>(out64.data[c][i])) << c << " " << i;
}

TEST(BundleProcessing, AutomationTakesTheLastPointOfEachQueue) {
  auto ref = prepared(SampleSize::k64);
  auto up = prepared(SampleSize::k64);
  auto back = prepared(SampleSize::k64);
  ASSERT_TRUE(ref && up && back);
  up->queueChange(kOutput, 0.5, 0);
  up->queueChange(kOutput, 1.0, 100);  // ends at +15 dB
  back->queueChange(kOutput, 1.0, 0);
  back->queueChange(kOutput, 0.5, 100);  // ends at 0 dB
  auto in = testSignal<double>(2, kFrames);
  auto r = run(*ref, in, kBlock);
  auto u = run(*up, in, kBlock);
  auto b = run(*back, in, kBlock);
  EXPECT_EQ(maxAbsDiff(b, r), 0.0);
  // The output trim is the last stage, so +15 dB scales the whole block from sample 0.
  EXPECT_LT(maxAbsDiff(u, r, std::pow(10.0, 0.75)), 1e-12);
  EXPECT_DOUBLE_EQ(up->controllerNormalized(kOutput), 1.0);
}

TEST(BundleProcessing, HostBypassAboveOneHalf) {
  auto p = prepared(SampleSize::k32);
  ASSERT_TRUE(p);
  p->queueChange(kOutput, 1.0);
  auto in = testSignal<float>(2, kBlock);
  auto dry = [&] {
    auto out = run(*p, in, kBlock);
    return maxAbsDiff(out, in) == 0.0;
  };
  p->queueChange(kBypassId, 0.5);
  EXPECT_FALSE(dry());
  EXPECT_DOUBLE_EQ(p->controllerNormalized(kBypassId), 0.0);
  p->queueChange(kBypassId, 0.75);
  EXPECT_TRUE(dry());  // exactly the input, in 32-bit processing too
  EXPECT_DOUBLE_EQ(p->controllerNormalized(kBypassId), 1.0);
  EXPECT_TRUE(dry());  // stays bypassed without further points
  p->queueChange(kBypassId, 0.0);
  EXPECT_FALSE(dry());
}

TEST(BundleProcessing, BypassSwitchPassesTheInputExactly) {
  auto p = prepared(SampleSize::k64);
  ASSERT_TRUE(p);
  p->queueChange(kBypassSwitch, 1.0);
  p->queueChange(kHighBoost, 1.0);
  auto in = testSignal<double>(2, kFrames);
  auto out = run(*p, in, kBlock);
  EXPECT_EQ(maxAbsDiff(out, in), 0.0);
}

TEST(BundleProcessing, PresetParameterRestoresDefaults) {
  auto p = prepared(SampleSize::k64);
  ASSERT_TRUE(p);
  Planar<double> in = testSignal<double>(2, kBlock);
  p->queueChange(kOutput, 1.0);
  p->queueChange(kLowCut, 1.0);
  run(*p, in, kBlock);
  p->queueChange(kPresetId, 1.0);  // names a preset past the end: nothing happens
  run(*p, in, kBlock);
  EXPECT_DOUBLE_EQ(p->controllerNormalized(kOutput), 1.0);
  p->queueChange(kPresetId, 0.99);  // preset 0, the defaults
  run(*p, in, kBlock);
  EXPECT_DOUBLE_EQ(p->controllerNormalized(kOutput), 0.5);
  EXPECT_DOUBLE_EQ(p->controllerNormalized(kLowCut), 0.0);
}

TEST(BundleProcessing, MonoLayout) {
  auto p = prepared(SampleSize::k32, 1);
  auto ref = prepared(SampleSize::k32, 2);
  ASSERT_TRUE(p && ref);
  auto mono = testSignal<float>(1, kFrames);
  Planar<float> stereo(2, kFrames);
  stereo.data[0] = mono.data[0];  // the second channel stays silent, as a parked one
  auto out = run(*p, mono, kBlock);
  auto outRef = run(*ref, stereo, kBlock);
  EXPECT_TRUE(allNormal(out));
  for (int i = 0; i < kFrames; ++i) ASSERT_EQ(out.data[0][i], outRef.data[0][i]) << i;
}

// Hosts do not always send what was negotiated: a one-channel input bus to a stereo layout, or
// an output bus they switched off. The plug-in must neither read nor write past what it is given.
TEST(BundleProcessing, FewerChannelsThanNegotiatedAndInactiveOutput) {
  auto p = prepared(SampleSize::k32, 2);
  auto ref = prepared(SampleSize::k32, 2);
  ASSERT_TRUE(p && ref);
  auto in = testSignal<float>(1, kBlock);
  Planar<float> out(2, kBlock);
  AudioBusBuffers inBus{}, outBus{};
  inBus.numChannels = 1;
  inBus.channelBuffers32 = in.ptrs.data();
  outBus.numChannels = 2;
  outBus.channelBuffers32 = out.ptrs.data();
  ProcessData data;
  data.symbolicSampleSize = kSample32;
  data.numSamples = kBlock;
  data.numInputs = data.numOutputs = 1;
  data.inputs = &inBus;
  data.outputs = &outBus;
  ASSERT_EQ(p->processRaw(data), kResultOk);
  EXPECT_TRUE(allNormal(out));
  // The missing right input is silence: the left output matches a stereo run whose right
  // channel is silent.
  Planar<float> stereo(2, kBlock);
  stereo.data[0] = in.data[0];
  auto expected = run(*ref, stereo, kBlock);
  EXPECT_EQ(out.data[0], expected.data[0]);

  // Output bus switched off: the host's buffers stay as they are.
  ASSERT_EQ(p->component()->activateBus(kAudio, kOutput, 0, false), kResultOk);
  for (auto& c : out.data) std::fill(c.begin(), c.end(), 3.0f);
  ASSERT_EQ(p->processRaw(data), kResultOk);
  for (auto& c : out.data)
    for (float v : c) ASSERT_EQ(v, 3.0f);
}

TEST(BundleProcessing, HostIdentityDoesNotChangeTheSound) {
  // The host code is recorded for the plug-in class but not reported through any VST3
  // interface; its table is tested with the framework. Here: every kind of host context
  // initialises, and the audio does not depend on it.
  host::HostOptions reaper;
  reaper.hostName = "REAPER";
  host::HostOptions anonymous;
  anonymous.offerHostApplication = false;
  auto a = makePlugin(reaper);
  auto b = makePlugin(anonymous);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->componentInitializeResult(), kResultOk);
  EXPECT_EQ(b->componentInitializeResult(), kResultOk);
  ASSERT_EQ(a->prepare(kRate, kBlock, 2, SampleSize::k64), kResultOk);
  ASSERT_EQ(b->prepare(kRate, kBlock, 2, SampleSize::k64), kResultOk);
  auto in = testSignal<double>(2, kFrames);
  EXPECT_EQ(maxAbsDiff(run(*a, in, kBlock), run(*b, in, kBlock)), 0.0);
}

}  // namespace
}  // namespace brimo::test
