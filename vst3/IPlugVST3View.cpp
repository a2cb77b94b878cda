#include "IPlugVST3View.h"

#include "IGraphics.h"
#include "IPlugVST3.h"

#include <algorithm>
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
    // A failed window still answers success: the host then shows an empty frame.
    graphics->OpenWindow(parent);
  }
  plugin->windowView = this;
  plugin->OnEditorOpened();
  return kResultOk;
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
  *size = ViewRect(0, 0, graphics->Width(), graphics->Height());
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3View::onSize(ViewRect* newSize) {
  if (newSize == nullptr) return kResultOk;
  rect = *newSize;
  if (expectingResize) {
    expectingResize = false;
    plugin->OnEditorResized();
  }
  return kResultOk;
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
