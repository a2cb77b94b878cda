#pragma once

// The X side of an open editor window, shared by the files of graphics/x11: the window itself
// (IGraphicsX11.cpp) and the popup menu that runs on the same connection (IGraphicsX11Popup.cpp).
// Internal to this folder; nothing outside it includes X headers.

// Before Xlib, whose macros (None, True...) would clash with its names.
#include "IGraphicsX11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>

#include "pluginterfaces/gui/iplugview.h"

namespace x11_internal {

class TimerHandler;
class EventHandler;

// X errors counted so far on one of our connections (they are ignored, never fatal).
int64_t ErrorsOn(Display* display);

// One 8-bit channel of a pixel word, scaled to the bits of mask and shifted into place.
unsigned long Channel(uint32_t value8, unsigned long mask);

}  // namespace x11_internal

struct IGraphicsX11::Connection {
  Display* display = nullptr;
  Window window = 0;
  Window hostWindow = 0;  // the parent the host gave us: unused keys go back to it
  Visual* visual = nullptr;
  int depth = 0;
  Colormap colormap = 0;
  bool ownColormap = false;
  GC gc = nullptr;
  // The visual takes the drawing surface's pixel word as it is (else pixels are converted).
  bool direct = false;
  // The window was destroyed under us (the host destroyed its parent first).
  bool lost = false;
  XShmSegmentInfo shm{};
  XImage* shmImage = nullptr;

  Steinberg::Linux::IRunLoop* loop = nullptr;  // referenced while handlers may be registered
  x11_internal::TimerHandler* timer = nullptr;
  x11_internal::EventHandler* events = nullptr;
  bool timerRegistered = false;
  bool eventsRegistered = false;

  int64_t doubleClickMs = kDefaultDoubleClickMs;
  bool pressPending = false;  // a first press a second one could complete to a double click
  Time pressTime = 0;
  int pressX = 0;
  int pressY = 0;
  IBox exposed;
  bool anyExposed = false;

  void DropSharedImage();
  // MIT-SHM for a local connection whose server offers it; false leaves plain XPutImage.
  bool MakeSharedImage(int width, int height);
  // Everything on the server but the connection itself.
  void DestroyWindow();
  void DropEvents();
  void DropTimer();
  // Unregisters the handlers (never from inside their own callbacks: the caller sees to that),
  // then closes the connection.
  void Disconnect();
};
