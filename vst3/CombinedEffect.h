// One object that is at once VST3 component, audio processor and edit controller.
//
// The SDK copy we build against ships the edit-controller classes but not a combined class, so it
// lives here, under a name of our own (a full SDK's class of this kind can sit beside it). Hosts
// see the interface behaviour they know from the SDK:
//   - queryInterface answers every interface the object implements (IComponent, IAudioProcessor,
//     IEditController, IEditController2, IUnitInfo, IPluginBase, IConnectionPoint, FUnknown) and
//     adds a reference for each successful answer;
//   - reference counting is FObject's (starts at 1, deletes at 0);
//   - IComponent and IEditController share getState/setState (same C++ signature), so a subclass's
//     override serves both; here both answer kNotImplemented;
//   - buses are kept in SDK BusLists and reported through IComponent/IAudioProcessor.
//
// Thread contract: everything is called on the host's main thread except process() (audio thread),
// which this class does not implement.
#pragma once

#include "public.sdk/source/vst/vstbus.h"
#include "public.sdk/source/vst/vsteditcontroller.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"

namespace brimo::vst3 {

using namespace Steinberg;
using namespace Steinberg::Vst;

class CombinedEffect : public EditControllerEx1, public IComponent, public IAudioProcessor {
public:
  CombinedEffect();
  ~CombinedEffect() override;

  // IPluginBase
  tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE;
  tresult PLUGIN_API terminate() SMTG_OVERRIDE;

  // IComponent
  tresult PLUGIN_API getControllerClassId(TUID) SMTG_OVERRIDE { return kNotImplemented; }
  tresult PLUGIN_API setIoMode(IoMode) SMTG_OVERRIDE { return kNotImplemented; }
  int32 PLUGIN_API getBusCount(MediaType type, BusDirection dir) SMTG_OVERRIDE;
  tresult PLUGIN_API getBusInfo(MediaType type, BusDirection dir, int32 index,
                                BusInfo& info) SMTG_OVERRIDE;
  tresult PLUGIN_API getRoutingInfo(RoutingInfo&, RoutingInfo&) SMTG_OVERRIDE {
    return kNotImplemented;
  }
  tresult PLUGIN_API activateBus(MediaType type, BusDirection dir, int32 index,
                                 TBool state) SMTG_OVERRIDE;
  tresult PLUGIN_API setActive(TBool) SMTG_OVERRIDE { return kResultOk; }
  // Shared by IComponent and IEditController.
  tresult PLUGIN_API setState(IBStream*) SMTG_OVERRIDE { return kNotImplemented; }
  tresult PLUGIN_API getState(IBStream*) SMTG_OVERRIDE { return kNotImplemented; }

  // IAudioProcessor
  tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                        SpeakerArrangement* outputs, int32 numOuts) SMTG_OVERRIDE;
  tresult PLUGIN_API getBusArrangement(BusDirection dir, int32 index,
                                       SpeakerArrangement& arr) SMTG_OVERRIDE;
  tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) SMTG_OVERRIDE;
  uint32 PLUGIN_API getLatencySamples() SMTG_OVERRIDE { return 0; }
  tresult PLUGIN_API setupProcessing(ProcessSetup& setup) SMTG_OVERRIDE;
  tresult PLUGIN_API setProcessing(TBool) SMTG_OVERRIDE { return kNotImplemented; }
  tresult PLUGIN_API process(ProcessData&) SMTG_OVERRIDE { return kNotImplemented; }
  uint32 PLUGIN_API getTailSamples() SMTG_OVERRIDE { return kNoTail; }

  // Bus setup, for subclasses' initialize.
  AudioBus* addAudioInput(const TChar* name, SpeakerArrangement arr, BusType busType = kMain,
                          int32 flags = BusInfo::kDefaultActive);
  AudioBus* addAudioOutput(const TChar* name, SpeakerArrangement arr, BusType busType = kMain,
                           int32 flags = BusInfo::kDefaultActive);
  EventBus* addEventInput(const TChar* name, int32 channels = 16, BusType busType = kMain,
                          int32 flags = BusInfo::kDefaultActive);
  EventBus* addEventOutput(const TChar* name, int32 channels = 16, BusType busType = kMain,
                           int32 flags = BusInfo::kDefaultActive);
  tresult removeAudioBusses();
  tresult removeEventBusses();

  OBJ_METHODS(CombinedEffect, EditControllerEx1)
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) SMTG_OVERRIDE;
  REFCOUNT_METHODS(EditControllerEx1)

protected:
  BusList* getBusList(MediaType type, BusDirection dir);
  tresult removeAllBusses();

  ProcessSetup processSetup{};
  BusList audioInputs;
  BusList audioOutputs;
  BusList eventInputs;
  BusList eventOutputs;
};

}  // namespace brimo::vst3
