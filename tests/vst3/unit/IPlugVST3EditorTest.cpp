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
#include <functional>
#include <map>
#include <random>
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

// A block of audio carrying the host's parameter changes (its echo of edits, or automation).
void ProcessWith(BRIMO* plug, Changes* changes) {
  auto in = std::vector<std::vector<float>>(2, std::vector<float>(64, 0.0f));
  auto out = in;
  Process<float>(plug, in, out, 64, changes);
}

TEST_F(EditorThroughAdaptor, APartialRepaintLeavesAnEditedKnobForTheNextTick) {
  graphics->OnMouseDown(200, 60, {true});
  graphics->OnMouseDrag(200, 20, {true});
  graphics->OnMouseUp(200, 20, {});
  graphics->Draw(IBox{700, 100, 720, 120});  // the server reports another area exposed
  graphics->Tick();
  auto pixels = [&] {
    LICE_IBitmap* screen = graphics->Screen();
    std::vector<LICE_PixelWord> out;
    for (int y = 0; y < screen->Height(); ++y)
      for (int x = 0; x < screen->Width(); ++x)
        out.push_back(screen->PixelData()[y * screen->RowSpan() + x]);
    return out;
  };
  const auto ticked = pixels();
  graphics->RenderAll();
  EXPECT_TRUE(ticked == pixels()) << "the knob shows its old frame";
}

// Hosts hand every edit back in a later block. While the user drags, that echo (or automation)
// must not move the knob; once the gesture ends, the knob follows the host again.
TEST_F(EditorThroughAdaptor, TheHostsEchoDoesNotRewindADrag) {
  graphics->OnMouseDown(200, 60, {true});
  for (int y = 59; y >= 20; --y) {
    graphics->OnMouseDrag(200, y, {true});
    Changes echo;
    echo.add(BRIMO::kLowBoost, {handler.edits.back().value});
    ProcessWith(plug, &echo);
  }
  Changes automation;  // the host's automation wins while the user holds the knob...
  automation.add(BRIMO::kLowBoost, {0.75});
  ProcessWith(plug, &automation);
  EXPECT_NEAR(graphics->GetControl(2)->GetValue(), 40.0 / (92.0 * 4.0), 1e-12);
  graphics->OnMouseUp(200, 20, {});
  EXPECT_EQ(graphics->GetControl(2)->GetValue(), 0.75) << "...and shows once it is let go";
  std::vector<double> sent;
  for (const auto& edit : handler.edits)
    if (edit.kind == 'p') sent.push_back(edit.value);
  ASSERT_EQ(sent.size(), 40u);
  EXPECT_TRUE(std::is_sorted(sent.begin(), sent.end()) &&
              std::adjacent_find(sent.begin(), sent.end()) == sent.end())
      << "every step moves on from the last";
  EXPECT_NEAR(sent.back(), 40.0 / (92.0 * 4.0), 1e-12);
}

// A host's edit calls may wait for its audio thread, which waits for the plug-in lock around
// every block: the plug-in must never call the host while holding it.
TEST_F(EditorThroughAdaptor, HostCallsAreMadeWithThePluginLockReleased) {
  int heldDuringCall = 0;
  handler.onEdit = [&] {
    std::thread audio([&] {
      if (plug->GetLock().try_lock())
        plug->GetLock().unlock();
      else
        ++heldDuringCall;
    });
    audio.join();
  };
  graphics->OnMouseDown(200, 60, {true});
  graphics->OnMouseDrag(200, 40, {true});
  graphics->OnMouseUp(200, 40, {});
  graphics->OnMouseWheel(330, 60, {}, 1);
  graphics->OnMouseDoubleClick(330, 60, {true});
  graphics->OnMouseDown(395, 234, {true});
  graphics->OnMouseUp(395, 234, {});
  EXPECT_EQ(handler.edits.size(), 12u);
  EXPECT_EQ(heldDuringCall, 0);
}

// Random sequences of what a user, the window system and the host do to an open editor never
// send a value outside its gesture, never begin twice, never end what was not begun, and leave
// nothing open after the last close.
TEST_F(EditorThroughAdaptor, RandomInputKeepsEveryValueInsideItsGesture) {
  std::mt19937 random(20261208);
  auto any = [&](int n) { return int(random() % unsigned(n)); };
  for (int sequence = 0; sequence < 300; ++sequence) {
    handler.edits.clear();
    graphics->OpenWindow(nullptr);
    for (int step = 0; step < 60; ++step) {
      const int x = any(800) - 5, y = any(260) - 5;
      IMouseMods mods;
      mods.left = any(4) != 0;
      mods.right = !mods.left;
      mods.shift = any(4) == 0;
      switch (any(11)) {
        case 0:
          graphics->OnMouseDown(x, y, mods);
          break;
        case 1:
        case 2:
          graphics->OnMouseDrag(x, y, mods);
          break;
        case 3:
          graphics->OnMouseUp(x, y, {});
          break;
        case 4:
          graphics->OnMouseDoubleClick(x, y, mods);
          break;
        case 5:
          graphics->OnMouseWheel(x, y, mods, any(3) - 1);
          break;
        case 6:
          graphics->EndOpenGesture();
          break;  // another client took the mouse
        case 7:
          graphics->CloseWindow();
          graphics->OpenWindow(nullptr);
          break;
        case 8: {
          Changes automation;
          automation.add(ParamID(any(BRIMO::kNumParams)), {any(101) / 100.0});
          ProcessWith(plug, &automation);
          break;
        }
        case 9:
          graphics->OnKeyDown(x, y, any(40));
          break;
        default:
          graphics->Tick();
          break;
      }
    }
    graphics->CloseWindow();
    std::map<ParamID, bool> open;
    for (size_t i = 0; i < handler.edits.size(); ++i) {
      const auto& edit = handler.edits[i];
      SCOPED_TRACE(testing::Message() << "sequence " << sequence << ", edit " << i);
      ASSERT_EQ(open[edit.id], edit.kind != 'b') << edit.kind << " of " << edit.id;
      if (edit.kind != 'p') open[edit.id] = edit.kind == 'b';
    }
    for (const auto& [id, isOpen] : open) ASSERT_FALSE(isOpen) << "left open: " << id;
  }
}

// Edits of their own (a wheel step, a reset, a key) that leave the value as it was tell the host
// nothing: no empty undo step, no touch-automation write.
TEST_F(EditorThroughAdaptor, EditsThatChangeNothingReachTheHostNotAtAll) {
  graphics->OnMouseWheel(200, 60, {}, 0);
  graphics->OnMouseWheel(200, 60, {}, -1);        // already at the bottom of its range
  graphics->OnMouseDoubleClick(200, 60, {true});  // already at its default
  EXPECT_TRUE(handler.edits.empty());
  graphics->OnMouseWheel(200, 60, {}, 1);
  EXPECT_EQ(handler.edits.size(), 3u);
}

// A new size while the user drags ends the drag's gesture first: the pointer's old position means
// nothing at the new size.
TEST_F(EditorThroughAdaptor, AScaleChangeEndsAnOpenDrag) {
  graphics->OnMouseDown(200, 60, {true});
  graphics->OnMouseDrag(200, 50, {true});
  ASSERT_TRUE(graphics->SetDrawScale(2.0));
  graphics->OnMouseDrag(200, 20, {true});
  graphics->OnMouseUp(200, 20, {});
  ASSERT_EQ(handler.edits.size(), 3u);
  EXPECT_EQ(handler.edits.back().kind, 'e');
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

// ---- The readout and typed values ----

namespace {

// A point inside each control that has a readout.
struct Touch {
  BRIMO::Param param;
  int32_t x, y;
};
constexpr Touch kTouches[] = {
    {BRIMO::kBypass, 395, 234},          {BRIMO::kLowBoost, 200, 60},
    {BRIMO::kMidBoost, 450, 60},         {BRIMO::kMidCut, 328, 60},
    {BRIMO::kOutput, 706, 128},          {BRIMO::kHighBoost, 577, 64},
    {BRIMO::kHighCut, 577, 168},         {BRIMO::kLowCut, 85, 126},
    {BRIMO::kLowFrequency, 204, 160},    {BRIMO::kMidBoostFrequency, 450, 168},
    {BRIMO::kMidCutFrequency, 327, 168}, {BRIMO::kOversampling, 75, 233},
};

constexpr IMouseMods kAltClick{true, false, false, false, true};

// Pixels of the screen, row by row, for comparing two states of it.
std::vector<LICE_PixelWord> Pixels(LICE_IBitmap* screen) {
  std::vector<LICE_PixelWord> all;
  for (int y = 0; y < screen->Height(); ++y) {
    const LICE_PixelWord* row = screen->PixelData() + y * screen->RowSpan();
    all.insert(all.end(), row, row + screen->Width());
  }
  return all;
}

}  // namespace

TEST_F(EditorThroughAdaptor, TheReadoutShowsAfterARestFollowsTheValueAndGoesASecondAfter) {
  double now = 100;
  graphics->SetClock([&] { return now; });
  const std::vector<LICE_PixelWord> untouched = Pixels(graphics->Screen());
  graphics->OnMouseOver(706, 128, {});
  now += 0.39;
  graphics->Tick();
  EXPECT_EQ(graphics->ReadoutControl(), -1) << "not yet rested";
  now += 0.02;
  graphics->Tick();
  ASSERT_GE(graphics->ReadoutControl(), 0);
  EXPECT_STREQ(graphics->ReadoutText().name, "OUTPUT");
  EXPECT_STREQ(graphics->ReadoutText().value, "0.0 dB");

  // A drag and automation are followed while it shows.
  graphics->OnMouseDown(706, 128, {true});
  graphics->OnMouseDrag(706, 91, {true});  // 37 of 372 px: +2.98 dB
  graphics->Tick();
  EXPECT_STREQ(graphics->ReadoutText().value, "+3.0 dB");
  const std::vector<LICE_PixelWord> firstValue = Pixels(graphics->Screen());
  graphics->OnMouseDrag(706, 86, {true});
  graphics->OnMouseUp(706, 86, {});
  graphics->Tick();
  EXPECT_STREQ(graphics->ReadoutText().value, "+3.4 dB");
  // The plate, drawn anew with the new text (the knob moved too, but the plate lies beside it).
  const IBox plate = graphics->ToDevice(graphics->ReadoutBox());
  const std::vector<LICE_PixelWord> secondValue = Pixels(graphics->Screen());
  int32_t changedOnPlate = 0, darkOnPlate = 0;
  for (size_t i = 0; i < secondValue.size(); ++i) {
    if (!plate.Contains(int32_t(i) % graphics->DeviceWidth(), int32_t(i) / graphics->DeviceWidth()))
      continue;
    changedOnPlate += secondValue[i] != firstValue[i];
    darkOnPlate += ((secondValue[i] >> 16) & 0xFF) < 48;
  }
  EXPECT_GT(changedOnPlate, 20);
  EXPECT_GT(darkOnPlate, plate.W() * plate.H() / 2);
  graphics->OnMouseOut();
  Changes changes;
  changes.add(BRIMO::kOutput, {1.0});
  ProcessWith(plug, &changes);
  graphics->Tick();
  EXPECT_STREQ(graphics->ReadoutText().value, "+15.0 dB");

  now += 0.99;
  graphics->Tick();
  EXPECT_GE(graphics->ReadoutControl(), 0) << "still within its second";
  changes = Changes();
  changes.add(BRIMO::kOutput, {0.5});
  ProcessWith(plug, &changes);
  now += 0.02;
  graphics->Tick();
  EXPECT_EQ(graphics->ReadoutControl(), -1);
  EXPECT_EQ(Pixels(graphics->Screen()), untouched) << "what the plate covered is drawn again";
}

// Beside its control, never over it, inside the panel, at 1x and 2x; drawing nothing outside its
// plate, and leaving the editor as it was once gone.
TEST_F(EditorThroughAdaptor, TheReadoutSitsBesideItsControlInsideThePanelAtEveryScale) {
  double now = 100;
  graphics->SetClock([&] { return now; });
  for (double scale : {1.0, 2.0}) {
    ASSERT_TRUE(graphics->SetDrawScale(scale));
    graphics->RenderAll();
    const std::vector<LICE_PixelWord> untouched = Pixels(graphics->Screen());
    for (const Touch& touch : kTouches) {
      SCOPED_TRACE(testing::Message() << "param " << touch.param << " at " << scale << "x");
      graphics->OnMouseOver(touch.x, touch.y, {});
      now += 0.5;
      graphics->Tick();
      const IControl* control = graphics->GetControl(graphics->ReadoutControl());
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(control->ParamIdx(), touch.param);
      const IBox plate = graphics->ReadoutBox();
      EXPECT_TRUE(plate.L >= 0 && plate.T >= 0 && plate.R <= 790 && plate.B <= 249);
      const IBox shown = IBox::Clip(control->GetBox(), IBox{0, 0, 790, 249});
      EXPECT_TRUE(plate.R <= shown.L || plate.L >= shown.R || plate.B <= shown.T ||
                  plate.T >= shown.B);
      const IBox device = graphics->ToDevice(plate);
      const std::vector<LICE_PixelWord> withPlate = Pixels(graphics->Screen());
      const int32_t w = graphics->DeviceWidth();
      int32_t changed = 0;
      for (size_t i = 0; i < withPlate.size(); ++i) {
        if (withPlate[i] == untouched[i]) continue;
        ++changed;
        ASSERT_TRUE(device.Contains(int32_t(i) % w, int32_t(i) / w));
      }
      EXPECT_GT(changed, device.W() * device.H() / 2);
      graphics->OnMouseOut();
      now += 1.5;
      graphics->Tick();
      EXPECT_EQ(Pixels(graphics->Screen()), untouched);
    }
  }
}

TEST_F(EditorThroughAdaptor, ATypedValueIsOneGestureAndARefusedOneLeavesTheFieldOpen) {
  graphics->OnMouseDown(706, 128, kAltClick);
  graphics->OnMouseUp(706, 128, {});
  ASSERT_TRUE(graphics->TextEntryOpen());
  EXPECT_EQ(graphics->lastEntryText, "0.0 dB");
  EXPECT_EQ(graphics->lastPromptBox, graphics->ReadoutBox()) << "over the readout";
  EXPECT_FALSE(graphics->AnswerTextEntry("loud"));
  EXPECT_TRUE(graphics->TextEntryOpen());
  EXPECT_TRUE(graphics->TextEntryRefused());
  EXPECT_TRUE(handler.edits.empty());

  ASSERT_TRUE(graphics->AnswerTextEntry("+3.2 dB"));
  EXPECT_FALSE(graphics->TextEntryOpen());
  EXPECT_FALSE(graphics->ValueEntryOpen());
  using Edit = RecordingHandler::Edit;
  const ParamID output = BRIMO::kOutput;
  ASSERT_EQ(handler.TakeEdits(),
            (std::vector<Edit>{{'b', output, 0.0}, {'p', output, 18.2 / 30}, {'e', output, 0.0}}));
  EXPECT_NEAR(plug->GetParam(BRIMO::kOutput)->Value(), 3.2, 1e-12);

  // Escape, and a double click still resets to the default.
  graphics->OnMouseDown(706, 128, kAltClick);
  graphics->CancelTextEntry();
  EXPECT_TRUE(handler.edits.empty());
  graphics->OnMouseDoubleClick(706, 128, {true});
  EXPECT_EQ(handler.TakeEdits().size(), 3u);
  EXPECT_EQ(plug->GetParam(BRIMO::kOutput)->Value(), 0.0);
}

TEST_F(EditorThroughAdaptor, AnOpenFieldIsCancelledWhenTheEditorClosesOrChangesSize) {
  const std::function<void()> closers[] = {
      [&] { graphics->CloseWindow(); },
      [&] { graphics->SetDrawScale(1.5); },
  };
  for (const auto& close : closers) {
    graphics->OpenWindow(nullptr);
    graphics->OnMouseDown(577, 64, kAltClick);
    ASSERT_TRUE(graphics->ValueEntryOpen());
    close();
    EXPECT_FALSE(graphics->TextEntryOpen());
    EXPECT_FALSE(graphics->ValueEntryOpen());
    EXPECT_EQ(graphics->GestureParam(), -1);
  }
  EXPECT_TRUE(handler.edits.empty());
}

// A host without a menu of its own: the editor's right-click menu carries the item.
TEST_F(EditorThroughAdaptor, WithoutAHostMenuTheEditorsOwnMenuOffersToTypeAValue) {
  graphics->popupAnswers = {0};
  graphics->OnMouseDown(204, 160, {false, true});
  ASSERT_FALSE(graphics->popupItemsShown.empty());
  EXPECT_EQ(graphics->popupItemsShown[0], "Enter value...");
  EXPECT_TRUE(graphics->TextEntryOpen());
  EXPECT_EQ(graphics->lastEntryText, "60 Hz");
  ASSERT_TRUE(graphics->AnswerTextEntry("200"));
  EXPECT_DOUBLE_EQ(plug->GetParam(BRIMO::kLowFrequency)->Value(), 2.0);
}
