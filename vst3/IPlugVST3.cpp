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

bool BusActive(const BusList& list, size_t index) {
  return index < list.size() && list[index]->isActive();
}

// Reads up to n bytes, following streams that deliver less than asked per call; the count read.
int32 ReadFully(IBStream* stream, uint8_t* dst, int32 n) {
  int32 total = 0;
  while (total < n) {
    int32 got = 0;
    if (stream->read(dst + total, n - total, &got) != kResultOk || got <= 0) break;
    total += std::min(got, n - total);
  }
  return total;
}

// Writes n bytes, following streams that take less than offered per call. A stream that answers
// kResultOk without reporting a count is trusted to have taken everything.
bool WriteFully(IBStream* stream, const uint8_t* src, int32 n) {
  int32 total = 0;
  while (total < n) {
    int32 written = n - total;
    if (stream->write(const_cast<uint8_t*>(src + total), n - total, &written) != kResultOk ||
        written <= 0)
      return false;
    total += std::min(written, n - total);
  }
  return true;
}

}  // namespace

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

// ---------------------------------------------------------------------------------------------
// Processing

tresult PLUGIN_API IPlugVST3::process(ProcessData& data) {
  LockGuard guard(GetLock());
  IScopedFlushToZero flush;

  if (data.processContext) transport = *data.processContext;
  if (data.inputParameterChanges) ApplyParameterChanges(data.inputParameterChanges);
  if (ReceivesMidi() && data.inputEvents) ForwardNotes(data.inputEvents);

  const bool is64 = data.symbolicSampleSize == kSample64;
  if (!is64 && data.symbolicSampleSize != kSample32) return kResultOk;

  // The host's buses as the block driver takes them: the main input and a sidechain, and as many
  // output buses as the plug-in has.
  auto toBus = [](const AudioBusBuffers& b, bool active) {
    IBlockBus bus;
    bus.channels = b.numChannels;
    bus.buffers32 = b.channelBuffers32;
    bus.buffers64 = b.channelBuffers64;
    bus.active = active;
    return bus;
  };
  const int32 numInputs = data.inputs ? std::min<int32>(data.numInputs, 2) : 0;
  for (int32 b = 0; b < numInputs; ++b)
    inputBuses[size_t(b)] = toBus(data.inputs[b], b == 0 || BusActive(audioInputs, size_t(b)));
  const int32 numOutputs = data.outputs
                               ? std::min<int32>({data.numOutputs, int32(audioOutputs.size()),
                                                  int32(outputBuses.size())})
                               : 0;
  for (int32 b = 0; b < numOutputs; ++b)
    outputBuses[size_t(b)] = toBus(data.outputs[b], BusActive(audioOutputs, size_t(b)));
  driver.Process(inputBuses.data(), std::max<int32>(numInputs, 0), outputBuses.data(),
                 std::max<int32>(numOutputs, 0), is64, std::max<int32_t>(data.numSamples, 0));
  return kResultOk;
}

void IPlugVST3::ApplyParameterChanges(IParameterChanges* changes) {
  const int32 queues = changes->getParameterCount();
  for (int32 q = 0; q < queues; ++q) {
    IParamValueQueue* queue = changes->getParameterData(q);
    if (queue == nullptr) continue;
    const int32 points = queue->getPointCount();
    if (points <= 0) continue;
    int32 offset = 0;
    ParamValue value = 0.0;
    if (queue->getPoint(points - 1, offset, value) != kResultOk || std::isnan(value)) continue;
    value = std::clamp(value, 0.0, 1.0);
    const ParamID id = queue->getParameterId();
    if (id == kBypassParamId)
      SetBypassed(value > 0.5);
    else if (id == kPresetParamId)
      RestorePreset(static_cast<int32_t>(value * PresetCount()));
    else if (id < static_cast<ParamID>(ParamCount()))
      ApplyParamValue(static_cast<int32_t>(id), value);
  }
}

void IPlugVST3::ApplyParamValue(int32_t index, double normalized) {
  GetParam(index)->SetNormalized(normalized);
  if (IGraphics* graphics = GetGraphics())
    graphics->SetParameterFromPlugin(index, normalized, true);
  OnParamChanged(index);
}

void IPlugVST3::ForwardNotes(IEventList* events) {
  const int32 count = events->getEventCount();
  for (int32 i = 0; i < count; ++i) {
    Event event{};
    if (events->getEvent(i, event) != kResultOk) continue;
    IMidiMessage message;
    message.offset = event.sampleOffset;
    if (event.type == Event::kNoteOnEvent) {
      const float velocity = std::clamp(event.noteOn.velocity, 0.0f, 1.0f);
      message.status = static_cast<uint8_t>(0x90 | (event.noteOn.channel & 0x0F));
      message.data1 = static_cast<uint8_t>(event.noteOn.pitch & 0x7F);
      message.data2 = static_cast<uint8_t>(velocity * 127.0f);
    } else if (event.type == Event::kNoteOffEvent) {
      message.status = static_cast<uint8_t>(0x80 | (event.noteOff.channel & 0x0F));
      message.data1 = static_cast<uint8_t>(event.noteOff.pitch & 0x7F);
      message.data2 = 0;
    } else
      continue;
    ProcessMidiMessage(&message);
  }
}

// ---------------------------------------------------------------------------------------------
// Controller

tresult PLUGIN_API IPlugVST3::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
  if (paramIndex < 0 || paramIndex >= parameters.getParameterCount()) return kInvalidArgument;
  info = parameters.getParameterByIndex(paramIndex)->getInfo();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                    String128 string) {
  if (string == nullptr || id >= static_cast<ParamID>(ParamCount())) return kResultFalse;
  IPlugParameter::FormatNormalized(*GetParam(static_cast<int32_t>(id)), valueNormalized, string);
  return kResultOk;
}

ParamValue PLUGIN_API IPlugVST3::plainParamToNormalized(ParamID id, ParamValue plain) {
  if (id >= static_cast<ParamID>(ParamCount())) return plain;
  return GetParam(static_cast<int32_t>(id))->ToNormalized(plain);
}

ParamValue PLUGIN_API IPlugVST3::getParamNormalized(ParamID id) {
  if (id == kBypassParamId) return IsBypassed() ? 1.0 : 0.0;
  if (id >= static_cast<ParamID>(ParamCount())) return 0.0;
  return GetParam(static_cast<int32_t>(id))->GetNormalized();
}

tresult PLUGIN_API IPlugVST3::setParamNormalized(ParamID id, ParamValue value) {
  const bool bypass = id == kBypassParamId && !IsInstrument();
  if (!bypass && id >= static_cast<ParamID>(ParamCount())) return kResultFalse;
  if (std::isnan(value)) return kResultFalse;
  value = std::clamp(value, 0.0, 1.0);
  // Under the plug-in lock, so the value never changes in the middle of a block or a state save.
  // What the host sets here is at once what it reads back, what the plug-in plays and what a
  // state save stores, with or without a processing call in between.
  LockGuard guard(GetLock());
  if (bypass)
    SetBypassed(value > 0.5);
  else
    ApplyParamValue(static_cast<int32_t>(id), value);
  return kResultOk;
}

IPlugView* PLUGIN_API IPlugVST3::createView(FIDString /*name*/) {
  // The editor view comes with the editor layer; until then there is no view to offer, and views
  // stays empty.
  return nullptr;
}

// Both state calls talk to the host's stream without the plug-in lock, so a slow stream never
// stalls the audio thread: the state is serialised into memory under the lock and written
// afterwards, or read into memory first and applied under the lock.

tresult PLUGIN_API IPlugVST3::getState(IBStream* stream) {
  if (stream == nullptr) return kInvalidArgument;
  try {
    StateChunk chunk(4096);
    {
      LockGuard guard(GetLock());
      if (!SerializeParams(&chunk)) return kResultFalse;
      // The bypass flag follows the values as a little-endian int32.
      const int32_t valuesSize = chunk.Size();
      uint8_t* bytes = chunk.Resize(valuesSize + 4);
      if (bytes == nullptr) return kResultFalse;
      const uint8_t bypass = IsBypassed() ? 1 : 0;
      const uint8_t word[4] = {bypass, 0, 0, 0};
      std::memcpy(bytes + valuesSize, word, 4);
    }
    // A stream that refuses the bytes is reported, so the host does not store a truncated state.
    return WriteFully(stream, chunk.Bytes(), chunk.Size()) ? kResultOk : kResultFalse;
  } catch (...) {
    return kOutOfMemory;
  }
}

tresult PLUGIN_API IPlugVST3::setState(IBStream* stream) {
  if (stream == nullptr) return kInvalidArgument;
  try {
    int32 valuesSize = 0;
    {
      LockGuard guard(GetLock());
      StateChunk current(4096);
      if (!SerializeParams(&current) || current.Size() == 0) return kResultFalse;
      valuesSize = current.Size();
    }
    std::vector<uint8_t> incoming(size_t(valuesSize) + 4);
    const int32 got = ReadFully(stream, incoming.data(), valuesSize);
    const bool bypassRead =
        got == valuesSize && ReadFully(stream, incoming.data() + valuesSize, 4) == 4;

    LockGuard guard(GetLock());
    // Pre-filled with the current values: whatever the stream does not deliver stays as it is.
    StateChunk chunk(4096);
    if (!SerializeParams(&chunk) || chunk.Size() != valuesSize) return kResultFalse;
    // Only whole values are taken: a value cut short by the end of the stream keeps its current
    // bytes rather than becoming a mixture of old and new ones.
    std::memcpy(chunk.Bytes(), incoming.data(), size_t(got - got % 8));
    UnserializeParams(&chunk, 0);
    if (!bypassRead) return kResultFalse;
    const uint8_t* word = incoming.data() + valuesSize;
    const uint32_t bypass = uint32_t(word[0]) | uint32_t(word[1]) << 8 | uint32_t(word[2]) << 16 |
                            uint32_t(word[3]) << 24;
    SetBypassed(bypass != 0);
    RedrawParamControls();
    return kResultOk;
  } catch (...) {
    return kOutOfMemory;
  }
}

// ---------------------------------------------------------------------------------------------
// Units and the program list

int32 PLUGIN_API IPlugVST3::getUnitCount() {
  return 1 + static_cast<int32>(UnitGroups().size());
}

tresult PLUGIN_API IPlugVST3::getUnitInfo(int32 unitIndex, UnitInfo& info) {
  const auto& groups = UnitGroups();
  if (unitIndex == 0) {
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    WidenToUtf16("Root Unit", info.name);
  } else if (unitIndex >= 1 && unitIndex <= static_cast<int32>(groups.size())) {
    info.id = unitIndex;
    info.parentUnitId = kRootUnitId;
    WidenToUtf16(groups[size_t(unitIndex - 1)], info.name);
  } else
    return kResultFalse;
  info.programListId = kNoProgramListId;
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getProgramListInfo(int32 listIndex, ProgramListInfo& info) {
  if (listIndex != 0) return kResultFalse;
  info.id = kPresetParamId;
  WidenToUtf16("Factory Presets", info.name);
  info.programCount = PresetCount();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getProgramName(ProgramListID listId, int32 programIndex,
                                             String128 name) {
  if (listId != static_cast<ProgramListID>(kPresetParamId) || name == nullptr) return kResultFalse;
  // A preset's name changes when processing restores it for the first time.
  LockGuard guard(GetLock());
  WidenToUtf16(GetPresetName(programIndex), name);
  return kResultOk;
}

// ---------------------------------------------------------------------------------------------
// What the plug-in base asks of the host

void IPlugVST3::BeginParamGesture(int32_t paramIdx) {
  beginEdit(static_cast<ParamID>(paramIdx));
}

void IPlugVST3::SendParamToHost(int32_t paramIdx, double normalized) {
  performEdit(static_cast<ParamID>(paramIdx), normalized);
}

void IPlugVST3::EndParamGesture(int32_t paramIdx) {
  endEdit(static_cast<ParamID>(paramIdx));
}

bool IPlugVST3::IsOfflineRender() {
  return processSetup.processMode == kOffline;
}

int32_t IPlugVST3::HostSamplePosition() {
  return static_cast<int32_t>(static_cast<uint32_t>(transport.projectTimeSamples & 0xFFFFFFFF));
}

double IPlugVST3::HostTempo() {
  return transport.tempo;
}

void IPlugVST3::HostTimeSignature(int32_t* numerator, int32_t* denominator) {
  if (numerator) *numerator = transport.timeSigNumerator;
  if (denominator) *denominator = transport.timeSigDenominator;
}

void IPlugVST3::HostTransport(ITimeInfo* info) {
  if (info == nullptr) return;
  info->tempo = transport.tempo;
  info->samplePos = static_cast<double>(transport.projectTimeSamples);
  info->ppqPos = transport.projectTimeMusic;
  info->lastBarPos = transport.barPositionMusic;
  info->cycleStart = transport.cycleStartMusic;
  info->cycleEnd = transport.cycleEndMusic;
  info->numerator = transport.timeSigNumerator;
  info->denominator = transport.timeSigDenominator;
  info->transportIsRunning = (transport.state & ProcessContext::kPlaying) != 0;
  info->transportLoopEnabled = (transport.state & ProcessContext::kCycleActive) != 0;
}

void IPlugVST3::SetLatency(int32_t samples) {
  IPlugBase::SetLatency(samples);
  if (componentHandler) componentHandler->restartComponent(kLatencyChanged);
}

void IPlugVST3::ShowHostContextMenu(int32_t paramIdx, int32_t x, int32_t y) {
  if (componentHandler == nullptr || views.empty()) return;
  FUnknownPtr<IComponentHandler3> handler(componentHandler);
  if (!handler) return;
  ParamID id = static_cast<ParamID>(paramIdx);
  if (IContextMenu* menu = handler->createContextMenu(views.front(), &id)) {
    menu->popup(x, y);
    menu->release();
  }
}

void IPlugVST3::ResizeEditor(int32_t /*width*/, int32_t /*height*/) {
  // Resizing goes through the first open editor view's frame; with no view there is nothing to do.
  if (GetGraphics() == nullptr || views.empty()) return;
}
