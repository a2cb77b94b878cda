// The processing call: parameter queues, bypass, presets, 32- and 64-bit audio, odd host calls.
#include "SubnormalProbe.h"
#include "TestHost.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

using namespace testhost;

namespace {

constexpr ParamID kPreset = IPlugVST3::kPresetParamId;
constexpr ParamID kBypass = IPlugVST3::kBypassParamId;

template <typename Sample>
std::vector<std::vector<Sample>> Ramp(int32 frames, int channels = 2,
                                      Sample scale = Sample(0.001)) {
  std::vector<std::vector<Sample>> v(size_t(channels),
                                     std::vector<Sample>(size_t(frames), Sample(0)));
  for (int c = 0; c < channels; ++c)
    for (int32 t = 0; t < frames; ++t)
      v[size_t(c)][size_t(t)] = Sample(t + 1) * scale * Sample(c + 1);
  return v;
}

template <typename Sample>
std::vector<std::vector<Sample>> Filled(int32 frames, Sample value, int channels = 2) {
  return std::vector<std::vector<Sample>>(size_t(channels),
                                          std::vector<Sample>(size_t(frames), value));
}

class Processing : public ::testing::Test {
protected:
  void SetUp() override {
    plug = new StandInPlug();
    ASSERT_EQ(plug->initialize(&host), kResultOk);
    // Buses start inactive, as in the SDK; hosts activate the ones they use.
    ASSERT_EQ(plug->activateBus(kAudio, kInput, 0, true), kResultTrue);
    ASSERT_EQ(plug->activateBus(kAudio, kOutput, 0, true), kResultTrue);
  }
  void TearDown() override {
    plug->terminate();
    plug->release();
  }
  void Prepare(int32 maxBlock, double rate = 48000.0) {
    auto setup = MakeSetup(rate, maxBlock);
    ASSERT_EQ(plug->setupProcessing(setup), kResultOk);
    ASSERT_EQ(plug->setActive(true), kResultOk);
  }

  HostApp host{"Test"};
  StandInPlug* plug = nullptr;
};

}  // namespace

TEST_F(Processing, AppliesTheLastPointOfEachQueueBeforeTheBlock) {
  Prepare(64);
  auto in = Ramp<float>(64), out = Filled<float>(64, 9.0f);
  Changes changes;
  changes.add(0, {0.0, 1.0, 5.0 / 6.0});  // last point: +10 dB
  changes.add(1, {0.56});
  changes.add(99, {1.0});  // unknown id: ignored
  plug->changed.clear();
  ASSERT_EQ(Process<float>(plug, in, out, 64, &changes), kResultOk);
  EXPECT_NEAR(plug->GetParam(0)->Value(), 10.0, 1e-9);
  EXPECT_DOUBLE_EQ(plug->GetParam(1)->Value(), 4.0);
  EXPECT_EQ(plug->changed, (std::vector<int32_t>{0, 1}));
  const double gain = std::pow(10.0, plug->GetParam(0)->Value() / 20.0);
  for (int c = 0; c < 2; ++c)
    for (int t = 0; t < 64; ++t)
      ASSERT_EQ(out[size_t(c)][size_t(t)], float(double(in[size_t(c)][size_t(t)]) * gain));

  // A queue whose last point cannot be read is skipped.
  Changes broken;
  broken.add(0, {0.5});
  broken.queues[0].failReads = true;
  ASSERT_EQ(Process<float>(plug, in, out, 64, &broken), kResultOk);
  EXPECT_NEAR(plug->GetParam(0)->Value(), 10.0, 1e-9);
}

TEST_F(Processing, BypassAndPresetParameters) {
  Prepare(32);
  auto in = Ramp<double>(32), out = Filled<double>(32, 0.0);
  Changes half;
  half.add(kBypass, {1.0, 0.5});
  Process<double>(plug, in, out, 32, &half);
  EXPECT_FALSE(plug->IsBypassed());  // strictly above one half

  Changes on;
  on.add(0, {1.0}).add(kBypass, {0.75});
  Process<double>(plug, in, out, 32, &on);
  EXPECT_TRUE(plug->IsBypassed());
  EXPECT_DOUBLE_EQ(plug->getParamNormalized(kBypass), 1.0);
  EXPECT_EQ(out, in);  // passed through, gain not applied

  // Bypassed 32-bit processing passes the inputs through as well.
  auto in32 = Ramp<float>(32), out32 = Filled<float>(32, 5.0f);
  Process<float>(plug, in32, out32, 32);
  EXPECT_EQ(out32, in32);

  // Preset: 1.0 names no preset; anything below restores preset 0 (the defaults).
  Changes all;
  all.add(kPreset, {1.0});
  Process<double>(plug, in, out, 32, &all);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 15.0);
  Changes first;
  first.add(kPreset, {0.99});
  Process<double>(plug, in, out, 32, &first);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 0.0);

  // Bypass belongs to the host: a new processing set-up keeps it.
  Changes bypassOn;
  bypassOn.add(kBypass, {1.0});
  Process<double>(plug, in, out, 32, &bypassOn);
  auto setup = MakeSetup(44100.0, 32);
  plug->setupProcessing(setup);
  EXPECT_TRUE(plug->IsBypassed());
}

// The module runs blocks through the same block driver as the test adaptor (whose tests check
// the same): subnormals flush to zero inside ProcessBlock, and not after the call.
TEST_F(Processing, SubnormalsFlushToZeroInsideTheBlockOnly) {
  struct Probe : StandInPlug {
    void ProcessBlock(double**, double**, int32_t) override { flushed = SubnormalsFlushed(); }
    bool flushed = false;
  };
  auto* probe = new Probe();
  ASSERT_EQ(probe->initialize(&host), kResultOk);
  auto setup = MakeSetup(48000.0, 16);
  ASSERT_EQ(probe->setupProcessing(setup), kResultOk);
  auto in = Ramp<float>(16), out = Filled<float>(16, 0.0f);
  ASSERT_EQ(Process<float>(probe, in, out, 16), kResultOk);
  EXPECT_TRUE(probe->flushed);
  EXPECT_FALSE(SubnormalsFlushed());
  probe->terminate();
  probe->release();
}

TEST_F(Processing, LongBlocksAreProcessedInPiecesThatFit) {
  Prepare(16);
  Changes gain;
  gain.add(0, {0.0});  // -15 dB
  const int32 frames = 1000;
  auto in = Ramp<float>(frames), out = Filled<float>(frames, 0.0f);
  ASSERT_EQ(Process<float>(plug, in, out, frames, &gain), kResultOk);
  EXPECT_LE(plug->maxFrames, 16);
  const double g = std::pow(10.0, -15.0 / 20.0);
  for (int c = 0; c < 2; ++c)
    for (int32 t = 0; t < frames; ++t)
      ASSERT_EQ(out[size_t(c)][size_t(t)], float(double(in[size_t(c)][size_t(t)]) * g)) << t;

  auto in64 = Ramp<double>(frames), out64 = Filled<double>(frames, 0.0);
  ASSERT_EQ(Process<double>(plug, in64, out64, frames), kResultOk);
  for (int32 t = 0; t < frames; ++t) ASSERT_EQ(out64[1][size_t(t)], in64[1][size_t(t)] * g) << t;
}

TEST_F(Processing, OddHostCallsAreHarmless) {
  auto in = Ramp<float>(64), out = Filled<float>(64, 7.0f);
  // Before any set-up: accepted, and the host hears silence.
  ASSERT_EQ(Process<float>(plug, in, out, 64), kResultOk);
  EXPECT_EQ(out, Filled<float>(64, 0.0f));
  EXPECT_EQ(plug->blocks, 0);

  Prepare(64);
  // Parameter flush: no buses, no frames.
  Changes changes;
  changes.add(1, {1.0});
  ProcessData flush{};
  flush.symbolicSampleSize = kSample32;
  flush.inputParameterChanges = &changes;
  ASSERT_EQ(plug->process(flush), kResultOk);
  EXPECT_DOUBLE_EQ(plug->GetParam(1)->Value(), 8.0);

  // Frames but no buses at all: processed into scratch, nothing touched outside.
  ProcessData noBuses{};
  noBuses.symbolicSampleSize = kSample64;
  noBuses.numSamples = 64;
  ASSERT_EQ(plug->process(noBuses), kResultOk);

  // Buses with zero channels, or with no buffer arrays.
  AudioBusBuffers zero{};
  ProcessData empty{};
  empty.symbolicSampleSize = kSample32;
  empty.numSamples = 64;
  empty.numInputs = 1;
  empty.numOutputs = 1;
  empty.inputs = &zero;
  empty.outputs = &zero;
  ASSERT_EQ(plug->process(empty), kResultOk);
  AudioBusBuffers twoNull{};
  twoNull.numChannels = 2;
  empty.inputs = &twoNull;
  empty.outputs = &twoNull;
  ASSERT_EQ(plug->process(empty), kResultOk);

  // Negative frame counts and unknown sample sizes do nothing.
  ProcessData negative{};
  negative.symbolicSampleSize = kSample32;
  negative.numSamples = -5;
  ASSERT_EQ(plug->process(negative), kResultOk);
  negative.symbolicSampleSize = 9;
  negative.numSamples = 64;
  ASSERT_EQ(plug->process(negative), kResultOk);

  // Still processes normally afterwards.
  ASSERT_EQ(Process<float>(plug, in, out, 64), kResultOk);
  EXPECT_EQ(out[0][10], in[0][10]);
}

TEST_F(Processing, ChannelsFollowTheBusesOfEachCall) {
  Prepare(32);
  // A mono input bus: the second input channel is parked on zeros.
  auto mono = Ramp<double>(32, 1), out = Filled<double>(32, 3.0);
  ASSERT_EQ(Process<double>(plug, mono, out, 32), kResultOk);
  EXPECT_EQ(out[0], mono[0]);
  EXPECT_EQ(out[1], std::vector<double>(32, 0.0));
  EXPECT_FALSE(plug->IsInputConnected(1));

  // An inactive output bus: processed into scratch, host buffers untouched.
  auto in = Ramp<double>(32);
  out = Filled<double>(32, 3.0);
  ASSERT_EQ(plug->activateBus(kAudio, kOutput, 0, false), kResultTrue);
  ASSERT_EQ(Process<double>(plug, in, out, 32), kResultOk);
  EXPECT_EQ(out, Filled<double>(32, 3.0));
  EXPECT_EQ(plug->blocks, 2);
  ASSERT_EQ(plug->activateBus(kAudio, kOutput, 0, true), kResultTrue);
  ASSERT_EQ(Process<double>(plug, in, out, 32), kResultOk);
  EXPECT_EQ(out, in);

  // Mono buses chosen after activation stay active.
  SpeakerArrangement monoArr = SpeakerArr::kMono;
  ASSERT_EQ(plug->setBusArrangements(&monoArr, 1, &monoArr, 1), kResultOk);
  auto in1 = Ramp<double>(32, 1), out1 = Filled<double>(32, 3.0, 1);
  ASSERT_EQ(Process<double>(plug, in1, out1, 32), kResultOk);
  EXPECT_EQ(out1, in1);
}

TEST_F(Processing, FiniteOutputAtAnyRateAndBlockSizeOnAnyThread) {
  const double rates[] = {22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0, 1234.5678};
  std::mt19937 random(1234);
  for (double rate : rates) {
    auto setup = MakeSetup(rate, 512);
    ASSERT_EQ(plug->setupProcessing(setup), kResultOk);
    // Processing runs on a thread other than the one that set it up.
    std::thread audio([&] {
      for (int block = 0; block < 40; ++block) {
        const int32 frames = int32(random() % 513);
        auto in = Ramp<float>(std::max(frames, 1), 2, 1e-3f);
        in[0][0] = 1e-40f;  // a subnormal input sample
        auto out = Filled<float>(std::max(frames, 1), 0.0f);
        Changes changes;
        changes.add(0, {double(random() % 1000) / 999.0});
        ASSERT_EQ(Process<float>(plug, in, out, frames, &changes), kResultOk);
        for (auto& channel : out)
          for (float s : channel)
            ASSERT_TRUE(std::isfinite(s) && (s == 0.0f || std::isnormal(s))) << rate;
      }
    });
    audio.join();
  }
}

// Processing on one thread while another saves and restores state and sets parameters: every
// call answers, nothing tears, and the last restore is what stays.
TEST_F(Processing, ConcurrentStateAndParameterChangesDuringProcessing) {
  Prepare(128);
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    auto in = Ramp<double>(128), out = Filled<double>(128, 0.0);
    while (!stop.load()) {
      Changes changes;
      changes.add(1, {double(blocks.load() % 9) / 8.0});
      if (Process<double>(plug, in, out, 128, &changes) != kResultOk) break;
      for (double s : out[0])
        if (!std::isfinite(s)) return;
      blocks.fetch_add(1);
    }
  });
  const auto reference = StateBytes({4.5, 2.0, 1.0}, 0);
  while (blocks.load() == 0) std::this_thread::yield();
  for (int i = 0; i < 300 || blocks.load() < 100; ++i) {
    ByteStream saved;
    ASSERT_EQ(plug->getState(&saved), kResultOk);
    ASSERT_EQ(saved.bytes.size(), 28u);
    double first;
    std::memcpy(&first, saved.bytes.data(), 8);
    ASSERT_GE(first, -15.0);
    ASSERT_LE(first, 15.0);
    ByteStream restore(reference);
    ASSERT_EQ(plug->setState(&restore), kResultOk);
    ASSERT_EQ(plug->setParamNormalized(0, (i % 10) / 10.0), kResultOk);
    plug->getParamNormalized(0);
  }
  ByteStream last(reference);
  ASSERT_EQ(plug->setState(&last), kResultOk);
  stop = true;
  audio.join();
  EXPECT_GT(blocks.load(), 0);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 4.5);
  EXPECT_DOUBLE_EQ(plug->GetParam(2)->Value(), 1.0);
}

namespace {

// A plug-in with a stereo sidechain: "2-2 4-2", output channel c = main c + sidechain c.
class SidechainPlug : public IPlugVST3 {
public:
  SidechainPlug()
      : IPlugVST3(1, "2-2 4-2", 1, "Sidechain", "", "KwillowAudioLab", 0x20000, FourCC("Scp1"),
                  FourCC("Kwil"), false, false) {
    SetSidechainChannels(2);
    MakeDefaultPreset("-");
  }
  void ProcessBlock(double** inputs, double** outputs, int32_t frames) override {
    for (int32_t c = 0; c < 2; ++c)
      for (int32_t t = 0; t < frames; ++t) outputs[c][t] = inputs[c][t] + inputs[2 + c][t];
  }
};

}  // namespace

TEST(Sidechain, ArrangementsCountEveryInputAndMissingMainChannelsReadSilence) {
  HostApp host{"Test"};
  auto* plug = new SidechainPlug();
  ASSERT_EQ(plug->initialize(&host), kResultOk);
  ASSERT_EQ(plug->getBusCount(kAudio, kInput), 2);
  SpeakerArrangement stereo = SpeakerArr::kStereo, mono = SpeakerArr::kMono;
  SpeakerArrangement ins[2] = {stereo, stereo};
  SpeakerArrangement monoAux[2] = {stereo, mono};
  EXPECT_EQ(plug->setBusArrangements(monoAux, 2, &stereo, 1), kResultFalse);  // 3-2 is not legal
  EXPECT_EQ(plug->setBusArrangements(ins, 2, &mono, 1), kResultFalse);
  EXPECT_EQ(plug->setBusArrangements(ins, 1, &stereo, 1), kResultFalse);
  ASSERT_EQ(plug->setBusArrangements(ins, 2, &stereo, 1), kResultOk);
  ASSERT_EQ(plug->activateBus(kAudio, kInput, 1, true), kResultTrue);
  auto setup = MakeSetup(48000.0, 8, kSample64);
  ASSERT_EQ(plug->setupProcessing(setup), kResultOk);

  std::vector<double> aux0(8, 0.5), aux1(8, 0.25), out0(8), out1(8);
  double* auxPtrs[2] = {aux0.data(), aux1.data()};
  double* outPtrs[2] = {out0.data(), out1.data()};
  auto run = [&](std::vector<std::vector<double>>& main) {
    std::vector<double*> mainPtrs;
    for (auto& m : main) mainPtrs.push_back(m.data());
    AudioBusBuffers inBuses[2]{}, outBus{};
    inBuses[0].numChannels = int32(main.size());
    inBuses[0].channelBuffers64 = mainPtrs.data();
    inBuses[1].numChannels = 2;
    inBuses[1].channelBuffers64 = auxPtrs;
    outBus.numChannels = 2;
    outBus.channelBuffers64 = outPtrs;
    ProcessData data{};
    data.symbolicSampleSize = kSample64;
    data.numSamples = 8;
    data.numInputs = 2;
    data.numOutputs = 1;
    data.inputs = inBuses;
    data.outputs = &outBus;
    return plug->process(data);
  };
  {
    // A full main bus first, whose buffers are gone before the next call.
    std::vector<std::vector<double>> both(2, std::vector<double>(8, 1.0));
    ASSERT_EQ(run(both), kResultOk);
    EXPECT_EQ(out1, std::vector<double>(8, 1.25));
  }
  std::vector<std::vector<double>> left(1, std::vector<double>(8, 2.0));
  ASSERT_EQ(run(left), kResultOk);
  EXPECT_EQ(out0, std::vector<double>(8, 2.5));
  EXPECT_EQ(out1, std::vector<double>(8, 0.25));  // the missing right channel is silence
  plug->terminate();
  plug->release();
}
