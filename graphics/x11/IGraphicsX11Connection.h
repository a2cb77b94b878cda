#pragma once

// The X side of an open editor window, shared by the files of graphics/x11: the window itself
// (IGraphicsX11.cpp), and what runs on the same connection: the popup menu
// (IGraphicsX11Popup.cpp), the text entry box (IGraphicsX11TextEntry.cpp) and the clipboard
// (IGraphicsX11Clipboard.cpp). Internal to this folder; nothing outside it includes X headers.

// Before Xlib, whose macros (None, True...) would clash with its names.
#include "IGraphicsX11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LiceBitmap.h"
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
  // The time of the last key or button event: what selection requests are stamped with.
  Time lastTime = CurrentTime;
  // Buttons whose release is not the core's: their press closed the text entry box.
  unsigned int swallowedButtons = 0;
  // The input method, opened with the first text entry box (null when none could be).
  XIM im = nullptr;
  bool imTried = false;
  // The clipboard's atoms, interned on first use.
  Atom clipboard = 0, utf8String = 0, text = 0, targets = 0, transfer = 0;

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
  // Puts width x height pixels of bitmap at target's origin, converted for a visual that does not
  // take the pixel words as they are.
  void PutPixels(Drawable target, GC with, LICE_IBitmap* bitmap, int width, int height);
  void InternSelectionAtoms();
  // Forgets the text this window put on the clipboard (IGraphicsX11Clipboard.cpp).
  void ForgetClipboard();
};

// The open text entry box: a child window of the editor's, drawn by us. Text, caret and selection
// count code points.
struct IGraphicsX11::TextEntry {
  IControl* control = nullptr;
  IParamDef* param = nullptr;
  ITextStyle style;  // its size in device pixels
  LICE_CachedFont* font = nullptr;
  Window window = 0;
  XIC ic = nullptr;
  int width = 0, height = 0;
  LICE_MemBitmap pixels;
  std::u32string text;
  size_t caret = 0;
  size_t anchor = 0;     // the selection's other end
  size_t maxChars = 0;   // code points
  bool refused = false;  // drawn in the warning colour until edited
  int padding = 0;       // device pixels between the edges and the text
  int caretWidth = 1;
  int scroll = 0;  // device pixels of a text wider than the box, scrolled out at the left
  // As last drawn: the text's left edge, and each caret position's distance from it.
  int textLeft = 0;
  std::vector<int> offsets;

  // Whether ch may be typed: printable, and of the parameter's kind.
  bool Accepts(char32_t ch) const;
  // Replaces the selection by what of typed the box accepts and has room for; false when
  // nothing of it was accepted (the text stays as it was).
  bool Insert(const std::u32string& typed);
  // Deletes the selection, else the character before (back) or after the caret.
  bool Delete(bool back);
  // Moves the caret to position, extending the selection or collapsing it.
  void MoveCaret(size_t position, bool extend);
  std::u32string Selected() const;
  static std::string Utf8(const std::u32string& s);
  static std::u32string Decode(const std::string& utf8);
  void Render();
  // The caret position nearest to x (in the box's pixels), as last drawn.
  size_t CaretAt(int x) const;
};
