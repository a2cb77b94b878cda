// BRIMO's editor behind the VST3 adaptor, in process with the headless platform: automation
// reaches the controls, a knob dragged in the editor reaches the host's component handler, and a
// restored state redraws the controls.
#include "BRIMO.h"
#include "../RecordingHandler.h"
#include "IGraphicsHeadless.h"
#include "TestHost.h"

#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace testhost;

#if defined(BRIMO_COUNTS_ALLOCATIONS)
#include "../../support/AllocationCounter.h"
#else
long AllocationCount() {
  return 0;
}
#endif

namespace {

using brimo::test::RecordingHandler;

class EditorThroughAdaptor : public ::testing::Test {
protected:
  void SetUp() override {
    plug = new BRIMO();
    ASSERT_EQ(plug->initialize(&host), kResultOk);
    ASSERT_EQ(plug->setComponentHandler(&handler), kResultOk);
    plug->activateBus(kAudio, kInput, 0, true);
    plug->activateBus(kAudio, kOutput, 0, true);
    auto setup = MakeSetup(48000.0, 64);
    ASSERT_EQ(plug->setupProcessing(setup), kResultOk);
    ASSERT_EQ(plug->setActive(true), kResultOk);
    graphics = static_cast<IGraphicsHeadless*>(plug->GetGraphics());
    ASSERT_NE(graphics, nullptr);
    graphics->OpenWindow(nullptr);
    graphics->RenderAll();
    while (graphics->Tick()) {}
    graphics->TakePresented();
  }
  void TearDown() override {
    plug->setActive(false);
    plug->terminate();
    plug->release();
  }

  HostApp host{"Test"};
  RecordingHandler handler;
  BRIMO* plug = nullptr;
  IGraphicsHeadless* graphics = nullptr;
};

TEST_F(EditorThroughAdaptor, AutomationInProcessMovesTheBoundControl) {
  auto in = std::vector<std::vector<float>>(2, std::vector<float>(64, 0.0f));
  auto out = in;
  Changes changes;
  changes.add(BRIMO::kHighBoost, {0.25, 1.0});
  ASSERT_EQ(Process<float>(plug, in, out, 64, &changes), kResultOk);
  auto* knob = static_cast<IKnobMultiControl*>(graphics->GetControl(6));
  EXPECT_EQ(knob->ParamIdx(), BRIMO::kHighBoost);
  EXPECT_EQ(knob->GetValue(), 1.0);
  EXPECT_EQ(knob->FrameNumber(), 9);
  EXPECT_TRUE(knob->IsDirty());
  EXPECT_TRUE(graphics->Tick());
  EXPECT_EQ(graphics->TakePresented(), (std::vector<IBox>{IBox{530, 18, 625, 110}}));
}

TEST_F(EditorThroughAdaptor, PushingValuesToTheEditorAllocatesNothingOnTheAudioThread) {
#if !defined(BRIMO_COUNTS_ALLOCATIONS)
  GTEST_SKIP() << "this build does not count allocations";
#endif
  auto in = std::vector<std::vector<float>>(2, std::vector<float>(64, 0.0f));
  auto out = in;
  Changes automation, preset;
  for (ParamID id = 1; id < ParamID(BRIMO::kNumParams); ++id) automation.add(id, {0.3, 0.9});
  preset.add(IPlugVST3::kPresetParamId, {0.0});
  ASSERT_EQ(Process<float>(plug, in, out, 64), kResultOk);  // first block
  // The helper's own pointer arrays are counted too: compare with a block without changes.
  auto allocations = [&](IParameterChanges* changes) {
    const long before = AllocationCount();
    EXPECT_EQ(Process<float>(plug, in, out, 64, changes), kResultOk);
    return AllocationCount() - before;
  };
  const long plain = allocations(nullptr);
  EXPECT_EQ(allocations(&automation), plain);
  EXPECT_EQ(allocations(&preset), plain) << "a preset restores every control";
  EXPECT_EQ(graphics->GetControl(6)->GetValue(), 0.0) << "the preset reached the controls";
}

// Automation on the audio thread while the user-interface thread draws and drags: the controls'
// shared fields are the only meeting point (run under ThreadSanitizer with the concurrency label).
TEST_F(EditorThroughAdaptor, ConcurrentAutomationAndDrawing) {
  std::atomic<bool> done{false};
  std::thread audio([&] {
    auto in = std::vector<std::vector<float>>(2, std::vector<float>(64, 0.0f));
    auto out = in;
    for (int block = 0; block < 400; ++block) {
      Changes changes;
      const double v = (block % 10) / 9.0;
      for (ParamID id = 1; id < ParamID(BRIMO::kNumParams); ++id) changes.add(id, {v});
      Process<float>(plug, in, out, 64, &changes);
    }
    done = true;
  });
  int y = 60;
  graphics->OnMouseDown(200, y, {true});
  while (!done) {
    graphics->OnMouseDrag(200, y = (y == 60 ? 30 : 60), {true});
    graphics->Tick();
  }
  graphics->OnMouseUp(200, y, {});
  audio.join();
  graphics->RenderAll();
  EXPECT_GE(graphics->GetControl(6)->GetValue(), 0.0);
}

TEST_F(EditorThroughAdaptor, KnobDragReachesTheHostAsOneGesture) {
  // "Low Boost": 92 px high, gearing 4; 46 px up is an eighth of its range.
  graphics->OnMouseDown(200, 60, {true});
  graphics->OnMouseDrag(200, 37, {true});
  graphics->OnMouseDrag(200, 14, {true});
  graphics->OnMouseUp(200, 14, {});
  ASSERT_EQ(handler.edits.size(), 4u);
  EXPECT_EQ(handler.edits[0].kind, 'b');
  EXPECT_EQ(handler.edits[1].kind, 'p');
  EXPECT_DOUBLE_EQ(handler.edits[1].value, 0.0625);
  EXPECT_DOUBLE_EQ(handler.edits[2].value, 0.125);
  EXPECT_EQ(handler.edits[3].kind, 'e');
  for (const auto& edit : handler.edits) EXPECT_EQ(edit.id, ParamID(BRIMO::kLowBoost));
  EXPECT_DOUBLE_EQ(plug->getParamNormalized(BRIMO::kLowBoost), 0.125);
  EXPECT_DOUBLE_EQ(plug->GetParam(BRIMO::kLowBoost)->Value(), -0.875);
}

TEST_F(EditorThroughAdaptor, RestoredStateRedrawsEveryControl) {
  std::vector<double> values(BRIMO::kNumParams, 0.0);
  for (int32_t i = 0; i < BRIMO::kNumParams; ++i) values[size_t(i)] = plug->GetParam(i)->Value();
  values[BRIMO::kOutput] = 6.0;
  values[BRIMO::kHighCut] = 2.0;
  values[BRIMO::kOversampling] = 1.0;
  ByteStream stream(StateBytes(values, 0));
  ASSERT_EQ(plug->setState(&stream), kResultOk);
  for (int32_t c = 1; c < graphics->NControls() - 1; ++c) {
    IControl* control = graphics->GetControl(c);
    const int32_t p = control->ParamIdx();
    EXPECT_DOUBLE_EQ(control->GetValue(), plug->GetParam(p)->GetNormalized()) << "param " << p;
    const bool changed = p == BRIMO::kOutput || p == BRIMO::kHighCut || p == BRIMO::kOversampling;
    EXPECT_EQ(control->IsDirty(), changed) << "param " << p;
  }
  EXPECT_DOUBLE_EQ(graphics->GetControl(5)->GetValue(), 0.7);
}

}  // namespace
