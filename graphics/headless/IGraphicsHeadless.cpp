#include "IGraphicsHeadless.h"

#include <cstring>

#include "LiceBlit.h"
#include "LicePng.h"

namespace {
// A new screen starts transparent black, as nothing has been presented yet.
void ResizeCleared(LICE_MemBitmap& screen, int32_t width, int32_t height) {
  screen.Resize(width, height);
  if (LICE_PixelWord* pixels = screen.PixelData())
    std::memset(pixels, 0, size_t(screen.RowSpan()) * size_t(screen.Height()) * sizeof *pixels);
}
}  // namespace

IGraphicsHeadless::IGraphicsHeadless(IPlugBase* plugin, int32_t width, int32_t height,
                                     int32_t framesPerSecond)
    : IGraphics(plugin, width, height, framesPerSecond) {}

IGraphicsHeadless::~IGraphicsHeadless() = default;

bool IGraphicsHeadless::PresentRect(const IBox& box) {
  // Only the latest boxes are kept: a long-running editor must not grow.
  if (presented.size() >= 256) presented.erase(presented.begin(), presented.begin() + 128);
  presented.push_back(box);
  if (!DrawSurface()) return false;
  const IBox d = ToDevice(box);
  const LICE_RECT source{d.L, d.T, d.R, d.B};
  LICE_ComposeRect(Screen(), DrawSurface(), d.L, d.T, &source, 1.0f, ComposeCopy);
  return true;
}

void IGraphicsHeadless::Resize(int32_t newWidth, int32_t newHeight) {
  CancelTextEntry();
  IGraphics::Resize(newWidth, newHeight);
  screen.Resize(0, 0);
}

int32_t IGraphicsHeadless::ShowMessageBox(const char*, const char*, int32_t) {
  return messageBoxAnswer;
}

IPopupMenu* IGraphicsHeadless::ShowPopupMenu(IPopupMenu* menu, const IBox& box) {
  lastPromptBox = box;
  popupItemsShown.clear();
  for (const IPopupItem& item : menu->items)
    popupItemsShown.push_back(((item.flags & IPopupItem::Ticked) ? "* " : "") + item.text);
  if (popupAnswers.empty()) return nullptr;
  const int32_t answer = popupAnswers.front();
  popupAnswers.pop_front();
  if (answer < 0 || answer >= int32_t(menu->items.size())) return nullptr;
  menu->chosen = answer;
  return menu;
}

void IGraphicsHeadless::ShowTextEntry(IControl* control, const ITextStyle*, const IBox& box,
                                      const char* text, IParamDef* param) {
  if (!control || entryControl) return;
  lastPromptBox = box;
  lastEntryText = text ? text : "";
  entryControl = control;
  entryParam = param;
  entryRefused = false;
  if (textEntryAnswers.empty()) return;  // stays open until answered or cancelled
  std::optional<std::string> answer = textEntryAnswers.front();
  textEntryAnswers.pop_front();
  if (answer)
    AnswerTextEntry(*answer);
  else
    CancelTextEntry();
}

bool IGraphicsHeadless::AnswerTextEntry(const std::string& typed) {
  IControl* control = entryControl;
  IParamDef* param = entryParam;
  if (!control) return false;
  // The entry box accepts at most the control's character limit.
  const size_t limit = size_t(control->EntryMaxChars() > 0 ? control->EntryMaxChars() : 0);
  const std::string text = typed.substr(0, limit);
  if (!TextEntryAcceptable(control, param, text.c_str())) {
    entryRefused = true;
    return false;
  }
  // Closed before the value travels, as a native box is.
  CancelTextEntry();
  CommitTextEntry(control, param, text.c_str());
  return true;
}

void IGraphicsHeadless::CancelTextEntry() {
  if (!entryControl) return;
  entryControl = nullptr;
  entryParam = nullptr;
  entryRefused = false;
  TextEntryClosed();
}

bool IGraphicsHeadless::OpenUrl(const char* url, const char*, const char*, const char*) {
  if (!url || !url[0]) return false;
  openedUrls.push_back(url);
  return openUrlSucceeds;
}

void* IGraphicsHeadless::OpenWindow(void*) {
  windowOpen = true;
  return this;
}

void IGraphicsHeadless::CloseWindow() {
  CancelTextEntry();
  EndOpenGesture();
  windowOpen = false;
}

bool IGraphicsHeadless::GetClipboardText(std::string* out) {
  if (out) out->clear();
  return false;
}

LICE_IBitmap* IGraphicsHeadless::LoadPlatformBitmap(int32_t resourceId, const char* name) {
  return LICE_LoadPngResource(nullptr, resourceId, name);
}

LICE_IBitmap* IGraphicsHeadless::Screen() {
  // Made on first use: an editor that is never shown costs no screen.
  if (screen.Width() != DeviceWidth() || screen.Height() != DeviceHeight())
    ResizeCleared(screen, DeviceWidth(), DeviceHeight());
  return &screen;
}

void IGraphicsHeadless::DeviceSizeChanged() {
  CancelTextEntry();  // placed for the old size
}

bool IGraphicsHeadless::Tick() {
  TickReadout();
  IBox dirty;
  if (!CollectDirtyRect(&dirty)) return false;
  Draw(dirty);
  return true;
}

void IGraphicsHeadless::RenderAll() {
  Draw(IBox{0, 0, Width(), Height()});
}

std::vector<IBox> IGraphicsHeadless::TakePresented() {
  std::vector<IBox> boxes;
  boxes.swap(presented);
  return boxes;
}

IGraphics* NewPlatformGraphics(IPlugBase* plugin, int32_t width, int32_t height,
                               int32_t framesPerSecond) {
  return new IGraphicsHeadless(plugin, width, height, framesPerSecond);
}
