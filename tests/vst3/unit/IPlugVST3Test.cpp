// The adaptor driven as a host drives it: parameters, units, state, buses and processing.
#include "TestHost.h"

#include "IPlugParameter.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

using namespace testhost;

namespace {

constexpr ParamID kPreset = IPlugVST3::kPresetParamId;
constexpr ParamID kBypass = IPlugVST3::kBypassParamId;

class Adaptor : public ::testing::Test {
protected:
  void SetUp() override {
    plug = new StandInPlug();
    ASSERT_EQ(plug->initialize(&host), kResultOk);
  }
  void TearDown() override {
    plug->terminate();
    plug->release();
  }
  IAudioProcessor* processor() { return plug; }
  IEditController* controller() { return plug; }
  std::vector<uint8_t> SavedState() {
    ByteStream s;
    EXPECT_EQ(controller()->getState(&s), kResultOk);
    return s.bytes;
  }

  HostApp host{"REAPER x64"};
  HostApp other{"Ardour 7"};
  StandInPlug* plug = nullptr;
};

}  // namespace

TEST_F(Adaptor, PublishesPresetBypassThenPluginParameters) {
  IEditController* c = controller();
  ASSERT_EQ(c->getParameterCount(), 5);
  ParameterInfo info{};
  ASSERT_EQ(c->getParameterInfo(0, info), kResultOk);
  EXPECT_EQ(info.id, kPreset);
  EXPECT_EQ(Narrow(info.title), "Preset");
  EXPECT_EQ(info.stepCount, 1);
  EXPECT_EQ(info.flags, ParameterInfo::kIsProgramChange);

  ASSERT_EQ(c->getParameterInfo(1, info), kResultOk);
  EXPECT_EQ(info.id, kBypass);
  EXPECT_EQ(Narrow(info.title), "Bypass");
  EXPECT_EQ(info.stepCount, 1);
  EXPECT_EQ(info.flags, 0x10009);

  ASSERT_EQ(c->getParameterInfo(2, info), kResultOk);
  EXPECT_EQ(info.id, 0u);
  EXPECT_EQ(Narrow(info.title), "Gain");
  EXPECT_EQ(Narrow(info.units), "dB");
  EXPECT_EQ(info.stepCount, 0);
  EXPECT_DOUBLE_EQ(info.defaultNormalizedValue, 0.5);
  EXPECT_EQ(info.unitId, 1);
  EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate);

  ASSERT_EQ(c->getParameterInfo(3, info), kResultOk);
  EXPECT_EQ(info.id, 1u);
  EXPECT_EQ(info.stepCount, 8);
  EXPECT_EQ(info.unitId, 0);

  ASSERT_EQ(c->getParameterInfo(4, info), kResultOk);
  EXPECT_EQ(info.id, 2u);
  EXPECT_EQ(Narrow(info.title), "");
  EXPECT_EQ(info.stepCount, 1);  // undeclared: range 0 to 1, step 1

  // Out-of-range indices are an answer, not an exception.
  EXPECT_NE(c->getParameterInfo(5, info), kResultOk);
  EXPECT_NE(c->getParameterInfo(-1, info), kResultOk);
}

TEST_F(Adaptor, GroupsBecomeUnitsAndPresetsAProgramList) {
  IUnitInfo* units = plug;
  ASSERT_EQ(units->getUnitCount(), 2);
  UnitInfo u{};
  ASSERT_EQ(units->getUnitInfo(0, u), kResultOk);
  EXPECT_EQ(u.id, 0);
  EXPECT_EQ(u.parentUnitId, -1);
  EXPECT_EQ(Narrow(u.name), "Root Unit");
  ASSERT_EQ(units->getUnitInfo(1, u), kResultOk);
  EXPECT_EQ(u.id, 1);
  EXPECT_EQ(u.parentUnitId, 0);
  EXPECT_EQ(Narrow(u.name), "Level");
  EXPECT_EQ(u.programListId, -1);
  EXPECT_EQ(units->getUnitInfo(2, u), kResultFalse);
  EXPECT_EQ(units->getUnitInfo(-1, u), kResultFalse);

  EXPECT_EQ(units->getProgramListCount(), 0);
  ProgramListInfo list{};
  ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
  EXPECT_EQ(list.id, int32(kPreset));
  EXPECT_EQ(Narrow(list.name), "Factory Presets");
  EXPECT_EQ(list.programCount, 1);
  EXPECT_EQ(units->getProgramListInfo(1, list), kResultFalse);

  String128 name{};
  ASSERT_EQ(units->getProgramName(kPreset, 0, name), kResultOk);
  EXPECT_EQ(Narrow(name), "-");
  name[0] = 'x';
  ASSERT_EQ(units->getProgramName(kPreset, 5, name), kResultOk);
  EXPECT_EQ(Narrow(name), "");
  EXPECT_EQ(units->getProgramName(7, 0, name), kResultFalse);
}

TEST_F(Adaptor, ConvertsValuesAndTextsThroughTheRecord) {
  IEditController* c = controller();
  String128 text{};
  ASSERT_EQ(c->getParamStringByValue(1, 0.56, text), kResultOk);
  EXPECT_EQ(Narrow(text), "4");  // 4.48 shown truncated
  ASSERT_EQ(c->getParamStringByValue(0, 0.75, text), kResultOk);
  EXPECT_EQ(Narrow(text), "7.50");
  EXPECT_EQ(c->getParamStringByValue(kBypass, 1.0, text), kResultFalse);
  EXPECT_EQ(c->getParamStringByValue(kPreset, 0.0, text), kResultFalse);

  ParamValue v = -1.0;
  String128 typed{};
  WidenToUtf16("  12.5 dB", typed);
  ASSERT_EQ(c->getParamValueByString(0, typed, v), kResultOk);
  EXPECT_NEAR(v, 27.5 / 30.0, 1e-12);
  WidenToUtf16("loud", typed);
  ASSERT_EQ(c->getParamValueByString(0, typed, v), kResultOk);
  EXPECT_DOUBLE_EQ(v, 0.5);  // no number reads as 0 dB
  WidenToUtf16("1e999", typed);
  ASSERT_EQ(c->getParamValueByString(0, typed, v), kResultOk);
  EXPECT_DOUBLE_EQ(v, 1.0);

  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(0, 0.25), -7.5);
  EXPECT_DOUBLE_EQ(c->plainParamToNormalized(0, 30.0), 1.0);
  EXPECT_DOUBLE_EQ(c->plainParamToNormalized(kPreset, 0.3), 0.3);
}

TEST(ParseLeadingNumber, ReadsOnlyADecimalPrefix) {
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber(" -3.25e1x"), -32.5);
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber("+.5"), 0.5);
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber("7e"), 7.0);
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber("0x10"), 0.0);
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber("nan"), 0.0);
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber("."), 0.0);
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber("1e-999"), 0.0);
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber(nullptr), 0.0);
  // What a host in a decimal-comma locale displays reads back to the same value.
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber("-1,5 dB"), -1.5);
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber(",25"), 0.25);
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber("2,5e1"), 25.0);
  EXPECT_DOUBLE_EQ(IPlugParameter::ParseLeadingNumber("1,5,7"), 1.5);
}

TEST_F(Adaptor, NormalisedValuesAndBypassAsTheHostReadsThem) {
  IEditController* c = controller();
  EXPECT_EQ(c->setParamNormalized(0, 0.25), kResultOk);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), -7.5);
  EXPECT_DOUBLE_EQ(c->getParamNormalized(0), 0.25);
  EXPECT_EQ(c->setParamNormalized(3, 1.0), kResultFalse);
  EXPECT_DOUBLE_EQ(c->getParamNormalized(kPreset), 0.0);
  EXPECT_DOUBLE_EQ(c->getParamNormalized(kBypass), 0.0);
  // What the host sets through the controller it reads back at once, without a processing call,
  // and the plug-in plays it: the change is announced.
  plug->changed.clear();
  EXPECT_EQ(c->setParamNormalized(0, 0.75), kResultOk);
  EXPECT_EQ(plug->changed, (std::vector<int32_t>{0}));
  EXPECT_EQ(c->setParamNormalized(kBypass, 1.0), kResultOk);
  EXPECT_DOUBLE_EQ(c->getParamNormalized(kBypass), 1.0);
  EXPECT_TRUE(plug->IsBypassed());
  EXPECT_EQ(c->setParamNormalized(kBypass, 0.0), kResultOk);
  EXPECT_DOUBLE_EQ(c->getParamNormalized(kBypass), 0.0);
  // Host values outside [0, 1] or NaN never push a parameter out of its range.
  c->setParamNormalized(0, -3.0);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), -15.0);
  c->setParamNormalized(0, std::numeric_limits<double>::quiet_NaN());
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), -15.0);
}

TEST_F(Adaptor, StateIsPlainValuesThenBypassWord) {
  const auto fresh = SavedState();
  EXPECT_EQ(fresh, StateBytes({0.0, 0.0, 0.0}, 0));

  ByteStream in(StateBytes({6.0, 3.0, 1.0}, 2));
  plug->changed.clear();
  ASSERT_EQ(controller()->setState(&in), kResultOk);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 6.0);
  EXPECT_DOUBLE_EQ(plug->GetParam(1)->Value(), 3.0);
  EXPECT_TRUE(plug->IsBypassed());
  EXPECT_EQ(plug->changed, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(SavedState(), StateBytes({6.0, 3.0, 1.0}, 1));
  EXPECT_DOUBLE_EQ(controller()->getParamNormalized(kBypass), 1.0);

  // The component side of the object reads and writes the same stream.
  ByteStream viaComponent;
  ASSERT_EQ(static_cast<IComponent*>(plug)->getState(&viaComponent), kResultOk);
  EXPECT_EQ(viaComponent.bytes, StateBytes({6.0, 3.0, 1.0}, 1));
}

TEST_F(Adaptor, DamagedStateStreamsNeverCorruptTheInstance) {
  ByteStream good(StateBytes({6.0, 3.0, 1.0}, 1));
  ASSERT_EQ(controller()->setState(&good), kResultOk);

  // Exactly the values, no bypass word: applied, but reported as incomplete; bypass unchanged.
  auto values = StateBytes({-6.0, 2.0, 0.0}, 0);
  values.resize(24);
  ByteStream noBypass(values);
  EXPECT_EQ(controller()->setState(&noBypass), kResultFalse);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), -6.0);
  EXPECT_TRUE(plug->IsBypassed());

  // A value cut short keeps its current bytes; the whole values before it apply.
  auto cut = StateBytes({9.0, 7.0, 1.0}, 0);
  cut.resize(13);
  ByteStream partial(cut);
  EXPECT_EQ(controller()->setState(&partial), kResultFalse);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 9.0);
  EXPECT_DOUBLE_EQ(plug->GetParam(1)->Value(), 2.0);

  // Empty: nothing changes.
  ByteStream empty;
  EXPECT_EQ(controller()->setState(&empty), kResultFalse);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 9.0);

  // NaN is ignored, infinities and out-of-range values are clamped.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  ByteStream odd(StateBytes({nan, inf, -1e300}, 0));
  EXPECT_EQ(controller()->setState(&odd), kResultOk);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 9.0);
  EXPECT_DOUBLE_EQ(plug->GetParam(1)->Value(), 8.0);
  EXPECT_DOUBLE_EQ(plug->GetParam(2)->Value(), 0.0);
  EXPECT_FALSE(plug->IsBypassed());

  // A stream that delivers a few bytes per call is read to the end.
  ByteStream trickle(StateBytes({1.0, 1.0, 0.0}, 1), 3);
  EXPECT_EQ(controller()->setState(&trickle), kResultOk);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 1.0);
  EXPECT_TRUE(plug->IsBypassed());

  EXPECT_NE(controller()->setState(nullptr), kResultOk);
  ByteStream refusing;
  refusing.failWrites = true;
  EXPECT_NE(controller()->getState(&refusing), kResultOk);

  // Some host streams accept writes without reporting a count: the state is still saved whole.
  ByteStream silent;
  silent.silentCounts = true;
  EXPECT_EQ(controller()->getState(&silent), kResultOk);
  EXPECT_EQ(silent.bytes.size(), size_t(plug->ParamCount()) * 8 + 4);
}

TEST_F(Adaptor, BusesAndArrangements) {
  IComponent* comp = plug;
  ASSERT_EQ(comp->getBusCount(kAudio, kInput), 1);
  ASSERT_EQ(comp->getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(comp->getBusCount(kEvent, kInput), 0);
  BusInfo bus{};
  ASSERT_EQ(comp->getBusInfo(kAudio, kInput, 0, bus), kResultOk);
  EXPECT_EQ(Narrow(bus.name), "Main Input");
  EXPECT_EQ(bus.channelCount, 2);
  ASSERT_EQ(comp->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
  EXPECT_EQ(Narrow(bus.name), "Output");
  EXPECT_NE(comp->getBusInfo(kAudio, kOutput, 1, bus), kResultOk);
  // Buses flagged active by default are active: a host that never calls activateBus gets its
  // output written.
  EXPECT_NE(bus.flags & BusInfo::kDefaultActive, 0u);
  auto setup = MakeSetup(48000.0, 16);
  ASSERT_EQ(processor()->setupProcessing(setup), kResultOk);
  std::vector<std::vector<float>> in(2, std::vector<float>(16, 0.25f)),
      out(2, std::vector<float>(16, 9.0f));
  ASSERT_EQ(Process<float>(plug, in, out, 16), kResultOk);
  EXPECT_EQ(out, in);

  SpeakerArrangement stereo = SpeakerArr::kStereo, mono = SpeakerArr::kMono;
  EXPECT_EQ(processor()->setBusArrangements(&stereo, 1, &stereo, 1), kResultOk);
  EXPECT_EQ(processor()->setBusArrangements(&mono, 1, &stereo, 1), kResultFalse);
  SpeakerArrangement two[2] = {stereo, stereo};
  EXPECT_EQ(processor()->setBusArrangements(two, 2, &stereo, 1), kResultFalse);
  EXPECT_EQ(processor()->setBusArrangements(nullptr, 0, &stereo, 1), kResultFalse);

  ASSERT_EQ(processor()->setBusArrangements(&mono, 1, &mono, 1), kResultOk);
  ASSERT_EQ(comp->getBusInfo(kAudio, kInput, 0, bus), kResultOk);
  EXPECT_EQ(Narrow(bus.name), "Input");
  EXPECT_EQ(bus.channelCount, 1);
  SpeakerArrangement arr = 0;
  ASSERT_EQ(processor()->getBusArrangement(kOutput, 0, arr), kResultOk);
  EXPECT_EQ(arr, SpeakerArr::kMono);

  EXPECT_EQ(processor()->canProcessSampleSize(kSample32), kResultOk);
  EXPECT_EQ(processor()->canProcessSampleSize(kSample64), kResultOk);
  EXPECT_EQ(processor()->canProcessSampleSize(7), kResultFalse);
}

TEST_F(Adaptor, LifecycleRepeatsCleanlyAndIdentifiesTheHost) {
  EXPECT_EQ(plug->GetHostCode(), 1);  // "REAPER x64"
  // A second initialize answers false and changes nothing: not the user's values either.
  plug->GetParam(0)->SetPlain(6.0);
  EXPECT_EQ(plug->initialize(&other), kResultFalse);
  EXPECT_EQ(plug->GetParam(0)->Value(), 6.0);
  EXPECT_EQ(plug->GetHostCode(), 1);
  EXPECT_EQ(controller()->getParameterCount(), 5);
  EXPECT_EQ(plug->getBusCount(kAudio, kInput), 1);

  for (int cycle = 0; cycle < 3; ++cycle) {
    auto setup = MakeSetup(48000.0, 256);
    EXPECT_EQ(processor()->setupProcessing(setup), kResultOk);
    EXPECT_EQ(plug->setActive(true), kResultOk);
    EXPECT_EQ(plug->setActive(false), kResultOk);
    EXPECT_EQ(plug->terminate(), kResultOk);
    EXPECT_EQ(controller()->getParameterCount(), 0);
    EXPECT_EQ(plug->initialize(&other), kResultOk);
    EXPECT_EQ(plug->GetHostCode(), 28);
    EXPECT_EQ(controller()->getParameterCount(), 5);
    EXPECT_EQ(plug->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(static_cast<IUnitInfo*>(plug)->getUnitCount(), 2);
  }
  // Without a host context a second initialize is refused all the same.
  EXPECT_EQ(plug->terminate(), kResultOk);
  EXPECT_EQ(plug->initialize(nullptr), kResultOk);
  EXPECT_EQ(plug->initialize(nullptr), kResultFalse);
  EXPECT_EQ(controller()->getParameterCount(), 5);
  EXPECT_EQ(plug->getBusCount(kAudio, kInput), 1);

  // A plug-in without an editor still gives a view, which opens nothing and reports no size.
  IPlugView* view = controller()->createView("editor");
  ASSERT_NE(view, nullptr);
  ViewRect size;
  EXPECT_EQ(view->getSize(&size), kResultFalse);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_EQ(view->attached(nullptr, kPlatformTypeHWND), kResultFalse);
  EXPECT_EQ(view->removed(), kResultOk);
  view->release();
  EXPECT_EQ(controller()->createView(nullptr), nullptr);
}

TEST_F(Adaptor, SetupRejectsWhatItCannotProcess) {
  auto bad = MakeSetup(48000.0, 64, 5);
  EXPECT_EQ(processor()->setupProcessing(bad), kResultFalse);
  auto zeroRate = MakeSetup(0.0, 64);
  EXPECT_NE(processor()->setupProcessing(zeroRate), kResultOk);
  auto nanRate = MakeSetup(std::numeric_limits<double>::quiet_NaN(), 64);
  EXPECT_NE(processor()->setupProcessing(nanRate), kResultOk);
  auto negativeBlock = MakeSetup(48000.0, -1);
  EXPECT_NE(processor()->setupProcessing(negativeBlock), kResultOk);
  EXPECT_EQ(plug->GetBlockSize(), 0);
  EXPECT_EQ(plug->resets, 0);
  auto good = MakeSetup(96000.0, 64);
  EXPECT_EQ(processor()->setupProcessing(good), kResultOk);
  EXPECT_EQ(plug->GetBlockSize(), 64);
  EXPECT_DOUBLE_EQ(plug->GetSampleRate(), 96000.0);
  EXPECT_EQ(plug->resets, 1);
}

// The host's stream is read and written without the plug-in lock, so a slow stream never holds
// up the audio thread: at every stream call another thread can take the lock.
TEST_F(Adaptor, StateStreamsAreServedWithoutThePluginLock) {
  class ProbingStream final : public IBStream {
  public:
    ProbingStream(StandInPlug* plug, std::vector<uint8_t> bytes)
        : plug(plug), inner(std::move(bytes)) {}
    tresult PLUGIN_API read(void* b, int32 n, int32* got) override {
      return Probe(), inner.read(b, n, got);
    }
    tresult PLUGIN_API write(void* b, int32 n, int32* w) override {
      return Probe(), inner.write(b, n, w);
    }
    tresult PLUGIN_API seek(int64, int32, int64*) override { return kNotImplemented; }
    tresult PLUGIN_API tell(int64* p) override { return inner.tell(p); }
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
      *obj = nullptr;
      return kNoInterface;
    }
    TESTHOST_NO_REFCOUNT

    void Probe() {
      std::thread other([this] {
        if (plug->GetLock().try_lock())
          plug->GetLock().unlock();
        else
          ++lockedCalls;
      });
      other.join();
      ++calls;
    }
    StandInPlug* plug;
    ByteStream inner;
    int calls = 0;
    int lockedCalls = 0;
  };

  ProbingStream out(plug, {});
  plug->GetParam(0)->SetPlain(4.5);
  ASSERT_EQ(controller()->getState(&out), kResultOk);
  ProbingStream in(plug, out.inner.bytes);
  plug->GetParam(0)->SetPlain(0.0);
  ASSERT_EQ(controller()->setState(&in), kResultOk);
  EXPECT_EQ(plug->GetParam(0)->Value(), 4.5);
  EXPECT_GT(out.calls, 0);
  EXPECT_GT(in.calls, 0);
  EXPECT_EQ(out.lockedCalls + in.lockedCalls, 0);
}
