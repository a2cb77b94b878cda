// The Windows prompts: menu ids and labels, the file filter and the entry's character rule as
// tables; then the native popup menu, the text entry box, the clipboard and web addresses on a
// real window.
#include "IGraphicsWin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "WinTestSupport.h"

using namespace wintest;

namespace {

IPopupMenu MenuOf(std::initializer_list<const char*> texts, int32_t numbering = 0) {
  IPopupMenu menu;
  menu.numbering = numbering;
  for (const char* text : texts) {
    IPopupItem item;
    item.text = text;
    menu.items.push_back(std::move(item));
  }
  return menu;
}

void AddSubmenu(IPopupMenu& menu, size_t item, IPopupMenu sub) {
  menu.items[item].submenu = std::make_unique<IPopupMenu>(std::move(sub));
}

TEST(IGraphicsWinRules, MenuIdsArePreOrderBlocks) {
  // root: a b c d e (c holds A: x y z, whose y holds B: p q; e holds C: m n)
  IPopupMenu root = MenuOf({"a", "b", "c", "d", "e"});
  AddSubmenu(root, 2, MenuOf({"x", "y", "z"}));
  AddSubmenu(*root.items[2].submenu, 1, MenuOf({"p", "q"}));
  AddSubmenu(root, 4, MenuOf({"m", "n"}));
  IPopupMenu* a = root.items[2].submenu.get();
  IPopupMenu* b = a->items[1].submenu.get();
  IPopupMenu* c = root.items[4].submenu.get();
  const struct {
    int32_t id;
    IPopupMenu* menu;
    int32_t chosen;
  } rows[] = {{0, &root, 0}, {4, &root, 4}, {5, a, 0},  {7, a, 2},         {8, b, 0},
              {9, b, 1},     {10, c, 0},    {11, c, 1}, {12, nullptr, -1}, {-1, nullptr, -1}};
  for (const auto& row : rows) {
    int32_t chosen = -1;
    EXPECT_EQ(PopupMenuForId(&root, row.id, &chosen), row.menu) << "id " << row.id;
    EXPECT_EQ(chosen, row.chosen) << "id " << row.id;
  }
}

TEST(IGraphicsWinRules, NumberedLabelsCountSeparatorsToo) {
  IPopupMenu menu = MenuOf({"", "Low", "High"});
  menu.items[0].flags = IPopupItem::Separator;
  const struct {
    int32_t numbering;
    size_t index;
    const char* label;
  } rows[] = {{0, 1, "Low"}, {1, 1, "2: Low"}, {2, 1, "02: Low"}, {3, 2, "003: High"}};
  for (const auto& row : rows) {
    menu.numbering = row.numbering;
    EXPECT_EQ(PopupItemLabel(menu, row.index), row.label);
  }
  IPopupMenu many = MenuOf({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}, 1);
  EXPECT_EQ(PopupItemLabel(many, 11), "12: 12") << "a wider number is not cut";
}

TEST(IGraphicsWinRules, FileFilterFromTheExtensionList) {
  const std::string longList(130, 'x');
  const struct {
    const char* extensions;
    bool ok;
    std::string filter;
    const char* defaultExtension;
  } rows[] = {
      {"png", true, std::string("*.png\0*.png\0\0", 13), "png"},
      {"png jpg", true, std::string("*.png;*.jpg\0*.png;*.jpg\0\0", 25), "png"},
      {"  png  ", true, std::string("*.png\0*.png\0\0", 13), "png"},
      {"abcdefghijklmno", true, std::string("*.abcdefghijklmno\0*.abcdefghijklmno\0\0", 37),
       "abcdefghijklmno"},
      {"abcdefghijklmnop", false, "", ""},  // first word over 15 characters
      {longList.c_str(), false, "", ""},    // doubled filter over 255 bytes
      {"", false, "", ""},
      {"   ", false, "", ""},
      {nullptr, false, "", ""},
  };
  for (const auto& row : rows) {
    std::string filter = "stale", defaultExtension = "stale";
    EXPECT_EQ(BuildFileFilter(row.extensions, &filter, &defaultExtension), row.ok)
        << (row.extensions ? row.extensions : "(null)");
    EXPECT_EQ(filter, row.filter);
    EXPECT_EQ(defaultExtension, row.defaultExtension);
  }
}

TEST(IGraphicsWinRules, EntryCharactersByParameterKind) {
  const struct {
    IParamKind kind;
    const char* accepted;
    const char* refused;
  } rows[] = {
      {KindDouble, "+-0123456789.", "aE, "},
      {KindInt, "+-0123456789", ".a"},
      {KindBool, "+-01", ".x"},
      {KindEnum, "-9", ".z"},
      {KindNone, "a.,-Z ", ""},
  };
  for (const auto& row : rows) {
    for (const char* c = row.accepted; *c; ++c)
      EXPECT_TRUE(EntryAcceptsChar(row.kind, uint32_t(*c))) << row.kind << " '" << *c << "'";
    for (const char* c = row.refused; *c; ++c)
      EXPECT_FALSE(EntryAcceptsChar(row.kind, uint32_t(*c))) << row.kind << " '" << *c << "'";
  }
}

// ---- On a window ----

class Field : public IControl {
public:
  Field() : IControl(nullptr, {20, 20, 80, 40}, 0) {}
  bool Draw(IGraphics*) override { return true; }
  void SetTextFromEntry(const char* text) override { typed = text; }
  std::string typed = "(none)";
};

class Prompts : public ::testing::Test {
protected:
  void SetUp() override {
    host = MakeHostWindow(40, 40);
    g = std::make_unique<IGraphicsWin>(nullptr, 300, 200, 25, OwnModuleHandle());
    g->PrepareDrawSurface();
    field = new Field();
    g->AttachControl(field);
    editor = static_cast<HWND>(g->OpenWindow(host));
    ASSERT_NE(editor, nullptr);
    param.DefineDouble("Gain", 0.0, -20.0, 20.0, 0.001);
  }
  void TearDown() override {
    g.reset();
    DestroyWindow(host);
  }
  // Types text into the open box, one WM_CHAR at a time, then sends key to it and lets the
  // timer finish the entry.
  void Type(const char* text, WPARAM key) {
    HWND box = g->EntryWindow();
    ASSERT_NE(box, nullptr);
    for (const char* c = text; *c; ++c) SendMessageA(box, WM_CHAR, WPARAM(uint8_t(*c)), 0);
    char shown[64] = {};
    GetWindowTextA(box, shown, sizeof shown);
    boxText = shown;
    if (key) SendMessageA(box, WM_KEYDOWN, key, 0);
    Pump(editor, 2);
  }
  // Posts keys for the modal menu loop to find, then shows menu.
  IPopupMenu* Choose(IPopupMenu* menu, std::initializer_list<WPARAM> keys) {
    for (WPARAM key : keys) PostMessageA(editor, WM_KEYDOWN, key, 0);
    return g->ShowPopupMenu(menu, {10, 10, 60, 30});
  }

  HWND host = nullptr;
  HWND editor = nullptr;
  std::unique_ptr<IGraphicsWin> g;
  Field* field = nullptr;
  IParamDef param;
  std::string boxText;
};

TEST_F(Prompts, PopupMenuChoiceSubmenuAndDismissal) {
  IPopupMenu menu = MenuOf({"a", "b", "c"});
  EXPECT_EQ(Choose(&menu, {VK_DOWN, VK_RETURN}), &menu);
  EXPECT_EQ(menu.chosen, 0) << "the first item has id 0";
  EXPECT_EQ(Choose(&menu, {VK_DOWN, VK_DOWN, VK_RETURN}), &menu);
  EXPECT_EQ(menu.chosen, 1);
  menu.chosen = -1;
  EXPECT_EQ(Choose(&menu, {VK_DOWN, VK_ESCAPE}), nullptr);
  EXPECT_EQ(menu.chosen, -1);

  // A submenu after a five-item root: its ids start at 5.
  IPopupMenu root = MenuOf({"a", "b", "c", "d", "sub"});
  AddSubmenu(root, 4, MenuOf({"x", "y", "z"}));
  IPopupMenu* sub = root.items[4].submenu.get();
  EXPECT_EQ(Choose(&root, {VK_UP, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN}), sub);
  EXPECT_EQ(sub->chosen, 2);
  EXPECT_EQ(root.chosen, -1);
}

TEST_F(Prompts, TextEntryCommitsFilteredTypingUpToItsLimit) {
  const struct {
    const char* typed;
    WPARAM key;
    const char* shown;
    double value;  // -1: unchanged
  } rows[] = {
      {"-12.5", VK_RETURN, "-12.5", -12.5},
      {"1a2b3", VK_RETURN, "123", -1.0},  // letters swallowed; 123 is clamped to 20 → 1.0
      {"-1.2345678", VK_RETURN, "-1.2345", -1.2345},  // the eighth character is refused
      {"7", VK_ESCAPE, "7", -1.0},
  };
  double expected = 0.0;
  for (const auto& row : rows) {
    field->SetValue(0.25);
    g->ShowTextEntry(field, &field->TextStyle(), field->GetBox(), "", &param);
    Type(row.typed, row.key);
    EXPECT_EQ(boxText, row.shown);
    EXPECT_EQ(g->EntryWindow(), nullptr) << "the entry ended at the timer tick";
    if (row.key == VK_ESCAPE)
      expected = 0.25;
    else
      expected = row.value == -1.0 ? 1.0 : param.ToNormalized(row.value);
    EXPECT_DOUBLE_EQ(field->GetValue(), expected) << row.typed;
  }
}

TEST_F(Prompts, TextEntryWithoutParameterAndAClickBesideTheBox) {
  // Without a parameter every character is taken and the text goes to the control.
  g->ShowTextEntry(field, &field->TextStyle(), field->GetBox(), "", nullptr);
  Type("ab.,", VK_RETURN);
  EXPECT_EQ(field->typed, "ab.,");
  // A click in the editor commits an open box and is not dispatched.
  g->ShowTextEntry(field, &field->TextStyle(), field->GetBox(), "old", nullptr);
  SendMessageA(g->EntryWindow(), WM_CHAR, 'n', 0);  // replaces the selected text
  SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, At(200, 150));
  SendMessageA(editor, WM_LBUTTONUP, 0, At(200, 150));
  Pump(editor, 2);
  EXPECT_EQ(field->typed, "n");
  EXPECT_EQ(g->EntryWindow(), nullptr);
}

TEST_F(Prompts, ClosingTheWindowWithABoxOpenForgetsTheBox) {
  g->ShowTextEntry(field, &field->TextStyle(), field->GetBox(), "5", &param);
  HWND box = g->EntryWindow();
  SendMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
  g->CloseWindow();
  EXPECT_FALSE(IsWindow(box));
  EXPECT_EQ(g->EntryWindow(), nullptr);
  editor = static_cast<HWND>(g->OpenWindow(host));
  Pump(editor, 2);
  EXPECT_EQ(field->typed, "(none)") << "nothing committed after the close";
  g->ShowTextEntry(field, &field->TextStyle(), field->GetBox(), "", &param);
  EXPECT_NE(g->EntryWindow(), nullptr) << "a new box opens: the old one left no state behind";
  g->CancelTextEntry();
  Pump(editor, 2);
  EXPECT_EQ(g->EntryWindow(), nullptr);
}

TEST_F(Prompts, ClipboardTextRoundTrip) {
  auto put = [](const wchar_t* text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    if (text) {
      const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
      HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
      std::memcpy(GlobalLock(block), text, bytes);
      GlobalUnlock(block);
      SetClipboardData(CF_UNICODETEXT, block);
    }
    CloseClipboard();
  };
  std::string out = "stale";
  put(L"Gr\u00fc\u00dfe \u20ac 12");
  EXPECT_TRUE(g->GetClipboardText(&out));
  EXPECT_EQ(out,
            "Gr\xc3\xbc\xc3\x9f"
            "e \xe2\x82\xac 12");
  put(L"");
  EXPECT_TRUE(g->GetClipboardText(&out));
  EXPECT_EQ(out, "");
  put(nullptr);
  out = "stale";
  EXPECT_FALSE(g->GetClipboardText(&out));
  EXPECT_EQ(out, "");
}

TEST_F(Prompts, OpenUrlWithoutAHandlerAnswersFalse) {
  EXPECT_FALSE(g->OpenUrl("brimo-no-such-scheme://nothing", "", nullptr, nullptr));
  EXPECT_FALSE(g->OpenUrl("", "", nullptr, nullptr));
  EXPECT_FALSE(g->OpenUrl(nullptr, "", nullptr, nullptr));
}

}  // namespace
