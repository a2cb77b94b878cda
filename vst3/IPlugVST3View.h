// The editor view a VST3 host asks for with createView("editor"): a thin bridge between the host's
// IPlugView protocol and the graphics object the plug-in built in its constructor. It reports the
// editor's fixed size, opens the editor window inside the host's window when attached, closes it
// when removed, and passes the plug-in's resize requests to the host's frame.
//
// Threads: the host calls every operation on its user-interface thread [main].
//
// One graphics object serves every view of a plug-in, so one view at a time holds the window: the
// latest to be attached. Attaching a view closes the window where it was (under this view or
// another) and opens it in the new parent; removing or releasing a view closes the window only
// when that view holds it. So a repeated attach, a removal without attach, a double removal or a
// release while attached leave neither a window nor a host timer behind.
#pragma once

#include <cstdint>

#include "base/source/fobject.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/common/pluginview.h"

class IPlugVST3;

// Sizes: the view's size is the editor's device size, its panel size (790 x 249) times the draw
// scale: the host's content scale (else the screen's density) times the size the user chose.
// Hosts may resize it freely between 75 % and 300 % of the panel at the device scale, at the
// panel's aspect ratio.
class IPlugVST3View : public Steinberg::CPluginView,
                      public Steinberg::IPlugViewContentScaleSupport {
public:
  // The window type this build's editor opens in: "HWND" on Windows, "X11EmbedWindowID" on Linux.
  static const Steinberg::FIDString kPlatformType;

  // Adds a reference to plugin and appends the view to its list.
  explicit IPlugVST3View(IPlugVST3* plugin);
  // Closes the window if this view holds it, leaves the list and releases the plug-in.
  ~IPlugVST3View() override;

  Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API removed() SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API getSize(Steinberg::ViewRect* size) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API canResize() SMTG_OVERRIDE { return Steinberg::kResultTrue; }
  Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) SMTG_OVERRIDE;
  // The host's scale for the screen the editor is on (before or after attached); refused
  // (kResultFalse, nothing changed) outside 0.5 to 4.
  Steinberg::tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) SMTG_OVERRIDE;

  OBJ_METHODS(IPlugVST3View, Steinberg::CPluginView)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::IPlugViewContentScaleSupport)
  END_DEFINE_INTERFACES(Steinberg::CPluginView)
  REFCOUNT_METHODS(Steinberg::CPluginView)

  // Asks the host's frame to make the view width x height; the host answers with onSize. False
  // (and nothing asked) before the host has given a frame, or when the frame refuses.
  bool RequestResize(int32_t width, int32_t height);

  // The draw scale a frame of width x height shows the panel at: the largest that fits, kept
  // between 75 % and 300 % of the panel at the device scale.
  static double ScaleForSize(double deviceScale, int32_t width, int32_t height, int32_t panelWidth,
                             int32_t panelHeight);

private:
  // Asks the host for a frame of the editor's device size, unless the view has that size already.
  void RequestDeviceSize();
  // Closes the editor window when this view holds it; otherwise does nothing.
  void CloseEditor();

  IPlugVST3* plugin;
  bool expectingResize = false;
  // The size the host last learned (getSize, onSize); 0 before it has asked.
  int32_t knownWidth = 0;
  int32_t knownHeight = 0;
  // The host's run loop the open window is registered with (Linux), kept alive while it is open.
  Steinberg::IPtr<Steinberg::FUnknown> runLoop;
};
