// The Windows editor window driven directly (no plug-in): every order of opening, closing and
// destruction leaves no window and takes the class with the last editor, tooltips go with the
// window, a paint is always ended, wheel notches, keys the editor leaves to the host, and a resize
// under an open text box.
#include "IGraphicsWin.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "WinTestSupport.h"

using namespace wintest;

namespace {

// A control that records what reaches it.
class Probe : public IControl {
public:
  explicit Probe(IBox box, bool takesKeys = false)
      : IControl(nullptr, box, -1), takesKeys(takesKeys) {}
  bool Draw(IGraphics*) override { return true; }
  void OnMouseWheel(int32_t x, int32_t y, const IMouseMods&, int32_t n) override {
    wheels.push_back({x, y, n});
  }
  bool OnKeyDown(int32_t, int32_t, int32_t key) override {
    keys.push_back(key);
    return takesKeys;
  }
  struct Wheel {
    int32_t x, y, notches;
  };
  bool takesKeys;
  std::vector<Wheel> wheels;
  std::vector<int32_t> keys;
};

std::unique_ptr<IGraphicsWin> NewEditor(int32_t w = 300, int32_t h = 200) {
  auto g = std::make_unique<IGraphicsWin>(nullptr, w, h, 25, OwnModuleHandle());
  g->PrepareDrawSurface();
  return g;
}

RECT RectInParent(HWND child) {
  RECT r = {};
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TEST(IGraphicsWin, TooltipsLiveAndDieWithTheWindow) {
  HWND host = MakeHostWindow(40, 40);
  auto g = NewEditor();
  auto* probe = new Probe({0, 0, 300, 200});
  probe->SetTooltip("Gain");
  g->AttachControl(probe);
  g->HandleMouseOver(true);
  g->ShowTooltips(true);
  HWND editor = static_cast<HWND>(g->OpenWindow(host));
  EXPECT_TRUE(g->TooltipsShown()) << "the tooltip window was made";
  auto tooltipOf = [](HWND owner) {
    struct Search {
      HWND owner, found;
    } search = {owner, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM data) -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          char name[64] = {};
          GetClassNameA(h, name, sizeof name);
          if (GetWindow(h, GW_OWNER) == s->owner && std::string(name) == "tooltips_class32")
            s->found = h;
          return s->found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  };
  // A child cannot own a window: the tooltip's owner is the host's top-level window, so only the
  // editor's own close takes it away.
  HWND tooltip = tooltipOf(GetAncestor(editor, GA_ROOT));
  ASSERT_NE(tooltip, nullptr);
  SendMessageA(editor, WM_MOUSEMOVE, 0, At(50, 50));
  SendMessageA(editor, WM_MOUSEHOVER, 0, At(50, 50));
  char text[32] = {};
  TTTOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = editor;
  tool.uId = reinterpret_cast<UINT_PTR>(editor);
  tool.lpszText = text;
  SendMessageA(tooltip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, "Gain");
  g->CloseWindow();
  EXPECT_FALSE(IsWindow(tooltip));
  g.reset();
  DestroyWindow(host);
}

TEST(IGraphicsWin, EveryOrderOfOpeningAndClosingLeavesNoWindowAndTheLastTakesTheClass) {
  HINSTANCE module = OwnModuleHandle();
  HWND host = MakeHostWindow(40, 40);

  // Closing what was never opened, and closing twice.
  auto a = NewEditor();
  a->CloseWindow();
  HWND first = static_cast<HWND>(a->OpenWindow(host));
  a->CloseWindow();
  a->CloseWindow();
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(ClassRegistered(module));

  // Two editors: the class stays until the second closes, whichever order.
  auto b = NewEditor();
  a->OpenWindow(host);
  HWND second = static_cast<HWND>(b->OpenWindow(host));
  a->CloseWindow();
  EXPECT_TRUE(ClassRegistered(module));
  EXPECT_TRUE(IsWindow(second));
  a->OpenWindow(host);
  b->CloseWindow();
  EXPECT_TRUE(ClassRegistered(module));

  // Destruction while open.
  HWND open = static_cast<HWND>(a->GetWindowHandle());
  a.reset();
  EXPECT_FALSE(IsWindow(open));
  EXPECT_FALSE(ClassRegistered(module));

  // The host destroys its window (and so the editor's) first.
  HWND editor = static_cast<HWND>(b->OpenWindow(host));
  DestroyWindow(host);
  EXPECT_FALSE(IsWindow(editor));
  EXPECT_FALSE(b->IsWindowOpen());
  b->CloseWindow();
  HWND other = MakeHostWindow(60, 60);
  ASSERT_NE(b->OpenWindow(other), nullptr) << "the editor opens again elsewhere";
  b->CloseWindow();
  EXPECT_FALSE(ClassRegistered(module));
  b.reset();
  DestroyWindow(other);
}

TEST(IGraphicsWin, OpeningAgainWhileOpenKeepsThePlaceAndSize) {
  HWND host = MakeHostWindow(40, 40);
  HWND other = MakeHostWindow(300, 90);
  auto g = NewEditor();
  HWND first = static_cast<HWND>(g->OpenWindow(host));
  SetWindowPos(first, nullptr, 10, 20, 250, 150, SWP_NOZORDER | SWP_NOACTIVATE);
  HWND second = static_cast<HWND>(g->OpenWindow(host));
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(IsWindow(first));
  const RECT r = RectInParent(second);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, 250);
  EXPECT_EQ(r.bottom - r.top, 150);
  // Into another parent: the same place on the screen.
  RECT before = {};
  GetWindowRect(second, &before);
  HWND third = static_cast<HWND>(g->OpenWindow(other));
  ASSERT_NE(third, nullptr);
  RECT after = {};
  GetWindowRect(third, &after);
  EXPECT_EQ(GetParent(third), other);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  g.reset();
  EXPECT_FALSE(ClassRegistered(OwnModuleHandle()));
  DestroyWindow(host);
  DestroyWindow(other);
}

TEST(IGraphicsWin, APaintIsEndedEvenWhenThereIsNothingToDraw) {
  HWND host = MakeHostWindow(40, 40);
  auto g = NewEditor();
  HWND editor = static_cast<HWND>(g->OpenWindow(host));
  InvalidateRect(editor, nullptr, FALSE);
  UpdateWindow(editor);
  RECT left = {};
  EXPECT_FALSE(GetUpdateRect(editor, &left, FALSE)) << "no control, yet the paint was validated";
  g.reset();
  DestroyWindow(host);
}

TEST(IGraphicsWin, WheelNotchesAreWholeStepsAtTheWindowsPosition) {
  HWND host = MakeHostWindow(40, 40);
  auto g = NewEditor();
  auto* probe = new Probe({0, 0, 300, 200});
  g->AttachControl(probe);
  HWND editor = static_cast<HWND>(g->OpenWindow(host));
  POINT screen = {30, 40};
  ClientToScreen(editor, &screen);
  const struct {
    int16_t delta;
    int32_t notches;
  } rows[] = {{240, 2}, {-120, -1}, {60, 0}, {-200, -1}, {119, 0}};
  for (const auto& row : rows) {
    probe->wheels.clear();
    SendMessageA(editor, WM_MOUSEWHEEL, MAKEWPARAM(0, uint16_t(row.delta)), At(screen.x, screen.y));
    ASSERT_EQ(probe->wheels.size(), 1u) << row.delta;
    EXPECT_EQ(probe->wheels[0].notches, row.notches) << row.delta;
    EXPECT_EQ(probe->wheels[0].x, 30);
    EXPECT_EQ(probe->wheels[0].y, 40);
  }
  g.reset();
  DestroyWindow(host);
}

TEST(IGraphicsWin, KeysTheEditorDoesNotUseReachTheHostsWindow) {
  HWND host = MakeHostWindow(40, 40);
  auto g = NewEditor();
  auto* catcher = new Probe({0, 0, 0, 0}, true);
  g->SetKeyCatcher(catcher);
  HWND editor = static_cast<HWND>(g->OpenWindow(host));
  HostKeys().clear();
  SendMessageA(editor, WM_KEYDOWN, VK_F12, 0);  // not mapped
  SendMessageA(editor, WM_KEYDOWN, 'A', 0);     // mapped and used
  SendMessageA(editor, WM_KEYUP, 'A', 0);       // key-ups always go on
  catcher->takesKeys = false;
  SendMessageA(editor, WM_KEYDOWN, VK_SPACE, 0);  // mapped, not used
  const std::vector<std::pair<UINT, WPARAM>> expected = {
      {WM_KEYDOWN, VK_F12}, {WM_KEYUP, 'A'}, {WM_KEYDOWN, VK_SPACE}};
  EXPECT_EQ(HostKeys(), expected);
  EXPECT_EQ(catcher->keys, (std::vector<int32_t>{KeyLetterA, KeySpace}));
  g.reset();
  DestroyWindow(host);
}

TEST(IGraphicsWin, ResizeDropsTheTextBoxOfTheControlsItDeletesAndGrowsTheWindows) {
  HWND host = MakeHostWindow(40, 40, 500, 400);
  auto g = NewEditor();
  auto* probe = new Probe({10, 10, 60, 30});
  g->AttachControl(probe);
  HWND editor = static_cast<HWND>(g->OpenWindow(host));
  g->ShowTextEntry(probe, &probe->TextStyle(), probe->GetBox(), "12", nullptr);
  HWND box = g->EntryWindow();
  ASSERT_NE(box, nullptr);
  SendMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
  g->Resize(400, 260);
  EXPECT_EQ(g->EntryWindow(), nullptr);
  EXPECT_FALSE(IsWindow(box));
  Pump(editor, 2);  // a tick with no box and no control
  RECT r = {};
  GetClientRect(editor, &r);
  EXPECT_EQ(r.right, 400);
  EXPECT_EQ(r.bottom, 260);
  GetClientRect(host, &r);
  EXPECT_EQ(r.right, 600) << "outside the VST3 adaptor the host's windows grow too";
  EXPECT_EQ(r.bottom, 460);
  GetClientRect(GetParent(host), &r);
  EXPECT_EQ(r.right, 1100) << "the grandparent, as the parent is a child";
  EXPECT_EQ(r.bottom, 760);
  SetWindowPos(GetParent(host), nullptr, 0, 0, 1000, 700, SWP_NOMOVE | SWP_NOZORDER);
  g.reset();
  DestroyWindow(host);
}

}  // namespace
