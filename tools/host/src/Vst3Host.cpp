#include "brimo/host/Vst3Host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "HostObjects.h"
#include "Library.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/vstpresetfile.h"

namespace brimo::host {

using namespace Steinberg;

namespace {

constexpr int kMaxChannels = 8;

template <size_t N>
std::string fixedString(const char8 (&text)[N]) {
  return std::string(text, strnlen(text, N));
}

template <typename Interface>
Interface* queryFrom(FUnknown* object) {
  if (!object) return nullptr;
  void* obj = nullptr;
  if (object->queryInterface(Interface::iid, &obj) != kResultOk) return nullptr;
  return static_cast<Interface*>(obj);
}

template <typename Interface>
void releaseAndClear(Interface*& p) {
  if (p) p->release();
  p = nullptr;
}

ClassId toClassId(const TUID cid) {
  ClassId out{};
  std::memcpy(out.data(), cid, out.size());
  return out;
}

std::vector<Vst::TChar> widen(std::string_view text) {
  std::vector<Vst::TChar> out;
  out.reserve(text.size() + 1);
  for (unsigned char c : text) out.push_back(static_cast<Vst::TChar>(c));
  out.push_back(0);
  return out;
}

}  // namespace

std::string narrow(const Vst::TChar* text, std::size_t maxUnits) {
  std::string out;
  if (!text) return out;
  for (std::size_t i = 0; i < maxUnits && text[i] != 0; ++i)
    out.push_back(text[i] < 0x100 ? static_cast<char>(text[i]) : '?');
  return out;
}

SpeakerArrangement arrangementFor(int channels) {
  switch (channels) {
    case 1:
      return Vst::SpeakerArr::kMono;
    case 2:
      return Vst::SpeakerArr::kStereo;
    default:
      return Vst::SpeakerArr::kEmpty;
  }
}

std::string toString(const ClassId& cid) {
  TUID tuid;
  std::memcpy(tuid, cid.data(), sizeof tuid);
  char8 text[33] = {};
  FUID::fromTUID(tuid).toString(text);
  return text;
}

// ---------------------------------------------------------------------------------------------
// Module

std::shared_ptr<Module> Module::load(const std::string& path, std::string* error) {
  std::shared_ptr<Module> module(new Module());
  module->libraryPath_ = library::resolve(path);
  module->library_ = library::open(module->libraryPath_, error);
  if (!module->library_) return nullptr;
  if (!library::enter(module->library_, error)) {
    library::close(module->library_);
    module->library_ = nullptr;
    return nullptr;
  }
  using GetFactory = IPluginFactory* (*)();
  auto get = reinterpret_cast<GetFactory>(library::symbol(module->library_, "GetPluginFactory"));
  module->factory_ = get ? get() : nullptr;
  if (!module->factory_) {
    if (error) *error = get ? "GetPluginFactory returned null" : "no GetPluginFactory export";
    return nullptr;  // the destructor exits and unloads
  }
  return module;
}

Module::~Module() {
  releaseAndClear(factory_);
  if (library_) {
    library::exit(library_);
    library::close(library_);
  }
}

FactoryInfo Module::factoryInfo() const {
  FactoryInfo out;
  PFactoryInfo info;  // its constructor zeroes it
  if (factory_->getFactoryInfo(&info) != kResultOk) return out;
  out.vendor = fixedString(info.vendor);
  out.url = fixedString(info.url);
  out.email = fixedString(info.email);
  out.flags = info.flags;
  return out;
}

std::vector<ClassInfo> Module::classes() const {
  std::vector<ClassInfo> out;
  IPluginFactory2* f2 = queryFrom<IPluginFactory2>(factory_);
  int32 count = factory_->countClasses();
  for (int32 i = 0; i < count; ++i) {
    ClassInfo c;
    PClassInfo2 info2;
    if (f2 && f2->getClassInfo2(i, &info2) == kResultOk) {
      c.cid = toClassId(info2.cid);
      c.cardinality = info2.cardinality;
      c.category = fixedString(info2.category);
      c.name = fixedString(info2.name);
      c.classFlags = info2.classFlags;
      c.subCategories = fixedString(info2.subCategories);
      c.vendor = fixedString(info2.vendor);
      c.version = fixedString(info2.version);
      c.sdkVersion = fixedString(info2.sdkVersion);
    } else {
      PClassInfo info;
      if (factory_->getClassInfo(i, &info) != kResultOk) continue;
      c.cid = toClassId(info.cid);
      c.cardinality = info.cardinality;
      c.category = fixedString(info.category);
      c.name = fixedString(info.name);
    }
    out.push_back(std::move(c));
  }
  releaseAndClear(f2);
  return out;
}

std::optional<ClassInfo> Module::firstAudioEffect() const {
  for (auto& c : classes())
    if (c.category == kVstAudioEffectClass) return c;
  return std::nullopt;
}

std::unique_ptr<Plugin> Module::createPlugin(const ClassId& cid, const HostOptions& options,
                                             std::string* error) {
  auto fail = [&](const char* why) -> std::unique_ptr<Plugin> {
    if (error) *error = why;
    return nullptr;
  };
  std::unique_ptr<Plugin> p(new Plugin());
  p->module_ = shared_from_this();
  for (auto& c : classes())
    if (c.cid == cid) p->classInfo_ = c;

  TUID tuid;
  std::memcpy(tuid, cid.data(), sizeof tuid);
  void* obj = nullptr;
  if (factory_->createInstance(tuid, Vst::IComponent::iid, &obj) != kResultOk || !obj)
    return fail("the factory made no IComponent for this class");
  p->component_ = static_cast<Vst::IComponent*>(obj);

  p->hostContext_ = std::make_unique<HostContext>(options.hostName, options.offerHostApplication);
  p->componentInitResult_ = p->component_->initialize(p->hostContext_.get());
  if (p->componentInitResult_ != kResultOk) return fail("IComponent::initialize failed");

  p->processor_ = queryFrom<Vst::IAudioProcessor>(p->component_);
  if (!p->processor_) return fail("the component offers no IAudioProcessor");

  p->controller_ = queryFrom<Vst::IEditController>(p->component_);
  p->single_ = p->controller_ != nullptr;
  if (!p->controller_) {
    TUID controllerId;
    if (p->component_->getControllerClassId(controllerId) != kResultOk)
      return fail("no edit controller: neither on the component nor as a class");
    obj = nullptr;
    if (factory_->createInstance(controllerId, Vst::IEditController::iid, &obj) != kResultOk ||
        !obj)
      return fail("the factory made no IEditController");
    p->controller_ = static_cast<Vst::IEditController*>(obj);
    if (p->controller_->initialize(p->hostContext_.get()) != kResultOk)
      return fail("IEditController::initialize failed");
    p->controllerInitialized_ = true;
    auto* a = queryFrom<Vst::IConnectionPoint>(p->component_);
    auto* b = queryFrom<Vst::IConnectionPoint>(p->controller_);
    if (a && b) {
      a->connect(b);
      b->connect(a);
      p->connected_ = true;
    }
    releaseAndClear(a);
    releaseAndClear(b);
    // The controller starts from the component's state, as hosts do.
    State s = p->componentState();
    if (s.result == kResultOk) {
      Steinberg::MemoryStream stream(s.bytes.data(), static_cast<TSize>(s.bytes.size()));
      p->controller_->setComponentState(&stream);
    }
  }
  p->activateDefaultBuses();
  p->handler_ = std::make_unique<ComponentHandler>();
  p->controller_->setComponentHandler(p->handler_.get());
  p->unitInfo_ = queryFrom<Vst::IUnitInfo>(p->controller_);
  p->changes_ = std::make_unique<ParameterChanges>();
  return p;
}

// ---------------------------------------------------------------------------------------------
// Plugin

Plugin::Plugin() = default;

Plugin::~Plugin() {
  shutdown();
}

void Plugin::shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (processing_ && processor_) processor_->setProcessing(false);
  if (active_ && component_) component_->setActive(false);
  processing_ = active_ = false;
  if (controller_) controller_->setComponentHandler(nullptr);
  if (connected_) {
    auto* a = queryFrom<Vst::IConnectionPoint>(component_);
    auto* b = queryFrom<Vst::IConnectionPoint>(controller_);
    if (a && b) {
      a->disconnect(b);
      b->disconnect(a);
    }
    releaseAndClear(a);
    releaseAndClear(b);
    connected_ = false;
  }
  releaseAndClear(unitInfo_);
  if (controllerInitialized_) controller_->terminate();
  if (component_ && componentInitResult_ == kResultOk) component_->terminate();
  releaseAndClear(controller_);
  releaseAndClear(processor_);
  releaseAndClear(component_);
  hostContext_.reset();
  handler_.reset();
  module_.reset();
}

int Plugin::editCount() const {
  return handler_ ? handler_->edits.load() : 0;
}
int Plugin::restartCount() const {
  return handler_ ? handler_->restarts.load() : 0;
}

std::vector<ParamInfo> ListParameters(Vst::IEditController& controller) {
  std::vector<ParamInfo> out;
  int32 count = controller.getParameterCount();
  for (int32 i = 0; i < count; ++i) {
    Vst::ParameterInfo info;
    std::memset(&info, 0, sizeof info);
    if (controller.getParameterInfo(i, info) != kResultOk) continue;
    ParamInfo p;
    p.id = info.id;
    p.title = narrow(info.title);
    p.shortTitle = narrow(info.shortTitle);
    p.units = narrow(info.units);
    p.stepCount = info.stepCount;
    p.defaultNormalized = info.defaultNormalizedValue;
    p.unitId = info.unitId;
    p.flags = info.flags;
    out.push_back(std::move(p));
  }
  return out;
}

std::vector<ParamInfo> Plugin::parameters() const {
  return ListParameters(*controller_);
}

std::optional<ParamInfo> Plugin::findParameter(std::string_view title) const {
  for (auto& p : parameters())
    if (p.title == title) return p;
  return std::nullopt;
}

double Plugin::toPlain(ParamID id, double normalized) const {
  return controller_->normalizedParamToPlain(id, normalized);
}

double Plugin::toNormalized(ParamID id, double plain) const {
  return controller_->plainParamToNormalized(id, plain);
}

std::optional<std::string> Plugin::toText(ParamID id, double normalized) const {
  Vst::String128 text{};
  if (controller_->getParamStringByValue(id, normalized, text) != kResultOk) return std::nullopt;
  return narrow(text);
}

std::optional<double> Plugin::fromText(ParamID id, std::string_view text) const {
  std::vector<Vst::TChar> wide = widen(text.substr(0, 127));
  double value = 0.0;
  if (controller_->getParamValueByString(id, wide.data(), value) != kResultOk) return std::nullopt;
  return value;
}

double Plugin::controllerNormalized(ParamID id) const {
  return controller_->getParamNormalized(id);
}

tresult Plugin::setControllerNormalized(ParamID id, double normalized) {
  return controller_->setParamNormalized(id, normalized);
}

std::vector<UnitInfo> Plugin::units() const {
  std::vector<UnitInfo> out;
  if (!unitInfo_) return out;
  int32 count = unitInfo_->getUnitCount();
  for (int32 i = 0; i < count; ++i) {
    Vst::UnitInfo info;
    std::memset(&info, 0, sizeof info);
    if (unitInfo_->getUnitInfo(i, info) != kResultOk) continue;
    out.push_back({info.id, info.parentUnitId, narrow(info.name), info.programListId});
  }
  return out;
}

std::vector<ProgramListInfo> Plugin::programLists() const {
  std::vector<ProgramListInfo> out;
  if (!unitInfo_) return out;
  int32 count = unitInfo_->getProgramListCount();
  for (int32 i = 0; i < count; ++i) {
    Vst::ProgramListInfo info;
    std::memset(&info, 0, sizeof info);
    if (unitInfo_->getProgramListInfo(i, info) != kResultOk) continue;
    out.push_back({info.id, narrow(info.name), info.programCount});
  }
  return out;
}

std::optional<std::string> Plugin::programName(std::int32_t listId, std::int32_t index) const {
  if (!unitInfo_) return std::nullopt;
  Vst::String128 name{};
  if (unitInfo_->getProgramName(listId, index, name) != kResultOk) return std::nullopt;
  return narrow(name);
}

tresult Plugin::setBusArrangements(std::vector<SpeakerArrangement> inputs,
                                   std::vector<SpeakerArrangement> outputs) {
  tresult r = processor_->setBusArrangements(
      inputs.empty() ? nullptr : inputs.data(), static_cast<int32>(inputs.size()),
      outputs.empty() ? nullptr : outputs.data(), static_cast<int32>(outputs.size()));
  if (r == kResultOk) {
    auto channels = [](const std::vector<SpeakerArrangement>& v) {
      return v.empty() ? 0 : std::min(Vst::SpeakerArr::getChannelCount(v[0]), kMaxChannels);
    };
    inChannels_ = channels(inputs);
    outChannels_ = channels(outputs);
    activateDefaultBuses();  // a plug-in may have rebuilt its buses for the new layout
  }
  return r;
}

tresult Plugin::setChannels(int inputs, int outputs) {
  return setBusArrangements({arrangementFor(inputs)}, {arrangementFor(outputs)});
}

void Plugin::activateDefaultBuses() {
  // Buses start inactive; hosts switch on the ones the plug-in marks active by default.
  for (Vst::MediaType type : {Vst::kAudio, Vst::kEvent})
    for (Vst::BusDirection dir : {Vst::kInput, Vst::kOutput})
      for (int32 i = 0, n = component_->getBusCount(type, dir); i < n; ++i) {
        Vst::BusInfo info{};
        if (component_->getBusInfo(type, dir, i, info) == kResultOk &&
            (info.flags & Vst::BusInfo::kDefaultActive))
          component_->activateBus(type, dir, i, true);
      }
}

int Plugin::busCount(Vst::MediaType type, Vst::BusDirection dir) const {
  return component_->getBusCount(type, dir);
}

std::optional<Vst::BusInfo> Plugin::busInfo(Vst::MediaType type, Vst::BusDirection dir,
                                            int index) const {
  Vst::BusInfo info;
  std::memset(&info, 0, sizeof info);
  if (component_->getBusInfo(type, dir, index, info) != kResultOk) return std::nullopt;
  return info;
}

std::optional<SpeakerArrangement> Plugin::busArrangement(Vst::BusDirection dir, int index) const {
  SpeakerArrangement arr = 0;
  if (processor_->getBusArrangement(dir, index, arr) != kResultOk) return std::nullopt;
  return arr;
}

tresult Plugin::setupProcessing(double sampleRate, int maxBlock, SampleSize size,
                                Vst::ProcessModes mode) {
  Vst::ProcessSetup setup{mode, static_cast<int32>(size), maxBlock, sampleRate};
  tresult r = processor_->setupProcessing(setup);
  if (r == kResultOk) {
    sampleRate_ = sampleRate;
    maxBlock_ = maxBlock;
    sampleSize_ = size;
    processMode_ = mode;
  }
  return r;
}

tresult Plugin::setActive(bool active) {
  tresult r = component_->setActive(active);
  if (r == kResultOk) active_ = active;
  return r;
}

tresult Plugin::setProcessing(bool processing) {
  tresult r = processor_->setProcessing(processing);
  processing_ = processing && (r == kResultOk || r == kNotImplemented);
  return r;
}

tresult Plugin::prepare(double sampleRate, int maxBlock, int channels, SampleSize size) {
  tresult r = setChannels(channels, channels);
  if (r == kResultOk) r = setupProcessing(sampleRate, maxBlock, size);
  if (r == kResultOk) r = setActive(true);
  if (r == kResultOk) {
    r = setProcessing(true);
    if (r == kNotImplemented) r = kResultOk;
  }
  return r;
}

void Plugin::queueChange(ParamID id, double normalized, std::int32_t sampleOffset) {
  changes_->add(id, sampleOffset, normalized);
}

void Plugin::queuePlain(ParamID id, double plain) {
  queueChange(id, toNormalized(id, plain));
}

tresult Plugin::processRaw(Vst::ProcessData& data, bool flushParams) {
  if (flushParams && !data.inputParameterChanges) data.inputParameterChanges = changes_.get();
  tresult r = processor_->process(data);
  if (data.inputParameterChanges == changes_.get()) changes_->clear();
  return r;
}

template <typename Sample>
tresult Plugin::processPlanar(const Sample* const* inputs, Sample* const* outputs, int frames) {
  Sample* in[kMaxChannels] = {};
  Sample* out[kMaxChannels] = {};
  for (int c = 0; c < inChannels_; ++c) in[c] = const_cast<Sample*>(inputs[c]);
  for (int c = 0; c < outChannels_; ++c) out[c] = outputs[c];

  Vst::AudioBusBuffers inBus{};
  Vst::AudioBusBuffers outBus{};
  inBus.numChannels = inChannels_;
  outBus.numChannels = outChannels_;
  if constexpr (sizeof(Sample) == 4) {
    inBus.channelBuffers32 = in;
    outBus.channelBuffers32 = out;
  } else {
    inBus.channelBuffers64 = in;
    outBus.channelBuffers64 = out;
  }

  Vst::ProcessContext context{};
  context.state = Vst::ProcessContext::kPlaying | Vst::ProcessContext::kTempoValid |
                  Vst::ProcessContext::kTimeSigValid;
  context.sampleRate = sampleRate_;
  context.projectTimeSamples = projectTime_;
  context.tempo = 120.0;
  context.timeSigNumerator = 4;
  context.timeSigDenominator = 4;

  Vst::ProcessData data;
  data.processMode = processMode_;
  data.symbolicSampleSize = sizeof(Sample) == 4 ? Vst::kSample32 : Vst::kSample64;
  data.numSamples = frames;
  data.numInputs = inChannels_ > 0 ? 1 : 0;
  data.numOutputs = outChannels_ > 0 ? 1 : 0;
  data.inputs = &inBus;
  data.outputs = &outBus;
  data.processContext = &context;
  tresult r = processRaw(data);
  projectTime_ += frames;
  return r;
}

tresult Plugin::process32(const float* const* inputs, float* const* outputs, int frames) {
  return processPlanar<float>(inputs, outputs, frames);
}

tresult Plugin::process64(const double* const* inputs, double* const* outputs, int frames) {
  return processPlanar<double>(inputs, outputs, frames);
}

State Plugin::componentState() const {
  State s;
  Steinberg::MemoryStream stream;
  s.result = component_->getState(&stream);
  const char* data = stream.getData();
  s.bytes.assign(data, data + stream.getSize());
  return s;
}

State Plugin::controllerState() const {
  State s;
  Steinberg::MemoryStream stream;
  s.result = controller_->getState(&stream);
  const char* data = stream.getData();
  s.bytes.assign(data, data + stream.getSize());
  return s;
}

namespace {
// A read-only stream over the caller's bytes (MemoryStream wants a mutable pointer but does not
// write through it while reading). An empty span still gets a valid, empty stream.
tresult readInto(std::span<const std::uint8_t> bytes,
                 const std::function<tresult(IBStream*)>& apply) {
  static std::uint8_t none = 0;
  void* data = bytes.empty() ? &none : const_cast<std::uint8_t*>(bytes.data());
  Steinberg::MemoryStream stream(data, static_cast<TSize>(bytes.size()));
  return apply(&stream);
}
}  // namespace

tresult Plugin::setComponentState(std::span<const std::uint8_t> bytes) {
  tresult r = readInto(bytes, [&](IBStream* s) { return component_->setState(s); });
  // A split controller follows the component's state, as hosts arrange.
  if (!single_ && r == kResultOk)
    readInto(bytes, [&](IBStream* s) { return controller_->setComponentState(s); });
  return r;
}

tresult Plugin::setControllerState(std::span<const std::uint8_t> bytes) {
  return readInto(bytes, [&](IBStream* s) { return controller_->setState(s); });
}

State Plugin::presetFile() const {
  State s;
  Steinberg::MemoryStream stream;
  TUID cid;
  std::memcpy(cid, classInfo_.cid.data(), sizeof cid);
  const bool saved = Vst::PresetFile::savePreset(&stream, FUID::fromTUID(cid), component_,
                                                 single_ ? nullptr : controller_);
  s.result = saved ? kResultOk : kResultFalse;
  if (saved) s.bytes.assign(stream.getData(), stream.getData() + stream.getSize());
  return s;
}

tresult Plugin::loadPresetFile(std::span<const std::uint8_t> bytes) {
  TUID cid;
  std::memcpy(cid, classInfo_.cid.data(), sizeof cid);
  return readInto(bytes, [&](IBStream* s) {
    return Vst::PresetFile::loadPreset(s, FUID::fromTUID(cid), component_,
                                       single_ ? nullptr : controller_)
               ? kResultOk
               : kResultFalse;
  });
}

}  // namespace brimo::host
