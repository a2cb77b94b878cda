// The component: construction, initialisation, buses and the processing set-up.
#include "IPlugVST3.h"

#include "HostIdentification.h"
#include "IGraphics.h"
#include "IPlugParameter.h"

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

int32_t ChannelCount(SpeakerArrangement arr) {
  return static_cast<int32_t>(std::popcount(static_cast<uint64>(arr)));
}

int32_t BusChannels(const BusList& list, size_t index) {
  if (index >= list.size()) return 0;
  auto* bus = FCast<AudioBus>(list[index].get());
  return bus ? ChannelCount(bus->getArrangement()) : 0;
}

}  // namespace

bool IPlugVST3::BusActive(const BusList& list, size_t index) {
  return index < list.size() && list[index]->isActive();
}

IPlugVST3::IPlugVST3(int32_t paramCount, const char* channelSpec, int32_t presetCount,
                     const char* effectName, const char* productName, const char* makerName,
                     int32_t versionCode, uint32_t uniqueCode, uint32_t makerCode,
                     bool instrumentMode, bool receivesMidi)
    : IPlugBase(paramCount, channelSpec, presetCount, effectName, productName, makerName,
                versionCode, uniqueCode, makerCode, 1, instrumentMode, receivesMidi) {
  InputBusNames().push_back("Main Input");
  if (instrumentMode) {
    for (int32_t j = 0; 2 * j < OutputChannelCount(); ++j)
      OutputBusNames().push_back("Output " + std::to_string(j + 1));
  } else
    OutputBusNames().push_back("Output");

  // Every output bus carries at least one channel, so this many bus records always suffice.
  outputBuses.resize(size_t(std::max(1, OutputChannelCount())));
}

IPlugVST3::~IPlugVST3() = default;

void IPlugVST3::SetSidechainChannels(int32_t channels) {
  driver.SetSidechainChannels(channels);
  sidechainChannels = driver.SidechainChannels();
  if (sidechainChannels > 0 && InputBusNames().size() < 2) InputBusNames().push_back("Aux Input");
}

SpeakerArrangement IPlugVST3::ArrangementFor(int32_t channels) {
  switch (channels) {
    case 1:
      return SpeakerArr::kMono;
    case 2:
      return SpeakerArr::kStereo;
    case 3:
      return SpeakerArr::k30Music;
    case 4:
      return SpeakerArr::k40Music;
    case 5:
      return SpeakerArr::k50;
    case 6:
      return SpeakerArr::k51;
    default:
      return SpeakerArr::kEmpty;
  }
}

// ---------------------------------------------------------------------------------------------
// Initialisation

tresult PLUGIN_API IPlugVST3::initialize(FUnknown* context) {
  try {
    // A null host context would leave the base class believing it was never initialised, so
    // the adaptor keeps its own flag: buses and parameters are built exactly once, and a
    // refused call changes nothing (the user's values are not reset to the preset).
    if (initialized) return kResultFalse;
    const tresult result = CombinedEffect::initialize(context);
    if (result != kResultOk) return result;
    if (context) {
      FUnknownPtr<IHostApplication> app(context);
      String128 name{};
      if (app && app->getName(name) == kResultOk) {
        char text[128];
        NarrowFromUtf16(name, text, 127);
        SetHostCode(IdentifyHost(text));
        SetHostVersion(0);
      }
    }
    CreateBuses();
    RegisterParameters();
    initialized = true;
    OnHostIdentified();
    {
      LockGuard guard(GetLock());
      RestorePreset(0);
    }
    return result;
  } catch (...) {
    return kOutOfMemory;
  }
}

tresult PLUGIN_API IPlugVST3::terminate() {
  UnitGroups().clear();
  initialized = false;
  return CombinedEffect::terminate();
}

void IPlugVST3::CreateBuses() {
  String128 name;
  const SpeakerArrangement mainIn = ArrangementFor(InputChannelCount() - sidechainChannels);
  if (mainIn != SpeakerArr::kEmpty) {
    WidenToUtf16(InputBusNames()[0].c_str(), name);
    addAudioInput(name, mainIn, kMain, BusInfo::kDefaultActive);
  }
  if (IsInstrument()) {
    for (int32_t j = 0; 2 * j < OutputChannelCount(); ++j) {
      WidenToUtf16(OutputBusNames()[size_t(j)].c_str(), name);
      addAudioOutput(name, SpeakerArr::kStereo);
    }
  } else {
    WidenToUtf16(OutputBusNames()[0].c_str(), name);
    addAudioOutput(name, ArrangementFor(OutputChannelCount()));
  }
  if (sidechainChannels > 0) {
    WidenToUtf16(InputBusNames()[1].c_str(), name);
    addAudioInput(name, ArrangementFor(sidechainChannels), kAux, 0);
  }
  if (ReceivesMidi()) {
    WidenToUtf16("MIDI Input", name);
    addEventInput(name, 1, kMain, BusInfo::kDefaultActive);
  }
  // A bus flagged active by default starts active: hosts that trust the flag never call
  // activateBus and would otherwise get their buffers back untouched.
  for (BusList* list : {&audioInputs, &audioOutputs, &eventInputs})
    for (auto& bus : *list) {
      BusInfo info{};
      if (bus->getInfo(info) && (info.flags & BusInfo::kDefaultActive) != 0) bus->setActive(true);
    }
}

void IPlugVST3::RegisterParameters() {
  String128 title, empty{};
  if (PresetCount() > 0) {
    WidenToUtf16("Preset", title);
    auto* preset = new Parameter(title, kPresetParamId, empty, 0.0, PresetCount(),
                                 ParameterInfo::kIsProgramChange, kRootUnitId, empty);
    preset->setPrecision(4);
    parameters.addParameter(preset);
  }
  if (!IsInstrument()) {
    WidenToUtf16("Bypass", title);
    auto* bypass = new StringListParameter(
        title, kBypassParamId, empty,
        ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsBypass,
        kRootUnitId, empty);
    String128 entry;
    WidenToUtf16("off", entry);
    bypass->appendString(entry);
    WidenToUtf16("on", entry);
    bypass->appendString(entry);
    parameters.addParameter(bypass);
  }
  auto& groups = UnitGroups();
  for (int32_t i = 0; i < ParamCount(); ++i) {
    IParamDef* def = GetParam(i);
    UnitID unit = kRootUnitId;
    const char* group = def->Group();
    if (group[0] != 0) {
      auto found = std::find_if(groups.begin(), groups.end(),
                                [group](const char* g) { return std::strcmp(g, group) == 0; });
      if (found == groups.end()) {
        groups.push_back(group);
        unit = static_cast<UnitID>(groups.size());
      } else
        unit = static_cast<UnitID>(found - groups.begin()) + 1;
    }
    parameters.addParameter(new IPlugParameter(def, static_cast<ParamID>(i), unit));
  }
}

// ---------------------------------------------------------------------------------------------
// Buses and processing set-up

tresult PLUGIN_API IPlugVST3::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                 SpeakerArrangement* outputs, int32 numOuts) {
  LockGuard guard(GetLock());
  for (int32_t i = 0; i < InputChannelCount(); ++i) SetInputConnected(i, false);
  for (int32_t i = 0; i < OutputChannelCount(); ++i) SetOutputConnected(i, false);
  if (numIns <= 0 || numOuts <= 0 || inputs == nullptr || outputs == nullptr) return kResultFalse;

  // The channel configurations count every input channel, the sidechain's included.
  if (numIns != (sidechainChannels > 0 ? 2 : 1)) return kResultFalse;
  const int32_t in = ChannelCount(inputs[0]);
  const int32_t out = ChannelCount(outputs[0]);
  const int32_t aux = sidechainChannels > 0 ? ChannelCount(inputs[1]) : 0;
  if (in > InputChannelCount() - sidechainChannels || aux > sidechainChannels ||
      !LegalIO(in + aux, out))
    return kResultFalse;
  try {
    String128 name;
    // A rebuilt bus keeps the activation the host gave the one it replaces, so a host that
    // activated its buses before choosing the arrangement is not left with a silent bus.
    if (BusChannels(audioInputs, 0) != in) {
      const bool wasActive = BusActive(audioInputs, 0);
      audioInputs.clear();
      WidenToUtf16("Input", name);
      addAudioInput(name, ArrangementFor(in), kMain, BusInfo::kDefaultActive)->setActive(wasActive);
    }
    if (BusChannels(audioOutputs, 0) != out) {
      const bool wasActive = BusActive(audioOutputs, 0);
      audioOutputs.clear();
      WidenToUtf16("Output", name);
      addAudioOutput(name, ArrangementFor(out))->setActive(wasActive);
    }
    if (sidechainChannels > 0) {
      if (BusChannels(audioInputs, 1) != aux) {
        const bool mainActive = BusActive(audioInputs, 0);
        const bool auxActive = BusActive(audioInputs, 1);
        audioInputs.clear();
        WidenToUtf16("Input", name);
        addAudioInput(name, ArrangementFor(in), kMain, BusInfo::kDefaultActive)
            ->setActive(mainActive);
        WidenToUtf16("Sidechain Input", name);
        addAudioInput(name, ArrangementFor(aux), kAux, 0)->setActive(auxActive);
      }
    }
  } catch (...) {
    return kOutOfMemory;
  }
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::canProcessSampleSize(int32 size) {
  return size == kSample32 || size == kSample64 ? kResultOk : kResultFalse;
}

uint32 PLUGIN_API IPlugVST3::getLatencySamples() {
  return static_cast<uint32>(std::max(GetLatency(), 0));
}

uint32 PLUGIN_API IPlugVST3::getTailSamples() {
  return static_cast<uint32>(std::max(GetTailSize(), 0));
}

tresult PLUGIN_API IPlugVST3::setupProcessing(ProcessSetup& setup) {
  if (setup.symbolicSampleSize != kSample32 && setup.symbolicSampleSize != kSample64)
    return kResultFalse;
  // A rate the signal path cannot divide by, or a negative block, is refused rather than stored.
  if (!std::isfinite(setup.sampleRate) || !(setup.sampleRate > 0.0) || setup.maxSamplesPerBlock < 0)
    return kInvalidArgument;
  LockGuard guard(GetLock());
  try {
    // The bypass state is the host's: it stays across a new rate or block size.
    SetSampleRate(setup.sampleRate);
    SetBlockSize(setup.maxSamplesPerBlock);
    Reset();
  } catch (...) {
    return kOutOfMemory;
  }
  processSetup = setup;
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::setActive(TBool state) {
  OnActivated(state != 0);
  return kResultOk;
}
