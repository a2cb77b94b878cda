// The graphics core: box rules, the two drawing rules and the clip of bitmap drawing, values from
// the plug-in to the redraw, resizing, the shared caches, and the dispatch of mouse and key events
// with the edit gestures a host sees.
#include "IGraphics.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "EditorFixture.h"
#include "LiceFont.h"

namespace {

// Records its draws; reports keys it takes.
class Probe : public IControl {
public:
  Probe(IPlugBase* plugin, IBox box, int32_t paramIdx, std::vector<int>* log, int id)
      : IControl(plugin, box, paramIdx), log(log), id(id) {}
  bool Draw(IGraphics*) override {
    log->push_back(id);
    return true;
  }
  bool OnKeyDown(int32_t, int32_t, int32_t key) override {
    keys.push_back(key);
    if (onKey) onKey();
    return true;
  }
  void OnMouseOver(int32_t, int32_t, const IMouseMods&) override { ++overs; }
  void OnMouseOut() override { ++outs; }
  std::vector<int>* log;
  int id;
  std::vector<int32_t> keys;
  std::function<void()> onKey;
  int overs = 0, outs = 0;
};

TEST(IBox, OverlapUnionClipAndEmptiness) {
  const IBox a{0, 0, 10, 10};
  EXPECT_TRUE(IBox::Overlaps(a, IBox{10, 0, 20, 10})) << "a's right edge touching b counts";
  EXPECT_FALSE(IBox::Overlaps(IBox{10, 0, 20, 10}, a)) << "the rule is not symmetric";
  EXPECT_FALSE(IBox::Overlaps(IBox{11, 0, 20, 10}, a));
  EXPECT_TRUE(IBox::Overlaps(a, IBox{0, 10, 5, 20}));
  EXPECT_FALSE(IBox::Overlaps(a, IBox{}));
  EXPECT_FALSE(IBox{}.Contains(0, 0));
  const IBox point{5, 5, 5, 5};
  EXPECT_FALSE(point.Empty()) << "only 0,0,0,0 is empty";
  EXPECT_FALSE(point.Contains(5, 5));
  EXPECT_FALSE(a.Contains(10, 5)) << "right edge exclusive";
  EXPECT_EQ(IBox::Union(IBox{}, a), a);
  EXPECT_EQ(IBox::Union(a, IBox{}), a);
  EXPECT_EQ(IBox::Union(a, IBox{5, -5, 20, 8}), (IBox{0, -5, 20, 10}));
  EXPECT_EQ(IBox::Clip(IBox{5, 5, 30, 30}, a), (IBox{5, 5, 10, 10}));
  EXPECT_EQ(IBox::Clip(IBox{20, 20, 30, 30}, a), IBox{});
  EXPECT_EQ(IBox::Clip(a, IBox{}), IBox{});
}

TEST(IKeyCode, VirtualKeysMapOntoTheEditorsCodesAndTheRestStayUnmapped) {
  const struct {
    int32_t virtualKey, code;
  } table[] = {
      {0x20, KeySpace}, {0x26, KeyUp}, {0x28, KeyDown}, {0x25, KeyLeft}, {0x27, KeyRight},
      {'0', 5},         {'9', 14},     {'A', 15},       {'Z', 40},       {0x61, 15},
      {0x7A, 40},       {0x2F, -1},    {0x3A, -1},      {0x60, -1},      {0x7B /* F12 */, -1},
      {0x1B, -1}};
  for (const auto& row : table)
    EXPECT_EQ(KeyCodeFromVirtualKey(row.virtualKey), row.code) << std::hex << row.virtualKey;
}

TEST(IGraphics, DrawingRulesChooseWhatIsDrawnAndCleanWhatWasDrawn) {
  std::vector<int> log;
  Editor e;
  auto add = [&](IBox box, int id) { return e.Add(new Probe(&e.plug, box, -1, &log, id)); };
  Probe* bg = add({0, 0, 200, 100}, 0);
  Probe* left = add({0, 0, 50, 50}, 1);
  Probe* right = add({50, 0, 100, 50}, 2);  // its left edge touches left's right edge
  Probe* hidden = add({0, 0, 50, 50}, 3);
  Probe* none = add({}, 4);
  hidden->Hide(true);

  // Update rectangle rule: whatever overlaps the box, hidden and empty boxes never.
  e.graphics->Draw(IBox{0, 0, 50, 50});
  EXPECT_EQ(log, (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(left->IsDirty());
  EXPECT_FALSE(none->IsDirty());
  EXPECT_TRUE(hidden->IsDirty()) << "hiding draws one more time";
  EXPECT_TRUE(right->IsDirty()) << "touched, not redrawn: its edit must still show";
  EXPECT_TRUE(bg->IsDirty()) << "only partly redrawn";
  EXPECT_EQ(e.graphics->TakePresented().back(), (IBox{0, 0, 50, 50}));

  // Dirty rule, background clean: each dirty control with whatever overlaps it.
  e.graphics->Draw(IBox{0, 0, 200, 100});
  e.graphics->Draw(IBox{0, 0, 200, 100});
  e.graphics->SetDrawByUpdateRect(false);
  log.clear();
  right->MarkDirty(false);
  e.graphics->Draw(IBox{50, 0, 100, 50});
  EXPECT_EQ(log, (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(right->IsDirty());
  // Background dirty: everything visible once.
  log.clear();
  bg->MarkDirty(false);
  e.graphics->Draw(IBox{0, 0, 200, 100});
  EXPECT_EQ(log, (std::vector<int>{0, 1, 2, 4}));
}

TEST(IGraphics, DrawBitmapComposesOnlyInsideTheRectangleBeingDrawn) {
  Editor e;
  auto strip = MakeStrip(20, 10, 2);
  // Second frame, drawn at (30, 40), redrawn only where the update box covers it.
  auto* knob = e.Add(new IKnobMultiControl(&e.plug, 30, 40, -1, HandleOf(strip.get(), 2)));
  knob->SetValue(1.0);
  strip->PixelData()[15 * strip->RowSpan() + 7] = 0xFFABCDEF;  // (7, 5) of frame 2
  e.graphics->Draw(IBox{35, 44, 40, 60});
  LICE_IBitmap* screen = e.graphics->Screen();
  EXPECT_EQ(PixelAt(screen, 37, 45), 0xFFABCDEFu) << "source offset follows the clip";
  EXPECT_EQ(PixelAt(screen, 36, 44), FrameColour(1));
  EXPECT_EQ(PixelAt(screen, 34, 45), 0u) << "left of the update box";
  EXPECT_EQ(PixelAt(screen, 40, 45), 0u) << "right of the update box";

  // A handle without bitmap (an image that could not be loaded) draws nothing.
  IKnobMultiControl empty(&e.plug, 0, 0, -1, IBitmapHandle{});
  EXPECT_TRUE(empty.Draw(e.graphics));
}

TEST(IGraphics, AutomationMarksTheControlAndTheNextTickRedrawsIt) {
  std::vector<int> log;
  Editor e;
  e.Add(new Probe(&e.plug, {0, 0, 200, 100}, -1, &log, 0));
  e.Add(new Probe(&e.plug, {10, 10, 30, 30}, EditorPlug::kKnob, &log, 1));
  auto* aux = e.Add(new Probe(&e.plug, {40, 10, 60, 30}, -1, &log, 2));
  aux->AddAuxBinding(EditorPlug::kSelector);
  e.graphics->RenderAll();
  EXPECT_FALSE(e.graphics->Tick()) << "nothing dirty";

  log.clear();
  e.graphics->SetParameterFromPlugin(EditorPlug::kKnob, 0.75, false);
  IBox dirty;
  ASSERT_TRUE(e.graphics->CollectDirtyRect(&dirty));
  EXPECT_EQ(dirty, (IBox{10, 10, 30, 30}));
  EXPECT_TRUE(e.graphics->Tick());
  EXPECT_EQ(log, (std::vector<int>{0, 1}));
  EXPECT_TRUE(e.graphics->Tick()) << "one more paint for a value from the plug-in";
  EXPECT_FALSE(e.graphics->Tick());

  e.graphics->SetParameterFromPlugin(EditorPlug::kSelector, 4.0, false);
  EXPECT_DOUBLE_EQ(aux->GetAuxBinding(0)->value, 0.5);
  EXPECT_TRUE(aux->IsDirty());
}

TEST(IGraphics, ResizeRebuildsTheSurfaceDropsControlsAndTellsThePlugin) {
  Editor e;
  auto* knob = e.Add(new TestKnob(&e.plug, IBox{0, 0, 20, 20}, EditorPlug::kKnob, 0, 4.0));
  (void)knob;
  e.graphics->OnMouseDown(5, 5, {true});
  EXPECT_EQ(e.graphics->CaptureIndex(), 0);
  e.TakeCalls();
  e.graphics->Resize(300, 120);
  EXPECT_EQ(e.graphics->NControls(), 0);
  EXPECT_EQ(e.graphics->CaptureIndex(), -1);
  EXPECT_EQ(e.graphics->DrawSurface()->Width(), 300);
  EXPECT_EQ(e.graphics->DrawSurface()->Height(), 120);
  EXPECT_EQ(Kinds(e.TakeCalls()), (std::vector<Call::Kind>{Call::EndGesture, Call::ResizeEditor}))
      << "the open gesture ends before its control goes";
  e.graphics->OnMouseUp(5, 5, {true});
  EXPECT_TRUE(e.TakeCalls().empty());
}

// Returns bitmaps made in memory and counts how often it is asked.
class CountingGraphics : public IGraphicsHeadless {
public:
  using IGraphicsHeadless::IGraphicsHeadless;
  LICE_IBitmap* LoadPlatformBitmap(int32_t resourceId, const char*) override {
    ++loads;
    return resourceId == 9001 ? MakeStrip(8, 8, 2).release() : nullptr;
  }
  static inline int loads = 0;
};

TEST(IGraphics, BitmapCacheIsSharedBetweenEditorsAndMissingImagesGiveEmptyHandles) {
  EditorPlug a, b;
  CountingGraphics first(&a, 10, 10, 25), second(&b, 10, 10, 25);
  const int before = BitmapCacheSize();
  const IBitmapHandle one = first.LoadBitmap(9001, "x.png", 2);
  const IBitmapHandle two = second.LoadBitmap(9001, "other name.png", 2);
  EXPECT_EQ(CountingGraphics::loads, 1);
  EXPECT_EQ(one.bitmap, two.bitmap) << "one decoded copy per process";
  EXPECT_EQ(two.height, 16);
  EXPECT_EQ(BitmapCacheSize(), before + 1);

  const IBitmapHandle missing = first.LoadBitmap(9002, "x.png", 3);
  second.LoadBitmap(9002, "x.png", 3);
  EXPECT_EQ(missing.bitmap, nullptr);
  EXPECT_EQ(missing.width, 0);
  EXPECT_EQ(CountingGraphics::loads, 3) << "a missing image is asked for again, never cached";
  EXPECT_EQ(BitmapCacheSize(), before + 1);
  EXPECT_EQ(IBitmapControl(&a, 3, 4, -1, missing).GetBox(), (IBox{3, 4, 3, 4}));
}

TEST(IGraphics, FontCacheKeysOnSizeOrientationStyleAndExactFace) {
  ITextStyle base;
  std::strcpy(base.face, "DejaVu Sans");
  LICE_CachedFont* font = CachedFontFor(&base);
  ASSERT_NE(font, nullptr);
  const int entries = FontCacheSize();
  ITextStyle same = base;
  same.font = nullptr;
  same.color = ArgbRed;  // colour and alignment are not part of the key
  same.align = 0;
  EXPECT_EQ(CachedFontFor(&same), font);
  EXPECT_EQ(same.font, font);
  EXPECT_EQ(FontCacheSize(), entries);

  ITextStyle other[4] = {base, base, base, base};
  other[0].size = 13;
  other[1].orientation = 90;
  other[2].style = 1;
  std::strcpy(other[3].face, "dejavu sans");  // faces compare case-sensitively
  for (ITextStyle& style : other) {
    style.font = nullptr;
    EXPECT_NE(CachedFontFor(&style), font);
  }
  EXPECT_EQ(FontCacheSize(), entries + 4);

  // Drawing and measuring use the cached font.
  Editor e;
  IBox box{10, 10, 110, 30};
  ASSERT_TRUE(e.graphics->MeasureText(&base, "Level", &box));
  EXPECT_GT(box.W(), 10);
  EXPECT_EQ(box.L, 60 - box.W() / 2) << "centred on the box";
  EXPECT_TRUE(e.graphics->DrawText(&base, "", box));
}

TEST(IGraphicsDispatch, DragIsOneGestureWithEveryStepInside) {
  Editor e;
  e.Add(new TestKnob(&e.plug, IBox{0, 0, 40, 100}, EditorPlug::kKnob, 0, 4.0));
  e.TakeCalls();
  e.graphics->OnMouseDown(10, 90, {true});
  e.graphics->OnMouseDrag(10, 90, {true});   // same place: not delivered
  e.graphics->OnMouseDrag(300, 40, {true});  // captured even outside the knob
  e.graphics->OnMouseDrag(300, -10, {true});
  e.graphics->OnMouseUp(300, -10, {});
  const auto calls = e.TakeCalls();
  EXPECT_EQ(Kinds(calls), (std::vector<Call::Kind>{Call::BeginGesture, Call::SendParam,
                                                   Call::SendParam, Call::EndGesture}));
  EXPECT_DOUBLE_EQ(calls[1].value, 0.625);
  EXPECT_DOUBLE_EQ(calls[2].value, 0.75);
  EXPECT_EQ(calls[3].paramIdx, EditorPlug::kKnob);
  EXPECT_EQ(e.graphics->CaptureIndex(), -1);
}

TEST(IGraphicsDispatch, ClicksOutsideAMouseGestureAreFramedOnTheirOwn) {
  Editor e;
  auto* knob = e.Add(new TestKnob(&e.plug, IBox{0, 0, 40, 100}, EditorPlug::kKnob, 0, 4.0));
  e.TakeCalls();
  const std::vector<Call::Kind> framed{Call::BeginGesture, Call::SendParam, Call::EndGesture};

  // Right click: the host's menu, no gesture; the release then ends nothing.
  e.graphics->OnMouseDown(5, 5, {false, true});
  e.graphics->OnMouseUp(5, 5, {});
  auto calls = e.TakeCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].kind, Call::ContextMenu);
  EXPECT_EQ(calls[0].paramIdx, EditorPlug::kKnob);
  EXPECT_EQ(calls[0].value, 5.0);

  // Double click (the native sequence: press, release, double click, release) resets inside a
  // gesture of its own.
  e.graphics->OnMouseDown(5, 5, {true});
  e.graphics->OnMouseUp(5, 5, {});
  e.TakeCalls();
  knob->SetValue(0.9);
  e.graphics->OnMouseDoubleClick(5, 5, {true});
  e.graphics->OnMouseUp(5, 5, {});
  EXPECT_EQ(Kinds(e.TakeCalls()), framed);
  EXPECT_EQ(knob->GetValue(), 0.5);

  // A wheel step is framed, unless it arrives during a drag of the same knob.
  e.graphics->OnMouseWheel(5, 5, {}, 1);
  EXPECT_EQ(Kinds(e.TakeCalls()), framed);
  e.graphics->OnMouseDown(5, 5, {true});
  e.graphics->OnMouseWheel(5, 5, {}, 1);
  e.graphics->OnMouseUp(5, 5, {});
  EXPECT_EQ(Kinds(e.TakeCalls()), framed);

  // A press whose release never came is ended by the next press.
  e.graphics->OnMouseDown(5, 5, {true});
  e.graphics->OnMouseDown(5, 5, {true});
  EXPECT_EQ(Kinds(e.TakeCalls()),
            (std::vector<Call::Kind>{Call::BeginGesture, Call::EndGesture, Call::BeginGesture}));
}

TEST(IGraphicsDispatch, HitTestingSkipsHiddenAndGreyedControls) {
  std::vector<int> log;
  Editor e;
  auto* below = e.Add(new Probe(&e.plug, {0, 0, 50, 50}, EditorPlug::kSelector, &log, 0));
  auto* above = e.Add(new Probe(&e.plug, {0, 0, 50, 50}, EditorPlug::kKnob, &log, 1));
  e.TakeCalls();
  e.graphics->OnMouseDown(5, 5, {true});
  EXPECT_EQ(e.graphics->CaptureIndex(), 1);
  e.graphics->OnMouseUp(5, 5, {});
  above->GreyOut(true);
  e.graphics->OnMouseDown(5, 5, {true});
  EXPECT_EQ(e.graphics->CaptureIndex(), 0);
  e.graphics->OnMouseUp(5, 5, {});
  below->Hide(true);
  e.graphics->OnMouseDown(5, 5, {true});
  EXPECT_EQ(e.graphics->CaptureIndex(), -1);
  e.graphics->OnMouseUp(5, 5, {});
  const auto calls = e.TakeCalls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].paramIdx, EditorPlug::kKnob);
  EXPECT_EQ(calls[2].paramIdx, EditorPlug::kSelector);

  // Mouse-over is off by default; on, a greyed control may still ask for it.
  EXPECT_FALSE(e.graphics->OnMouseOver(5, 5, {}));
  EXPECT_EQ(above->overs, 0);
  e.graphics->HandleMouseOver(true);
  EXPECT_TRUE(e.graphics->OnMouseOver(5, 5, {}));
  EXPECT_EQ(e.graphics->OverIndex(), -1);
  above->SetMouseOverWhenGreyed(true);
  EXPECT_TRUE(e.graphics->OnMouseOver(5, 5, {}));
  EXPECT_EQ(above->overs, 1);
  e.graphics->OnMouseOut();
  EXPECT_EQ(above->outs, 1);
  EXPECT_EQ(e.graphics->OverIndex(), -1);
}

TEST(IGraphicsDispatch, KeysGoToTheControlUnderTheMouseOrTheKeyCatcher) {
  std::vector<int> log;
  Editor e;
  auto* bg = e.Add(new Probe(&e.plug, {0, 0, 200, 100}, -1, &log, 0));
  auto* knob = e.Add(new Probe(&e.plug, {0, 0, 50, 50}, -1, &log, 1));
  EXPECT_TRUE(e.graphics->OnKeyDown(5, 5, KeyUp));
  EXPECT_EQ(knob->keys, std::vector<int32_t>{KeyUp});
  EXPECT_FALSE(e.graphics->OnKeyDown(150, 5, KeySpace)) << "the background never takes keys";
  EXPECT_TRUE(bg->keys.empty());
  auto* catcher = new Probe(&e.plug, {}, -1, &log, 9);
  e.graphics->SetKeyCatcher(catcher);
  EXPECT_TRUE(e.graphics->OnKeyDown(150, 5, KeyLetterA + 2));
  EXPECT_EQ(catcher->keys, std::vector<int32_t>{KeyLetterA + 2});

  // A key that changes a bound value is framed like any other edit of its own.
  auto* stepper = e.Add(new Probe(&e.plug, {60, 0, 100, 50}, EditorPlug::kKnob, &log, 2));
  stepper->onKey = [&] {
    stepper->SetValue(0.75);
    stepper->MarkDirty(true);
  };
  e.TakeCalls();
  e.graphics->OnKeyDown(70, 5, KeyUp);
  EXPECT_EQ(Kinds(e.TakeCalls()),
            (std::vector<Call::Kind>{Call::BeginGesture, Call::SendParam, Call::EndGesture}));
}

// Once a close or another client has taken the mouse, the drag that goes on edits nothing; and no
// position, however far, overflows the travel.
TEST(IGraphicsDispatch, ALostMouseEndsTheGestureAndItsDrag) {
  Editor e;
  auto* knob = e.Add(new TestKnob(&e.plug, IBox{0, 0, 40, 100}, EditorPlug::kKnob, 0, 4.0));
  e.TakeCalls();
  for (auto lose : {+[](IGraphics* g) { g->EndOpenGesture(); },
                    +[](IGraphics* g) {
                      g->CloseWindow();
                      g->OpenWindow(nullptr);
                    }}) {
    e.graphics->OnMouseDown(10, 50, {true});
    lose(e.graphics);
    e.graphics->OnMouseDrag(10, 20, {true});
    e.graphics->OnMouseUp(10, 20, {});
    EXPECT_EQ(Kinds(e.TakeCalls()),
              (std::vector<Call::Kind>{Call::BeginGesture, Call::EndGesture}));
  }
  e.graphics->OnMouseDown(10, 50, {true});
  e.graphics->OnMouseDrag(INT32_MAX, INT32_MIN, {true});
  e.graphics->OnMouseDrag(INT32_MIN, INT32_MAX, {true});
  e.graphics->OnMouseUp(0, 0, {});
  EXPECT_EQ(knob->GetValue(), 0.0);
}

}  // namespace
