#pragma once

// The graphics object without a window, for tests and for rendering the editor to a picture.
// Presenting copies into a screen bitmap the caller can read; images come from the same resource
// lookup as the native platforms; popups, text entry and message boxes answer from a script the
// caller sets up; opened web addresses are recorded. A "window" is only a flag, and Tick does
// what the native timer does: draw what is dirty.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "IGraphics.h"
#include "LiceBitmap.h"

class IGraphicsHeadless : public IGraphics {
public:
  IGraphicsHeadless(IPlugBase* plugin, int32_t width, int32_t height, int32_t framesPerSecond);
  ~IGraphicsHeadless() override;

  bool PresentRect(const IBox& box) override;
  void CancelTextEntry() override;
  void Resize(int32_t newWidth, int32_t newHeight) override;
  void DeviceSizeChanged() override;
  int32_t ShowMessageBox(const char* text, const char* caption, int32_t type) override;
  IPopupMenu* ShowPopupMenu(IPopupMenu* menu, const IBox& box) override;
  void ShowTextEntry(IControl* control, const ITextStyle* style, const IBox& box, const char* text,
                     IParamDef* param) override;
  void GetHostDirectory(std::string* out) override { out->clear(); }
  void GetModuleDirectory(std::string* out) override { out->clear(); }
  void GetDesktopPath(std::string* out) override { out->clear(); }
  void GetAppDataPath(std::string* out, bool) override { out->clear(); }
  void GetSafeAppDataPath(std::string* out) override { out->clear(); }
  bool PromptForFile(std::string*, int32_t, std::string*, const char*) override { return false; }
  bool PromptForColor(IArgb*, const char*) override { return false; }
  bool OpenUrl(const char* url, const char* title, const char* confirmText,
               const char* errorText) override;
  void* OpenWindow(void* parentWindow) override;
  void CloseWindow() override;
  void* GetWindowHandle() override { return windowOpen ? this : nullptr; }
  bool GetClipboardText(std::string* out) override;
  LICE_IBitmap* LoadPlatformBitmap(int32_t resourceId, const char* name) override;

  // The user types text into the open entry and presses Return: false (the entry staying open,
  // marked refused) when the text is refused, or when no entry is open.
  bool AnswerTextEntry(const std::string& text);
  bool TextEntryOpen() const { return entryControl != nullptr; }
  bool TextEntryRefused() const { return entryRefused; }

  // One timer tick (the readout's too): draws the union of the dirty controls' boxes. False when
  // nothing was dirty.
  bool Tick();
  // Draws every control and presents the whole editor.
  void RenderAll();
  // What has been presented so far (width x height).
  LICE_IBitmap* Screen();
  // Boxes presented since the last call (the latest 256 at most).
  std::vector<IBox> TakePresented();

  // ---- Script ----
  // Answers of the next popups: an item index, or -1 for a dismissed menu.
  std::deque<int32_t> popupAnswers;
  // Answers of the next text entries: the committed text, or nothing for a cancelled entry.
  // Without an answer the entry stays open.
  std::deque<std::optional<std::string>> textEntryAnswers;
  int32_t messageBoxAnswer = 0;
  bool openUrlSucceeds = true;

  // ---- What the editor asked for ----
  std::vector<std::string> openedUrls;
  std::vector<std::string> popupItemsShown;  // items of the last popup, with their flags' tick
  std::string lastEntryText;
  IBox lastPromptBox;

private:
  LICE_MemBitmap screen;
  std::vector<IBox> presented;
  bool windowOpen = false;
  IControl* entryControl = nullptr;
  IParamDef* entryParam = nullptr;
  bool entryRefused = false;
};
