// The built BRIMO bundle's X11 editor, loaded by our host code and opened through its VST3 view in
// a host window under Xvfb, on a run loop of the test's own: gestures injected with XTest reach
// the host as edit gestures, the window shows what the headless render of the same state shows
// (also after automation, within two timer periods), every order of opening and closing the
// host may use leaves no window, handler or descriptor behind, and a value typed into the entry
// box (Alt+click) reaches the host with the keyboard focus given back.
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "BRIMO.h"
#include "RecordingHandler.h"
#include "BundleFixture.h"
#include "IGraphicsHeadless.h"
// Xlib's macros (None, True, Bool...) last.
#include "X11TestHost.h"
#include <X11/extensions/XTest.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

namespace {

using namespace x11test;
using brimo::test::makePlugin;
using brimo::test::RecordingHandler;
using E = RecordingHandler::Edit;
using enum BRIMO::Param;

constexpr int kWidth = BRIMO::kEditorWidth;
constexpr int kHeight = BRIMO::kEditorHeight;
constexpr int kTimerMs = 1000 / BRIMO::kEditorFps;

// The in-process headless BRIMO's picture of the editor with the given normalized values.
std::vector<uint32_t> HeadlessPicture(const std::vector<std::pair<int32_t, double>>& values,
                                      double scale = 1.0) {
  auto* plug = new BRIMO();
  plug->initialize(nullptr);
  for (const auto& [param, normalized] : values) plug->GetParam(param)->SetNormalized(normalized);
  plug->RedrawParamControls();
  auto* graphics = static_cast<IGraphicsHeadless*>(plug->GetGraphics());
  graphics->SetDrawScale(scale);
  graphics->RenderAll();
  LICE_IBitmap* screen = graphics->Screen();
  std::vector<uint32_t> out;
  for (int y = 0; y < screen->Height(); ++y)
    for (int x = 0; x < screen->Width(); ++x)
      out.push_back(screen->PixelData()[y * screen->RowSpan() + x] & 0xFFFFFF);
  plug->terminate();
  plug->release();
  return out;
}

class X11BundleEditor : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server: run under xvfb-run";
    // The editor's remembered size lives in the user's settings: a folder of the test's own.
    settings = testing::TempDir() + "brimo-x11-settings-" + std::to_string(getpid());
    setenv("XDG_CONFIG_HOME", settings.c_str(), 1);
    ASSERT_TRUE(host.Ok());
    plugin = makePlugin();
    ASSERT_TRUE(plugin);
    ASSERT_EQ(plugin->prepare(48000.0, 64, 2, brimo::host::SampleSize::k32), kResultOk);
    plugin->controller()->setComponentHandler(&recorder);
  }
  void TearDown() override {
    for (IPlugView* v : views) v->release();
    plugin.reset();
    std::filesystem::remove_all(settings);
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
  // Pixels that differ from picture (all of them while the editor is not there).
  int Differing(const std::vector<uint32_t>& picture, double scale = 1.0) {
    const auto shown = host.Pixels(Editor(), int(kWidth * scale), int(kHeight * scale));
    if (shown.size() != picture.size()) return int(picture.size());
    int n = 0;
    for (size_t i = 0; i < shown.size(); ++i) n += shown[i] != picture[i];
    return n;
  }
  // The host automates a parameter: the change arrives with a block of audio.
  void Automate(int32_t param, double value) {
    plugin->queueChange(param, value);
    auto in = brimo::test::testSignal<float>(2, 64);
    brimo::test::Planar<float> out(2, 64);
    ASSERT_EQ(plugin->process32(in.p(), out.p(), 64), kResultOk);
  }
  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(host.display, -1, x, y, CurrentTime);
    XFlush(host.display);
  }
  void Button(unsigned int button, bool press) {
    XTestFakeButtonEvent(host.display, button, press, CurrentTime);
    XFlush(host.display);
  }
  void Click(int x, int y, unsigned int button = 1) {
    MoveTo(x, y);
    Button(button, true);
    Button(button, false);
  }
  // To a billionth: a knob's value may pass through its plain units.
  std::vector<E> EditsAfter(int ms) {
    loop.Run(ms);
    auto edits = recorder.TakeEdits();
    for (E& e : edits) e.value = std::round(e.value * 1e9) / 1e9;
    return edits;
  }

  std::string settings;
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
  EXPECT_EQ(loop.lastPeriodMs, kTimerMs);
  const auto start = HeadlessPicture({});
  EXPECT_TRUE(loop.RunUntil([&] { return Differing(start) == 0; }, 1000)) << Differing(start);
  // Something else paints over the window, then the server reports it exposed.
  GC gc = XCreateGC(host.display, Editor(), 0, nullptr);
  XFillRectangle(host.display, Editor(), gc, 0, 0, kWidth, kHeight);
  XFreeGC(host.display, gc);
  XClearArea(host.display, Editor(), 0, 0, 0, 0, True);
  EXPECT_TRUE(loop.RunUntil([&] { return Differing(start) == 0; }, 1000)) << "redrawn if exposed";
  loop.Run(100);  // settled: the next tick comes at a random phase of the change
  Automate(kHighBoost, 1.0);
  loop.Run(2 * kTimerMs + 5);
  EXPECT_EQ(Differing(HeadlessPicture({{kHighBoost, 1.0}})), 0);
}

// Twice the size on a high-density screen, whether the host says so or the desktop's Xft.dpi does,
// drawn as the headless editor draws at 2x.
TEST_F(X11BundleEditor, OpensAtTwiceTheSizeOnADenseScreen) {
  XResizeWindow(host.display, host.window, 1600, 520);  // room for the editor (scripts/test's
  XSync(host.display, False);                           // screen is 1920 x 1200)
  const auto twice = HeadlessPicture({}, 2.0);
  auto check = [&](IPlugView* view) {
    ViewRect size;
    view->getSize(&size);
    EXPECT_EQ(std::pair(size.getWidth(), size.getHeight()), std::pair(1580, 498));
    XWindowAttributes a{};
    XGetWindowAttributes(host.display, Editor(), &a);
    EXPECT_EQ(std::pair(a.width, a.height), std::pair(1580, 498));
    EXPECT_TRUE(loop.RunUntil([&] { return Differing(twice, 2.0) == 0; }, 1000))
        << Differing(twice, 2.0);
    view->removed();
    Release(view);
  };
  {
    SCOPED_TRACE("the host's content scale");
    IPlugView* view = plugin->controller()->createView("editor");
    views.push_back(view);
    FUnknownPtr<IPlugViewContentScaleSupport>(view)->setContentScaleFactor(2.0f);
    view->setFrame(&frame);
    view->attached(host.Parent(), kPlatformTypeX11EmbedWindowID);
    check(view);
  }
  {
    SCOPED_TRACE("Xft.dpi: 192");
    const Window root = DefaultRootWindow(host.display);
    const char resources[] = "Xft.dpi:\t192\n";
    XChangeProperty(host.display, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources), int(sizeof resources - 1));
    XSync(host.display, False);
    check(Attach(host.Parent()));
    XDeleteProperty(host.display, root, XA_RESOURCE_MANAGER);
    XSync(host.display, False);
  }
}

TEST_F(X11BundleEditor, GesturesReachTheHostAsEditGestures) {
  Attach(host.Parent());
  loop.Run(100);
  // "Low Boost" (161..244 x 18..110): 92 px high, gearing 4, so 23 px up is 1/16 of its range.
  MoveTo(200, 60);
  Button(1, true);
  MoveTo(200, 37);
  MoveTo(200, 14);
  Button(1, false);
  EXPECT_EQ(EditsAfter(150), (std::vector<E>{{'b', kLowBoost, 0},
                                             {'p', kLowBoost, 0.0625},
                                             {'p', kLowBoost, 0.125},
                                             {'e', kLowBoost, 0}}));
  loop.Run(450);  // past the double-click time
  // One wheel notch up on "Mid Cut" is a hundredth of its range; the horizontal wheel does nothing.
  Click(328, 64, 4);
  Click(328, 64, 6);
  EXPECT_EQ(EditsAfter(150),
            (std::vector<E>{{'b', kMidCut, 0}, {'p', kMidCut, 0.01}, {'e', kMidCut, 0}}));
  loop.Run(450);
  // A double click resets "Low Boost" to its default (the bottom of its range), after the first
  // click's empty gesture.
  Click(200, 60);
  Click(200, 60);
  EXPECT_EQ(EditsAfter(150), (std::vector<E>{{'b', kLowBoost, 0},
                                             {'e', kLowBoost, 0},
                                             {'b', kLowBoost, 0},
                                             {'p', kLowBoost, 0.0},
                                             {'e', kLowBoost, 0}}));
  loop.Run(450);
  Click(395, 234);  // "Bypass" switches on
  EXPECT_EQ(EditsAfter(150),
            (std::vector<E>{{'b', kBypass, 0}, {'p', kBypass, 1.0}, {'e', kBypass, 0}}));
}

// While a knob is held its readout shows beside it; a second after the release the window is the
// picture of the new value again, the plate's area drawn anew.
TEST_F(X11BundleEditor, AHeldKnobShowsItsReadoutUntilASecondAfterTheRelease) {
  Attach(host.Parent());
  loop.Run(100);
  MoveTo(200, 60);
  Button(1, true);
  MoveTo(200, 37);  // Low Boost at 1/16
  loop.Run(150);
  const auto moved = HeadlessPicture({{kLowBoost, 0.0625}});
  const int held = Differing(moved);
  Button(1, false);
  MoveTo(40, 45);  // the bare panel
  loop.Run(1300);
  EXPECT_GT(held, 400) << "the plate, text and all";
  EXPECT_EQ(Differing(moved), 0);
}

TEST_F(X11BundleEditor, InputArrivesThroughTheTimerWhenTheHostNeverReportsTheDescriptor) {
  loop.deliverDescriptors = false;
  Attach(host.Parent());
  loop.Run(100);
  Click(395, 234);
  EXPECT_EQ(EditsAfter(150).size(), 3u);
}

// Desktops run a reparenting window manager, which puts a frame of its own between the root and
// the host's window. Keys typed with the pointer over the editor must still reach the host's
// focused window (its shortcuts: space for play), delivered by the server as if the editor were
// not there.
TEST_F(X11BundleEditor, KeysOverTheEditorReachTheHostUnderAReparentingWindowManager) {
  ReparentingWindowManager twm(host);
  ASSERT_TRUE(twm.Manages()) << "twm did not frame the host's window: scripts/setup installs it";
  Attach(host.Parent());
  loop.Run(100);
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(host.display, Editor(), DefaultRootWindow(host.display), 300, 100, &x, &y,
                        &child);
  MoveTo(x, y);
  XSetInputFocus(host.display, host.window, RevertToParent, CurrentTime);
  const KeyCode space = XKeysymToKeycode(host.display, XK_space);
  XTestFakeKeyEvent(host.display, space, True, CurrentTime);
  XTestFakeKeyEvent(host.display, space, False, CurrentTime);
  XFlush(host.display);
  XEvent event{};
  ASSERT_TRUE(loop.RunUntil(
      [&] { return XCheckTypedWindowEvent(host.display, host.window, KeyPress, &event); }, 1000));
  EXPECT_EQ(event.xkey.keycode, space);
  EXPECT_FALSE(event.xkey.send_event) << "the editor stood in the way";
}

TEST_F(X11BundleEditor, OpeningAndClosingAHundredTimesLeavesNothingBehind) {
  auto cycle = [&](bool paint) {
    IPlugView* view = Attach(host.Parent());
    if (paint) loop.Run(kTimerMs + 5);
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
  Automate(kOutput, 1.0);  // something to draw into the lost window
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
  Click(395, 234);
  loop.Run(150);
  EXPECT_TRUE(host.Children().empty()) << "the window goes at once";
  EXPECT_EQ(loop.Handlers(), 1u) << "and every handler but the one whose callback ran";
  Release(view);
  plugin.reset();
  EXPECT_EQ(loop.Handlers(), 0u) << "the handlers go once the editor is destroyed";
  EXPECT_EQ(loop.unregisteredInOwnCallback, 0);
}

// A host that drops its last reference to the plug-in while handling one of its edits: the
// plug-in and its editor live until the editor's callback has returned (ASan sees to the rest).
TEST_F(X11BundleEditor, APluginReleasedFromInsideItsOwnEditOutlivesTheCallback) {
  IPlugView* view = Attach(host.Parent());
  loop.Run(60);
  recorder.onPerform = [&] {
    recorder.onPerform = nullptr;
    view->removed();
    Release(view);
    plugin.reset();
  };
  Click(395, 234);
  EXPECT_TRUE(loop.RunUntil([&] { return !plugin; }, 1000));
  loop.Run(100);
  EXPECT_EQ(loop.Handlers(), 0u);
}

// The host sees an empty frame, and nothing is left open.
TEST_F(X11BundleEditor, OpensNothingWithoutARunLoopOrAParentThatExists) {
  TestFrame bare(nullptr);
  struct Case {
    const char* name;
    IPlugFrame* frame;
    void* parent;
  };
  const Case cases[] = {
      {"no run loop", &bare, host.Parent()},
      {"no parent", &frame, nullptr},
      {"a parent that does not exist", &frame, reinterpret_cast<void*>(uintptr_t(0x7FFFFF0))},
  };
  const int descriptors = OpenDescriptors();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IPlugView* view = Attach(c.parent, c.frame);
    EXPECT_TRUE(host.Children().empty());
    EXPECT_EQ(loop.registrations, 0);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    view->removed();
  }
}

TEST_F(X11BundleEditor, TwoEditorsShareOneRunLoopThatRefusesSharedDescriptors) {
  auto other = makePlugin();
  ASSERT_TRUE(other);
  HostWindow second;
  Attach(host.Parent());
  IPlugView* view = other->controller()->createView("editor");
  view->setFrame(&frame);
  view->attached(second.Parent(), kPlatformTypeX11EmbedWindowID);
  EXPECT_EQ(loop.Handlers(), 4u);  // each editor's timer and descriptor
  view->removed();
  view->release();
}

// Another client's clipboard, on a connection and thread of its own (the editor waits for it on
// the test's thread): offers text as UTF8_STRING.
class ClipboardOwner {
public:
  explicit ClipboardOwner(std::string offered) : text(std::move(offered)) {
    display = XOpenDisplay(nullptr);
    window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    utf8 = XInternAtom(display, "UTF8_STRING", False);
    XSetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False), window, CurrentTime);
    XSync(display, False);
    server = std::thread([this] { Serve(); });
  }
  ~ClipboardOwner() {
    stop = true;
    server.join();
    XCloseDisplay(display);
  }

private:
  void Serve() {
    while (!stop) {
      while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != SelectionRequest) continue;
        const XSelectionRequestEvent& r = event.xselectionrequest;
        XEvent reply{};
        reply.xselection = {SelectionNotify, 0,        True, display, r.requestor,
                            r.selection,     r.target, None, r.time};
        if (r.target == utf8) {
          XChangeProperty(display, r.requestor, r.property, utf8, 8, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
          reply.xselection.property = r.property;
        }
        XSendEvent(display, r.requestor, False, NoEventMask, &reply);
        XFlush(display);
      }
      pollfd p{ConnectionNumber(display), POLLIN, 0};
      poll(&p, 1, 10);
    }
  }
  std::string text;
  Display* display = nullptr;
  Window window = 0;
  Atom utf8 = 0;
  std::atomic<bool> stop{false};
  std::thread server;
};

// The typed entry of a value under a reparenting window manager: Alt+click on OUTPUT opens the box,
// which holds the keyboard focus while it is open.
class X11BundleValueEntry : public X11BundleEditor {
protected:
  void SetUp() override {
    X11BundleEditor::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    twm = std::make_unique<ReparentingWindowManager>(host);
    ASSERT_TRUE(twm->Manages()) << "twm did not frame the host's window: scripts/setup installs it";
    view = Attach(host.Parent());
    loop.Run(100);
  }
  void TearDown() override {
    X11BundleEditor::TearDown();
    twm.reset();
  }
  // Alt+click in the middle of OUTPUT (665,82-747,175 in panel units, at the editor's scale); the
  // box once it holds the focus, or 0.
  Window OpenBox() {
    XWindowAttributes a{};
    XGetWindowAttributes(host.display, Editor(), &a);
    const double scale = double(a.width) / kWidth;
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(host.display, Editor(), DefaultRootWindow(host.display), int(706 * scale),
                          int(128 * scale), &x, &y, &child);
    MoveTo(x, y);
    loop.Run(100);  // the window manager has seen the pointer come in
    XSetInputFocus(host.display, host.window, RevertToParent, CurrentTime);
    Key(XK_Alt_L, true);
    Click(x, y);
    Key(XK_Alt_L, false);
    Window box = 0;
    loop.RunUntil([&] { return (box = Box()) != 0 && Focus() == box; }, 1000);
    return Focus() == box ? box : 0;
  }
  Window Box() {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    const Window editor = Editor();
    if (!editor || !XQueryTree(host.display, editor, &root, &parent, &children, &count)) return 0;
    const Window box = count == 1 ? children[0] : 0;
    if (children) XFree(children);
    return box;
  }
  Window Focus() {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(host.display, &focus, &revert);
    return focus;
  }
  void Key(KeySym sym, bool press) {
    XTestFakeKeyEvent(host.display, XKeysymToKeycode(host.display, sym), press, CurrentTime);
    XFlush(host.display);
  }
  void Type(std::initializer_list<KeySym> keys, bool control = false) {
    for (KeySym k : keys) {
      if (control) Key(XK_Control_L, true);
      Key(k, true);
      Key(k, false);
      if (control) Key(XK_Control_L, false);
    }
  }
  // The box's text, selected (Ctrl+A), copied (Ctrl+C) and read from the clipboard as another
  // client reads it.
  std::string Copied() {
    Type({XK_a, XK_c}, true);
    const Atom clipboard = XInternAtom(host.display, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(host.display, "UTF8_STRING", False);
    if (!loop.RunUntil([&] { return XGetSelectionOwner(host.display, clipboard) == Editor(); },
                       1000))
      return "(not the editor's)";
    XConvertSelection(host.display, clipboard, utf8, utf8, host.window, CurrentTime);
    XEvent event{};
    if (!loop.RunUntil(
            [&] {
              return XCheckTypedWindowEvent(host.display, host.window, SelectionNotify, &event);
            },
            1000) ||
        event.xselection.property == None)
      return "(refused)";
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(host.display, host.window, utf8, 0, 1024, True, AnyPropertyType, &type,
                       &format, &count, &after, &data);
    std::string text(reinterpret_cast<const char*>(data), count);
    XFree(data);
    return text;
  }
  std::vector<E> Output(double value) {
    return {{'b', kOutput, 0}, {'p', kOutput, std::round(value * 1e9) / 1e9}, {'e', kOutput, 0}};
  }

  std::unique_ptr<ReparentingWindowManager> twm;
  IPlugView* view = nullptr;
};

TEST_F(X11BundleValueEntry, ATypedValueIsOneGestureAndTheFocusGoesBackToTheHost) {
  ASSERT_NE(OpenBox(), 0u);
  Type({XK_3, XK_Return});  // replaces the value the box opens with
  EXPECT_EQ(EditsAfter(150), Output((3.0 + 15) / 30));
  EXPECT_EQ(Box(), 0u);
  EXPECT_EQ(Focus(), host.window);
}

TEST_F(X11BundleValueEntry, ARefusedTextStaysOpenInTheWarningColourAndEscapeSendsNothing) {
  // A spare key types é (through the input method, as UTF-8) for the length of the test.
  int first = 0, last = 0;
  XDisplayKeycodes(host.display, &first, &last);
  KeySym eacute = XK_eacute, none = NoSymbol;
  XChangeKeyboardMapping(host.display, last, 1, &eacute, 1);
  const Window box = OpenBox();
  ASSERT_NE(box, 0u);
  XTestFakeKeyEvent(host.display, last, True, CurrentTime);
  XTestFakeKeyEvent(host.display, last, False, CurrentTime);
  Type({XK_b, XK_c});
  EXPECT_EQ(Copied(), "\u00e9bc");
  XChangeKeyboardMapping(host.display, last, 1, &none, 1);
  Type({XK_Return});
  EXPECT_TRUE(EditsAfter(150).empty());
  ASSERT_EQ(Box(), box);
  XWindowAttributes a{};
  XGetWindowAttributes(host.display, box, &a);
  const auto pixels = host.Pixels(box, a.width, a.height);
  EXPECT_NE(std::find(pixels.begin(), pixels.end(), 0xFF8060u), pixels.end())
      << "the readout's warning colour";
  Type({XK_Escape});
  EXPECT_TRUE(EditsAfter(150).empty());
  EXPECT_EQ(Box(), 0u);
  EXPECT_EQ(Focus(), host.window);
}

TEST_F(X11BundleValueEntry, PastesAnotherClientsClipboardAndCopiesItsOwnText) {
  ClipboardOwner other("-3,2\nsecond line");
  ASSERT_NE(OpenBox(), 0u);
  Type({XK_v}, true);
  EXPECT_EQ(Copied(), "-3,2") << "the first line";
  Type({XK_Return});
  EXPECT_EQ(EditsAfter(150), Output((-3.2 + 15) / 30));
}

// After each, the core knows the box has gone: the next Alt+click opens one again.
TEST_F(X11BundleValueEntry, ClosingOrResizingTheEditorClosesTheBoxAndGivesTheFocusBack) {
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"removed (and attached again)",
       [&] {
         view->removed();
         EXPECT_TRUE(host.Children().empty());
         view = Attach(host.Parent());
         loop.Run(100);
       }},
      {"resized to 75 %",
       [&] {
         ViewRect smaller(0, 0, kWidth * 3 / 4, kHeight * 3 / 4);
         view->onSize(&smaller);
       }},
  };
  for (const auto& [name, close] : cases) {
    SCOPED_TRACE(name);
    ASSERT_NE(OpenBox(), 0u);
    Type({XK_7});
    loop.Run(50);
    close();
    EXPECT_EQ(Box(), 0u);
    EXPECT_EQ(Focus(), host.window);
    EXPECT_TRUE(EditsAfter(100).empty()) << "no gesture, open or closed";
  }
  EXPECT_NE(OpenBox(), 0u);
}

}  // namespace
