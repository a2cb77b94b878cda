#include "BRIMO.h"

#include "BRIMOIdentity.h"

#include <cmath>

namespace {

constexpr int32_t kPresetCount = 1;
constexpr const PluginIdentity& kId = kBRIMOIdentity;

}  // namespace

BRIMO::BRIMO()
    : PlugAdaptor(kNumParams, "1-1 2-2", kPresetCount, kId.name, kId.productName, kId.vendor,
                  VersionCode(kId.version), FourCC(kId.uniqueCode), FourCC(kId.makerCode), false,
                  false) {
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

  // The two switches and the unused slot stay undeclared (range 0 to 1, step 1), so ids, values
  // and stored state are unchanged; they only get names, and the switches their panel legends,
  // so that hosts show no nameless lanes.
  IParamDef* reserved = GetParam(kUnused);
  reserved->SetName("Reserved");
  reserved->SetAutomatable(false);
  reserved->SetHidden(true);
  IParamDef* oversampling = GetParam(kOversampling);
  oversampling->SetName("Oversampling");
  oversampling->SetDisplayText(0, "4x");
  oversampling->SetDisplayText(1, "16x");
  IParamDef* bypass = GetParam(kBypass);
  bypass->SetName("Bypass Switch");
  bypass->SetDisplayText(0, "off");
  bypass->SetDisplayText(1, "on");

  AttachEditor();

  MakeDefaultPreset("-");
}

void BRIMO::Reset() {
  const LockGuard lock(GetLock());
  chain.ResetColouration();
}

void BRIMO::OnParamChanged(int32_t paramIdx) {
  const LockGuard lock(GetLock());
  const IParamDef* param = GetParam(paramIdx);
  if (!param) return;
  const double value = param->Value();
  switch (paramIdx) {
    case kLowBoost:
      lowBoostValue = value;
      break;
    case kMidBoost:
      midBoostValue = value;
      break;
    case kMidCut:
      midCutValue = value;
      break;
    case kOutput:
      outputGain = std::pow(10.0, value / 20.0);
      break;
    case kOversampling:
      oversampleFactor = TruncToInt32(value) != 0 ? 16 : 4;
      break;
    default:
      break;
  }
}

brimo::EqualiserSettings BRIMO::CurrentSettings() const {
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

void BRIMO::ProcessBlock(double** inputs, double** outputs, int32_t frames) {
  const LockGuard lock(GetLock());
  chain.ProcessBlock(inputs, outputs, frames, GetSampleRate(), CurrentSettings());
}
