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
  for (const char* text : texts) menu.items.emplace_back().text = text;
  return menu;
}

IPopupMenu* AddSubmenu(IPopupMenu& menu, size_t item, IPopupMenu sub) {
  menu.items[item].submenu = std::make_unique<IPopupMenu>(std::move(sub));
  return menu.items[item].submenu.get();
}

TEST(IGraphicsWinRules, MenuIdsArePreOrderBlocksAndNumberedLabelsCountSeparators) {
  // root: - b c d e (a separator first; c holds A: x y z, whose y holds B: p q; e holds C: ten
  // items). Numbered: root 3 digits, A 2, B none, C 1 digit.
  IPopupMenu root = MenuOf({"", "b", "c", "d", "e"}, 3);
  root.items[0].flags = IPopupItem::Separator;
  IPopupMenu* a = AddSubmenu(root, 2, MenuOf({"x", "y", "z"}, 2));
  IPopupMenu* b = AddSubmenu(*a, 1, MenuOf({"p", "q"}));
  IPopupMenu* c =
      AddSubmenu(root, 4, MenuOf({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}, 1));
  const struct {
    int32_t id;
    IPopupMenu* menu;
    int32_t chosen;
    const char* label;
  } rows[] = {{1, &root, 1, "002: b"}, {4, &root, 4, "005: e"}, {5, a, 0, "01: x"},
              {7, a, 2, "03: z"},      {8, b, 0, "p"},          {9, b, 1, "q"},
              {10, c, 0, "1: 0"},      {19, c, 9, "10: 9"},     {20, nullptr, -1, ""},
              {-1, nullptr, -1, ""}};
  for (const auto& row : rows) {
    int32_t chosen = -1;
    EXPECT_EQ(PopupMenuForId(&root, row.id, &chosen), row.menu) << "id " << row.id;
    EXPECT_EQ(chosen, row.chosen) << "id " << row.id;
    if (row.menu) {
      EXPECT_EQ(PopupItemLabel(*row.menu, size_t(row.chosen)), row.label);
    }
  }
}

TEST(IGraphicsWinRules, FileFilterFromTheExtensionList) {
  const std::string longList(130, 'x');
  const struct {
    const char* extensions;
    bool ok;
    std::string filter;
    const char* defaultExtension;
  } rows[] = {
      {"png jpg", true, std::string("*.png;*.jpg\0*.png;*.jpg\0\0", 25), "png"},
      {"  png  ", true, std::string("*.png\0*.png\0\0", 13), "png"},
      {"abcdefghijklmno", true, std::string("*.abcdefghijklmno\0*.abcdefghijklmno\0\0", 37),
       "abcdefghijklmno"},
      {"abcdefghijklmnop", false, "", ""},  // first word over 15 characters
      {longList.c_str(), false, "", ""},    // doubled filter over 255 bytes
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
  // Each kind's share of these characters.
  const std::string tried = "+-.09aEZ, ";
  const std::pair<IParamKind, std::string> rows[] = {{KindDouble, "+-.09"},
                                                     {KindInt, "+-09"},
                                                     {KindBool, "+-09"},
                                                     {KindEnum, "+-09"},
                                                     {KindNone, tried}};
  for (const auto& [kind, accepted] : rows) {
    std::string got;
    for (char c : tried)
      if (TextEntryAcceptsChar(kind, uint32_t(c))) got += c;
    EXPECT_EQ(got, accepted) << kind;
  }
}

// ---- On a window ----

class Prompts : public EditorWindow {
protected:
  void SetUp() override {
    ASSERT_NE(Open(), nullptr);
    param.DefineDouble("Gain", 0.0, -20.0, 20.0, 0.001);
  }
  // Opens a box on the field, types text into it one WM_CHAR at a time and returns what the box
  // shows; then sends it key (a click beside the box when 0) and lets the timer end the entry.
  std::string Type(IParamDef* with, const char* text, WPARAM key) {
    g->ShowTextEntry(field, &field->TextStyle(), field->GetBox(), "", with);
    HWND box = g->EntryWindow();
    for (const char* c = text; *c; ++c) SendMessageA(box, WM_CHAR, WPARAM(uint8_t(*c)), 0);
    char shown[64] = {};
    GetWindowTextA(box, shown, sizeof shown);
    if (key) {
      SendMessageA(box, WM_KEYDOWN, key, 0);
    } else {
      SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 150));
      SendMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(200, 150));
    }
    Pump(editor, 2);
    return shown;
  }

  IParamDef param;
};

TEST_F(Prompts, PopupMenuChoiceSubmenuAndDismissal) {
  IPopupMenu root = MenuOf({"a", "b", "c", "d", "sub"});
  IPopupMenu* sub = AddSubmenu(root, 4, MenuOf({"x", "y", "z"}));
  const struct {
    std::vector<WPARAM> keys;
    IPopupMenu* menu;
    int32_t chosen;
  } rows[] = {
      {{VK_DOWN, VK_RETURN}, &root, 0},  // the first item has id 0
      {{VK_DOWN, VK_ESCAPE}, nullptr, -1},
      {{VK_UP, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN}, sub, 2},  // ids 5 to 7
  };
  for (const auto& row : rows) {
    root.chosen = sub->chosen = -1;
    // Posted for the modal menu loop to find.
    for (WPARAM key : row.keys) PostMessageA(editor, WM_KEYDOWN, key, 0);
    EXPECT_EQ(g->ShowPopupMenu(&root, {10, 10, 60, 30}), row.menu);
    EXPECT_EQ((row.menu ? row.menu : &root)->chosen, row.chosen);
  }
}

TEST_F(Prompts, TextEntryCommitsFilteredTypingUpToItsLimitOrCancels) {
  const struct {
    IParamDef* param;
    const char* typed;
    WPARAM key;
    const char* shown;
    double value;
  } rows[] = {
      {&param, "-12.5", VK_RETURN, "-12.5", 0.1875},
      {&param, "1a2b3", VK_RETURN, "123", 1.0},  // letters refused; 123 clamped to 20
      {&param, "-1.2345678", VK_RETURN, "-1.2345", 0.4691375},  // the eighth character refused
      {&param, "-5", 0, "-5", 0.375},                           // a click beside the box commits
      {&param, "7", VK_ESCAPE, "7", 0.25},
      {nullptr, "ab.,", VK_RETURN, "ab.,", 0.25},  // without a parameter nothing is refused
  };
  for (const auto& row : rows) {
    field->SetValue(0.25);
    EXPECT_EQ(Type(row.param, row.typed, row.key), row.shown);
    EXPECT_EQ(g->EntryWindow(), nullptr) << row.typed << ": the entry ended at the timer tick";
    EXPECT_DOUBLE_EQ(field->GetValue(), row.value) << row.typed;
  }
}

TEST_F(Prompts, ClosingTheWindowWithABoxOpenForgetsTheBox) {
  field->SetValue(0.25);
  g->ShowTextEntry(field, &field->TextStyle(), field->GetBox(), "5", &param);
  HWND box = g->EntryWindow();
  SendMessageA(box, WM_KEYDOWN, VK_RETURN, 0);
  g->CloseWindow();
  EXPECT_FALSE(IsWindow(box));
  Pump(Open(), 2);
  EXPECT_EQ(field->GetValue(), 0.25) << "nothing committed after the close";
  EXPECT_EQ(Type(&param, "6", VK_RETURN), "6") << "the old box left no state behind";
}

TEST_F(Prompts, ClipboardTextRoundTrip) {
  const std::pair<const wchar_t*, const char*> rows[] = {{L"Gr\u00fc\u00dfe \u20ac 12",
                                                          "Gr\xc3\xbc\xc3\x9f"
                                                          "e \xe2\x82\xac 12"},
                                                         {L"", ""},
                                                         {nullptr, nullptr}};  // no text at all
  for (auto [put, got] : rows) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    if (put) {
      const size_t bytes = (wcslen(put) + 1) * sizeof(wchar_t);
      HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
      std::memcpy(GlobalLock(block), put, bytes);
      GlobalUnlock(block);
      SetClipboardData(CF_UNICODETEXT, block);
    }
    CloseClipboard();
    std::string out = "stale";
    EXPECT_EQ(g->GetClipboardText(&out), got != nullptr);
    EXPECT_EQ(out, got ? got : "");
  }
}

TEST_F(Prompts, TheBoxGivesTheFocusBackOnlyWhileItHoldsIt) {
  SetFocus(host);
  g->ShowTextEntry(field, nullptr, field->GetBox(), "1", nullptr);
  EXPECT_EQ(GetFocus(), g->EntryWindow());
  SendMessageA(g->EntryWindow(), WM_KEYDOWN, VK_RETURN, 0);
  Pump(editor, 2);
  EXPECT_EQ(GetFocus(), host) << "not left to the box's parent";
  g->ShowTextEntry(field, nullptr, field->GetBox(), "1", nullptr);
  SetFocus(editor);
  Pump(editor, 2);
  EXPECT_EQ(g->EntryWindow(), nullptr) << "the lost focus ended the entry";
  EXPECT_EQ(GetFocus(), editor);
}

TEST_F(Prompts, ClipboardTextPutThenReadBack) {
  const std::string longest(IGraphicsWin::kClipboardLimit, 'x');
  const std::string tooLong = longest + 'x';
  const std::pair<const char*, bool> rows[] = {{"Gr\xc3\xbc\xc3\x9f"
                                                "e \xe2\x82\xac 12",
                                                true},
                                               {"", true},
                                               {longest.c_str(), true},
                                               {tooLong.c_str(), false},
                                               {"a\xff", false},  // not UTF-8
                                               {nullptr, false}};
  for (auto [put, ok] : rows) {
    ASSERT_TRUE(g->SetClipboardText("before"));
    EXPECT_EQ(g->SetClipboardText(put), ok);
    std::string out;
    EXPECT_TRUE(g->GetClipboardText(&out)) << "the clipboard was closed again";
    EXPECT_EQ(out, ok ? put : "before");
  }
}

TEST_F(Prompts, OpenUrlWithoutAHandlerAnswersFalse) {
  EXPECT_FALSE(g->OpenUrl("brimo-no-such-scheme://nothing", "", nullptr, nullptr));
  EXPECT_FALSE(g->OpenUrl(nullptr, "", nullptr, nullptr));
}

}  // namespace
