// A minimal plug-in made the other common way: a processor component and a separate edit
// controller class, joined by the host. It gives the host code's split path something to load.
// One parameter, "Gain" (normalised = linear gain); the component's state is that gain as a
// little-endian double, which the controller reads through setComponentState.
#include <cstring>

#include "ClassFactory.h"
#include "base/source/fstreamer.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "public.sdk/source/vst/vstbus.h"
#include "public.sdk/source/vst/vstcomponent.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

const FUID kProcessorId(0x5B1D0001, 0x00000000, 0x00000000, 0x00000001);
const FUID kControllerId(0x5B1D0001, 0x00000000, 0x00000000, 0x00000002);
constexpr ParamID kGain = 0;

bool readGain(IBStream* s, double& gain) {
  double v = 0;
  int32 got = 0;
  if (!s || s->read(&v, 8, &got) != kResultOk || got != 8) return false;
  gain = v;
  return true;
}

class GainProcessor : public Component, public IAudioProcessor {
public:
  GainProcessor() { setControllerClass(kControllerId); }
  static FUnknown* create(void*) { return static_cast<IAudioProcessor*>(new GainProcessor); }

  tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE {
    tresult r = Component::initialize(context);
    if (r != kResultOk) return r;
    audioInputs.push_back(
        owned(new AudioBus(STR16("In"), kMain, BusInfo::kDefaultActive, SpeakerArr::kStereo)));
    audioOutputs.push_back(
        owned(new AudioBus(STR16("Out"), kMain, BusInfo::kDefaultActive, SpeakerArr::kStereo)));
    return kResultOk;
  }
  tresult PLUGIN_API setState(IBStream* s) SMTG_OVERRIDE {
    return readGain(s, gain_) ? kResultOk : kResultFalse;
  }
  tresult PLUGIN_API getState(IBStream* s) SMTG_OVERRIDE {
    int32 put = 0;
    return s && s->write(&gain_, 8, &put) == kResultOk && put == 8 ? kResultOk : kResultFalse;
  }

  tresult PLUGIN_API setBusArrangements(SpeakerArrangement* in, int32 numIns,
                                        SpeakerArrangement* out, int32 numOuts) SMTG_OVERRIDE {
    return numIns == 1 && numOuts == 1 && in[0] == SpeakerArr::kStereo &&
                   out[0] == SpeakerArr::kStereo
               ? kResultOk
               : kResultFalse;
  }
  tresult PLUGIN_API getBusArrangement(BusDirection dir, int32 index,
                                       SpeakerArrangement& arr) SMTG_OVERRIDE {
    if (index != 0) return kResultFalse;
    (void)dir;
    arr = SpeakerArr::kStereo;
    return kResultOk;
  }
  tresult PLUGIN_API canProcessSampleSize(int32 size) SMTG_OVERRIDE {
    return size == kSample32 ? kResultOk : kResultFalse;
  }
  uint32 PLUGIN_API getLatencySamples() SMTG_OVERRIDE { return 0; }
  tresult PLUGIN_API setupProcessing(ProcessSetup& setup) SMTG_OVERRIDE {
    return setup.symbolicSampleSize == kSample32 ? kResultOk : kResultFalse;
  }
  tresult PLUGIN_API setProcessing(TBool) SMTG_OVERRIDE { return kResultOk; }
  uint32 PLUGIN_API getTailSamples() SMTG_OVERRIDE { return 0; }
  tresult PLUGIN_API process(ProcessData& data) SMTG_OVERRIDE {
    if (IParameterChanges* changes = data.inputParameterChanges) {
      for (int32 i = 0; i < changes->getParameterCount(); ++i) {
        IParamValueQueue* q = changes->getParameterData(i);
        int32 offset = 0;
        double v = 0;
        if (q && q->getParameterId() == kGain &&
            q->getPoint(q->getPointCount() - 1, offset, v) == kResultOk)
          gain_ = v;
      }
    }
    if (data.numInputs < 1 || data.numOutputs < 1) return kResultOk;
    for (int32 c = 0; c < data.outputs[0].numChannels && c < data.inputs[0].numChannels; ++c)
      for (int32 i = 0; i < data.numSamples; ++i)
        data.outputs[0].channelBuffers32[c][i] =
            static_cast<float>(data.inputs[0].channelBuffers32[c][i] * gain_);
    return kResultOk;
  }

  OBJ_METHODS(GainProcessor, Component)
  DEFINE_INTERFACES
  DEF_INTERFACE(IAudioProcessor)
  END_DEFINE_INTERFACES(Component)
  REFCOUNT_METHODS(Component)

private:
  double gain_ = 1.0;
};

class GainController : public EditController {
public:
  static FUnknown* create(void*) { return static_cast<IEditController*>(new GainController); }
  tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE {
    tresult r = EditController::initialize(context);
    if (r != kResultOk) return r;
    parameters.addParameter(STR16("Gain"), nullptr, 0, 1.0, ParameterInfo::kCanAutomate, kGain);
    return kResultOk;
  }
  tresult PLUGIN_API setComponentState(IBStream* s) SMTG_OVERRIDE {
    double gain = 0;
    if (!readGain(s, gain)) return kResultFalse;
    return setParamNormalized(kGain, gain);
  }
};

}  // namespace

#if defined(_WIN32)
#define SPLIT_EXPORT extern "C" __declspec(dllexport)
#else
#define SPLIT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

SPLIT_EXPORT IPluginFactory* PLUGIN_API GetPluginFactory() {
  // Each call hands out a new reference to a fresh factory: enough for a test module.
  PFactoryInfo info("BRIMO tests", "", "", PFactoryInfo::kUnicode);
  auto* factory = new brimo::vst3::ClassFactory(info);
  PClassInfo2 processor(kProcessorId.toTUID(), PClassInfo::kManyInstances, kVstAudioEffectClass,
                        "Split Gain", 0, "Fx", "", "1.0.0", kVstVersionString);
  PClassInfo2 controller(kControllerId.toTUID(), PClassInfo::kManyInstances,
                         kVstComponentControllerClass, "Split Gain Controller", 0, "", "", "1.0.0",
                         kVstVersionString);
  factory->registerClass(&processor, GainProcessor::create);
  factory->registerClass(&controller, GainController::create);
  return factory;
}
