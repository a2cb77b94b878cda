// Small host-side helpers for driving the adaptor directly: a byte stream, parameter queues, a
// host-application object, a stand-in plug-in class and a processing helper.
#pragma once

#include "FourCC.h"
#include "IPlugVST3.h"

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace testhost {

using namespace Steinberg;
using namespace Steinberg::Vst;

// Objects below live on the test's stack; reference counting is a no-op.
#define TESTHOST_NO_REFCOUNT             \
  uint32 PLUGIN_API addRef() override {  \
    return 1;                            \
  }                                      \
  uint32 PLUGIN_API release() override { \
    return 1;                            \
  }

class ByteStream final : public IBStream {
public:
  explicit ByteStream(std::vector<uint8_t> bytes = {}, int32 maxPerRead = 0)
      : bytes(std::move(bytes)), maxPerRead(maxPerRead) {}

  tresult PLUGIN_API read(void* buffer, int32 n, int32* got) override {
    int32 k = std::max<int32>(0, std::min<int32>(n, int32(bytes.size() - pos)));
    if (maxPerRead > 0) k = std::min(k, maxPerRead);
    if (k > 0) std::memcpy(buffer, bytes.data() + pos, size_t(k));
    pos += size_t(k);
    if (got) *got = k;
    return k > 0 || n == 0 ? kResultOk : kResultFalse;
  }
  tresult PLUGIN_API write(void* buffer, int32 n, int32* written) override {
    if (failWrites) return kResultFalse;
    auto* p = static_cast<uint8_t*>(buffer);
    bytes.insert(bytes.end(), p, p + n);
    if (written && !silentCounts) *written = n;
    return kResultOk;
  }
  tresult PLUGIN_API seek(int64, int32, int64*) override { return kNotImplemented; }
  tresult PLUGIN_API tell(int64* p) override {
    if (p) *p = int64(pos);
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
  TESTHOST_NO_REFCOUNT

  std::vector<uint8_t> bytes;
  size_t pos = 0;
  int32 maxPerRead = 0;
  bool failWrites = false;
  bool silentCounts = false;  // accepts writes without reporting how many bytes it took
};

class Queue final : public IParamValueQueue {
public:
  Queue(ParamID id, std::vector<ParamValue> values) : id(id), values(std::move(values)) {}
  ParamID PLUGIN_API getParameterId() override { return id; }
  int32 PLUGIN_API getPointCount() override { return int32(values.size()); }
  tresult PLUGIN_API getPoint(int32 index, int32& offset, ParamValue& value) override {
    if (index < 0 || index >= getPointCount() || failReads) return kResultFalse;
    offset = index;
    value = values[size_t(index)];
    return kResultOk;
  }
  tresult PLUGIN_API addPoint(int32, ParamValue, int32&) override { return kResultFalse; }
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
  TESTHOST_NO_REFCOUNT

  ParamID id;
  std::vector<ParamValue> values;
  bool failReads = false;
};

class Changes final : public IParameterChanges {
public:
  Changes& add(ParamID id, std::vector<ParamValue> values) {
    queues.emplace_back(id, std::move(values));
    return *this;
  }
  int32 PLUGIN_API getParameterCount() override { return int32(queues.size()); }
  IParamValueQueue* PLUGIN_API getParameterData(int32 index) override {
    return index >= 0 && index < getParameterCount() ? &queues[size_t(index)] : nullptr;
  }
  IParamValueQueue* PLUGIN_API addParameterData(const ParamID&, int32&) override { return nullptr; }
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
    *obj = nullptr;
    return kNoInterface;
  }
  TESTHOST_NO_REFCOUNT

  std::vector<Queue> queues;
};

class HostApp final : public IHostApplication {
public:
  explicit HostApp(const char* name) : name(name) {}
  tresult PLUGIN_API getName(String128 out) override {
    size_t i = 0;
    for (; i < 127 && i < name.size(); ++i) out[i] = char16(static_cast<unsigned char>(name[i]));
    out[i] = 0;
    return kResultOk;
  }
  tresult PLUGIN_API createInstance(TUID, TUID, void** obj) override {
    *obj = nullptr;
    return kResultFalse;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, IHostApplication::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = this;
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  TESTHOST_NO_REFCOUNT

  std::string name;
};

// A stand-in plug-in: three parameters (a grouped gain in dB, an integer, an undeclared one),
// one preset, "1-1 2-2". Its block multiplies by the gain and records what it saw.
class StandInPlug : public IPlugVST3 {
public:
  StandInPlug()
      : IPlugVST3(3, "1-1 2-2", 1, "StandIn", "", "KwillowAudioLab", 0x20000, FourCC("Brm1"),
                  FourCC("Kwil"), false, false) {
    GetParam(0)->DefineDouble("Gain", 0.0, -15.0, 15.0, 0.01, "dB", "Level");
    GetParam(1)->DefineInt("Steps", 0, 0, 8);
    MakeDefaultPreset("-");
  }

  void ProcessBlock(double** inputs, double** outputs, int32_t frames) override {
    const double gain = std::pow(10.0, GetParam(0)->Value() / 20.0);
    ++blocks;
    maxFrames = std::max(maxFrames, frames);
    if (!outputs) return;
    for (int32_t c = 0; c < OutputChannelCount(); ++c)
      for (int32_t t = 0; t < frames; ++t) outputs[c][t] = (inputs ? inputs[c][t] : 0.0) * gain;
  }
  void OnParamChanged(int32_t index) override { changed.push_back(index); }
  void Reset() override { ++resets; }

  std::vector<int32_t> changed;
  int32_t blocks = 0;
  int32_t maxFrames = 0;
  int32_t resets = 0;
};

// One processing call with stereo buses over the given planar buffers.
template <typename Sample>
tresult Process(IAudioProcessor* processor, std::vector<std::vector<Sample>>& in,
                std::vector<std::vector<Sample>>& out, int32 frames,
                IParameterChanges* changes = nullptr) {
  std::vector<Sample*> inPtrs, outPtrs;
  for (auto& v : in) inPtrs.push_back(v.data());
  for (auto& v : out) outPtrs.push_back(v.data());
  AudioBusBuffers inBus{}, outBus{};
  inBus.numChannels = int32(in.size());
  outBus.numChannels = int32(out.size());
  if constexpr (sizeof(Sample) == 8) {
    inBus.channelBuffers64 = inPtrs.data();
    outBus.channelBuffers64 = outPtrs.data();
  } else {
    inBus.channelBuffers32 = inPtrs.data();
    outBus.channelBuffers32 = outPtrs.data();
  }
  ProcessData data{};
  data.processMode = kRealtime;
  data.symbolicSampleSize = sizeof(Sample) == 8 ? kSample64 : kSample32;
  data.numSamples = frames;
  data.numInputs = 1;
  data.numOutputs = 1;
  data.inputs = &inBus;
  data.outputs = &outBus;
  data.inputParameterChanges = changes;
  return processor->process(data);
}

inline ProcessSetup MakeSetup(double rate, int32 maxBlock, int32 sampleSize = kSample32) {
  ProcessSetup s{};
  s.processMode = kRealtime;
  s.symbolicSampleSize = sampleSize;
  s.maxSamplesPerBlock = maxBlock;
  s.sampleRate = rate;
  return s;
}

inline std::vector<uint8_t> StateBytes(const std::vector<double>& values, int32_t bypass) {
  std::vector<uint8_t> out;
  for (double v : values) {
    uint8_t b[8];
    std::memcpy(b, &v, 8);  // the test machines are little-endian
    out.insert(out.end(), b, b + 8);
  }
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint32_t(bypass) >> (8 * i)));
  return out;
}

inline std::string Narrow(const char16* s) {
  std::string out;
  for (; *s; ++s) out += char(*s);
  return out;
}

}  // namespace testhost
