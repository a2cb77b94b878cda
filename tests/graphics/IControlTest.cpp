// The control family: frame choice, knob drag and wheel, switch stepping, defaults and resets,
// prompting for a value, and the web-address area.
#include "IControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "EditorFixture.h"

namespace {

TEST(IControl, FrameFollowsValueAndDrawsThatFrame) {
  struct Row {
    int frames;
    double value;
    int frame;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Row rows[] = {
      {61, 0.5, 31},  {61, 0.0, 1},  {61, 1.0, 61}, {9, 1.0, 9}, {4, 2.0 / 3.0, 3},
      {4, 0.16, 1},   {4, 0.17, 2},  {4, -0.3, 1},  {4, 7.0, 4}, {4, nan, 1},
      {4, -1e300, 1}, {4, 1e300, 1},  // an overflowing intermediate draws the first frame
      {1, 0.9, 1},
  };
  for (const Row& row : rows) {
    Editor e;
    auto strip = MakeStrip(10, 7, row.frames);
    auto* knob =
        e.Add(new IKnobMultiControl(&e.plug, 20, 30, -1, HandleOf(strip.get(), row.frames)));
    knob->SetValue(row.value);
    EXPECT_EQ(knob->FrameNumber(), row.frame) << row.frames << " frames at " << row.value;
    e.graphics->RenderAll();
    EXPECT_EQ(PixelAt(e.graphics->Screen(), 25, 33), FrameColour(row.frame - 1))
        << row.frames << " frames at " << row.value;
  }
  // A bitmap control sizes its box from one frame.
  Editor e;
  auto strip = MakeStrip(95, 92, 9);
  IBitmapControl bitmap(&e.plug, 530, 18, -1, HandleOf(strip.get(), 9));
  EXPECT_EQ(bitmap.GetBox(), (IBox{530, 18, 625, 110}));
}

TEST(IControl, KnobDragAndWheelFollowGearingAndFineModifiers) {
  struct Row {
    IMouseMods mods;
    int direction;
    int dX, dY, notches;
    double expected;
  };
  const IMouseMods none, shift{false, false, true}, control{false, false, false, true};
  const Row rows[] = {
      {none, 0, 0, -100, 0, 0.25},    // 100 px up on a 100 px knob with gearing 4
      {shift, 0, 0, -100, 0, 0.025},  // fine adjustment
      {control, 0, 0, -100, 0, 0.025}, {none, 0, 0, 100, 0, -0.25},
      {none, 0, 37, 0, 0, 0.0},   // a vertical knob ignores horizontal movement
      {none, 1, 40, 0, 0, 0.25},  // horizontal: 40 px on a 40 px wide knob
      {none, 0, 0, 0, 3, 0.03},   // wheel notches
      {shift, 0, 0, 0, -2, -0.002},
  };
  for (const Row& row : rows) {
    Editor e;
    auto* knob =
        e.Add(new TestKnob(&e.plug, IBox{0, 0, 40, 100}, EditorPlug::kKnob, row.direction, 4.0));
    ASSERT_EQ(knob->GetValue(), 0.5);
    if (row.notches)
      knob->OnMouseWheel(0, 0, row.mods, row.notches);
    else
      knob->OnMouseDrag(0, 0, row.dX, row.dY, row.mods);
    EXPECT_NEAR(knob->GetValue(), 0.5 + row.expected, 1e-12);
    EXPECT_NEAR(e.plug.GetParam(EditorPlug::kKnob)->Value(), 0.5 + row.expected, 1e-12)
        << "every step reaches the plug-in at once";
  }
  // Values stay within [0, 1] whatever the drag.
  Editor e;
  auto* knob = e.Add(new TestKnob(&e.plug, IBox{0, 0, 40, 100}, EditorPlug::kKnob, 0, 4.0));
  knob->OnMouseDrag(0, 0, 0, -10000, {});
  EXPECT_EQ(knob->GetValue(), 1.0);
  EXPECT_EQ(e.TakeCalls().back().value, 1.0);
}

TEST(IControl, SwitchStepsThroughItsFramesAndWraps) {
  struct Row {
    int frames;
    std::vector<double> visits;
  };
  const Row rows[] = {{2, {1.0, 0.0, 1.0}},
                      {5, {0.25, 0.5, 0.75, 1.0, 0.0}},
                      {1, {1.0, 0.0, 1.0}}};  // 0 + 1 is not above 1.001
  for (const Row& row : rows) {
    Editor e;
    auto strip = MakeStrip(4, 4, row.frames);
    auto* sw = e.Add(new ISwitchControl(&e.plug, 0, 0, -1, HandleOf(strip.get(), row.frames)));
    for (double expected : row.visits) {
      sw->OnMouseDown(1, 1, {true});
      EXPECT_NEAR(sw->GetValue(), expected, 1e-12) << row.frames << " frames";
    }
    sw->OnMouseDoubleClick(1, 1, {true});  // a double click is one more step
    EXPECT_NEAR(sw->GetValue(), row.visits.size() == 3 ? 0.0 : 0.25, 1e-12);
  }
}

TEST(IControl, FirstPluginValueIsTheDefaultThatADoubleClickRestores) {
  Editor e;
  IControl* knob = e.Add(new TestKnob(&e.plug, IBox{0, 0, 10, 10}, EditorPlug::kKnob, 0, 4));
  EXPECT_TRUE(knob->IsDirty()) << "dirty from construction";
  EXPECT_EQ(knob->GetResetValue(), 0.5);
  knob->MarkClean();
  EXPECT_FALSE(knob->IsDirty()) << "the first push did not mark it";

  knob->SetValueFromPlugin(0.8);
  EXPECT_TRUE(knob->IsDirty());
  EXPECT_TRUE(knob->RedrawPending());
  knob->MarkClean();
  EXPECT_TRUE(knob->IsDirty()) << "a value from the plug-in draws one more time";
  knob->MarkClean();
  EXPECT_FALSE(knob->IsDirty());
  // A NaN is no value: it never enters, so no later edit can send it to the host.
  knob->SetValueFromPlugin(std::numeric_limits<double>::quiet_NaN());
  knob->SetAuxValueFromPlugin(0, std::numeric_limits<double>::quiet_NaN());
  EXPECT_FALSE(knob->IsDirty());
  EXPECT_EQ(knob->GetValue(), 0.8);

  knob->SetValue(0.1);
  knob->OnMouseDoubleClick(0, 0, {true});
  EXPECT_EQ(knob->GetValue(), 0.5);
  EXPECT_EQ(e.plug.GetParam(EditorPlug::kKnob)->Value(), 0.5);

  // Without a default yet, a double click does nothing.
  TestKnob loose(&e.plug, IBox{0, 0, 10, 10}, EditorPlug::kKnob, 0, 4);
  loose.SetValue(0.3);
  loose.OnMouseDoubleClick(0, 0, {true});
  EXPECT_EQ(loose.GetValue(), 0.3);

  loose.GreyOut(true);
  EXPECT_EQ(loose.GetBlend().weight, 0.25f);
  loose.GreyOut(false);
  EXPECT_EQ(loose.GetBlend().weight, 1.0f);
}

// The processing thread pushes values while the user-interface thread draws and cleans: a push
// may land between any two steps of a clean, and none may be lost (a value that differs from the
// last one drawn always leaves the control dirty).
TEST(IControl, ConcurrentPushesAreNeverLostToACleaning) {
  Editor e;
  IControl* knob = e.Add(new TestKnob(&e.plug, IBox{0, 0, 10, 10}, EditorPlug::kKnob, 0, 4));
  constexpr int kRounds = 20000;
  std::atomic<int> round{0};
  std::atomic<int> pushed{0};
  std::thread audio([&] {
    for (int r = 1; r <= kRounds; ++r) {
      while (round.load() < r) {}
      knob->SetValueFromPlugin(double(r % 2));
      pushed.store(r);
    }
  });
  int lost = 0;
  double drawn = knob->GetValue();
  for (int r = 1; r <= kRounds; ++r) {
    round.store(r);
    // Repaints for as long as the push may be landing: each draws the control if it is dirty and
    // then cleans it (a repaint of an area cleans every control it covers, dirty or not).
    do {
      if (knob->IsDirty()) drawn = knob->GetValue();
      knob->MarkClean();
    } while (pushed.load() < r);
    if (knob->GetValue() != drawn && !knob->IsDirty()) ++lost;
    while (knob->IsDirty()) {
      drawn = knob->GetValue();
      knob->MarkClean();
    }
  }
  audio.join();
  EXPECT_EQ(lost, 0);
}

TEST(IControl, PromptOpensATextEntryAndFramesTheTypedValue) {
  Editor e;
  IControl* knob = e.Add(new TestKnob(&e.plug, IBox{0, 0, 41, 21}, EditorPlug::kKnob, 0, 4));
  knob->OnMouseDown(5, 5, {false, true});
  EXPECT_EQ(e.graphics->lastEntryText, "") << "prompting is off by default";
  knob->DisablePrompt(false);

  // Numbers: a 40 x 16 box centred on the control, the value with the display precision; the
  // typed text is cut to the control's seven characters and read with either decimal mark.
  e.graphics->textEntryAnswers = {std::string("0,25"), std::nullopt, std::string("0.1234567")};
  knob->OnMouseDown(5, 5, {false, true});
  EXPECT_EQ(e.graphics->lastEntryText, "0.50");
  EXPECT_EQ(e.graphics->lastPromptBox, (IBox{0, 2, 40, 18}));
  EXPECT_EQ(e.plug.GetParam(EditorPlug::kKnob)->Value(), 0.25);
  EXPECT_EQ(Kinds(e.TakeCalls()),
            (std::vector<Call::Kind>{Call::BeginGesture, Call::SendParam, Call::EndGesture}));
  knob->OnMouseDown(5, 5, {false, true});
  EXPECT_EQ(e.plug.GetParam(EditorPlug::kKnob)->Value(), 0.25) << "cancelled";
  knob->OnMouseDown(5, 5, {false, true});
  EXPECT_EQ(e.plug.GetParam(EditorPlug::kKnob)->Value(), 0.12345) << "seven characters kept";
}

TEST(IControl, WebAddressFallsBackToItsBackupAddress) {
  Editor e;
  auto* url =
      e.Add(new IURLControl(&e.plug, IBox{0, 0, 10, 10}, "https://a.example", "https://b.example"));
  url->OnMouseDown(1, 1, {true});
  e.graphics->openUrlSucceeds = false;
  url->OnMouseDown(1, 1, {false, true});
  EXPECT_EQ(
      e.graphics->openedUrls,
      (std::vector<std::string>{"https://a.example", "https://a.example", "https://b.example"}));
  std::string longUrl(400, 'x');
  IURLControl cut(&e.plug, IBox{}, longUrl.c_str());
  EXPECT_EQ(std::string(cut.Url()).size(), 255u);
}

}  // namespace
