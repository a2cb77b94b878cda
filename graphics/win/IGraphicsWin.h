#pragma once

// The editor as a Windows child window inside the window the host hands to the editor view. A
// timer paces redrawing, painting copies the drawing surface to the screen, and native mouse and
// key messages become the core's dispatch calls. The native prompts (popup menus, the text entry
// box, tooltips, message boxes, dialogs, the clipboard, web addresses) live in
// IGraphicsWinPrompts.cpp. Everything here runs on the host's user-interface thread.

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "IEditorSettings.h"
#include "IGraphics.h"
#include "IParamDef.h"
#include "IPopupMenuLabel.h"

class IGraphicsWin : public IGraphics {
public:
  IGraphicsWin(IPlugBase* plugin, int32_t width, int32_t height, int32_t framesPerSecond,
               HINSTANCE moduleHandle);
  ~IGraphicsWin() override;

  bool PresentRect(const IBox& box) override;
  void CancelTextEntry() override;
  void Resize(int32_t newWidth, int32_t newHeight) override;
  bool IsWindowOpen() override { return window != nullptr; }
  const char* DrawingApiName() override { return "Windows GDI"; }
  int32_t ShowMessageBox(const char* text, const char* caption, int32_t type) override;
  IPopupMenu* ShowPopupMenu(IPopupMenu* menu, const IBox& box) override;
  void ShowTextEntry(IControl* control, const ITextStyle* style, const IBox& box, const char* text,
                     IParamDef* param) override;
  void GetHostDirectory(std::string* out) override;
  void GetModuleDirectory(std::string* out) override;
  void GetDesktopPath(std::string* out) override;
  void GetAppDataPath(std::string* out, bool common) override;
  void GetSafeAppDataPath(std::string* out) override;
  bool PromptForFile(std::string* fileName, int32_t action, std::string* directory,
                     const char* extensions) override;
  bool PromptForColor(IArgb* color, const char* prompt) override;
  bool OpenUrl(const char* url, const char* title, const char* confirmText,
               const char* errorText) override;
  void* OpenWindow(void* parentWindow) override;
  void CloseWindow() override;
  void* GetWindowHandle() override { return window; }
  bool GetClipboardText(std::string* out) override;
  bool SetClipboardText(const char* text) override;
  void HideMouseCursor() override;
  void DeviceSizeChanged() override;
  std::string SettingsFolder() override { return EditorSettingsFolder(); }
  double ScreenScale(void* parentWindow) override;
  void RestoreMouseCursor() override;
  LICE_IBitmap* LoadPlatformBitmap(int32_t resourceId, const char* name) override;

  // The open text entry box (null when none), for tests.
  HWND EntryWindow() const { return entryWindow; }
  HINSTANCE ModuleHandle() const { return moduleHandle; }

  static constexpr const char* kWindowClass = "IPlugWndClass";
  static constexpr UINT_PTR kTimerId = 2;
  static constexpr int kEntryId = 99;
  // The longest text (UTF-8 bytes) SetClipboardText puts on the clipboard.
  static constexpr size_t kClipboardLimit = 64 * 1024;

private:
  enum EntryState : int32_t { EntryIdle = 0, EntryFocused, EntryRedrawn, EntryCancel, EntryCommit };

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK EntryProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleEntryMessage(HWND box, WNDPROC own, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnKeyDownMessage(WPARAM wParam, LPARAM lParam);
  // A mouse message's position in panel units.
  int32_t PanelX(LPARAM lParam) const { return ToPanelCoordinate(int16_t(lParam & 0xFFFF)); }
  int32_t PanelY(LPARAM lParam) const {
    return ToPanelCoordinate(int16_t((lParam >> 16) & 0xFFFF));
  }
  void OnWheelMessage(WPARAM wParam, LPARAM lParam);
  void OnTimerTick();
  void OnPaint();
  void OnButtonDown(int32_t x, int32_t y, const IMouseMods& mods);
  void OnMouseMove(WPARAM wParam, int32_t x, int32_t y);
  // Drops every reference to the window (and the box, tooltip and open gesture that belong to
  // it); destroys it unless it is already being destroyed by someone else.
  void ReleaseWindow(bool destroy);

  // Prompts (IGraphicsWinPrompts.cpp).
  void FinishTextEntry();
  // Destroys the box without committing it, gives the focus back and resets the text entry
  // fields; tells the core the entry closed.
  void DestroyTextEntry();
  // Return in the box: an acceptable text is committed at the next tick, a refused one stays.
  void OnEntryReturn(HWND box);
  // A click in the editor beside the box.
  void OnClickBesideEntry();
  void ClearEntryWarning();
  // The box is to close at the next tick.
  bool EntryEnding() const { return entryState == EntryCancel || entryState == EntryCommit; }
  LRESULT EntryColors(HDC dc);
  bool CreateTooltipWindow();
  void SetTooltipText(const char* text);
  void HideTooltip();
  void ShowTooltipOfHovered();
  void FindMainWindow();

  HINSTANCE moduleHandle = nullptr;
  HWND window = nullptr;
  HWND entryWindow = nullptr;
  HWND tooltipWindow = nullptr;
  IControl* entryControl = nullptr;
  IParamDef* entryParam = nullptr;
  WNDPROC entryOldProc = nullptr;
  HFONT entryFont = nullptr;
  int32_t entryState = EntryIdle;
  ITextStyle entryStyle;
  // The box's place in device pixels: the editor does not paint under it.
  RECT entryArea = {};
  // Where the keyboard focus was when the box opened.
  HWND entryFocusBefore = nullptr;
  // A typed value (the core's value entry): a click beside it or a lost focus cancels it.
  bool entryTyped = false;
  // The text was refused and is shown in the warning colour until it changes.
  bool entryWarning = false;
  // The text Return accepted, committed at the next tick whatever is typed meanwhile.
  bool entryTextTaken = false;
  char entryText[32] = {};
  bool tooltipShown = false;
  int32_t tooltipIndex = -1;
  std::unique_ptr<std::array<COLORREF, 16>> customColors;
  DWORD processId = 0;
  HWND parentWindow = nullptr;
  HWND mainWindow = nullptr;
  std::string mainWindowClass;
  // The device context of the paint in progress, which PresentRect copies into.
  HDC paintDC = nullptr;
  // Set while this code releases the mouse itself, so that only a capture taken away ends a drag.
  bool releasingCapture = false;
  // Wheel travel short of a whole notch, kept for the control it was aimed at (-1: none).
  int32_t wheelRemainder = 0;
  int32_t wheelTarget = -1;
};

// ---- The prompts' pure rules (IGraphicsWinPrompts.cpp) ----

// A menu of a popup tree and the first native command id of its block. Ids are given in
// pre-order: the root's items first, then each submenu's items, before its own submenus.
struct PopupBlock {
  IPopupMenu* menu;
  int32_t firstId;
};
std::vector<PopupBlock> PopupMenuBlocks(IPopupMenu* root);

// The menu of the tree that holds native command id, with the item's index in *chosen; null for
// an id outside the tree.
IPopupMenu* PopupMenuForId(IPopupMenu* root, int32_t id, int32_t* chosen);

// The file dialog's filter for space-separated extensions ("png jpg" gives "*.png;*.jpg", twice,
// each ending in a NUL, then the closing NUL) and its default extension (the first word). False,
// with both empty, for no extensions or for a list past the dialog's limits (filter over 255
// bytes, first word over 15 characters).
bool BuildFileFilter(const char* extensions, std::string* filter, std::string* defaultExtension);

// The module (DLL or program) this code is linked into.
HINSTANCE OwnModuleHandle();
