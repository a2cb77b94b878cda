// The built BRIMO bundle's X11 editor, loaded by our host code and opened through its VST3 view in
// a host window under Xvfb, on a run loop of the test's own: gestures injected with XTest reach
// the host as edit gestures, the window shows what the headless render of the same state shows
// (also after automation, within two timer periods), and every order of opening and closing the
// host may use leaves no window, handler or descriptor behind.
#include <cstdlib>
#include <functional>

#include "BRIMO.h"
#include "RecordingHandler.h"
#include "BundleFixture.h"
#include "IGraphicsHeadless.h"
// Xlib's macros (None, True, Bool...) last.
#include "X11TestHost.h"
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using namespace x11test;
using brimo::test::makePlugin;
using Steinberg::Vst::IComponentHandler;
using Steinberg::Vst::ParamID;
using Steinberg::Vst::ParamValue;

constexpr int kWidth = BRIMO::kEditorWidth;
constexpr int kHeight = BRIMO::kEditorHeight;

using brimo::test::RecordingHandler;

// The in-process headless BRIMO's picture of the editor with the given normalized values.
std::vector<uint32_t> HeadlessPicture(const std::vector<std::pair<int32_t, double>>& values) {
  auto* plug = new BRIMO();
  plug->initialize(nullptr);
  for (const auto& [param, normalized] : values) plug->GetParam(param)->SetNormalized(normalized);
  plug->RedrawParamControls();
  auto* graphics = static_cast<IGraphicsHeadless*>(plug->GetGraphics());
  graphics->RenderAll();
  LICE_IBitmap* screen = graphics->Screen();
  std::vector<uint32_t> out;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      out.push_back(screen->PixelData()[y * screen->RowSpan() + x] & 0xFFFFFF);
  plug->terminate();
  plug->release();
  return out;
}

int Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

class X11BundleEditor : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server: run under xvfb-run";
    ASSERT_TRUE(host.Ok());
    plugin = makePlugin();
    ASSERT_TRUE(plugin);
    ASSERT_EQ(plugin->prepare(48000.0, 64, 2, brimo::host::SampleSize::k32), kResultOk);
    plugin->controller()->setComponentHandler(&recorder);
  }
  void TearDown() override {
    for (IPlugView* v : views) v->release();
    plugin.reset();
  }

  IPlugView* Attach(void* parent, IPlugFrame* withFrame = nullptr) {
    IPlugView* view = plugin->controller()->createView("editor");
    if (!view) return nullptr;
    views.push_back(view);
    view->setFrame(withFrame ? withFrame : &frame);
    EXPECT_EQ(view->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    return view;
  }
  void Release(IPlugView* view) {
    std::erase(views, view);
    view->release();
  }
  Window Editor() {
    const auto children = host.Children();
    return children.size() == 1 ? children[0] : 0;
  }
  // Runs the loop until the editor shows picture (or a second has passed).
  bool Shows(const std::vector<uint32_t>& picture) {
    return loop.RunUntil([&] { return host.Pixels(Editor(), kWidth, kHeight) == picture; }, 1000);
  }
  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(host.display, -1, x, y, CurrentTime);
    XFlush(host.display);
  }
  void Button(unsigned int button, bool press) {
    XTestFakeButtonEvent(host.display, button, press, CurrentTime);
    XFlush(host.display);
  }
  void Click(unsigned int button) {
    Button(button, true);
    Button(button, false);
  }
  std::vector<RecordingHandler::Edit> EditsAfter(int ms) {
    loop.Run(ms);
    auto edits = recorder.edits;
    recorder.edits.clear();
    return edits;
  }

  HostWindow host;
  TestRunLoop loop;
  TestFrame frame{&loop};
  RecordingHandler recorder;
  std::unique_ptr<brimo::host::Plugin> plugin;
  std::vector<IPlugView*> views;
};

TEST_F(X11BundleEditor, ShowsTheHeadlessPictureWhenOpenedExposedAndAutomated) {
  Attach(host.Parent());
  ASSERT_NE(Editor(), 0u);
  EXPECT_EQ(loop.lastPeriodMs, 40);
  EXPECT_TRUE(Shows(HeadlessPicture({})))
      << Differing(host.Pixels(Editor(), kWidth, kHeight), HeadlessPicture({}));
  // Something else paints over the window, then the server reports it exposed.
  GC gc = XCreateGC(host.display, Editor(), 0, nullptr);
  XFillRectangle(host.display, Editor(), gc, 0, 0, kWidth, kHeight);
  XFreeGC(host.display, gc);
  XClearArea(host.display, Editor(), 0, 0, 0, 0, True);
  EXPECT_TRUE(Shows(HeadlessPicture({}))) << "redrawn when exposed";
  loop.Run(100);  // settled: the next tick comes at a random phase of the change
  plugin->queueChange(BRIMO::kHighBoost, 1.0);
  auto in = brimo::test::testSignal<float>(2, 64);
  brimo::test::Planar<float> out(2, 64);
  ASSERT_EQ(plugin->process32(in.p(), out.p(), 64), kResultOk);
  loop.Run(2 * 40 + 5);
  const auto moved = HeadlessPicture({{BRIMO::kHighBoost, 1.0}});
  const auto shown = host.Pixels(Editor(), kWidth, kHeight);
  EXPECT_EQ(Differing(shown, moved), 0);
}

TEST_F(X11BundleEditor, GesturesReachTheHostAsEditGestures) {
  Attach(host.Parent());
  loop.Run(100);
  using E = RecordingHandler::Edit;
  // "Low Boost" (161..244 x 18..110): 92 px high, gearing 4, so 23 px up is 1/16 of its range.
  MoveTo(200, 60);
  Button(1, true);
  MoveTo(200, 37);
  MoveTo(200, 14);
  Button(1, false);
  EXPECT_EQ(EditsAfter(150), (std::vector<E>{{'b', BRIMO::kLowBoost, 0},
                                             {'p', BRIMO::kLowBoost, 0.0625},
                                             {'p', BRIMO::kLowBoost, 0.125},
                                             {'e', BRIMO::kLowBoost, 0}}));
  loop.Run(450);  // past the double-click time

  // One wheel notch up on "Mid Cut" is a hundredth of its range.
  const double midCut = plugin->controllerNormalized(BRIMO::kMidCut);
  MoveTo(328, 64);
  Click(4);
  Click(6);  // horizontal wheel: ignored
  auto edits = EditsAfter(150);
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[0], (E{'b', BRIMO::kMidCut, 0}));
  EXPECT_NEAR(edits[1].value, midCut + 0.01, 1e-12);
  EXPECT_EQ(edits[2], (E{'e', BRIMO::kMidCut, 0}));
  loop.Run(450);

  // A double click resets "Low Boost" to its default.
  double lowBoostDefault = -1.0;
  for (const auto& p : plugin->parameters())
    if (p.id == ParamID(BRIMO::kLowBoost)) lowBoostDefault = p.defaultNormalized;
  MoveTo(200, 60);
  Click(1);
  Click(1);
  edits = EditsAfter(150);
  ASSERT_EQ(edits.size(), 5u);  // the first click's empty gesture, then the reset
  EXPECT_EQ(edits[2], (E{'b', BRIMO::kLowBoost, 0}));
  EXPECT_EQ(edits[3], (E{'p', BRIMO::kLowBoost, lowBoostDefault}));
  EXPECT_EQ(edits[4], (E{'e', BRIMO::kLowBoost, 0}));
  loop.Run(450);

  // A click on "Bypass" switches it on.
  MoveTo(395, 234);
  Click(1);
  EXPECT_EQ(EditsAfter(150),
            (std::vector<E>{
                {'b', BRIMO::kBypass, 0}, {'p', BRIMO::kBypass, 1.0}, {'e', BRIMO::kBypass, 0}}));
}

TEST_F(X11BundleEditor, InputArrivesThroughTheTimerWhenTheHostNeverReportsTheDescriptor) {
  loop.deliverDescriptors = false;
  Attach(host.Parent());
  loop.Run(100);
  MoveTo(395, 234);
  Click(1);
  EXPECT_EQ(EditsAfter(150).size(), 3u);
}

TEST_F(X11BundleEditor, KeysTheEditorDoesNotUseGoToTheHostWindow) {
  Attach(host.Parent());
  loop.Run(100);
  MoveTo(300, 100);
  XSetInputFocus(host.display, Editor(), RevertToParent, CurrentTime);
  const KeyCode a = XKeysymToKeycode(host.display, XK_a);
  XTestFakeKeyEvent(host.display, a, True, CurrentTime);
  XTestFakeKeyEvent(host.display, a, False, CurrentTime);
  XFlush(host.display);
  XEvent event{};
  const bool forwarded = loop.RunUntil(
      [&] { return XCheckTypedWindowEvent(host.display, host.window, KeyPress, &event) == True; },
      1000);
  ASSERT_TRUE(forwarded);
  EXPECT_TRUE(event.xkey.send_event);
  EXPECT_EQ(event.xkey.keycode, a);
}

TEST_F(X11BundleEditor, OpeningAndClosingAHundredTimesLeavesNothingBehind) {
  auto cycle = [&](bool paint) {
    IPlugView* view = Attach(host.Parent());
    if (paint) loop.Run(45);
    view->removed();
    Release(view);
  };
  cycle(true);  // Xlib's one-time set-up
  const int descriptors = OpenDescriptors();
  for (int i = 0; i < 100; ++i) cycle(i % 10 == 0);
  EXPECT_TRUE(host.Children().empty());
  EXPECT_EQ(loop.Handlers(), 0u);
  EXPECT_EQ(loop.registrations, 2 * 101);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(X11BundleEditor, AttachingAnotherViewMovesTheWindowToItsParent) {
  HostWindow second;
  Attach(host.Parent());
  Attach(second.Parent());
  EXPECT_TRUE(host.Children().empty());
  EXPECT_EQ(second.Children().size(), 1u);
  EXPECT_EQ(loop.Handlers(), 2u);
  // The second host window goes first here, taking the editor window with it.
}

TEST_F(X11BundleEditor, EveryOrderOfRemovalAndReleaseLeavesNothingBehind) {
  const int descriptors = OpenDescriptors();
  IPlugView* view = plugin->controller()->createView("editor");
  views.push_back(view);
  EXPECT_EQ(view->removed(), kResultOk);  // never attached
  view->setFrame(&frame);
  view->attached(host.Parent(), kPlatformTypeX11EmbedWindowID);
  loop.Run(50);
  view->removed();
  view->removed();  // twice
  EXPECT_TRUE(host.Children().empty());
  EXPECT_EQ(loop.Handlers(), 0u);
  Attach(host.Parent());
  loop.Run(50);
  for (IPlugView* v : views) v->release();  // released while open
  views.clear();
  EXPECT_TRUE(host.Children().empty());
  EXPECT_EQ(loop.Handlers(), 0u);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(X11BundleEditor, AParentDestroyedFirstIsSurvived) {
  const int descriptors = OpenDescriptors();
  IPlugView* view = Attach(host.Parent());
  loop.Run(60);
  XDestroyWindow(host.display, host.window);
  XSync(host.display, False);
  plugin->queueChange(BRIMO::kOutput, 1.0);  // something to draw into the lost window
  auto in = brimo::test::testSignal<float>(2, 64);
  brimo::test::Planar<float> out(2, 64);
  plugin->process32(in.p(), out.p(), 64);
  loop.Run(150);
  view->removed();
  EXPECT_EQ(loop.Handlers(), 0u);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(X11BundleEditor, HandlersTheHostStillHoldsAreHarmlessOnceTheEditorIsGone) {
  loop.keepHandlers = true;
  IPlugView* view = Attach(host.Parent());
  loop.Run(60);
  view->removed();
  Release(view);
  plugin.reset();
  EXPECT_EQ(loop.Handlers(), 0u);
  loop.CallKeptHandlers();  // must not reach the destroyed editor
}

TEST_F(X11BundleEditor, AHostThatRemovesTheViewFromAnEditIsNotUnregisteredFromInside) {
  IPlugView* view = Attach(host.Parent());
  loop.Run(60);
  recorder.onPerform = [&] {
    recorder.onPerform = nullptr;
    view->removed();
  };
  MoveTo(395, 234);
  Click(1);
  loop.Run(150);
  EXPECT_TRUE(host.Children().empty()) << "the window goes at once";
  Release(view);
  plugin.reset();
  EXPECT_EQ(loop.Handlers(), 0u) << "the handlers go once the editor is destroyed";
  EXPECT_EQ(loop.unregisteredInOwnCallback, 0);
}

TEST_F(X11BundleEditor, NoRunLoopOpensNothing) {
  TestFrame bare(nullptr);
  IPlugView* view = Attach(host.Parent(), &bare);
  EXPECT_TRUE(host.Children().empty());
  EXPECT_EQ(loop.registrations, 0);
  view->removed();
}

TEST_F(X11BundleEditor, TwoEditorsShareOneRunLoopThatRefusesSharedDescriptors) {
  auto other = makePlugin();
  ASSERT_TRUE(other);
  HostWindow second;
  Attach(host.Parent());
  IPlugView* view = other->controller()->createView("editor");
  view->setFrame(&frame);
  view->attached(second.Parent(), kPlatformTypeX11EmbedWindowID);
  EXPECT_EQ(loop.Descriptors(), 2u);
  EXPECT_EQ(loop.Timers(), 2u);
  view->removed();
  view->release();
}

}  // namespace
