// The shipped BRIMO.vst3 as a Windows host sees it: the editor view opens the native window in
// the host's window, mouse messages reach the host's component handler as edit gestures,
// automation shows at the next timer tick, the window's pixels equal the headless editor's, and
// every way of closing leaves no window and takes the class with the last editor.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BRIMO.h"
#include "RecordingHandler.h"
#include "IGraphicsHeadless.h"
#include "WinTestSupport.h"
#include "brimo/host/Vst3Host.h"
#include "pluginterfaces/gui/iplugview.h"

using namespace wintest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

using brimo::test::RecordingHandler;

class Frame final : public IPlugFrame {
public:
  tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultOk; }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    *obj = nullptr;
    if (!FUnknownPrivate::iidEqual(iid, IPlugFrame::iid)) return kNoInterface;
    *obj = this;
    return kResultOk;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
};

constexpr int kW = 790;
constexpr int kH = 249;

// The headless editor of an in-process BRIMO with the controller's parameter values.
std::vector<uint32_t> Reference(IEditController* controller) {
  auto* plug = new BRIMO();
  for (int32_t p = 0; p < BRIMO::kNumParams; ++p)
    plug->GetParam(p)->SetNormalized(controller->getParamNormalized(ParamID(p)));
  plug->RedrawParamControls();
  std::vector<uint32_t> pixels;
  if (auto* g = dynamic_cast<IGraphicsHeadless*>(plug->GetGraphics())) {
    g->RenderAll();
    LICE_IBitmap* screen = g->Screen();
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        pixels.push_back(screen->PixelData()[y * screen->RowSpan() + x] & 0x00FFFFFFu);
  }
  plug->release();
  return pixels;
}

size_t Differences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size()) return size_t(-1);
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

class BundleEditor : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    std::string error;
    module = brimo::host::Module::load(BRIMO_TEST_MODULE, &error);
    ASSERT_NE(module, nullptr) << error;
  }
  static void TearDownTestSuite() { module.reset(); }

  void SetUp() override {
    ASSERT_NE(module, nullptr);
    host = MakeHostWindow(20, 20);
    plugin = NewPlugin();
    ASSERT_NE(plugin, nullptr);
    controller = plugin->controller();
    ASSERT_EQ(controller->setComponentHandler(&handler), kResultOk);
    dll = GetModuleHandleA("BRIMO.vst3");
    ASSERT_NE(dll, nullptr);
  }
  void TearDown() override {
    if (view) view->release();
    plugin.reset();
    DestroyWindow(host);
  }
  std::unique_ptr<brimo::host::Plugin> NewPlugin() {
    auto cls = module->firstAudioEffect();
    return cls ? module->createPlugin(cls->cid) : nullptr;
  }
  // A view attached to parent; its editor window.
  HWND Attach(IPlugView* v, HWND parent) {
    EXPECT_EQ(v->attached(parent, kPlatformTypeHWND), kResultOk);
    return FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr);
  }
  void Click(UINT down, UINT up, int x, int y) {
    SendMessageA(editor, down, MK_LBUTTON, At(x, y));
    SendMessageA(editor, up, 0, At(x, y));
  }

  static inline std::shared_ptr<brimo::host::Module> module;
  HWND host = nullptr;
  HWND editor = nullptr;
  HMODULE dll = nullptr;
  std::unique_ptr<brimo::host::Plugin> plugin;
  IEditController* controller = nullptr;
  IPlugView* view = nullptr;
  RecordingHandler handler;
  Frame frame;
};

TEST_F(BundleEditor, TheViewOpensTheWindowInTheHostsWindowAndDrawsTheHeadlessPicture) {
  view = controller->createView(ViewType::kEditor);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_EQ(view->setFrame(&frame), kResultOk);
  ViewRect size;
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.getWidth(), kW);
  EXPECT_EQ(size.getHeight(), kH);
  EXPECT_FALSE(ClassRegistered(dll));
  editor = Attach(view, host);
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(ClassRegistered(dll));
  EXPECT_EQ(GetWindowLongA(editor, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
  EXPECT_EQ(GetClassLongA(editor, GCL_STYLE) & CS_DBLCLKS, UINT(CS_DBLCLKS));
  RECT client = {};
  GetClientRect(editor, &client);
  EXPECT_EQ(client.right, kW);
  EXPECT_EQ(client.bottom, kH);
  ASSERT_GE(Pump(editor, 1), 1) << "the redraw timer runs";
  EXPECT_EQ(Differences(Capture(editor, kW, kH), Reference(controller)), 0u);
}

TEST_F(BundleEditor, MouseGesturesReachTheHostsComponentHandler) {
  view = controller->createView(ViewType::kEditor);
  editor = Attach(view, host);
  ASSERT_NE(editor, nullptr);
  const ParamID low = BRIMO::kLowBoost, bypass = BRIMO::kBypass;
  using E = RecordingHandler::Edit;

  // "Low Boost" is 92 px high with gearing 4: 23 px up is a sixteenth of its range.
  SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, At(200, 60));
  SendMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, At(200, 37));
  SendMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, At(200, 14));
  SendMessageA(editor, WM_LBUTTONUP, 0, At(200, 14));
  EXPECT_EQ(handler.TakeEdits(),
            (std::vector<E>{{'b', low, 0}, {'p', low, 0.0625}, {'p', low, 0.125}, {'e', low, 0}}));

  POINT screen = {200, 60};
  ClientToScreen(editor, &screen);
  SendMessageA(editor, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), At(screen.x, screen.y));
  auto edits = handler.TakeEdits();
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_DOUBLE_EQ(edits[1].value, 0.135) << "one notch is a hundredth";

  // A double click puts the knob back to its default (0).
  Click(WM_LBUTTONDBLCLK, WM_LBUTTONUP, 200, 60);
  EXPECT_EQ(handler.TakeEdits(), (std::vector<E>{{'b', low, 0}, {'p', low, 0.0}, {'e', low, 0}}));

  Click(WM_LBUTTONDOWN, WM_LBUTTONUP, 395, 234);
  EXPECT_EQ(handler.TakeEdits(),
            (std::vector<E>{{'b', bypass, 0}, {'p', bypass, 1.0}, {'e', bypass, 0}}));

  // Another window takes the mouse mid-drag: the gesture ends then, not at the next press.
  SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, At(200, 60));
  SetCapture(host);
  ReleaseCapture();
  SendMessageA(editor, WM_MOUSEMOVE, MK_LBUTTON, At(200, 30));
  EXPECT_EQ(handler.TakeEdits(), (std::vector<E>{{'b', low, 0}, {'e', low, 0}}));

  Pump(editor, 2);
  EXPECT_EQ(Differences(Capture(editor, kW, kH), Reference(controller)), 0u);
}

TEST_F(BundleEditor, AutomationShowsAtTheNextTimerTick) {
  ASSERT_EQ(plugin->prepare(48000.0, 64, 2, brimo::host::SampleSize::k32), kResultOk);
  view = controller->createView(ViewType::kEditor);
  editor = Attach(view, host);
  ASSERT_NE(editor, nullptr);
  Pump(editor, 2);
  const std::vector<uint32_t> before = Capture(editor, kW, kH);
  std::vector<float> silence(64, 0.0f);
  std::vector<float> outL(64), outR(64);
  const float* in[2] = {silence.data(), silence.data()};
  float* out[2] = {outL.data(), outR.data()};
  plugin->queueChange(BRIMO::kHighBoost, 1.0);
  plugin->queueChange(BRIMO::kOutput, 0.2);
  ASSERT_EQ(plugin->process32(in, out, 64), kResultOk);
  EXPECT_EQ(Capture(editor, kW, kH), before) << "nothing is drawn between ticks";
  ASSERT_GE(Pump(editor, 1), 1);
  const std::vector<uint32_t> after = Capture(editor, kW, kH);
  EXPECT_NE(after, before);
  EXPECT_EQ(Differences(after, Reference(controller)), 0u);
}

TEST_F(BundleEditor, RemovingReattachingAndReleasingLeaveNoWindowAndTheLastTakesTheClass) {
  view = controller->createView(ViewType::kEditor);
  view->setFrame(&frame);
  HWND first = Attach(view, host);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(ClassRegistered(dll));

  // Attached to another parent: a child of that one, at its origin.
  HWND other = MakeHostWindow(100, 450);
  HWND second = Attach(view, other);
  ASSERT_NE(second, nullptr);
  RECT r = {};
  GetWindowRect(second, &r);
  RECT o = {};
  GetWindowRect(other, &o);
  EXPECT_EQ(r.left - o.left, 0);
  EXPECT_EQ(r.top - o.top, 0);
  Pump(second, 1);

  // A second instance: closing one keeps the class for the other.
  auto plugin2 = NewPlugin();
  ASSERT_NE(plugin2, nullptr);
  IPlugView* view2 = plugin2->controller()->createView(ViewType::kEditor);
  HWND third = Attach(view2, host);
  ASSERT_NE(third, nullptr);
  view->release();  // released while attached
  view = nullptr;
  EXPECT_FALSE(IsWindow(second));
  EXPECT_TRUE(ClassRegistered(dll));
  Pump(third, 1);
  view2->removed();
  view2->removed();  // twice
  EXPECT_FALSE(IsWindow(third));
  EXPECT_FALSE(ClassRegistered(dll));
  view2->release();
  plugin2.reset();
  DestroyWindow(other);
}

}  // namespace
