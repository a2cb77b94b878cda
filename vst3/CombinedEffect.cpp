#include "CombinedEffect.h"

namespace brimo::vst3 {

CombinedEffect::CombinedEffect()
    : audioInputs(kAudio, kInput),
      audioOutputs(kAudio, kOutput),
      eventInputs(kEvent, kInput),
      eventOutputs(kEvent, kOutput) {
  processSetup.processMode = kRealtime;
  processSetup.symbolicSampleSize = kSample32;
  processSetup.maxSamplesPerBlock = 1024;
  processSetup.sampleRate = 44100.0;
}

CombinedEffect::~CombinedEffect() = default;

tresult PLUGIN_API CombinedEffect::initialize(FUnknown* context) {
  return EditControllerEx1::initialize(context);
}

tresult PLUGIN_API CombinedEffect::terminate() {
  removeAllBusses();
  return EditControllerEx1::terminate();
}

tresult PLUGIN_API CombinedEffect::queryInterface(const TUID iid, void** obj) {
  // IPluginBase, IConnectionPoint, the controller interfaces and FUnknown come from the bases.
  QUERY_INTERFACE(iid, obj, IComponent::iid, IComponent)
  QUERY_INTERFACE(iid, obj, IAudioProcessor::iid, IAudioProcessor)
  return EditControllerEx1::queryInterface(iid, obj);
}

BusList* CombinedEffect::getBusList(MediaType type, BusDirection dir) {
  if (type == kAudio) return dir == kInput ? &audioInputs : &audioOutputs;
  if (type == kEvent) return dir == kInput ? &eventInputs : &eventOutputs;
  return nullptr;
}

int32 PLUGIN_API CombinedEffect::getBusCount(MediaType type, BusDirection dir) {
  BusList* list = getBusList(type, dir);
  return list ? static_cast<int32>(list->size()) : 0;
}

tresult PLUGIN_API CombinedEffect::getBusInfo(MediaType type, BusDirection dir, int32 index,
                                              BusInfo& info) {
  BusList* list = getBusList(type, dir);
  if (list == nullptr || index < 0 || index >= static_cast<int32>(list->size()))
    return kInvalidArgument;
  Bus* bus = (*list)[static_cast<size_t>(index)];
  info.mediaType = type;
  info.direction = dir;
  return bus->getInfo(info) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API CombinedEffect::activateBus(MediaType type, BusDirection dir, int32 index,
                                               TBool state) {
  BusList* list = getBusList(type, dir);
  if (list == nullptr || index < 0 || index >= static_cast<int32>(list->size()))
    return kInvalidArgument;
  (*list)[static_cast<size_t>(index)]->setActive(state);
  return kResultTrue;
}

tresult PLUGIN_API CombinedEffect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                      SpeakerArrangement* outputs, int32 numOuts) {
  if (numIns < 0 || numOuts < 0) return kInvalidArgument;
  if (numIns > static_cast<int32>(audioInputs.size()) ||
      numOuts > static_cast<int32>(audioOutputs.size()))
    return kResultFalse;
  if ((numIns > 0 && inputs == nullptr) || (numOuts > 0 && outputs == nullptr))
    return kInvalidArgument;
  for (int32 i = 0; i < numIns; ++i)
    FCast<AudioBus>(audioInputs[static_cast<size_t>(i)].get())->setArrangement(inputs[i]);
  for (int32 i = 0; i < numOuts; ++i)
    FCast<AudioBus>(audioOutputs[static_cast<size_t>(i)].get())->setArrangement(outputs[i]);
  return kResultTrue;
}

tresult PLUGIN_API CombinedEffect::getBusArrangement(BusDirection dir, int32 index,
                                                     SpeakerArrangement& arr) {
  BusList* list = getBusList(kAudio, dir);
  if (list == nullptr || index < 0 || index >= static_cast<int32>(list->size()))
    return kInvalidArgument;
  auto* bus = FCast<AudioBus>((*list)[static_cast<size_t>(index)].get());
  if (bus == nullptr) return kResultFalse;
  arr = bus->getArrangement();
  return kResultTrue;
}

tresult PLUGIN_API CombinedEffect::canProcessSampleSize(int32 symbolicSampleSize) {
  return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API CombinedEffect::setupProcessing(ProcessSetup& setup) {
  if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue) return kResultFalse;
  processSetup = setup;
  return kResultOk;
}

AudioBus* CombinedEffect::addAudioInput(const TChar* name, SpeakerArrangement arr, BusType busType,
                                        int32 flags) {
  auto* bus = new AudioBus(name, busType, flags, arr);
  audioInputs.emplace_back(bus, false);  // the list takes our creation reference
  return bus;
}

AudioBus* CombinedEffect::addAudioOutput(const TChar* name, SpeakerArrangement arr, BusType busType,
                                         int32 flags) {
  auto* bus = new AudioBus(name, busType, flags, arr);
  audioOutputs.emplace_back(bus, false);
  return bus;
}

EventBus* CombinedEffect::addEventInput(const TChar* name, int32 channels, BusType busType,
                                        int32 flags) {
  auto* bus = new EventBus(name, busType, flags, channels);
  eventInputs.emplace_back(bus, false);
  return bus;
}

EventBus* CombinedEffect::addEventOutput(const TChar* name, int32 channels, BusType busType,
                                         int32 flags) {
  auto* bus = new EventBus(name, busType, flags, channels);
  eventOutputs.emplace_back(bus, false);
  return bus;
}

tresult CombinedEffect::removeAudioBusses() {
  audioInputs.clear();
  audioOutputs.clear();
  return kResultOk;
}

tresult CombinedEffect::removeEventBusses() {
  eventInputs.clear();
  eventOutputs.clear();
  return kResultOk;
}

tresult CombinedEffect::removeAllBusses() {
  removeAudioBusses();
  removeEventBusses();
  return kResultOk;
}

}  // namespace brimo::vst3
