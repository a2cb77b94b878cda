#include "IPlugVST3View.h"

#include "IEditorSettings.h"
#include "IGraphics.h"
#include "IPlugVST3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace Steinberg;

#if SMTG_OS_WINDOWS
const FIDString IPlugVST3View::kPlatformType = kPlatformTypeHWND;
#else
const FIDString IPlugVST3View::kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

IPlugVST3View::IPlugVST3View(IPlugVST3* owner) : plugin(owner) {
  plugin->addRef();
  plugin->views.push_back(this);
}

IPlugVST3View::~IPlugVST3View() {
  CloseEditor();
  auto& views = plugin->views;
  views.erase(std::remove(views.begin(), views.end(), this), views.end());
  plugin->release();
}

tresult PLUGIN_API IPlugVST3View::isPlatformTypeSupported(FIDString type) {
  const bool supported =
      plugin->GetGraphics() != nullptr && type != nullptr && std::strcmp(type, kPlatformType) == 0;
  return supported ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPlugVST3View::attached(void* parent, FIDString type) {
  IGraphics* graphics = plugin->GetGraphics();
  if (graphics == nullptr) return kResultFalse;
  if (plugin->windowView != nullptr) plugin->windowView->CloseEditor();
  CPluginView::attached(parent, type);
  if (parent != nullptr && type != nullptr && std::strcmp(type, kPlatformType) == 0) {
#if SMTG_OS_LINUX
    // The X11 window runs on the host's run loop; a host without one gets no window (an empty
    // frame) rather than an editor that never draws or answers.
    FUnknownPtr<Linux::IRunLoop> loop(plugFrame);
    runLoop = loop.getInterface();
    graphics->SetHostRunLoop(loop.getInterface());
#endif
    // The size the user chose last, and the screen's density unless the host gave its factor.
    graphics->SetUserSize(ReadEditorSize(graphics->SettingsFolder()));
    if (!graphics->HostGaveDeviceScale()) {
      const double screen = graphics->ScreenScale(parent);
      if (screen > 0.0) graphics->SetDeviceScale(screen, false);
    }
    // A failed window still answers success: the host then shows an empty frame.
    graphics->OpenWindow(parent);
  }
  plugin->windowView = this;
  plugin->OnEditorOpened();
  RequestDeviceSize();
  return kResultOk;
}

void IPlugVST3View::RequestDeviceSize() {
  IGraphics* graphics = plugin->GetGraphics();
  if (graphics == nullptr || plugin->windowView != this) return;
  const int32_t w = graphics->DeviceWidth(), h = graphics->DeviceHeight();
  // A host that has not asked for a size yet will ask (getSize) before it shows the frame.
  if (knownWidth == 0 || (knownWidth == w && knownHeight == h)) return;
  RequestResize(w, h);
}

tresult PLUGIN_API IPlugVST3View::removed() {
  CloseEditor();
  return CPluginView::removed();
}

void IPlugVST3View::CloseEditor() {
  if (plugin->windowView != this) return;
  plugin->windowView = nullptr;
  IGraphics* graphics = plugin->GetGraphics();
  plugin->OnEditorClosed();
  graphics->CloseWindow();
  graphics->SetHostRunLoop(nullptr);
  runLoop = nullptr;
}

tresult PLUGIN_API IPlugVST3View::getSize(ViewRect* size) {
  IGraphics* graphics = plugin->GetGraphics();
  if (graphics == nullptr || size == nullptr) return kResultFalse;
  *size = ViewRect(0, 0, graphics->DeviceWidth(), graphics->DeviceHeight());
  knownWidth = size->getWidth();
  knownHeight = size->getHeight();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3View::onSize(ViewRect* newSize) {
  if (newSize == nullptr) return kResultOk;
  rect = *newSize;
  knownWidth = newSize->getWidth();
  knownHeight = newSize->getHeight();
  IGraphics* graphics = plugin->GetGraphics();
  if (graphics != nullptr && plugin->windowView == this &&
      (newSize->getWidth() != graphics->DeviceWidth() ||
       newSize->getHeight() != graphics->DeviceHeight())) {
    // A frame the host sized: the panel at the largest scale that fits it, never stretched.
    graphics->SetDrawScale(ScaleForSize(graphics->DeviceScale(), newSize->getWidth(),
                                        newSize->getHeight(), graphics->Width(),
                                        graphics->Height()));
  }
  if (expectingResize) {
    expectingResize = false;
    plugin->OnEditorResized();
  }
  return kResultOk;
}

double IPlugVST3View::ScaleForSize(double deviceScale, int32_t width, int32_t height,
                                   int32_t panelWidth, int32_t panelHeight) {
  if (panelWidth <= 0 || panelHeight <= 0) return deviceScale;
  const double fits = std::min(double(width) / panelWidth, double(height) / panelHeight);
  return std::clamp(std::isfinite(fits) ? fits : deviceScale, 0.75 * deviceScale,
                    3.0 * deviceScale);
}

tresult PLUGIN_API IPlugVST3View::checkSizeConstraint(ViewRect* size) {
  IGraphics* graphics = plugin->GetGraphics();
  if (graphics == nullptr || size == nullptr) return kResultFalse;
  const double scale = ScaleForSize(graphics->DeviceScale(), size->getWidth(), size->getHeight(),
                                    graphics->Width(), graphics->Height());
  // The size that scale draws, as the editor would round it.
  const int32_t w = int32_t(std::ceil(graphics->Width() * scale - 1e-7));
  const int32_t h = int32_t(std::ceil(graphics->Height() * scale - 1e-7));
  size->right = size->left + w;
  size->bottom = size->top + h;
  return kResultTrue;
}

tresult PLUGIN_API IPlugVST3View::setContentScaleFactor(ScaleFactor factor) {
  IGraphics* graphics = plugin->GetGraphics();
  if (graphics == nullptr || !graphics->SetDeviceScale(double(factor), true)) return kResultFalse;
  RequestDeviceSize();
  return kResultTrue;
}

tresult PLUGIN_API IPlugVST3View::setFrame(IPlugFrame* frame) {
  plugFrame = frame;
  return kResultOk;
}

bool IPlugVST3View::RequestResize(int32_t width, int32_t height) {
  if (plugFrame == nullptr) return false;
  ViewRect wanted(0, 0, width, height);
  expectingResize = true;
  if (plugFrame->resizeView(this, &wanted) == kResultOk) return true;
  expectingResize = false;
  return false;
}
