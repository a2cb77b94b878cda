// The native services besides the window: popup menus, the text entry box, tooltips, message
// boxes, folders, the file and colour dialogs, the clipboard and web addresses.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "IGraphicsWin.h"
#include "LiceFont.h"

// ---- Pure rules ----

namespace {
void CollectBlocks(IPopupMenu* menu, int32_t* next, std::vector<PopupBlock>* blocks) {
  blocks->push_back({menu, *next});
  *next += int32_t(menu->items.size());
  for (IPopupItem& item : menu->items)
    if (item.submenu) CollectBlocks(item.submenu.get(), next, blocks);
}
}  // namespace

std::vector<PopupBlock> PopupMenuBlocks(IPopupMenu* root) {
  std::vector<PopupBlock> blocks;
  int32_t next = 0;
  if (root) CollectBlocks(root, &next, &blocks);
  return blocks;
}

IPopupMenu* PopupMenuForId(IPopupMenu* root, int32_t id, int32_t* chosen) {
  for (const PopupBlock& block : PopupMenuBlocks(root)) {
    if (id >= block.firstId && id < block.firstId + int32_t(block.menu->items.size())) {
      if (chosen) *chosen = id - block.firstId;
      return block.menu;
    }
  }
  return nullptr;
}

bool BuildFileFilter(const char* extensions, std::string* filter, std::string* defaultExtension) {
  filter->clear();
  defaultExtension->clear();
  if (!extensions) return false;
  std::string pattern, first;
  for (const char* p = extensions; *p;) {
    while (*p == ' ') ++p;
    const char* start = p;
    while (*p && *p != ' ') ++p;
    if (p == start) continue;
    const std::string word(start, p);
    if (first.empty()) first = word;
    if (!pattern.empty()) pattern += ';';
    pattern += "*." + word;
  }
  // The pattern twice with a NUL after each, then the closing NUL.
  if (first.empty() || first.size() > 15 || pattern.size() * 2 + 3 > 255) return false;
  *filter = pattern + '\0' + pattern + '\0' + '\0';
  *defaultExtension = first;
  return true;
}

// ---- Popup menus ----

namespace {
// The native menu of `menu`, whose items take the ids from firstId on; submenus take the blocks
// `blocks` lists for them.
HMENU BuildNativeMenu(IPopupMenu& menu, const std::vector<PopupBlock>& blocks) {
  int32_t firstId = -1;
  for (const PopupBlock& block : blocks)
    if (block.menu == &menu) firstId = block.firstId;
  HMENU native = CreatePopupMenu();
  if (!native || firstId < 0) return native;
  for (size_t i = 0; i < menu.items.size(); ++i) {
    IPopupItem& item = menu.items[i];
    if (item.flags & IPopupItem::Separator) {
      AppendMenuA(native, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const std::string label = PopupItemLabel(menu, i);
    if (item.submenu) {
      // A submenu that cannot be built is left out.
      if (HMENU sub = BuildNativeMenu(*item.submenu, blocks))
        AppendMenuA(native, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), label.c_str());
      continue;
    }
    UINT flags = MF_STRING;
    if (item.flags & IPopupItem::Greyed) flags |= MF_GRAYED;
    if (item.flags & IPopupItem::Disabled) flags |= MF_DISABLED;
    if (item.flags & IPopupItem::Ticked) flags |= MF_CHECKED;
    AppendMenuA(native, flags, UINT_PTR(firstId + int32_t(i)), label.c_str());
  }
  return native;
}
}  // namespace

IPopupMenu* IGraphicsWin::ShowPopupMenu(IPopupMenu* menu, const IBox& box) {
  captureIndex = -1;
  lastX = -1;
  if (!menu || !window) return nullptr;
  HWND hwnd = window;
  const std::vector<PopupBlock> blocks = PopupMenuBlocks(menu);
  HMENU native = BuildNativeMenu(*menu, blocks);
  if (!native) return nullptr;
  const IBox device = ToDevice(box);
  POINT corner = {device.L, device.B};
  ClientToScreen(hwnd, &corner);
  const BOOL shown = TrackPopupMenu(native, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, corner.x,
                                    corner.y, 0, hwnd, nullptr);
  IPopupMenu* result = nullptr;
  MSG msg = {};
  // The menu is modal: the window may have been closed meanwhile.
  if (shown && window == hwnd && PeekMessageA(&msg, hwnd, WM_COMMAND, WM_COMMAND, PM_REMOVE) &&
      HIWORD(msg.wParam) == 0) {
    int32_t chosen = -1;
    result = PopupMenuForId(menu, int32_t(LOWORD(msg.wParam)), &chosen);
    if (result) result->chosen = chosen;
  }
  DestroyMenu(native);
  if (window) {
    const RECT all = {0, 0, DeviceWidth(), DeviceHeight()};
    InvalidateRect(window, &all, FALSE);
  }
  return result;
}

// ---- Text entry ----

void IGraphicsWin::ShowTextEntry(IControl* control, const ITextStyle* style, const IBox& box,
                                 const char* text, IParamDef* param) {
  if (!control || entryWindow || !window) {
    // The core counts its value entry open from its call on: one that cannot show is closed
    // again, unless it is the box already open.
    if (!entryTyped) TextEntryClosed();
    return;
  }
  entryStyle = style ? *style : control->TextStyle();
  DWORD boxStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOHSCROLL;
  if (entryStyle.align == 2)
    boxStyle |= ES_RIGHT;
  else if (entryStyle.align != 0)
    boxStyle |= ES_CENTER;
  entryState = EntryIdle;
  const IBox area = ToDevice(box);
  entryArea = {area.L, area.T, area.R + 1, area.B + 1};
  HWND focus = GetFocus();
  entryWindow = CreateWindowExA(0, "EDIT", text ? text : "", boxStyle, area.L, area.T,
                                area.R - area.L + 1, area.B - area.T + 1, window,
                                reinterpret_cast<HMENU>(INT_PTR(kEntryId)), moduleHandle, nullptr);
  if (!entryWindow) {
    TextEntryClosed();
    return;
  }
  entryTyped = !param && ValueEntryOpen();
  entryFocusBefore = focus;
  // Through the raster library, which knows the typefaces compiled into the module. The quality
  // is the Windows value of the style's (as the core's own fonts take it).
  const int quality = entryStyle.quality == 0   ? 0
                      : entryStyle.quality == 2 ? ANTIALIASED_QUALITY
                      : entryStyle.quality == 3 ? CLEARTYPE_QUALITY
                                                : NONANTIALIASED_QUALITY;
  const int height = std::max(1, int(std::lround(entryStyle.size * DrawScale())));
  entryFont =
      static_cast<HFONT>(LICE_CreateFont(height, 0, entryStyle.style == 1 ? FW_BOLD : FW_NORMAL,
                                         entryStyle.style == 2, quality, entryStyle.face));
  SendMessageA(entryWindow, EM_LIMITTEXT, WPARAM(control->EntryMaxChars()), 0);
  if (entryFont) {
    SendMessageA(entryWindow, WM_SETFONT, reinterpret_cast<WPARAM>(entryFont), 0);
    // A multi-line box writes its line at the top: its formatting rectangle centres it.
    TEXTMETRICA metrics = {};
    if (HDC dc = GetDC(entryWindow)) {
      HGDIOBJ previous = SelectObject(dc, entryFont);
      GetTextMetricsA(dc, &metrics);
      SelectObject(dc, previous);
      ReleaseDC(entryWindow, dc);
    }
    const int boxHeight = area.B - area.T + 1;
    if (metrics.tmHeight > 0 && metrics.tmHeight < boxHeight) {
      RECT inside = {0, (boxHeight - metrics.tmHeight) / 2, area.R - area.L + 1, boxHeight};
      SendMessageA(entryWindow, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&inside));
    }
  }
  SendMessageA(entryWindow, EM_SETSEL, 0, -1);
  SetFocus(entryWindow);
  // The box's own procedure also rides in its user data, so the box procedure can always reach
  // it, even for messages that arrive when the editor has let go of the box.
  entryOldProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(entryWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EntryProc)));
  SetWindowLongPtrA(entryWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(entryOldProc));
  entryParam = param;
  entryControl = control;
}

void IGraphicsWin::CancelTextEntry() {
  // Only an open box: a stale cancel would end the next box at its first tick.
  if (entryWindow) entryState = EntryCancel;
}

LRESULT CALLBACK IGraphicsWin::EntryProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto own = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  try {
    HWND parent = GetParent(hwnd);
    auto* self = parent ? reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrA(parent, GWLP_USERDATA))
                        : nullptr;
    if (self && hwnd == self->entryWindow)
      return self->HandleEntryMessage(hwnd, own, msg, wParam, lParam);
  } catch (...) {
    return 0;
  }
  return own ? CallWindowProcA(own, hwnd, msg, wParam, lParam)
             : DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT IGraphicsWin::HandleEntryMessage(HWND box, WNDPROC own, UINT msg, WPARAM wParam,
                                         LPARAM lParam) {
  if (tooltipShown) HideTooltip();
  switch (msg) {
    case WM_SETFOCUS:
      if (!EntryEnding()) entryState = EntryFocused;
      break;
    case WM_KILLFOCUS:
      // The focus went to another window: a typed value is dropped, a parameter's text kept.
      if (!EntryEnding()) entryState = entryTyped ? EntryCancel : EntryCommit;
      break;
    case WM_GETDLGCODE: {
      LRESULT code = CallWindowProcA(own, box, msg, wParam, lParam);
      const MSG* queried = reinterpret_cast<const MSG*>(lParam);
      if (!entryParam && queried && queried->message == WM_KEYDOWN && queried->wParam == VK_RETURN)
        code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        OnEntryReturn(box);
        return 0;
      }
      if (wParam == VK_ESCAPE) {
        entryState = EntryCancel;
        return 0;
      }
      break;
    case WM_CHAR:
      // The characters of Return, Escape and Tab: a multi-line box would take them as text, and
      // the one after a refused Return must not clear its warning.
      if (wParam == '\r' || wParam == '\n' || wParam == '\t' || wParam == 0x1B) return 0;
      ClearEntryWarning();
      if (entryParam && wParam != VK_BACK &&
          !TextEntryAcceptsChar(entryParam->Kind(), uint32_t(wParam)))
        return 0;
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == 1) {
        entryState = EntryCommit;
        return 0;
      }
      break;
    default:
      break;
  }
  return CallWindowProcA(own, box, msg, wParam, lParam);
}

void IGraphicsWin::OnEntryReturn(HWND box) {
  if (EntryEnding()) return;
  char text[sizeof entryText] = {};
  SendMessageA(box, WM_GETTEXT, WPARAM(sizeof text), reinterpret_cast<LPARAM>(text));
  text[sizeof text - 1] = '\0';
  if (!TextEntryAcceptable(entryControl, entryParam, text)) {
    entryWarning = true;
    InvalidateRect(box, nullptr, TRUE);
    return;
  }
  std::memcpy(entryText, text, sizeof text);
  entryTextTaken = true;
  entryState = EntryCommit;
}

void IGraphicsWin::OnClickBesideEntry() {
  if (EntryEnding()) return;
  // A typed value, or a box that has just taken the focus back, is cancelled; a parameter's
  // text is committed.
  entryState = entryTyped || entryState == EntryFocused ? EntryCancel : EntryCommit;
}

void IGraphicsWin::ClearEntryWarning() {
  if (!entryWarning) return;
  entryWarning = false;
  if (entryWindow) InvalidateRect(entryWindow, nullptr, TRUE);
}

LRESULT IGraphicsWin::EntryColors(HDC dc) {
  const COLORREF background = entryStyle.entryBackground.ToColorRef();
  const IArgb& text = entryWarning ? entryStyle.entryWarningColor : entryStyle.entryColor;
  SetBkColor(dc, background);
  SetTextColor(dc, text.ToColorRef());
  SetBkMode(dc, OPAQUE);
  SetDCBrushColor(dc, background);
  return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
}

void IGraphicsWin::FinishTextEntry() {
  const bool commit = entryState == EntryCommit;
  IControl* control = entryControl;
  IParamDef* param = entryParam;
  // At most 31 characters, terminated whatever the box holds.
  char text[sizeof entryText] = {};
  if (commit && entryTextTaken)
    std::memcpy(text, entryText, sizeof text);
  else if (commit)
    SendMessageA(entryWindow, WM_GETTEXT, WPARAM(sizeof text), reinterpret_cast<LPARAM>(text));
  text[sizeof text - 1] = '\0';
  // The box is gone before the value travels: the host may close the editor in response.
  DestroyTextEntry();
  if (commit && control) CommitTextEntry(control, param, text);
}

void IGraphicsWin::DestroyTextEntry() {
  HWND box = entryWindow;
  HWND before = entryFocusBefore;
  entryWindow = nullptr;
  if (box) {
    if (entryOldProc)
      SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entryOldProc));
    // The focus goes back only from the box: a window that took it meanwhile keeps it.
    if (GetFocus() == box && before != box && IsWindow(before)) SetFocus(before);
    DestroyWindow(box);
  }
  if (entryFont) LICE_DestroyFont(entryFont);
  entryFont = nullptr;
  entryControl = nullptr;
  entryParam = nullptr;
  entryOldProc = nullptr;
  entryState = EntryIdle;
  entryFocusBefore = nullptr;
  entryTyped = false;
  entryWarning = false;
  entryTextTaken = false;
  TextEntryClosed();
}

// ---- Tooltips ----

namespace {
TTTOOLINFOA ToolFor(HWND window, const char* text) {
  TTTOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window;
  tool.uId = reinterpret_cast<UINT_PTR>(window);
  tool.lpszText = const_cast<char*>(text);
  return tool;
}
}  // namespace

bool IGraphicsWin::CreateTooltipWindow() {
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES};
  InitCommonControlsEx(&classes);
  tooltipWindow = CreateWindowExA(
      0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, moduleHandle, nullptr);
  if (!tooltipWindow) return false;
  SetWindowPos(tooltipWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  TTTOOLINFOA tool = ToolFor(window, "");
  if (!SendMessageA(tooltipWindow, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool))) {
    DestroyWindow(tooltipWindow);
    tooltipWindow = nullptr;
    return false;
  }
  return true;
}

void IGraphicsWin::SetTooltipText(const char* text) {
  if (!tooltipWindow || !window) return;
  TTTOOLINFOA tool = ToolFor(window, text);
  SendMessageA(tooltipWindow, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}

void IGraphicsWin::HideTooltip() {
  SetTooltipText("");
  tooltipShown = false;
}

void IGraphicsWin::ShowTooltipOfHovered() {
  if (!tooltipWindow) return;
  // Looked up by index each time: the control may have gone with a resize.
  const IControl* control = GetControl(tooltipIndex);
  SetTooltipText(control ? control->Tooltip().c_str() : "");
  tooltipShown = true;
}

// ---- Message boxes ----

namespace {
struct MainWindowSearch {
  DWORD processId;
  const std::string* className;
  HWND found;
};

BOOL CALLBACK MatchMainWindow(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<MainWindowSearch*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != search->processId) return TRUE;
  char name[128] = {};
  GetClassNameA(hwnd, name, sizeof name);
  if (*search->className != name) return TRUE;
  search->found = hwnd;
  return FALSE;
}
}  // namespace

void IGraphicsWin::FindMainWindow() {
  if (mainWindow && !IsWindow(mainWindow)) mainWindow = nullptr;
  if (mainWindow) return;
  if (parentWindow && IsWindow(parentWindow)) {
    HWND top = parentWindow;
    while (HWND up = GetParent(top)) top = up;
    mainWindow = top;
    char name[128] = {};
    GetClassNameA(top, name, sizeof name);
    mainWindowClass = name;
  } else if (!mainWindowClass.empty()) {
    processId = GetCurrentProcessId();
    MainWindowSearch search = {processId, &mainWindowClass, nullptr};
    EnumWindows(MatchMainWindow, reinterpret_cast<LPARAM>(&search));
    mainWindow = search.found;
  }
}

int32_t IGraphicsWin::ShowMessageBox(const char* text, const char* caption, int32_t type) {
  FindMainWindow();
  return MessageBoxA(mainWindow, text ? text : "", caption, UINT(type));
}

// ---- Folders ----

namespace {
// The folder part of a module's file name: up to and including the last backslash, when one
// stands before the end; otherwise empty.
void ModuleFolder(HMODULE module, std::string* out) {
  out->clear();
  char path[257] = {};
  const DWORD n = GetModuleFileNameA(module, path, 256);
  if (n == 0) return;
  path[256] = '\0';
  const std::string full(path);
  const size_t slash = full.rfind('\\');
  if (slash != std::string::npos && slash + 1 < full.size()) *out = full.substr(0, slash + 1);
}
}  // namespace

void IGraphicsWin::GetHostDirectory(std::string* out) {
  if (out) ModuleFolder(nullptr, out);
}

void IGraphicsWin::GetModuleDirectory(std::string* out) {
  if (out) ModuleFolder(moduleHandle, out);
}

void IGraphicsWin::GetDesktopPath(std::string* out) {
  if (!out) return;
  char path[MAX_PATH + 1] = {};
  *out = SHGetSpecialFolderPathA(nullptr, path, CSIDL_DESKTOP, FALSE) ? path : "";
}

void IGraphicsWin::GetAppDataPath(std::string* out, bool common) {
  if (!out) return;
  char path[MAX_PATH + 1] = {};
  const int folder = common ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA;
  *out =
      SUCCEEDED(SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

void IGraphicsWin::GetSafeAppDataPath(std::string* out) {
  GetAppDataPath(out, false);
}

// ---- Dialogs ----

bool IGraphicsWin::PromptForFile(std::string* fileName, int32_t action, std::string* directory,
                                 const char* extensions) {
  if (!fileName) return false;
  if (!window) {
    fileName->clear();
    return false;
  }
  char file[256] = {};
  fileName->copy(file, sizeof file - 1);
  if (directory && directory->empty()) GetDesktopPath(directory);
  std::string filter, defaultExtension;
  const bool filtered = BuildFileFilter(extensions, &filter, &defaultExtension);

  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window;
  dialog.lpstrFilter = filtered ? filter.c_str() : nullptr;
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file - 1;
  dialog.lpstrInitialDir = directory && !directory->empty() ? directory->c_str() : nullptr;
  dialog.lpstrDefExt = filtered ? defaultExtension.c_str() : nullptr;
  BOOL chosen;
  if (action == 1) {
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    chosen = GetSaveFileNameA(&dialog);
  } else {
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    chosen = GetOpenFileNameA(&dialog);
  }
  if (!chosen) {
    fileName->clear();
    return false;
  }
  file[sizeof file - 1] = '\0';
  *fileName = file;
  // Drive and folder: everything before the file part.
  if (directory && dialog.nFileOffset <= fileName->size())
    *directory = fileName->substr(0, dialog.nFileOffset).substr(0, 255);
  return true;
}

namespace {
UINT_PTR CALLBACK ColorDialogHook(HWND dialog, UINT msg, WPARAM, LPARAM lParam) {
  if (msg == WM_INITDIALOG && lParam) {
    const auto* settings = reinterpret_cast<const CHOOSECOLORA*>(lParam);
    const auto* prompt = reinterpret_cast<const char*>(settings->lCustData);
    if (prompt && *prompt) SetWindowTextA(dialog, prompt);
  }
  return 0;
}
}  // namespace

bool IGraphicsWin::PromptForColor(IArgb* color, const char* prompt) {
  if (!window || !color) return false;
  if (!customColors) customColors = std::make_unique<std::array<COLORREF, 16>>();
  CHOOSECOLORA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window;
  dialog.rgbResult = RGB(color->R, color->G, color->B);
  dialog.lpCustColors = customColors->data();
  dialog.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ENABLEHOOK | CC_SOLIDCOLOR | CC_ANYCOLOR;
  dialog.lpfnHook = ColorDialogHook;
  dialog.lCustData = reinterpret_cast<LPARAM>(prompt);
  if (!ChooseColorA(&dialog)) return false;
  color->R = GetRValue(dialog.rgbResult);
  color->G = GetGValue(dialog.rgbResult);
  color->B = GetBValue(dialog.rgbResult);
  return true;
}

// ---- Clipboard ----

bool IGraphicsWin::GetClipboardText(std::string* out) {
  if (!out) return false;
  out->clear();
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(window)) return false;
  bool ok = false;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data))) {
      // Bounded by the block's real size: the text need not be terminated.
      const size_t units = wcsnlen(wide, GlobalSize(data) / sizeof(wchar_t));
      const int count = units > size_t(INT_MAX) ? INT_MAX : int(units);
      const int bytes =
          count ? WideCharToMultiByte(CP_UTF8, 0, wide, count, nullptr, 0, nullptr, nullptr) : 0;
      if (count == 0 || bytes > 0) {
        out->resize(size_t(bytes));
        if (bytes)
          WideCharToMultiByte(CP_UTF8, 0, wide, count, out->data(), bytes, nullptr, nullptr);
        ok = true;
      }
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return ok;
}

bool IGraphicsWin::SetClipboardText(const char* text) {
  // Without a window the clipboard would have no owner and refuse the data.
  if (!text || !window) return false;
  const size_t bytes = strnlen(text, kClipboardLimit + 1);
  if (bytes > kClipboardLimit) return false;
  const int units =
      bytes ? MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, int(bytes), nullptr, 0) : 0;
  if (bytes && units <= 0) return false;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (size_t(units) + 1) * sizeof(wchar_t));
  if (!block) return false;
  auto* wide = static_cast<wchar_t*>(GlobalLock(block));
  if (!wide) {
    GlobalFree(block);
    return false;
  }
  if (units) MultiByteToWideChar(CP_UTF8, 0, text, int(bytes), wide, units);
  wide[units] = L'\0';
  GlobalUnlock(block);
  if (!OpenClipboard(window)) {
    GlobalFree(block);
    return false;
  }
  // The clipboard owns the block once it took it; until then it is ours to free.
  const bool placed = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, block);
  CloseClipboard();
  if (!placed) GlobalFree(block);
  return placed;
}

// ---- Web addresses ----

bool IGraphicsWin::OpenUrl(const char* url, const char* title, const char* confirmText,
                           const char* errorText) {
  if (!url || !*url) return false;
  if (confirmText && MessageBoxA(window, confirmText, title, MB_YESNO) != IDYES) return false;
  DWORD state = 0;
  if (InternetGetConnectedState(&state, 0)) {
    const auto answer = reinterpret_cast<INT_PTR>(
        ShellExecuteA(window, "open", url, nullptr, nullptr, SW_SHOWNORMAL));
    if (answer > 32) return true;
  }
  if (errorText) MessageBoxA(window, errorText, title, MB_OK);
  return false;
}
