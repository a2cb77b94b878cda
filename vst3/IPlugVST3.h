// The VST3 adaptor: maps the plug-in base onto one object that is component, audio processor and
// edit controller at once. IPlugVST3.cpp holds construction, buses and the processing set-up;
// IPlugVST3Processing.cpp the processing call; IPlugVST3Controller.cpp the edit controller;
// IPlugVST3State.cpp the state; IPlugVST3View.* the editor view.
//
// Threads and locks:
//   - process() runs on the host's audio thread and holds the plug-in lock for the whole call.
//   - getState/setState, setParamNormalized, setupProcessing and setBusArrangements take the same
//     lock, so they never interleave with a block; getState and setState talk to the host's stream
//     outside it. setActive reaches the plug-in's OnActivated, which takes it too.
//   - Everything else (initialize, terminate, queries) runs on the host's main thread and reads
//     data fixed after initialize, or single atomic values.
//
// Host parameter ids: 0 .. N-1 for the plug-in's parameters, kPresetParamId and kBypassParamId for
// the two extra ones. State: N little-endian doubles, then an int32 bypass flag.
#pragma once

#include "IBlockDriver.h"
#include "IPlugBase.h"
#include "CombinedEffect.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <array>
#include <vector>

class IPlugVST3View;

class IPlugVST3 : public IPlugBase, public brimo::vst3::CombinedEffect {
public:
  static constexpr Steinberg::Vst::ParamID kPresetParamId = 0x70727374;  // 'prst'
  static constexpr Steinberg::Vst::ParamID kBypassParamId = 0x62706173;  // 'bpas'

  IPlugVST3(int32_t paramCount, const char* channelSpec, int32_t presetCount,
            const char* effectName, const char* productName, const char* makerName,
            int32_t versionCode, uint32_t uniqueCode, uint32_t makerCode, bool instrumentMode,
            bool receivesMidi);
  ~IPlugVST3() override;

  // Each entry point carries the thread a host calls it on: [main] the host's main thread,
  // [audio] its audio thread, [any] either.

  // ---- IPluginBase [main] ----
  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API terminate() SMTG_OVERRIDE;

  // ---- IComponent / IAudioProcessor [main], except process and setProcessing [audio] ----
  Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                   Steinberg::int32 numIns,
                                                   Steinberg::Vst::SpeakerArrangement* outputs,
                                                   Steinberg::int32 numOuts) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 size) SMTG_OVERRIDE;
  Steinberg::uint32 PLUGIN_API getLatencySamples() SMTG_OVERRIDE;
  Steinberg::uint32 PLUGIN_API getTailSamples() SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }

  // ---- IEditController [main] (getState/setState serve IComponent as well) ----
  Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* stream) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* stream) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream*) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::tresult PLUGIN_API getParameterInfo(Steinberg::int32 paramIndex,
                                                 Steinberg::Vst::ParameterInfo& info) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API
  getParamStringByValue(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue valueNormalized,
                        Steinberg::Vst::String128 string) SMTG_OVERRIDE;
  Steinberg::Vst::ParamValue PLUGIN_API plainParamToNormalized(
      Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue plain) SMTG_OVERRIDE;
  Steinberg::Vst::ParamValue PLUGIN_API getParamNormalized(Steinberg::Vst::ParamID id)
      SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id,
                                                   Steinberg::Vst::ParamValue value) SMTG_OVERRIDE;
  Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) SMTG_OVERRIDE;

  // ---- IEditController2 [main] ----
  Steinberg::tresult PLUGIN_API setKnobMode(Steinberg::Vst::KnobMode) SMTG_OVERRIDE {
    return Steinberg::kResultOk;
  }

  // ---- IUnitInfo [main] ----
  Steinberg::int32 PLUGIN_API getUnitCount() SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API getUnitInfo(Steinberg::int32 unitIndex,
                                            Steinberg::Vst::UnitInfo& info) SMTG_OVERRIDE;
  Steinberg::int32 PLUGIN_API getProgramListCount() SMTG_OVERRIDE { return 0; }
  Steinberg::tresult PLUGIN_API getProgramListInfo(
      Steinberg::int32 listIndex, Steinberg::Vst::ProgramListInfo& info) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API getProgramName(Steinberg::Vst::ProgramListID listId,
                                               Steinberg::int32 programIndex,
                                               Steinberg::Vst::String128 name) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API getProgramInfo(Steinberg::Vst::ProgramListID, Steinberg::int32,
                                               Steinberg::Vst::CString,
                                               Steinberg::Vst::String128) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::tresult PLUGIN_API hasProgramPitchNames(Steinberg::Vst::ProgramListID,
                                                     Steinberg::int32) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::tresult PLUGIN_API getProgramPitchName(Steinberg::Vst::ProgramListID, Steinberg::int32,
                                                    Steinberg::int16,
                                                    Steinberg::Vst::String128) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::Vst::UnitID PLUGIN_API getSelectedUnit() SMTG_OVERRIDE { return 0; }
  Steinberg::tresult PLUGIN_API selectUnit(Steinberg::Vst::UnitID) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::tresult PLUGIN_API getUnitByBus(Steinberg::Vst::MediaType,
                                             Steinberg::Vst::BusDirection, Steinberg::int32,
                                             Steinberg::int32,
                                             Steinberg::Vst::UnitID&) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::tresult PLUGIN_API setUnitProgramData(Steinberg::int32, Steinberg::int32,
                                                   Steinberg::IBStream*) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }

  // ---- IPlugBase host-facing operations: gestures and editor [main]; transport queries [audio]
  // ----
  void BeginParamGesture(int32_t paramIdx) override;
  void SendParamToHost(int32_t paramIdx, double normalized) override;
  void EndParamGesture(int32_t paramIdx) override;
  void SendProgramChangeToHost() override {}
  bool IsOfflineRender() override;
  int32_t HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int32_t* numerator, int32_t* denominator) override;
  void HostTransport(ITimeInfo* info) override;
  void SetLatency(int32_t samples) override;
  bool SendMidiMessage(IMidiMessage*) override { return false; }
  bool ShowHostContextMenu(int32_t paramIdx, int32_t x, int32_t y) override;
  void ResizeEditor(int32_t width, int32_t height) override;
  void AddEditorCallbackRef() override;
  void ReleaseEditorCallbackRef() override;

  // [any] Speaker arrangement used for a bus of the given channel count (kEmpty for unsupported
  // counts).
  static Steinberg::Vst::SpeakerArrangement ArrangementFor(int32_t channels);

  OBJ_METHODS(IPlugVST3, brimo::vst3::CombinedEffect)
  REFCOUNT_METHODS(brimo::vst3::CombinedEffect)

protected:
  // [main, constructor] Number of input channels that belong to an auxiliary (sidechain) bus; at
  // most 2.
  void SetSidechainChannels(int32_t channels);

private:
  void CreateBuses();
  void RegisterParameters();
  void ApplyParameterChanges(Steinberg::Vst::IParameterChanges* changes);
  // Sets one of the plug-in's parameters, shows it in the editor and announces it (lock held).
  void ApplyParamValue(int32_t index, double normalized);
  void ForwardNotes(Steinberg::Vst::IEventList* events);
  static bool BusActive(const Steinberg::Vst::BusList& list, size_t index);

  bool initialized = false;
  int32_t sidechainChannels = 0;
  IBlockDriver driver{*this};
  // The host's buses of one processing call, sized at construction so process() allocates nothing.
  std::array<IBlockBus, 2> inputBuses{};
  std::vector<IBlockBus> outputBuses;
  Steinberg::Vst::ProcessContext transport{};  // the last processing call's host context
  // [main] Editor views handed out by createView, in creation order (each leaves the list when the
  // host releases it), and the one whose parent holds the editor window, if any.
  friend class IPlugVST3View;
  std::vector<IPlugVST3View*> views;
  IPlugVST3View* windowView = nullptr;
};
