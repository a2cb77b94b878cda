#pragma once

// The Linux editor window: an X11 child of the host's window, on an X connection of its own,
// driven only by the host's run loop (Steinberg::Linux::IRunLoop). The connection's descriptor
// and a timer of trunc(1000 / fps) ms are registered with it while the window is open; the timer
// drains pending events (a host may never report the descriptor) and draws what is dirty. No
// thread and no event loop of our own.
//
// A typed value goes into a text entry box of our own (IGraphicsX11TextEntry.cpp), the one time the
// editor takes the keyboard focus: from the moment the box opens until it closes.
//
// Threads: everything runs on the host's user-interface thread, like the run loop's callbacks.
// X types stay in the .cpp files and IGraphicsX11Connection.h; this header names none.

#include <memory>
#include <string>
#include <vector>

#include "IEditorSettings.h"
#include "IGraphics.h"

class IGraphicsX11 : public IGraphics {
public:
  IGraphicsX11(IPlugBase* plugin, int32_t width, int32_t height, int32_t framesPerSecond);
  ~IGraphicsX11() override;

  bool PresentRect(const IBox& box) override;
  // Closes an open text entry box without committing it; the keyboard focus goes back to the
  // host's window if the box still held it.
  void CancelTextEntry() override;
  void Resize(int32_t newWidth, int32_t newHeight) override;
  void DeviceSizeChanged() override;
  // The screen's density from Xft.dpi (what desktops set for their scaling), 0 without one.
  double ScreenScale(void* parentWindow) override;
  std::string SettingsFolder() override { return EditorSettingsFolder(); }
  const char* DrawingApiName() override { return "X11"; }
  int32_t ShowMessageBox(const char* text, const char* caption, int32_t type) override;
  IPopupMenu* ShowPopupMenu(IPopupMenu* menu, const IBox& box) override;
  void ShowTextEntry(IControl* control, const ITextStyle* style, const IBox& box, const char* text,
                     IParamDef* param) override;
  void GetHostDirectory(std::string* out) override;
  void GetModuleDirectory(std::string* out) override;
  void GetDesktopPath(std::string* out) override;
  void GetAppDataPath(std::string* out, bool common) override;
  void GetSafeAppDataPath(std::string* out) override { GetAppDataPath(out, false); }
  bool PromptForFile(std::string* fileName, int32_t action, std::string* directory,
                     const char* extensions) override;
  bool PromptForColor(IArgb* color, const char* prompt) override;
  bool OpenUrl(const char* url, const char* title, const char* confirmText,
               const char* errorText) override;
  // parentWindow is the host's X window id cast to a pointer. Returns our window id the same way,
  // or null (no run loop, no parent, no X server, a visual we cannot draw to).
  void* OpenWindow(void* parentWindow) override;
  void CloseWindow() override;
  void* GetWindowHandle() override;
  // The CLIPBOARD selection (IGraphicsX11Clipboard.cpp): UTF-8 text of at most 64 KiB.
  bool GetClipboardText(std::string* out) override;
  bool SetClipboardText(const char* text) override;
  LICE_IBitmap* LoadPlatformBitmap(int32_t resourceId, const char* name) override;
  void SetHostRunLoop(void* runLoop) override;

  // ---- What the run loop's callbacks do (public for tests and benchmarks) ----
  // Drains pending X events, then draws the union of the dirty controls.
  void OnTimer();
  // Drains pending X events.
  void OnConnectionReadable();
  // True when presenting goes through MIT-SHM.
  bool PresentsThroughSharedMemory() const;

  // The double-click time without the X resource multiClickTime.
  static constexpr int32_t kDefaultDoubleClickMs = 400;

private:
  struct Connection;  // the X side of an open window (IGraphicsX11Connection.h)
  enum class Handler { None, Timer, Events };
  class CallbackScope;
  class PopupSession;  // an open popup menu (IGraphicsX11Popup.cpp)
  struct TextEntry;    // the open text entry box (IGraphicsX11TextEntry.cpp)

  void DrainEvents();
  void Dispatch(const void* event);  // an XEvent
  // The events of the text entry box's window; true when the event was one.
  bool DispatchTextEntry(const void* event);
  void OnTextEntryKey(const void* keyEvent);  // an XKeyEvent
  void RedrawTextEntry();
  // Return: the text goes to the core if it accepts it, else the box shows it refused.
  void TryCommitTextEntry();
  // SelectionRequest, SelectionClear and late SelectionNotify events of the editor's window.
  void DispatchSelection(const void* event);
  void FinishRetired();
  // Collects the exit status of web-address openers that have finished (IGraphicsX11Desktop.cpp).
  static void ReapFinishedChildren();

  std::unique_ptr<Connection> x;
  std::unique_ptr<TextEntry> entry;  // on x's window
  // Connections closed inside one of our callbacks, whose handlers are still registered.
  std::vector<std::unique_ptr<Connection>> retired;
  void* runLoop = nullptr;  // Steinberg::Linux::IRunLoop*
  // Callbacks of ours on the stack: a close requested meanwhile unregisters nothing until the
  // outermost one has returned (see CloseWindow).
  int32_t callbackDepth = 0;
  // The run-loop handler whose callback is innermost on the stack.
  Handler running = Handler::None;
  // The popup menu's size: 1 draws it with a 13-pixel face.
  double popupScale = 1.0;
};
