#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "SubnormalProbe.h"
#include "TestPlug.h"

namespace {

using Calls = std::vector<PlugAdaptor::HostCall>;

TEST(PlugBase, ChannelSpecificationAndLegalIO) {
  TestPlug plug(1, "1-1 2-2");
  EXPECT_EQ(plug.InputChannelCount(), 2);
  EXPECT_EQ(plug.OutputChannelCount(), 2);
  ASSERT_EQ(plug.NLegalIO(), 2);
  EXPECT_EQ(plug.GetLegalIO(0).inputs, 1);
  EXPECT_EQ(plug.GetLegalIO(1).outputs, 2);
  EXPECT_TRUE(plug.LegalIO(2, 2));
  EXPECT_TRUE(plug.LegalIO(1, -1));
  EXPECT_TRUE(plug.LegalIO(-1, -1));
  EXPECT_FALSE(plug.LegalIO(1, 2));
  EXPECT_FALSE(plug.LegalIO(0, 0));

  TestPlug odd(1, "x-y 3- 0-4");  // malformed tokens read missing numbers as 0
  ASSERT_EQ(odd.NLegalIO(), 3);
  EXPECT_TRUE(odd.LegalIO(0, 0));
  EXPECT_TRUE(odd.LegalIO(3, 0));
  EXPECT_EQ(odd.InputChannelCount(), 3);
  EXPECT_EQ(odd.OutputChannelCount(), 4);

  // A count no bus carries is malformed too, rather than a request for that many buffers.
  TestPlug huge(1, "2-2 2000000000-2 4-300");
  ASSERT_EQ(huge.NLegalIO(), 3);
  EXPECT_TRUE(huge.LegalIO(0, 0));
  EXPECT_FALSE(huge.LegalIO(2000000000, 2));
  EXPECT_EQ(huge.InputChannelCount(), 2);
  EXPECT_EQ(huge.OutputChannelCount(), 2);

  TestPlug none(1, nullptr);
  EXPECT_EQ(none.NLegalIO(), 0);
  EXPECT_EQ(none.InputChannelCount(), 0);
  EXPECT_EQ(none.InputPointers(), nullptr);
}

TEST(PlugBase, AdaptorConnectsChannelsAndCreatesTheDelayOnlyWithInputs) {
  TestPlug plug;
  EXPECT_TRUE(plug.IsInputConnected(0) && plug.IsInputConnected(1) && plug.IsOutputConnected(1));
  EXPECT_FALSE(plug.IsOutputConnected(2));
  EXPECT_TRUE(plug.HasLatencyDelay());
  EXPECT_EQ(plug.GetApiCode(), 1);
  EXPECT_EQ(plug.GetHostCode(), -1);
  EXPECT_EQ(plug.GetParam(13), nullptr);
  EXPECT_EQ(plug.GetParam(-1), nullptr);

  TestPlug instrument(1, "0-2");
  EXPECT_FALSE(instrument.HasLatencyDelay());
}

// The test adaptor runs blocks through the shipped block driver: subnormals flush to zero inside
// ProcessBlock exactly as in the module (the VST3 adaptor's tests check the same), and the
// processor's own state is restored afterwards.
TEST(PlugBase, BlocksRunThroughTheSharedDriverWithSubnormalsFlushed) {
  struct Probe : TestPlug {
    void ProcessBlock(double**, double**, int32_t) override { flushed = SubnormalsFlushed(); }
    bool flushed = false;
  } plug;
  plug.SetupProcessing(48000.0, 8);
  double buffer[8] = {};
  double* io[] = {buffer};
  plug.RunBlock64(io, 1, io, 1, 8);
  EXPECT_TRUE(plug.flushed);
  EXPECT_FALSE(SubnormalsFlushed());
}

TEST(PlugBase, Blocks32And64BitPassThroughTheDefaultProcess) {
  TestPlug plug;
  plug.SetupProcessing(48000.0, 16);
  float l[16], r[16], outL[16], outR[16];
  for (int t = 0; t < 16; ++t) l[t] = 0.5f * float(t), r[t] = -float(t);
  const float* in32[] = {l, r};
  float* out32[] = {outL, outR};
  plug.RunBlock32(in32, 2, out32, 2, 16);
  for (int t = 0; t < 16; ++t) {
    EXPECT_EQ(outL[t], l[t]);
    EXPECT_EQ(outR[t], r[t]);
  }

  double dl[16], dr[16], dOutL[16], dOutR[16];
  for (int t = 0; t < 16; ++t) dl[t] = 0.1 * t, dr[t] = 1e-300 * t, dOutL[t] = dOutR[t] = 9.0;
  double* in64[] = {dl, dr};
  double* out64[] = {dOutL, dOutR};
  plug.RunBlock64(in64, 2, out64, 2, 16);
  for (int t = 0; t < 16; ++t) {
    EXPECT_EQ(dOutL[t], dl[t]);
    EXPECT_EQ(dOutR[t], dr[t]);
  }
  EXPECT_EQ(plug.InputPointers()[0], dl) << "64-bit buffers are used in place";
}

TEST(PlugBase, UnconnectedChannelsConsumeNoBuffer) {
  TestPlug plug;
  plug.SetBlockSize(4);
  plug.SetInputConnected(0, false);
  float a[4] = {1, 2, 3, 4};
  const float* in32[] = {a};
  plug.AttachInputs32(0, 2, in32, 4);
  EXPECT_EQ(plug.InputPointers()[1][3], 4.0) << "channel 1 takes the first host buffer";
  EXPECT_EQ(plug.InputPointers()[0][3], 0.0) << "channel 0 stays parked on its zeroed scratch";

  double b[4] = {5, 6, 7, 8};
  double* in64[] = {b};
  plug.AttachInputs64(2, in64);
  EXPECT_EQ(plug.InputPointers()[1], b);

  plug.SetOutputConnected(1, false);
  float o[4] = {};
  float* out32[] = {o};
  plug.AttachOutputs32(0, 2, out32);
  plug.OutputPointers()[0][2] = 0.75;
  plug.OutputPointers()[1][2] = 99.0;
  plug.ConvertOutputs32(4);
  EXPECT_EQ(o[2], 0.75f);
  EXPECT_FALSE(plug.IsOutputConnected(1));
}

TEST(PlugBase, PlumbingNeverPassesTheBlockSize) {
  TestPlug plug;
  plug.SetBlockSize(8);
  std::vector<float> in(64, 1.0f), out(64, -1.0f);
  const float* in32[] = {in.data(), in.data()};
  float* out32[] = {out.data(), out.data()};
  plug.AttachInputs32(0, 2, in32, 64);
  plug.AttachOutputs32(0, 2, out32);
  plug.ProcessBlock(plug.InputPointers(), plug.OutputPointers(), 64);
  plug.ConvertOutputs32(64);
  plug.PassThroughBuffers(64);
  EXPECT_EQ(out[7], 1.0f);
  EXPECT_EQ(out[8], -1.0f) << "frames beyond the block size are not touched";

  // The test host splits a long block into pieces instead.
  std::vector<float> full(64, 0.0f);
  float* fullOut[] = {full.data(), full.data()};
  for (int t = 0; t < 64; ++t) in[size_t(t)] = float(t);
  plug.RunBlock32(in32, 2, fullOut, 2, 64);
  EXPECT_EQ(full[63], 63.0f);

  TestPlug unprepared;  // before SetBlockSize nothing is processed at all
  unprepared.AttachInputs32(0, 2, in32, 64);
  unprepared.ConvertOutputs32(64);
  unprepared.PassThroughBuffers(64);
  SUCCEED();
}

TEST(PlugBase, SetBlockSizeZeroesOnlyOnChange) {
  TestPlug plug;
  plug.SetBlockSize(8);
  plug.SetInputConnected(0, false);  // parked: the slot is the scratch buffer
  plug.InputPointers()[0][5] = 3.0;
  plug.SetBlockSize(8);
  EXPECT_EQ(plug.InputPointers()[0][5], 3.0);
  plug.SetBlockSize(32);
  EXPECT_EQ(plug.InputPointers()[0][5], 0.0);
  plug.InputPointers()[0][31] = 1.0;  // the parked slot follows the new buffer
  plug.ClearScratchBuffers();
  EXPECT_EQ(plug.InputPointers()[0][31], 0.0);
}

TEST(PlugBase, DefaultProcessZeroesOutputsWithoutInput) {
  TestPlug plug(1, "1-2");
  plug.SetBlockSize(4);
  double in[4] = {1, 2, 3, 4}, o0[4] = {}, o1[4] = {7, 7, 7, 7};
  double* ins[] = {in};
  double* outs[] = {o0, o1};
  plug.ProcessBlock(ins, outs, 4);
  EXPECT_EQ(o0[3], 4.0);
  EXPECT_EQ(o1[0], 0.0);
  EXPECT_EQ(o1[3], 0.0);
}

TEST(PlugBase, BypassDelaysByTheLatency) {
  TestPlug plug;
  plug.SetupProcessing(44100.0, 8);
  plug.SetLatency(3);
  plug.SetBypassed(true);
  double l[8], r[8], ol[8], orr[8];
  for (int t = 0; t < 8; ++t) l[t] = t + 1, r[t] = -(t + 1);
  double* ins[] = {l, r};
  double* outs[] = {ol, orr};
  plug.RunBlock64(ins, 2, outs, 2, 8);
  const double expected[8] = {0, 0, 0, 1, 2, 3, 4, 5};
  for (int t = 0; t < 8; ++t) {
    EXPECT_EQ(ol[t], expected[t]);
    EXPECT_EQ(orr[t], -expected[t]);
  }
  plug.RunBlock64(ins, 2, outs, 2, 2);
  EXPECT_EQ(ol[0], 6.0);
  EXPECT_EQ(ol[1], 7.0);

  plug.SetLatency(0);  // back to the plain copy
  plug.RunBlock64(ins, 2, outs, 2, 8);
  EXPECT_EQ(ol[0], 1.0);

  TestPlug wide(1, "1-2");
  wide.SetupProcessing(44100.0, 4);
  wide.SetLatency(1);
  wide.SetBypassed(true);
  double one[4] = {1, 2, 3, 4}, a[4], b[4] = {9, 9, 9, 9};
  double* wideIns[] = {one};
  double* wideOuts[] = {a, b};
  wide.RunBlock64(wideIns, 1, wideOuts, 2, 4);
  EXPECT_EQ(a[1], 1.0);
  EXPECT_EQ(b[3], 0.0) << "an output without an input is silent, delayed or not";
}

TEST(PlugBase, EditorChangesReachParamPluginAndThenHostInOrder) {
  TestPlug plug;
  plug.GetParam(5)->DefineInt("High Boost", 0, 0, 8);
  plug.onParamChanged = [&](int32_t i) {
    EXPECT_EQ(plug.GetParam(i)->Value(), 4.0);
    EXPECT_TRUE(plug.hostCalls.empty()) << "the host hears of it after the lock is released";
  };
  plug.SetParamFromEditor(5, 0.56);
  ASSERT_EQ(plug.hostCalls.size(), 1u);
  EXPECT_EQ(plug.hostCalls[0].kind, PlugAdaptor::HostCall::SendParam);
  EXPECT_EQ(plug.hostCalls[0].paramIdx, 5);
  EXPECT_EQ(plug.hostCalls[0].value, 0.56) << "the host gets the unrounded normalised value";
  EXPECT_EQ(plug.log, std::vector<std::string>{"changed 5"});
}

TEST(PlugBase, LockIsRecursiveAndHeldAcrossParamChanges) {
  TestPlug plug;
  std::atomic<bool> otherThreadGotLock{true};
  plug.onParamChanged = [&](int32_t i) {
    if (i != 0) return;
    plug.SetParamFromEditor(1, 1.0);  // re-entry from inside the handler
    std::thread other([&] {
      const bool got = plug.GetLock().try_lock();
      if (got) plug.GetLock().unlock();
      otherThreadGotLock = got;
    });
    other.join();
  };
  plug.SetParamFromEditor(0, 1.0);
  EXPECT_FALSE(otherThreadGotLock);
  EXPECT_EQ(plug.GetParam(1)->Value(), 1.0);
  EXPECT_EQ(plug.log.size(), 2u);
}

TEST(PlugBase, AttachGraphicsPushesEveryParameterAndMakesNoSurfaceYet) {
  bool destroyed = false;
  {
    TestPlug plug(3);
    plug.GetParam(1)->DefineDouble("Mid", 0.25, 0.0, 1.0, 0.01);
    plug.GetParam(2)->DefineInt("Sel", 6, 0, 8);
    auto* graphics = new FakeGraphics(&plug, &plug.log, &destroyed);
    FakeControl* twin1 = graphics->Add(1);
    FakeControl* twin2 = graphics->Add(1);
    FakeControl* aux = graphics->Add(-1);
    aux->AddAuxBinding(0);
    aux->AddAuxBinding(2);
    aux->AddAuxBinding(2);  // a repeated binding gets only the first push

    plug.AttachGraphics(nullptr);
    EXPECT_EQ(plug.GetGraphics(), nullptr);
    plug.AttachGraphics(graphics);
    EXPECT_EQ(plug.GetGraphics(), graphics);
    EXPECT_EQ(twin1->values, std::vector<double>{0.25});
    EXPECT_EQ(twin2->values, std::vector<double>{0.25});
    using Aux = std::vector<std::pair<int32_t, double>>;
    EXPECT_EQ(aux->auxValues, (Aux{{0, 0.0}, {1, 0.75}}));
    EXPECT_EQ(plug.log, (std::vector<std::string>{"control 1", "control 1"}));
    EXPECT_FALSE(twin1->surfaceBeforePush);
    EXPECT_EQ(graphics->DrawSurface(), nullptr) << "made when the editor opens or first draws";

    // Redrawing pushes plain values converted to normalised ones, without the lock.
    plug.GetParam(2)->SetPlain(2.0);
    plug.RedrawParamControls();
    EXPECT_EQ(aux->auxValues.back(), (std::pair<int32_t, double>{1, 0.25}));
    EXPECT_EQ(twin1->values.size(), 2u);
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed) << "the base owns and deletes the editor";
}

TEST(PlugBase, MatchesStateComparesInSinglePrecision) {
  TestPlug plug(2);
  plug.GetParam(0)->SetPlain(0.5);
  StateChunk image;
  image.PutDouble(123.0);
  image.PutDouble(0.5 + 1e-9);
  image.PutDouble(0.0);
  EXPECT_TRUE(plug.MatchesState(&image, 1));
  EXPECT_FALSE(plug.MatchesState(&image, 0));
  EXPECT_FALSE(plug.MatchesState(&image, 2)) << "an image too short never matches";
}

}  // namespace
