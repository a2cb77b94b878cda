#include "BRIMO.h"

#include "FourCC.h"

#include <cmath>

namespace {

constexpr int32_t kVersion = 0x00020000;  // 2.0.0
constexpr int32_t kPresetCount = 1;

}  // namespace

BRIMO::BRIMO()
  : PlugAdaptor(kNumParams, "1-1 2-2", kPresetCount, "BRIMO", "", "KwillowAudioLab", kVersion,
                FourCC("Brm1"), FourCC("Kwil"), false, false)
{
  // Internal values and every history and coefficient start at zero (member initialisers).

  // "Output" is a level in decibels but carries "%" like the other knobs: hosts and stored
  // projects already show it that way.
  GetParam(kLowBoost)->DefineDouble("Low Boost", -1.0, -1.0, 0.0, 0.01, "%", "", 1.0);
  GetParam(kMidBoost)->DefineDouble("Mid Boost", 0.001, 0.001, 1.0, 0.01, "%", "", 1.0);
  GetParam(kMidCut)->DefineDouble("Mid Cut", 0.0, 0.0, 1.0, 0.01, "%", "", 1.0);
  GetParam(kOutput)->DefineDouble("Output", 0.0, -15.0, 15.0, 0.01, "%", "", 1.0);
  GetParam(kHighBoost)->DefineInt("High Boost", 0, 0, 8, "", "");
  GetParam(kHighCut)->DefineInt("High Cut", 0, 0, 2, "", "");
  GetParam(kLowCut)->DefineInt("Low Cut", 0, 0, 5, "", "");
  GetParam(kLowFrequency)->DefineInt("Low Frequency", 0, 0, 3, "", "");
  GetParam(kMidBoostFrequency)->DefineInt("Mid Boost Frequency", 0, 0, 7, "", "");
  GetParam(kMidCutFrequency)->DefineInt("Mid Cut Frequency", 0, 0, 7, "", "");

  // The editor is built and handed to the base (AttachGraphics) here, before the default preset
  // is captured.

  MakeDefaultPreset("-");
}

void BRIMO::Reset()
{
  const LockGuard lock(GetLock());
  chain.ResetColouration();
}

void BRIMO::OnParamChanged(int32_t paramIdx)
{
  const LockGuard lock(GetLock());
  const IParamDef* param = GetParam(paramIdx);
  if (!param)
    return;
  const double value = param->Value();
  switch (paramIdx)
  {
    case kLowBoost: lowBoostValue = value; break;
    case kMidBoost: midBoostValue = value; break;
    case kMidCut: midCutValue = value; break;
    case kOutput: outputGain = std::pow(10.0, value / 20.0); break;
    case kOversampling: oversampleFactor = TruncToInt32(value) != 0 ? 16 : 4; break;
    default: break;
  }
}

brimo::EqualiserSettings BRIMO::CurrentSettings() const
{
  auto position = [this](int32_t index) { return TruncToInt32(GetParam(index)->Value()); };
  brimo::EqualiserSettings s;
  s.lowBoost = lowBoostValue;
  s.midBoost = midBoostValue;
  s.midCut = midCutValue;
  s.outputGain = outputGain;
  s.oversampleFactor = oversampleFactor;
  s.lowCut = position(kLowCut);
  s.lowFrequency = position(kLowFrequency);
  s.midBoostFrequency = position(kMidBoostFrequency);
  s.midCutFrequency = position(kMidCutFrequency);
  s.highBoost = position(kHighBoost);
  s.highCut = position(kHighCut);
  s.bypass = position(kBypass);
  return s;
}

void BRIMO::ProcessBlock(double** inputs, double** outputs, int32_t frames)
{
  const LockGuard lock(GetLock());
  chain.ProcessBlock(inputs, outputs, frames, GetSampleRate(), CurrentSettings());
}
