// A small VST3 host: loads a plug-in module from disk and drives its instances only through the
// VST3 interfaces, the way a digital audio workstation does. Shared by brimo-render and the
// host-level tests.
//
// Thread contract
// - Module: load, class queries, instance creation and destruction on one thread (the "main"
//   thread). Each Plugin holds a reference to its Module, so the library stays loaded until the
//   last instance is gone.
// - Plugin: split into three groups of calls.
//   [main]   construction, parameters(), text/plain/normalized conversions, bus arrangements,
//            setupProcessing, setActive, state save and restore, setControllerNormalized,
//            destruction. Calls of this group must not overlap each other.
//   [audio]  queueChange, process*, setProcessing. Calls of this group must not overlap each
//            other, and must not overlap a [main] call that changes the processing set-up
//            (arrangements, setupProcessing, setActive), as hosts guarantee; they may run on
//            another thread than the [main] calls, also at the same time as state save/restore,
//            parameter queries and setControllerNormalized (the plug-in is responsible for
//            that being safe).
//   [any]    const accessors of data fixed at creation (classInfo, isSingleComponent, raw
//            interface pointers).
// - No call throws across this API: failures are Steinberg result codes, empty optionals or
//   null pointers, with a readable reason where one helps.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "pluginterfaces/vst/vsttypes.h"

namespace brimo::host {

using Steinberg::tresult;
using Steinberg::Vst::ParamID;
using Steinberg::Vst::SpeakerArrangement;

using ClassId = std::array<std::uint8_t, 16>;

struct FactoryInfo {
  std::string vendor;
  std::string url;
  std::string email;
  std::int32_t flags = 0;
};

// One class of the factory. The PClassInfo2 fields are empty when the factory only offers
// IPluginFactory.
struct ClassInfo {
  ClassId cid{};
  std::int32_t cardinality = 0;
  std::string category;
  std::string name;
  std::uint32_t classFlags = 0;
  std::string subCategories;
  std::string vendor;
  std::string version;
  std::string sdkVersion;
};

struct ParamInfo {
  ParamID id = 0;
  std::string title;  // UTF-16 narrowed: code units below 0x80 kept, others become '?'
  std::string shortTitle;
  std::string units;
  std::int32_t stepCount = 0;
  double defaultNormalized = 0.0;
  std::int32_t unitId = 0;
  std::int32_t flags = 0;
};

// The parameters a controller lists, in its index order (entries it cannot describe are left out).
std::vector<ParamInfo> ListParameters(Steinberg::Vst::IEditController& controller);

struct UnitInfo {
  std::int32_t id = 0;
  std::int32_t parentId = 0;
  std::string name;
  std::int32_t programListId = 0;
};

struct ProgramListInfo {
  std::int32_t id = 0;
  std::string name;
  std::int32_t programCount = 0;
};

struct State {
  tresult result = Steinberg::kResultFalse;
  std::vector<std::uint8_t> bytes;
};

// What the host tells the plug-in about itself.
struct HostOptions {
  std::string hostName = "BRIMO host";
  // false: initialize() receives a context that offers no IHostApplication.
  bool offerHostApplication = true;
};

class Plugin;

// A loaded plug-in module (Linux: .so inside a bundle; Windows: a .vst3 DLL, bundled or not).
// Loading calls ModuleEntry (Linux) or InitDll (Windows), then GetPluginFactory; destruction
// releases the factory, calls ModuleExit / ExitDll and unloads the library.
class Module : public std::enable_shared_from_this<Module> {
public:
  // path: the bundle folder ("X.vst3") or the library file itself.
  static std::shared_ptr<Module> load(const std::string& path, std::string* error = nullptr);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  const std::string& libraryPath() const { return libraryPath_; }
  Steinberg::IPluginFactory* factory() const { return factory_; }
  FactoryInfo factoryInfo() const;
  std::vector<ClassInfo> classes() const;
  // The first class of category "Audio Module Class", if any.
  std::optional<ClassInfo> firstAudioEffect() const;

  // Creates, initialises and connects one instance (component + processor + controller).
  std::unique_ptr<Plugin> createPlugin(const ClassId& cid, const HostOptions& options = {},
                                       std::string* error = nullptr);

private:
  Module() = default;
  void* library_ = nullptr;
  std::string libraryPath_;
  Steinberg::IPluginFactory* factory_ = nullptr;
};

// Parameter changes handed to the plug-in with the next process call: an IParameterChanges with
// one queue per parameter id, points in the order they were added. Storage grows only when
// more ids or points arrive than ever before, so steady use does not allocate.
class ParameterChanges;
class HostContext;
class ComponentHandler;

enum class SampleSize { k32 = Steinberg::Vst::kSample32, k64 = Steinberg::Vst::kSample64 };

// One plug-in instance. Teardown (destructor or shutdown()) runs in host order: stop
// processing, deactivate, disconnect, terminate the controller then the component, release.
class Plugin {
public:
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // [any]
  const ClassInfo& classInfo() const { return classInfo_; }
  bool isSingleComponent() const { return single_; }
  tresult componentInitializeResult() const { return componentInitResult_; }
  Steinberg::Vst::IComponent* component() const { return component_; }
  Steinberg::Vst::IAudioProcessor* processor() const { return processor_; }
  Steinberg::Vst::IEditController* controller() const { return controller_; }
  Steinberg::Vst::IUnitInfo* unitInfo() const { return unitInfo_; }  // may be null

  // [main] parameters as the controller lists them, in host index order.
  std::vector<ParamInfo> parameters() const;
  std::optional<ParamInfo> findParameter(std::string_view title) const;
  double toPlain(ParamID id, double normalized) const;
  double toNormalized(ParamID id, double plain) const;
  std::optional<std::string> toText(ParamID id, double normalized) const;
  std::optional<double> fromText(ParamID id, std::string_view text) const;
  double controllerNormalized(ParamID id) const;
  tresult setControllerNormalized(ParamID id, double normalized);

  // [main] units and programs (empty when the plug-in has no IUnitInfo).
  std::vector<UnitInfo> units() const;
  std::vector<ProgramListInfo> programLists() const;
  std::optional<std::string> programName(std::int32_t listId, std::int32_t index) const;

  // [main] buses. setChannels(in, out) proposes one input and one output bus with the
  // standard arrangement for that channel count (1 mono, 2 stereo).
  tresult setBusArrangements(std::vector<SpeakerArrangement> inputs,
                             std::vector<SpeakerArrangement> outputs);
  tresult setChannels(int inputs, int outputs);
  // Switches on every bus flagged kDefaultActive, as hosts do after creation and after each
  // accepted arrangement (both done here automatically).
  void activateDefaultBuses();
  int busCount(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir) const;
  std::optional<Steinberg::Vst::BusInfo> busInfo(Steinberg::Vst::MediaType type,
                                                 Steinberg::Vst::BusDirection dir, int index) const;
  std::optional<SpeakerArrangement> busArrangement(Steinberg::Vst::BusDirection dir,
                                                   int index) const;

  // [main] processing set-up. Remembers the sample size and maximum block for process().
  tresult setupProcessing(double sampleRate, int maxBlock, SampleSize size = SampleSize::k32,
                          Steinberg::Vst::ProcessModes mode = Steinberg::Vst::kRealtime);
  tresult setActive(bool active);
  // Convenience for the usual order: arrangements, setupProcessing, setActive(true),
  // setProcessing(true). Returns the first failure (setProcessing's kNotImplemented counts
  // as success, as hosts treat it).
  tresult prepare(double sampleRate, int maxBlock, int channels, SampleSize size);

  // [audio]
  tresult setProcessing(bool processing);
  // Adds a point for the next process call (sample offset within that block).
  void queueChange(ParamID id, double normalized, std::int32_t sampleOffset = 0);
  // Queues the normalized value for a plain one, converted by the controller. [audio] but
  // asks the controller, so hosts normally do it on the main thread ahead of time.
  void queuePlain(ParamID id, double plain);
  // Processes one block of planar audio with the channel counts of the last successful
  // arrangement (inputs/outputs may hold more pointers; only those are used). The queued
  // changes go with this block and are then cleared. frames may exceed the maximum block:
  // it is passed through unchanged, for tests of that case.
  tresult process32(const float* const* inputs, float* const* outputs, int frames);
  tresult process64(const double* const* inputs, double* const* outputs, int frames);
  // Hands a caller-built ProcessData through, filling inputParameterChanges from the queue
  // when the caller left it null and flushParams is true.
  tresult processRaw(Steinberg::Vst::ProcessData& data, bool flushParams = true);
  int inputChannels() const { return inChannels_; }
  int outputChannels() const { return outChannels_; }

  // [main] state. Single-component plug-ins may answer kNotImplemented for the component
  // state; the controller state is then the whole state.
  State componentState() const;
  State controllerState() const;
  tresult setComponentState(std::span<const std::uint8_t> bytes);
  tresult setControllerState(std::span<const std::uint8_t> bytes);
  // [main] a .vstpreset file (the SDK's preset format, which names the class by its id string)
  // of the current state, and loading one; a file for another class is refused.
  State presetFile() const;
  tresult loadPresetFile(std::span<const std::uint8_t> bytes);

  // [any] what the plug-in reported to the host's component handler so far.
  int editCount() const;
  int restartCount() const;

  // [main] host-order teardown; the destructor calls it when not done yet.
  void shutdown();

private:
  friend class Module;
  Plugin();
  template <typename Sample>
  tresult processPlanar(const Sample* const* inputs, Sample* const* outputs, int frames);

  std::shared_ptr<Module> module_;
  ClassInfo classInfo_;
  bool single_ = true;
  tresult componentInitResult_ = Steinberg::kResultFalse;
  bool controllerInitialized_ = false;
  bool connected_ = false;
  bool active_ = false;
  bool processing_ = false;
  bool shutDown_ = false;
  std::unique_ptr<HostContext> hostContext_;
  std::unique_ptr<ComponentHandler> handler_;
  Steinberg::Vst::IComponent* component_ = nullptr;
  Steinberg::Vst::IAudioProcessor* processor_ = nullptr;
  Steinberg::Vst::IEditController* controller_ = nullptr;
  Steinberg::Vst::IUnitInfo* unitInfo_ = nullptr;
  int inChannels_ = 2;
  int outChannels_ = 2;
  SampleSize sampleSize_ = SampleSize::k32;
  int maxBlock_ = 0;
  double sampleRate_ = 44100.0;
  Steinberg::Vst::ProcessModes processMode_ = Steinberg::Vst::kRealtime;
  std::int64_t projectTime_ = 0;
  std::unique_ptr<ParameterChanges> changes_;
};

// Little helpers for tests and the renderer.
std::string narrow(const Steinberg::Vst::TChar* text, std::size_t maxUnits = 128);
SpeakerArrangement arrangementFor(int channels);  // 1 mono, 2 stereo, otherwise kEmpty
// The id string as hosts print and store it (32 upper-case hex digits; on Windows the first
// three fields are read as GUID fields, elsewhere the bytes are read in order).
std::string toString(const ClassId& cid);

}  // namespace brimo::host
