// The X11 editor's popup menu under Xvfb. ShowPopupMenu blocks until the menu closes, so a second
// thread, on an X connection of its own, waits for the menu windows to be drawn and plays the user
// with XTest. After every way out no grab may remain: another client must be able to grab.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "IGraphicsX11.h"
// Xlib's macros (None, True, Bool...) last.
#include "X11TestHost.h"
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using namespace x11test;

// The menu's frame colour: a menu whose corner has it has been drawn.
constexpr uint32_t kMenuFrame = 0x5A626A;

// Fills the editor and counts its draws.
class Panel final : public IControl {
public:
  explicit Panel(IBox box) : IControl(nullptr, box, -1) {}
  bool Draw(IGraphics* graphics) override {
    LICE_SysBitmap* s = graphics->DrawSurface();
    for (int y = box.T; y < box.B; ++y)
      for (int x = box.L; x < box.R; ++x) s->PixelData()[y * s->RowSpan() + x] = 0xFF405060;
    ++draws;
    return true;
  }
  std::atomic<int> draws{0};
};

// The editor open in a host window, with the pointer over it at (100, 50) on the screen.
struct Editor {
  HostWindow host;
  TestRunLoop loop;
  IGraphicsX11 graphics{nullptr, 200, 100, 25};
  Panel* panel = new Panel({0, 0, 200, 100});
  Window window = 0;
  Editor() {
    graphics.PrepareDrawSurface();
    graphics.AttachControl(panel);
    graphics.SetHostRunLoop(&loop);
    window = Window(reinterpret_cast<uintptr_t>(graphics.OpenWindow(host.Parent())));
    XTestFakeMotionEvent(host.display, -1, 100, 50, CurrentTime);
    XSync(host.display, False);
    graphics.OnTimer();
  }
  ~Editor() { graphics.CloseWindow(); }
};

struct MenuWindow {
  Window id;
  int x, y, w, h;
  // The screen position of the middle of item i of n (items of equal height).
  int RowY(int i, int n) const { return y + h * (2 * i + 1) / (2 * n); }
};

// The menus on screen, outermost first: the viewable override-redirect children of the root.
std::vector<MenuWindow> ShownMenus(Display* d) {
  std::vector<MenuWindow> out;
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  XSync(d, False);
  if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return out;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes a{};
    if (XGetWindowAttributes(d, children[i], &a) && a.override_redirect &&
        a.map_state == IsViewable)
      out.push_back({children[i], a.x, a.y, a.width, a.height});
  }
  if (children) XFree(children);
  return out;
}

bool Drawn(Display* d, const MenuWindow& m) {
  XImage* image = XGetImage(d, m.id, 0, 0, 1, 1, AllPlanes, ZPixmap);
  if (!image) return false;
  const bool drawn = (XGetPixel(image, 0, 0) & 0xFFFFFF) == kMenuFrame;
  XDestroyImage(image);
  return drawn;
}

// The user, on a connection of its own.
class User {
public:
  User() : d(XOpenDisplay(nullptr)) {}
  ~User() {
    if (d) XCloseDisplay(d);
  }
  // The menus once count of them are on screen and drawn; empty after five seconds.
  std::vector<MenuWindow> Menus(size_t count) {
    for (int i = 0; i < 500; ++i) {
      auto menus = ShownMenus(d);
      if (menus.size() == count && Drawn(d, menus.back())) return menus;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << count << " menu(s) never appeared";
    return {};
  }
  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
    XFlush(d);
  }
  void Button(unsigned int button, bool down) {
    XTestFakeButtonEvent(d, button, down, CurrentTime);
    XFlush(d);
  }
  void Click(int x, int y) {
    MoveTo(x, y);
    Button(1, true);
    Button(1, false);
  }
  // Per item of a menu of n items of equal height: is there a mark left of its text?
  std::vector<bool> Marks(const MenuWindow& m, int n) {
    std::vector<bool> marks(size_t(n), false);
    XImage* image = XGetImage(d, m.id, 0, 0, unsigned(m.w), unsigned(m.h), AllPlanes, ZPixmap);
    if (!image) return marks;
    for (int i = 0; i < n; ++i) {
      const int middle = m.RowY(i, n) - m.y;
      for (int y = middle - 5; y <= middle + 5; ++y)
        for (int x = 3; x < 24; ++x)
          if ((XGetPixel(image, x, y) & 0xFF00) > 0xA000) marks[size_t(i)] = true;
    }
    XDestroyImage(image);
    return marks;
  }
  void Keys(std::initializer_list<KeySym> syms) {
    for (KeySym sym : syms) {
      const KeyCode key = XKeysymToKeycode(d, sym);
      XTestFakeKeyEvent(d, key, True, CurrentTime);
      XTestFakeKeyEvent(d, key, False, CurrentTime);
    }
    XFlush(d);
  }
  Display* d;
};

// True when another client can take both grabs (they are given back at once).
bool NoGrabRemains(Display* d) {
  const Window root = DefaultRootWindow(d);
  const bool pointer = XGrabPointer(d, root, False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                                    None, None, CurrentTime) == GrabSuccess;
  const bool keyboard =
      XGrabKeyboard(d, root, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
  XUngrabKeyboard(d, CurrentTime);
  XUngrabPointer(d, CurrentTime);
  XSync(d, False);
  return pointer && keyboard;
}

IPopupMenu MenuOf(std::initializer_list<const char*> texts) {
  IPopupMenu menu;
  for (const char* text : texts) menu.items.emplace_back().text = text;
  return menu;
}

// Runs the menu on the editor while play acts the user; then checks that nothing is left.
IPopupMenu* ShowWhile(Editor& editor, IPopupMenu& menu, const std::function<void(User&)>& play) {
  std::thread user([&] {
    User u;
    if (u.d) play(u);
  });
  IPopupMenu* answer = editor.graphics.ShowPopupMenu(&menu, {10, 10, 60, 30});
  user.join();
  EXPECT_TRUE(ShownMenus(editor.host.display).empty()) << "a menu window outlived the call";
  EXPECT_TRUE(NoGrabRemains(editor.host.display));
  return answer;
}

class X11Popup : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server: run under xvfb-run";
  }
};

TEST_F(X11Popup, ChoosesByMouseAndKeysAndDismissesWithoutLeavingAGrab) {
  // Root: Low, Mid (ticked), High, Shelf -> {x, y, z}.
  enum Expect { Root, Sub, Nothing };
  struct Case {
    const char* name;
    bool pressFirst;  // the menu opens on a right press still held
    std::function<void(User&)> play;
    Expect menu;
    int32_t chosen;
  };
  std::vector<bool> marks;
  const Case cases[] = {
      {"click", false,
       [&marks](User& u) {
         const auto m = u.Menus(1);
         if (m.empty()) return;
         marks = u.Marks(m[0], 4);
         u.Click(m[0].x + 30, m[0].RowY(2, 4));
       },
       Root, 2},
      {"press, drag, release", true,
       [](User& u) {
         const auto m = u.Menus(1);
         if (m.empty()) return;
         u.MoveTo(m[0].x + 30, m[0].RowY(0, 4));
         u.Button(3, false);
       },
       Root, 0},
      {"submenu by mouse", false,
       [](User& u) {
         auto m = u.Menus(1);
         if (m.empty()) return;
         u.MoveTo(m[0].x + 30, m[0].RowY(3, 4));  // resting on Shelf opens it
         m = u.Menus(2);
         if (m.size() == 2) u.Click(m[1].x + 30, m[1].RowY(2, 3));
       },
       Sub, 2},
      {"keys into the submenu and back", false,
       [](User& u) {
         if (u.Menus(1).empty()) return;
         u.Keys({XK_Up, XK_Right});  // Up from nothing wraps to Shelf; Right enters at x
         if (u.Menus(2).empty()) return;
         u.Keys({XK_Down, XK_Left, XK_Up, XK_KP_Enter});  // y, back out, High
       },
       Root, 2},
      {"keys in the submenu", false,
       [](User& u) {
         if (u.Menus(1).empty()) return;
         u.Keys({XK_Up, XK_Return});  // Enter on Shelf opens it
         if (u.Menus(2).empty()) return;
         u.Keys({XK_Down, XK_Return});
       },
       Sub, 1},
      {"Escape", false,
       [](User& u) {
         if (!u.Menus(1).empty()) u.Keys({XK_Escape});
       },
       Nothing, -1},
      {"a click outside", false,
       [](User& u) {
         const auto m = u.Menus(1);
         if (!m.empty()) u.Click(m[0].x + m[0].w + 40, m[0].y + 5);
       },
       Nothing, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Editor editor;
    ASSERT_NE(editor.window, 0u);
    IPopupMenu menu = MenuOf({"Low", "Mid", "High", "Shelf"});
    menu.items[1].flags = IPopupItem::Ticked;
    auto& sub = *(menu.items[3].submenu = std::make_unique<IPopupMenu>(MenuOf({"x", "y", "z"})));
    if (c.pressFirst) {
      XTestFakeButtonEvent(editor.host.display, 3, True, CurrentTime);
      XSync(editor.host.display, False);
    }
    IPopupMenu* answer = ShowWhile(editor, menu, c.play);
    EXPECT_EQ(answer, c.menu == Root ? &menu : c.menu == Sub ? &sub : nullptr);
    EXPECT_EQ((c.menu == Sub ? sub : menu).chosen, c.chosen);
    EXPECT_EQ((c.menu == Sub ? menu : sub).chosen, -1) << "only the menu holding the choice";
  }
  EXPECT_EQ(marks, (std::vector<bool>{false, true, false, false})) << "Mid is ticked";
}

TEST_F(X11Popup, KeysSkipWhatCannotBeChosen) {
  Editor editor;
  IPopupMenu menu = MenuOf({"4x", "8x", "", "16x", "32x"});
  menu.items[1].flags = IPopupItem::Disabled;
  menu.items[2].flags = IPopupItem::Separator;
  menu.items[4].flags = IPopupItem::Greyed;
  IPopupMenu* answer = ShowWhile(editor, menu, [](User& u) {
    // 4x, then past 8x and the separator to 16x.
    if (!u.Menus(1).empty()) u.Keys({XK_Down, XK_Down, XK_Return});
  });
  EXPECT_EQ(answer, &menu);
  EXPECT_EQ(menu.chosen, 3);
}

TEST_F(X11Popup, EndsWithNothingWhenTheHostDestroysItsWindowAndRedrawsTheEditorMeanwhile) {
  Editor editor;
  IPopupMenu menu = MenuOf({"a", "b"});
  const int drawsBefore = editor.panel->draws;
  bool redrawn = false;
  IPopupMenu* answer = ShowWhile(editor, menu, [&](User& u) {
    if (u.Menus(1).empty()) return;
    // An exposed editor is drawn again while the menu is open.
    XClearArea(u.d, editor.window, 0, 0, 0, 0, True);
    XFlush(u.d);
    for (int i = 0; i < 200 && !redrawn; ++i) {
      redrawn = editor.panel->draws > drawsBefore;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    XDestroyWindow(u.d, editor.host.window);
    XSync(u.d, False);
  });
  EXPECT_TRUE(redrawn);
  EXPECT_EQ(answer, nullptr);
  EXPECT_EQ(menu.chosen, -1);
}

TEST_F(X11Popup, ShowsNothingWhenAnotherClientHoldsTheGrab) {
  Editor editor;
  Display* other = editor.host.display;
  ASSERT_EQ(XGrabPointer(other, DefaultRootWindow(other), False, ButtonPressMask, GrabModeAsync,
                         GrabModeAsync, None, None, CurrentTime),
            GrabSuccess);
  XSync(other, False);
  IPopupMenu menu = MenuOf({"a", "b"});
  EXPECT_EQ(editor.graphics.ShowPopupMenu(&menu, {0, 0, 10, 10}), nullptr);
  EXPECT_TRUE(ShownMenus(other).empty());
  XUngrabPointer(other, CurrentTime);
  EXPECT_TRUE(NoGrabRemains(other)) << "the keyboard was not kept either";
}

}  // namespace
