// The processing call: parameter changes from the host's queues, the block itself, note events,
// and what the plug-in reads of the host's transport.
#include "IPlugVST3.h"

#include "IGraphics.h"

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <cmath>

using namespace Steinberg;
using namespace Steinberg::Vst;

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
