// The shipped BRIMO.vst3 as a Windows host sees it: the editor view opens the native window in
// the host's window, the window's pixels equal the headless editor's, also at the timer tick after
// automation, mouse messages reach the host's component handler as edit gestures, and every way
// of closing leaves no window and takes the class with the last editor.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "BRIMO.h"
#include "BundleFixture.h"
#include "IGraphicsHeadless.h"
#include "RecordingHandler.h"
#include "WinTestSupport.h"
#include "pluginterfaces/gui/iplugview.h"

using namespace wintest;
using namespace Steinberg;
using namespace Steinberg::Vst;
using brimo::test::RecordingHandler;

namespace {

class Frame final : public IPlugFrame {
public:
  tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultOk; }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    const bool frame = FUnknownPrivate::iidEqual(iid, IPlugFrame::iid);
    *obj = frame ? this : nullptr;
    return frame ? kResultOk : kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
};

constexpr int kW = BRIMO::kEditorWidth;
constexpr int kH = BRIMO::kEditorHeight;

// How many pixels of the window differ from the headless editor of an in-process BRIMO with the
// controller's parameter values.
size_t DifferencesFromHeadless(HWND editor, IEditController* controller) {
  const std::vector<uint32_t> shown = Capture(editor, kW, kH);
  auto* plug = new BRIMO();
  for (int32_t p = 0; p < BRIMO::kNumParams; ++p)
    plug->GetParam(p)->SetNormalized(controller->getParamNormalized(ParamID(p)));
  plug->RedrawParamControls();
  auto* g = dynamic_cast<IGraphicsHeadless*>(plug->GetGraphics());
  size_t n = g && !shown.empty() ? 0 : size_t(-1);
  if (n == 0) {
    g->RenderAll();
    LICE_IBitmap* screen = g->Screen();
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        n += shown[size_t(y * kW + x)] !=
             (screen->PixelData()[y * screen->RowSpan() + x] & 0xFFFFFFu);
  }
  plug->release();
  return n;
}

// A gesture as the host sees it: begin, the values performed, end.
std::vector<RecordingHandler::Edit> Gesture(ParamID id, std::initializer_list<double> values) {
  std::vector<RecordingHandler::Edit> edits = {{'b', id, 0}};
  for (double v : values) edits.push_back({'p', id, v});
  edits.push_back({'e', id, 0});
  return edits;
}

class BundleEditor : public ::testing::Test {
protected:
  void SetUp() override {
    plugin = brimo::test::makePlugin();
    ASSERT_NE(plugin, nullptr);
    ASSERT_EQ(plugin->prepare(48000.0, 64, 2, brimo::host::SampleSize::k32), kResultOk);
    controller = plugin->controller();
    ASSERT_EQ(controller->setComponentHandler(&handler), kResultOk);
    view = controller->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
  }
  void TearDown() override {
    if (view) view->release();
    plugin.reset();
    DestroyWindow(host);
  }
  // Attaches v to parent and returns its editor window.
  static HWND Attach(IPlugView* v, HWND parent) {
    EXPECT_EQ(v->attached(parent, kPlatformTypeHWND), kResultOk);
    return FindWindowExA(parent, nullptr, IGraphicsWin::kWindowClass, nullptr);
  }

  // Farther from the screen's top than the editor is high: a wheel position the editor does not
  // convert from the screen hits nothing.
  HWND host = MakeHostWindow(20, 260);
  std::unique_ptr<brimo::host::Plugin> plugin;
  IEditController* controller = nullptr;
  IPlugView* view = nullptr;
  RecordingHandler handler;
  Frame frame;
};

TEST_F(BundleEditor,
       TheViewOpensAChildWindowThatShowsTheHeadlessPictureAndAutomationAtTheNextTick) {
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_EQ(view->setFrame(&frame), kResultOk);
  ViewRect size;
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.getWidth(), kW);
  EXPECT_EQ(size.getHeight(), kH);
  HWND editor = Attach(view, host);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(GetWindowLongA(editor, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
  EXPECT_EQ(GetClassLongA(editor, GCL_STYLE) & CS_DBLCLKS, UINT(CS_DBLCLKS));
  ASSERT_EQ(Pump(editor, 1), 1) << "the redraw timer runs";
  EXPECT_EQ(DifferencesFromHeadless(editor, controller), 0u);

  const std::vector<uint32_t> before = Capture(editor, kW, kH);
  brimo::test::Planar<float> in(2, 64), out(2, 64);
  plugin->queueChange(BRIMO::kHighBoost, 1.0);
  plugin->queueChange(BRIMO::kOutput, 0.2);
  ASSERT_EQ(plugin->process32(in.p(), out.p(), 64), kResultOk);
  EXPECT_TRUE(Capture(editor, kW, kH) == before) << "nothing is drawn between ticks";
  ASSERT_EQ(Pump(editor, 1), 1);
  EXPECT_EQ(DifferencesFromHeadless(editor, controller), 0u);
}

TEST_F(BundleEditor, MouseGesturesReachTheHostsComponentHandler) {
  HWND editor = Attach(view, host);
  ASSERT_NE(editor, nullptr);
  auto send = [&](UINT msg, WPARAM wParam, int x, int y) {
    SendMessageA(editor, msg, wParam, MAKELPARAM(x, y));
  };
  const ParamID low = BRIMO::kLowBoost;
  // "Low Boost" is 92 px high with gearing 4: 23 px up is a sixteenth of its range.
  send(WM_LBUTTONDOWN, MK_LBUTTON, 200, 60);
  send(WM_MOUSEMOVE, MK_LBUTTON, 200, 37);
  send(WM_MOUSEMOVE, MK_LBUTTON, 200, 14);
  send(WM_LBUTTONUP, 0, 200, 14);
  EXPECT_EQ(handler.TakeEdits(), Gesture(low, {0.0625, 0.125}));

  // A notch is a hundredth. Touchpads and free-spinning wheels send fractions of one: they add up
  // to whole notches, and a message that completes none tells the host nothing. Wheel messages
  // carry screen positions.
  POINT on = {200, 60};
  ClientToScreen(editor, &on);
  const std::pair<int16_t, std::vector<double>> wheel[] = {
      {120, {0.135}}, {40, {}}, {40, {}}, {40, {0.145}}, {-60, {}}, {-200, {0.125}}};
  for (const auto& [delta, values] : wheel) {
    send(WM_MOUSEWHEEL, MAKEWPARAM(0, uint16_t(delta)), on.x, on.y);
    auto edits = handler.TakeEdits();
    for (auto& e : edits) e.value = std::round(e.value * 1e9) / 1e9;
    EXPECT_EQ(edits, values.empty() ? decltype(edits){} : Gesture(low, {values[0]})) << delta;
  }
  send(WM_MOUSELEAVE, 0, 0, 0);  // what was left over goes with the pointer
  send(WM_MOUSEWHEEL, MAKEWPARAM(0, uint16_t(100)), on.x, on.y);
  EXPECT_TRUE(handler.TakeEdits().empty());

  send(WM_LBUTTONDBLCLK, MK_LBUTTON, 200, 60);  // back to the default
  send(WM_LBUTTONUP, 0, 200, 60);
  EXPECT_EQ(handler.TakeEdits(), Gesture(low, {0.0}));
  send(WM_LBUTTONDOWN, MK_LBUTTON, 395, 234);
  send(WM_LBUTTONUP, 0, 395, 234);
  EXPECT_EQ(handler.TakeEdits(), Gesture(BRIMO::kBypass, {1.0}));

  // Another window takes the mouse mid-drag: the gesture ends then, not at the next press.
  send(WM_LBUTTONDOWN, MK_LBUTTON, 200, 60);
  SetCapture(host);
  ReleaseCapture();
  send(WM_MOUSEMOVE, MK_LBUTTON, 200, 30);
  EXPECT_EQ(handler.TakeEdits(), Gesture(low, {}));
}

// The host's shortcuts keep working when the editor opens: it leaves the focus where it was.
TEST_F(BundleEditor, OpeningTheEditorLeavesTheFocusWithTheHost) {
  SetFocus(host);
  HWND editor = Attach(view, host);
  ASSERT_NE(editor, nullptr);
  EXPECT_NE(GetFocus(), editor);
  EXPECT_EQ(GetFocus(), host);
}

// Alt+click on a knob opens a box over its readout. Return sends a text the value texts read as
// one gesture; a refused one stays, in the warning colour until edited, and sends nothing; Escape,
// a click beside the box, the focus leaving it and closing the editor send nothing either.
TEST_F(BundleEditor, AValueTypedAfterAnAltClickReachesTheHostAsOneGesture) {
  HWND editor = Attach(view, host);
  ASSERT_NE(editor, nullptr);
  auto altClick = [&] {
    const LPARAM output = MAKELPARAM(706, 128);  // the OUTPUT knob, 665,82 - 747,175
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_MENU] = 0x80;
    SetKeyboardState(keys);
    SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, output);
    keys[VK_MENU] = 0;
    SetKeyboardState(keys);
    SendMessageA(editor, WM_LBUTTONUP, 0, output);
    return FindWindowExA(editor, nullptr, "EDIT", nullptr);
  };
  auto type = [](HWND box, const char* text, WPARAM key) {
    for (const char* c = text; *c; ++c) SendMessageA(box, WM_CHAR, WPARAM(uint8_t(*c)), 0);
    if (key) SendMessageA(box, WM_KEYDOWN, key, 0);
  };
  auto textColour = [&](HWND box) {
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageA(editor, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), LPARAM(box));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
  };

  HWND box = altClick();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(GetFocus(), box);
  type(box, "3", VK_RETURN);
  Pump(editor, 2);
  EXPECT_FALSE(IsWindow(box));
  EXPECT_EQ(GetFocus(), editor) << "back with the window the click gave it to";
  auto edits = handler.TakeEdits();
  for (auto& e : edits) e.value = std::round(e.value * 1e9) / 1e9;
  EXPECT_EQ(edits, Gesture(BRIMO::kOutput, {0.6})) << "+3 dB of -15 to +15";

  box = altClick();
  ASSERT_NE(box, nullptr);
  const COLORREF plain = textColour(box);
  type(box, "abc", VK_RETURN);
  Pump(editor, 2);
  ASSERT_TRUE(IsWindow(box)) << "a refused text stays";
  EXPECT_NE(textColour(box), plain);
  type(box, "d", 0);
  EXPECT_EQ(textColour(box), plain);
  type(box, "", VK_ESCAPE);
  Pump(editor, 2);
  EXPECT_FALSE(IsWindow(box));

  type(box = altClick(), "5", 0);
  SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 60));  // on LOW BOOST
  SendMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(200, 60));
  Pump(editor, 2);
  EXPECT_FALSE(IsWindow(box)) << "a click beside the box";
  type(box = altClick(), "5", 0);
  SetFocus(host);
  Pump(editor, 2);
  EXPECT_FALSE(IsWindow(box)) << "the focus went to the host";
  EXPECT_EQ(GetFocus(), host);

  box = altClick();
  ASSERT_NE(box, nullptr);
  view->removed();
  EXPECT_FALSE(IsWindow(box));
  editor = Attach(view, host);
  EXPECT_NE(altClick(), nullptr) << "the closed editor ended its entry";
  EXPECT_TRUE(handler.TakeEdits().empty());
}

// A host that drops the plug-in while handling one of its edits: the plug-in and its editor live
// until the window message that made the edit has been handled.
TEST_F(BundleEditor, APluginReleasedFromInsideItsOwnEditOutlivesTheMessage) {
  HWND editor = Attach(view, host);
  ASSERT_NE(editor, nullptr);
  handler.onPerform = [&] {
    handler.onPerform = nullptr;
    view->removed();
    view->release();
    view = nullptr;
    plugin.reset();
  };
  SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(395, 234));
  EXPECT_EQ(plugin, nullptr);
  EXPECT_FALSE(IsWindow(editor));
  EXPECT_EQ(handler.TakeEdits(),
            (std::vector<RecordingHandler::Edit>{
                {'b', BRIMO::kBypass, 0}, {'p', BRIMO::kBypass, 1.0}, {'e', BRIMO::kBypass, 0}}));
}

TEST_F(BundleEditor, EveryWayOfClosingLeavesNoWindowAndTheLastEditorTakesTheClass) {
  const HMODULE dll = GetModuleHandleA("BRIMO.vst3");
  HWND first = Attach(view, host);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(ClassRegistered(dll));

  // The host destroys its window before it removes the view; the view then opens elsewhere.
  HWND doomed = MakeHostWindow(100, 20);
  HWND second = Attach(view, doomed);
  ASSERT_NE(second, nullptr);
  DestroyWindow(doomed);
  EXPECT_FALSE(IsWindow(second));
  view->removed();
  HWND third = Attach(view, host);
  ASSERT_NE(third, nullptr);

  // A second instance: releasing the first while attached keeps the class for the other.
  HWND other = MakeHostWindow(100, 20);
  auto plugin2 = brimo::test::makePlugin();
  ASSERT_NE(plugin2, nullptr);
  IPlugView* view2 = plugin2->controller()->createView(ViewType::kEditor);
  HWND fourth = Attach(view2, other);
  ASSERT_NE(fourth, nullptr);
  view->release();
  view = nullptr;
  EXPECT_FALSE(IsWindow(third));
  EXPECT_TRUE(ClassRegistered(dll));
  EXPECT_EQ(Pump(fourth, 1), 1) << "the other editor still ticks";
  view2->removed();
  view2->removed();  // twice
  EXPECT_FALSE(IsWindow(fourth));
  EXPECT_FALSE(ClassRegistered(dll));
  view2->release();
  DestroyWindow(other);
}

}  // namespace
