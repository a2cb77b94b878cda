#include "IPlugBase.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "IGraphics.h"

IPlugBase::IPlugBase(int32_t paramCount, const char* channelSpec, int32_t presetCount,
                     const char* effectName, const char* productName, const char* makerName,
                     int32_t versionCode, uint32_t uniqueCode, uint32_t makerCode, int32_t apiCode,
                     bool instrumentMode, bool receivesMidi)
    : uniqueCode(uniqueCode),
      makerCode(makerCode),
      versionCode(versionCode),
      apiCode(apiCode),
      instrumentMode(instrumentMode),
      receivesMidi(receivesMidi) {
  CopyTruncated(this->effectName, effectName, sizeof this->effectName);
  CopyTruncated(this->productName, productName, sizeof this->productName);
  CopyTruncated(this->makerName, makerName, sizeof this->makerName);

  for (int32_t i = 0; i < paramCount; ++i) params.push_back(std::make_unique<IParamDef>());
  for (int32_t i = 0; i < presetCount; ++i) presets.push_back(std::make_unique<IPreset>());

  ParseChannelSpec(channelSpec);
}

IPlugBase::~IPlugBase() {
  // The editor goes first: its controls refer to the parameters.
  delete graphics;
  graphics = nullptr;
}

namespace {

// Reads a decimal integer as "%d" would (leading white space skipped), saturating at the int32
// limits instead of overflowing. Returns false, leaving *value alone, when there is no number.
bool ReadInt(const char* text, const char** end, int32_t* value) {
  char* stop = nullptr;
  const long long v = std::strtoll(text, &stop, 10);
  *end = stop;
  if (stop == text) return false;
  *value = int32_t(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
  return true;
}

}  // namespace

void IPlugBase::ParseChannelSpec(const char* channelSpec) {
  int32_t maxIn = 0, maxOut = 0;
  const char* p = channelSpec;
  while (p) {
    // "in-out"; a missing number reads as 0, so a malformed token yields (0, 0).
    IChannelPair pair;
    const char* end = p;
    if (ReadInt(p, &end, &pair.inputs) && *end == '-') ReadInt(end + 1, &end, &pair.outputs);
    // A count no bus could carry is a malformed token too, not a request for that many buffers.
    if (pair.inputs > kMaxChannels || pair.outputs > kMaxChannels) pair = IChannelPair{};
    legalIO.push_back(pair);
    maxIn = std::max(maxIn, pair.inputs);
    maxOut = std::max(maxOut, pair.outputs);
    p = std::strchr(p, ' ');
    if (p) ++p;
  }

  inputChannels.resize(size_t(maxIn));
  outputChannels.resize(size_t(maxOut));
  inputPointers.assign(size_t(maxIn), nullptr);
  outputPointers.assign(size_t(maxOut), nullptr);
  for (int32_t i = 0; i < maxIn; ++i) inputChannels[size_t(i)].slot = &inputPointers[size_t(i)];
  for (int32_t i = 0; i < maxOut; ++i) outputChannels[size_t(i)].slot = &outputPointers[size_t(i)];
}

// ---- Default hooks ----

void IPlugBase::Reset() {
  LockGuard guard(lock);
}

void IPlugBase::OnParamChanged(int32_t /*paramIdx*/) {
  LockGuard guard(lock);
}

void IPlugBase::OnActivated(bool /*active*/) {
  LockGuard guard(lock);
}

bool IPlugBase::UnusedTextQuery10(int32_t /*index*/, char* text) {
  if (text) text[0] = '\0';
  return false;
}

void IPlugBase::ProcessBlock(double** inputs, double** outputs, int32_t frames) {
  CopyInputsToOutputs(inputs, outputs, frames);
}

void IPlugBase::CopyInputsToOutputs(double** inputs, double** outputs, int32_t frames) {
  const int32_t n = ClampFrames(frames);
  if (!outputs) return;
  const int32_t nIn = InputChannelCount();
  for (int32_t i = 0; i < OutputChannelCount(); ++i) {
    double* out = outputs[i];
    if (!out) continue;
    const double* in = (inputs && i < nIn) ? inputs[i] : nullptr;
    if (in) {
      if (in != out) std::memmove(out, in, size_t(n) * sizeof(double));
    } else
      std::fill(out, out + n, 0.0);
  }
}

// ---- Parameters and editor ----

IParamDef* IPlugBase::GetParam(int32_t index) {
  return index >= 0 && index < ParamCount() ? params[size_t(index)].get() : nullptr;
}

const IParamDef* IPlugBase::GetParam(int32_t index) const {
  return index >= 0 && index < ParamCount() ? params[size_t(index)].get() : nullptr;
}

void IPlugBase::SetParamFromEditor(int32_t paramIdx, double normalized) {
  IParamDef* param = GetParam(paramIdx);
  if (!param) return;
  {
    LockGuard guard(lock);
    param->SetNormalized(normalized);
    OnParamChanged(paramIdx);
  }
  // The host hears of it with the lock released: its edit call may wait for its audio thread,
  // which may be waiting for this lock.
  SendParamToHost(paramIdx, normalized);
}

void IPlugBase::AttachGraphics(IGraphics* newGraphics) {
  if (!newGraphics) return;
  LockGuard guard(lock);
  // The drawing surface is made when the editor opens (or first draws), at the size it opens at.
  for (int32_t i = 0; i < ParamCount(); ++i)
    newGraphics->SetParameterFromPlugin(i, params[size_t(i)]->GetNormalized(), true);
  // A second editor replaces the first rather than leaking it.
  if (graphics != newGraphics) delete graphics;
  graphics = newGraphics;
}

void IPlugBase::RedrawParamControls() {
  if (!graphics) return;
  for (int32_t i = 0; i < ParamCount(); ++i)
    graphics->SetParameterFromPlugin(i, params[size_t(i)]->Value(), false);
}

bool IPlugBase::MatchesState(const StateChunk* image, int32_t startPos) {
  if (!image || startPos < 0) return false;
  int64_t pos = int64_t(startPos) * 8;
  for (int32_t i = 0; i < ParamCount(); ++i, pos += 8) {
    double stored = 0.0;
    if (pos > INT32_MAX || image->GetDouble(stored, int32_t(pos)) < 0) return false;
    const double diff = double(float(params[size_t(i)]->Value())) - double(float(stored));
    if (!(std::fabs(diff) < 0.00001)) return false;
  }
  return true;
}

// ---- State and presets ----

bool IPlugBase::SerializeParams(StateChunk* chunk) {
  if (!chunk) return false;
  LockGuard guard(lock);
  for (const auto& param : params)
    if (!chunk->PutDouble(param->Value())) return false;
  return true;
}

int32_t IPlugBase::UnserializeParams(const StateChunk* chunk, int32_t startPos) {
  LockGuard guard(lock);
  int32_t pos = chunk ? startPos : -1;
  const int32_t n = ParamCount();
  for (int32_t i = 0; i < n && pos >= 0; ++i) {
    double v = 0.0;
    pos = chunk->GetDouble(v, pos);
    params[size_t(i)]->SetPlain(v);  // a NaN is ignored: the parameter keeps its value
  }
  for (int32_t i = 0; i < n; ++i) OnParamChanged(i);
  return pos;
}

void IPlugBase::MakeDefaultPreset(const char* name) {
  for (auto& preset : presets) {
    if (preset->initialized) continue;
    // A capture that fails leaves the slot empty rather than holding a partial snapshot.
    preset->chunk.Resize(0, true);
    if (!SerializeParams(&preset->chunk)) return;
    preset->initialized = true;
    CopyTruncated(preset->name, name, sizeof preset->name);
    return;
  }
}

bool IPlugBase::RestorePreset(int32_t index) {
  if (index < 0 || index >= PresetCount()) return false;
  IPreset& preset = *presets[size_t(index)];
  bool ok;
  if (preset.initialized)
    ok = UnserializeParams(&preset.chunk, 0) > 0;
  else {
    // Restoring an empty preset captures the current values into it instead; a failed capture
    // leaves it empty.
    preset.chunk.Resize(0, true);
    ok = SerializeParams(&preset.chunk);
    if (ok) {
      preset.initialized = true;
      int32_t userPresets = 0;
      for (const auto& p : presets)
        if (std::strstr(p->name, "user preset")) ++userPresets;
      std::snprintf(preset.name, sizeof preset.name, "%s %d", "user preset", int(userPresets + 1));
    }
  }
  if (ok) {
    currentPreset = index;
    OnPresetRestored();
    RedrawParamControls();
  }
  return ok;
}

const char* IPlugBase::GetPresetName(int32_t index) const {
  return index >= 0 && index < PresetCount() ? presets[size_t(index)]->name : "";
}

// ---- Channels ----

bool IPlugBase::LegalIO(int32_t inputs, int32_t outputs) const {
  for (const IChannelPair& pair : legalIO)
    if ((inputs < 0 || inputs == pair.inputs) && (outputs < 0 || outputs == pair.outputs))
      return true;
  return false;
}

IChannelPair IPlugBase::GetLegalIO(int32_t index) const {
  return index >= 0 && index < NLegalIO() ? legalIO[size_t(index)] : IChannelPair{};
}

bool IPlugBase::IsInputConnected(int32_t index) const {
  return index >= 0 && index < InputChannelCount() && inputChannels[size_t(index)].connected;
}

bool IPlugBase::IsOutputConnected(int32_t index) const {
  return index >= 0 && index < OutputChannelCount() && outputChannels[size_t(index)].connected;
}

void IPlugBase::SetInputConnected(int32_t index, bool connected) {
  if (index < 0 || index >= InputChannelCount()) return;
  IInputChannel& channel = inputChannels[size_t(index)];
  channel.connected = connected;
  if (!connected) *channel.slot = channel.scratch.data();
}

void IPlugBase::SetOutputConnected(int32_t index, bool connected) {
  if (index < 0 || index >= OutputChannelCount()) return;
  IOutputChannel& channel = outputChannels[size_t(index)];
  channel.connected = connected;
  if (!connected) {
    *channel.slot = channel.scratch.data();
    channel.destination = nullptr;
  }
}

void IPlugBase::SetBlockSize(int32_t frames) {
  frames = std::max(frames, 0);
  if (frames == blockSize) return;
  // Slots that pointed at a scratch buffer must follow it to its new storage.
  auto resize = [frames](std::vector<double>& scratch, double*& slot) {
    const bool parked = slot && slot == scratch.data();
    scratch.assign(size_t(frames), 0.0);
    if (parked) slot = scratch.data();
  };
  try {
    for (IInputChannel& channel : inputChannels) resize(channel.scratch, *channel.slot);
    for (IOutputChannel& channel : outputChannels) resize(channel.scratch, *channel.slot);
    blockSize = frames;
  } catch (const std::bad_alloc&) {
    // Without room for the buffers nothing can be processed: every scratch buffer is emptied and
    // the plumbing then handles no frames at all.
    auto release = [](std::vector<double>& scratch, double*& slot) {
      if (slot == scratch.data()) slot = nullptr;
      std::vector<double>().swap(scratch);
    };
    for (IInputChannel& channel : inputChannels) release(channel.scratch, *channel.slot);
    for (IOutputChannel& channel : outputChannels) release(channel.scratch, *channel.slot);
    blockSize = 0;
  }
}

int32_t IPlugBase::ClampFrames(int32_t frames) const {
  return std::clamp(frames, 0, blockSize);
}

void IPlugBase::AttachInputs32(int32_t first, int32_t count, const float* const* buffers,
                               int32_t frames) {
  const int32_t n = ClampFrames(frames);
  const int32_t end = int32_t(std::min<int64_t>(int64_t(first) + count, InputChannelCount()));
  int32_t next = 0;
  for (int32_t i = std::max(first, 0); i < end; ++i) {
    IInputChannel& channel = inputChannels[size_t(i)];
    if (!channel.connected) continue;
    const float* src = buffers ? buffers[next] : nullptr;
    ++next;
    double* dst = channel.scratch.data();
    if (src)
      for (int32_t t = 0; t < n; ++t) dst[t] = double(src[t]);
    else
      std::fill(dst, dst + n, 0.0);
    *channel.slot = dst;
  }
}

void IPlugBase::AttachInputs64(int32_t first, int32_t count, double* const* buffers) {
  const int32_t end = int32_t(std::min<int64_t>(int64_t(first) + count, InputChannelCount()));
  int32_t next = 0;
  for (int32_t i = std::max(first, 0); i < end; ++i) {
    IInputChannel& channel = inputChannels[size_t(i)];
    if (!channel.connected) continue;
    double* src = buffers ? buffers[next] : nullptr;
    ++next;
    if (src)
      *channel.slot = src;
    else {
      std::fill(channel.scratch.begin(), channel.scratch.end(), 0.0);
      *channel.slot = channel.scratch.data();
    }
  }
}

void IPlugBase::AttachOutputs32(int32_t first, int32_t count, float* const* buffers) {
  const int32_t end = int32_t(std::min<int64_t>(int64_t(first) + count, OutputChannelCount()));
  int32_t next = 0;
  for (int32_t i = std::max(first, 0); i < end; ++i) {
    IOutputChannel& channel = outputChannels[size_t(i)];
    if (!channel.connected) continue;
    channel.destination = buffers ? buffers[next] : nullptr;
    ++next;
    *channel.slot = channel.scratch.data();
  }
}

void IPlugBase::AttachOutputs64(int32_t first, int32_t count, double* const* buffers) {
  const int32_t end = int32_t(std::min<int64_t>(int64_t(first) + count, OutputChannelCount()));
  int32_t next = 0;
  for (int32_t i = std::max(first, 0); i < end; ++i) {
    IOutputChannel& channel = outputChannels[size_t(i)];
    if (!channel.connected) continue;
    double* dst = buffers ? buffers[next] : nullptr;
    ++next;
    // A 64-bit block writes in place; nothing is left to narrow afterwards.
    channel.destination = nullptr;
    *channel.slot = dst ? dst : channel.scratch.data();
  }
}

void IPlugBase::ConvertOutputs32(int32_t frames) {
  const int32_t n = ClampFrames(frames);
  for (IOutputChannel& channel : outputChannels) {
    if (!channel.connected || !channel.destination || !*channel.slot) continue;
    const double* src = *channel.slot;
    for (int32_t t = 0; t < n; ++t) channel.destination[t] = float(src[t]);
  }
}

void IPlugBase::ClearScratchBuffers() {
  for (IInputChannel& channel : inputChannels)
    std::fill(channel.scratch.begin(), channel.scratch.end(), 0.0);
  for (IOutputChannel& channel : outputChannels)
    std::fill(channel.scratch.begin(), channel.scratch.end(), 0.0);
}

void IPlugBase::PassThroughBuffers(int32_t frames) {
  double** inputs = InputPointers();
  double** outputs = OutputPointers();
  ILatencyDelay* delay = latencyDelay.get();
  if (latency <= 0 || !delay || delay->length <= 0 || !inputs || !outputs) {
    CopyInputsToOutputs(inputs, outputs, frames);
    return;
  }

  const int32_t n = ClampFrames(frames);
  const int32_t channels = std::min(
      {delay->channelCount, delay->outputChannelCount, InputChannelCount(), OutputChannelCount()});
  for (int32_t t = 0; t < n; ++t) {
    for (int32_t j = 0; j < channels; ++j) {
      double& stored =
          delay->buffer[size_t(j) * size_t(delay->length) + size_t(delay->writePosition)];
      const double in = inputs[j] ? inputs[j][t] : 0.0;
      if (outputs[j]) outputs[j][t] = stored;
      stored = in;
    }
    delay->writePosition = (delay->writePosition + 1) % delay->length;
  }
  // Outputs without a delayed input are silent, as in the undelayed copy.
  for (int32_t j = channels; j < OutputChannelCount(); ++j)
    if (outputs[j]) std::fill(outputs[j], outputs[j] + n, 0.0);
}

void IPlugBase::CreateLatencyDelay() {
  if (latencyDelay || InputChannelCount() == 0) return;
  latencyDelay = std::make_unique<ILatencyDelay>();
  latencyDelay->channelCount = InputChannelCount();
  latencyDelay->outputChannelCount = OutputChannelCount();
}

void IPlugBase::SetLatency(int32_t samples) {
  // The delay line is reallocated: never under a running bypass block.
  LockGuard guard(lock);
  latency = samples;
  if (!latencyDelay) return;
  ILatencyDelay& delay = *latencyDelay;
  delay.writePosition = 0;
  const int32_t length = std::max(samples, 0);
  try {
    delay.buffer.assign(size_t(length) * size_t(delay.channelCount), 0.0);
    delay.length = length;
  } catch (const std::exception&) {
    // No room for the delay: the bypass path falls back to the undelayed copy.
    delay.buffer.clear();
    delay.length = 0;
  }
}
