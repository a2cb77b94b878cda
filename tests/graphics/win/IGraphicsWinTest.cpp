// The Windows editor window driven directly, for what the VST3 view cannot show: tooltips, an
// editor without controls, the editor's state once the host destroyed its window, opening again
// while open, keys a control takes, and a resize.
#include "IGraphicsWin.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "WinTestSupport.h"

using namespace wintest;

namespace {

TEST_F(EditorWindow, TooltipsLiveAndDieWithTheWindow) {
  field->SetTooltip("Gain");
  g->HandleMouseOver(true);
  g->ShowTooltips(true);
  Open();
  // A child cannot own a window: the tooltip's owner is the host's top-level window, so only the
  // editor's own close takes it away.
  HWND tooltip = FindWindowA(TOOLTIPS_CLASSA, nullptr);
  ASSERT_NE(tooltip, nullptr);
  EXPECT_EQ(GetWindow(tooltip, GW_OWNER), GetAncestor(editor, GA_ROOT));
  SendMessageA(editor, WM_MOUSEMOVE, 0, MAKELPARAM(50, 30));
  SendMessageA(editor, WM_MOUSEHOVER, 0, MAKELPARAM(50, 30));
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
}

TEST_F(EditorWindow, APaintIsEndedEvenWhenThereIsNothingToDraw) {
  IGraphicsWin empty(nullptr, 300, 200, 25, OwnModuleHandle());
  empty.PrepareDrawSurface();
  HWND window = static_cast<HWND>(empty.OpenWindow(host));
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
  EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE)) << "no control, yet the paint was validated";
}

TEST_F(EditorWindow, AHostWindowDestroyedFirstLeavesNothingOpenAndTheEditorTakesTheClass) {
  Open();
  DestroyWindow(host);
  EXPECT_FALSE(IsWindow(editor));
  EXPECT_FALSE(g->IsWindowOpen()) << "its handle may name another window soon";
  g.reset();
  EXPECT_FALSE(ClassRegistered(OwnModuleHandle()));
}

TEST_F(EditorWindow, OpeningAgainWhileOpenKeepsThePlaceOnTheScreenAndTheSize) {
  HWND other = MakeHostWindow(300, 90);
  HWND first = Open();
  SetWindowPos(first, nullptr, 10, 20, 250, 150, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT before = {}, after = {};
  GetWindowRect(first, &before);
  HWND second = static_cast<HWND>(g->OpenWindow(other));
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(GetParent(second), other);
  GetWindowRect(second, &after);
  EXPECT_TRUE(EqualRect(&before, &after));
  g.reset();
  EXPECT_FALSE(ClassRegistered(OwnModuleHandle())) << "one window open, one class use";
  DestroyWindow(other);
}

TEST_F(EditorWindow, KeysTheEditorDoesNotUseReachTheHostsTopLevelWindow) {
  auto* catcher = new Probe({0, 0, 0, 0});
  catcher->usesKeys = true;
  g->SetKeyCatcher(catcher);
  Open();
  hostKeys.clear();
  SendMessageA(editor, WM_KEYDOWN, VK_F12, 0);  // not mapped
  SendMessageA(editor, WM_KEYDOWN, 'A', 0);     // mapped and used
  SendMessageA(editor, WM_KEYUP, 'A', 0);       // key-ups always go on
  catcher->usesKeys = false;
  SendMessageA(editor, WM_KEYDOWN, VK_SPACE, 0);  // mapped, not used
  // Characters and the keys pressed with Alt are the host's too (its menus, its shortcuts).
  SendMessageA(editor, WM_CHAR, 'a', 0);
  SendMessageA(editor, WM_SYSKEYDOWN, 'S', 1 << 29);
  SendMessageA(editor, WM_SYSCHAR, 's', 1 << 29);
  SendMessageA(editor, WM_SYSKEYUP, 'S', 1 << 29);
  const std::vector<std::pair<UINT, WPARAM>> expected = {
      {WM_KEYDOWN, VK_F12}, {WM_KEYUP, 'A'},   {WM_KEYDOWN, VK_SPACE}, {WM_CHAR, 'a'},
      {WM_SYSKEYDOWN, 'S'}, {WM_SYSCHAR, 's'}, {WM_SYSKEYUP, 'S'}};
  EXPECT_EQ(hostKeys, expected);
  EXPECT_TRUE(IsWindow(editor));
  EXPECT_EQ(catcher->keys, (std::vector<int32_t>{KeyLetterA, KeySpace}));
}

TEST_F(EditorWindow, ResizeDropsTheTextBoxOfTheControlsItDeletesAndGrowsTheWindows) {
  Open();
  g->ShowTextEntry(field, &field->TextStyle(), field->GetBox(), "12", nullptr);
  HWND box = g->EntryWindow();
  ASSERT_NE(box, nullptr);
  SendMessageA(box, WM_KEYDOWN, VK_RETURN, 0);  // a commit pending for the next tick
  g->Resize(400, 260);
  ASSERT_EQ(g->EntryWindow(), nullptr) << "a tick would commit to a deleted control";
  EXPECT_FALSE(IsWindow(box));
  Pump(editor, 2);  // ticks with no box and no control
  auto size = [](HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return std::pair(r.right, r.bottom);
  };
  EXPECT_EQ(size(editor), std::pair(400L, 260L));
  EXPECT_EQ(size(host), std::pair(1000L, 460L)) << "outside the VST3 adaptor the host grows too";
  EXPECT_EQ(size(GetParent(host)), std::pair(1100L, 760L)) << "and, as it is a child, its parent";
  SetWindowPos(GetParent(host), nullptr, 0, 0, 1000, 700, SWP_NOMOVE | SWP_NOZORDER);
}

}  // namespace
