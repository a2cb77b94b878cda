// The BRIMO plug-in on the recording test adaptor: identity, parameters, internal values, reset,
// the default preset and the path from parameters to the chain.
#include "BRIMO.h"

#include "FourCC.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(BRIMO, IdentityAndConfiguration) {
  BRIMO p;
  EXPECT_STREQ(p.GetEffectName(), "BRIMO");
  EXPECT_STREQ(p.GetProductName(), "");
  EXPECT_STREQ(p.GetMakerName(), "KwillowAudioLab");
  EXPECT_EQ(p.GetUniqueCode(), FourCC("Brm1"));
  EXPECT_EQ(p.GetMakerCode(), FourCC("Kwil"));
  EXPECT_EQ(p.GetVersionCode(), 0x00020000);
  EXPECT_EQ(p.ParamCount(), 13);
  EXPECT_EQ(p.PresetCount(), 1);
  EXPECT_EQ(p.InputChannelCount(), 2);
  EXPECT_EQ(p.OutputChannelCount(), 2);
  EXPECT_TRUE(p.LegalIO(1, 1));
  EXPECT_TRUE(p.LegalIO(2, 2));
  EXPECT_FALSE(p.LegalIO(1, 2));
  EXPECT_FALSE(p.IsInstrument());
  EXPECT_FALSE(p.ReceivesMidi());
  EXPECT_EQ(p.GetLatency(), 0);
}

TEST(BRIMO, ParameterTable) {
  struct Row {
    const char* name;
    IParamKind kind;
    double min, max, def, step;
    const char* label;
    int precision;
  };
  const Row rows[13] = {
      {"Reserved", KindNone, 0, 1, 0, 1, "", 0},
      {"Low Boost", KindDouble, -1, 0, -1, 0.01, "%", 2},
      {"Mid Boost", KindDouble, 0.001, 1, 0.001, 0.01, "%", 2},
      {"Mid Cut", KindDouble, 0, 1, 0, 0.01, "%", 2},
      {"Output", KindDouble, -15, 15, 0, 0.01, "%", 2},
      {"High Boost", KindInt, 0, 8, 0, 1, "", 0},
      {"High Cut", KindInt, 0, 2, 0, 1, "", 0},
      {"Low Cut", KindInt, 0, 5, 0, 1, "", 0},
      {"Low Frequency", KindInt, 0, 3, 0, 1, "", 0},
      {"Mid Boost Frequency", KindInt, 0, 7, 0, 1, "", 0},
      {"Mid Cut Frequency", KindInt, 0, 7, 0, 1, "", 0},
      {"Oversampling", KindNone, 0, 1, 0, 1, "", 0},
      {"Bypass Switch", KindNone, 0, 1, 0, 1, "", 0},
  };
  BRIMO p;
  for (int i = 0; i < 13; ++i) {
    const IParamDef* d = p.GetParam(i);
    SCOPED_TRACE(i);
    EXPECT_STREQ(d->Name(), rows[i].name);
    EXPECT_EQ(d->Kind(), rows[i].kind);
    EXPECT_EQ(d->Min(), rows[i].min);
    EXPECT_EQ(d->Max(), rows[i].max);
    EXPECT_EQ(d->DefaultValue(), rows[i].def);
    EXPECT_EQ(d->Value(), rows[i].def);
    EXPECT_EQ(d->Step(), rows[i].step);
    EXPECT_STREQ(d->Label(), rows[i].label);
    EXPECT_STREQ(d->Group(), "");
    EXPECT_EQ(d->Precision(), rows[i].precision);
    EXPECT_EQ(d->Shape(), 1.0);
  }
}

TEST(BRIMO, InternalValuesFollowAnnouncements) {
  BRIMO p;
  // Before the first announcement the initial values hold.
  EXPECT_EQ(p.OutputGain(), 0.0);
  EXPECT_EQ(p.LowBoostValue(), 0.0);
  EXPECT_EQ(p.OversampleFactor(), 4);

  p.Initialize();  // restores preset 0, announcing every parameter
  EXPECT_EQ(p.OutputGain(), 1.0);
  EXPECT_EQ(p.LowBoostValue(), -1.0);
  EXPECT_EQ(p.MidBoostValue(), 0.001);
  EXPECT_EQ(p.MidCutValue(), 0.0);
  EXPECT_EQ(p.OversampleFactor(), 4);

  p.GetParam(BRIMO::kOutput)->SetPlain(-15.0);
  p.OnParamChanged(BRIMO::kOutput);
  EXPECT_NEAR(p.OutputGain(), 0.1778279410, 1e-9);
  p.GetParam(BRIMO::kOutput)->SetPlain(15.0);
  p.OnParamChanged(BRIMO::kOutput);
  EXPECT_NEAR(p.OutputGain(), 5.6234132519, 1e-9);

  p.GetParam(BRIMO::kLowBoost)->SetPlain(-0.25);
  p.GetParam(BRIMO::kMidBoost)->SetPlain(0.5);
  p.GetParam(BRIMO::kMidCut)->SetPlain(0.75);
  for (int i : {BRIMO::kLowBoost, BRIMO::kMidBoost, BRIMO::kMidCut}) p.OnParamChanged(i);
  EXPECT_EQ(p.LowBoostValue(), -0.25);
  EXPECT_EQ(p.MidBoostValue(), 0.5);
  EXPECT_EQ(p.MidCutValue(), 0.75);

  p.GetParam(BRIMO::kOversampling)->SetNormalized(1.0);
  p.OnParamChanged(BRIMO::kOversampling);
  EXPECT_EQ(p.OversampleFactor(), 16);

  // Announcements of the unmirrored parameters change nothing, even after their values moved.
  for (int i : {0, 5, 6, 7, 8, 9, 10, 12}) {
    p.GetParam(i)->SetNormalized(1.0);
    p.OnParamChanged(i);
  }
  EXPECT_EQ(p.LowBoostValue(), -0.25);
  EXPECT_EQ(p.MidBoostValue(), 0.5);
  EXPECT_EQ(p.MidCutValue(), 0.75);
  EXPECT_NEAR(p.OutputGain(), 5.6234132519, 1e-9);
  EXPECT_EQ(p.OversampleFactor(), 16);

  p.GetParam(BRIMO::kOversampling)->SetNormalized(0.0);
  p.OnParamChanged(BRIMO::kOversampling);
  EXPECT_EQ(p.OversampleFactor(), 4);
}

TEST(BRIMO, DefaultPresetHoldsTheDeclaredDefaults) {
  BRIMO p;
  ASSERT_EQ(p.PresetCount(), 1);
  EXPECT_STREQ(p.GetPresetName(0), "-");
  for (int i = 0; i < 13; ++i) p.GetParam(i)->SetNormalized(0.7);
  ASSERT_TRUE(p.RestorePreset(0));
  for (int i = 0; i < 13; ++i)
    EXPECT_EQ(p.GetParam(i)->Value(), p.GetParam(i)->DefaultValue()) << i;
  EXPECT_EQ(p.OutputGain(), 1.0);
}

// The plug-in hands the chain the sample rate, internal values and selector positions: its output
// is the chain's output for those settings.
TEST(BRIMO, ProcessesThroughTheChainWithCurrentSettings) {
  BRIMO p;
  p.Initialize();
  p.SetupProcessing(96000.0, 256);
  const std::pair<int, double> changes[] = {
      {BRIMO::kLowBoost, -0.3},     {BRIMO::kMidBoost, 0.6},   {BRIMO::kMidCut, 0.2},
      {BRIMO::kOutput, 3.5},        {BRIMO::kHighBoost, 4},    {BRIMO::kHighCut, 2},
      {BRIMO::kLowCut, 3},          {BRIMO::kLowFrequency, 2}, {BRIMO::kMidBoostFrequency, 5},
      {BRIMO::kMidCutFrequency, 6}, {BRIMO::kOversampling, 1}};
  for (auto [index, value] : changes) {
    p.GetParam(index)->SetPlain(value);
    p.OnParamChanged(index);
  }
  const brimo::EqualiserSettings s = p.CurrentSettings();
  EXPECT_EQ(s.highBoost, 4);
  EXPECT_EQ(s.midCutFrequency, 6);
  EXPECT_EQ(s.oversampleFactor, 16);
  EXPECT_EQ(s.lowBoost, -0.3);

  const int frames = 700;
  std::vector<double> left(frames), right(frames), outL(frames), outR(frames), expL(frames),
      expR(frames);
  for (int i = 0; i < frames; ++i) {
    left[i] = std::sin(i * 0.05) * 0.3;
    right[i] = std::cos(i * 0.021) * 0.2;
  }
  double* in[2] = {left.data(), right.data()};
  double* out[2] = {outL.data(), outR.data()};
  p.RunBlock64(in, 2, out, 2, frames);

  brimo::EqualiserChain chain;
  for (int pos = 0; pos < frames; pos += 256) {
    const double* pieceIn[2] = {left.data() + pos, right.data() + pos};
    double* pieceOut[2] = {expL.data() + pos, expR.data() + pos};
    chain.ProcessBlock(pieceIn, pieceOut, std::min(256, frames - pos), 96000.0, s);
  }
  EXPECT_EQ(0, std::memcmp(outL.data(), expL.data(), frames * sizeof(double)));
  EXPECT_EQ(0, std::memcmp(outR.data(), expR.data(), frames * sizeof(double)));

  // The bypass switch gives the dry input.
  p.GetParam(BRIMO::kBypass)->SetPlain(1.0);
  p.RunBlock64(in, 2, out, 2, frames);
  EXPECT_EQ(outL, left);
  EXPECT_EQ(outR, right);
}

TEST(BRIMO, ResetClearsOnlyTheColourationHistories) {
  BRIMO p;
  p.Initialize();
  p.SetupProcessing(44100.0, 64);
  std::vector<double> left(64, 0.25), right(64, -0.25), outL(64), outR(64);
  double* in[2] = {left.data(), right.data()};
  double* out[2] = {outL.data(), outR.data()};
  p.RunBlock64(in, 2, out, 2, 64);
  ASSERT_NE(p.Chain().Colour().UpHistory(0, 0), 0.0);
  const double section = p.Chain().MidBoost(0).y1[0];
  ASSERT_NE(section, 0.0);

  p.Reset();
  for (int k = 0; k < 10; ++k)
    for (int ch = 0; ch < 2; ++ch) {
      EXPECT_EQ(p.Chain().Colour().UpHistory(ch, k), 0.0);
      EXPECT_EQ(p.Chain().Colour().DownHistory(ch, k), 0.0);
    }
  EXPECT_EQ(p.Chain().MidBoost(0).y1[0], section);
}

}  // namespace
