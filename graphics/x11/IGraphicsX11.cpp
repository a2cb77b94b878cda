#include "IGraphicsX11.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "IGraphicsX11Connection.h"
#include "LicePng.h"
#include "pluginterfaces/gui/iplugview.h"

using Steinberg::FUnknown;
using Steinberg::kNoInterface;
using Steinberg::kResultOk;
using Steinberg::tresult;
using Steinberg::TUID;
using Steinberg::uint32;
namespace Linux = Steinberg::Linux;

namespace {

// ---- X errors ----
// Xlib's default error handler ends the process, and a host may destroy its window before it
// removes the editor. Errors on our own connections are counted and ignored; errors on anybody
// else's go to the handler that was installed before ours.
class ErrorRegistry {
public:
  static ErrorRegistry& Get() {
    static ErrorRegistry registry;
    return registry;
  }
  void Add(Display* display) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!installed) {
      previous = XSetErrorHandler(&ErrorRegistry::OnError);
      installed = true;
    }
    displays.push_back({display, 0});
  }
  void Remove(Display* display) {
    std::lock_guard<std::mutex> lock(mutex);
    std::erase_if(displays, [&](const Entry& e) { return e.display == display; });
    if (!displays.empty() || !installed) return;
    // Restore the previous handler unless somebody installed one after ours: then theirs stays,
    // and ours (still in their chain) keeps passing everything on, so this module must stay
    // loaded for as long as the process lives.
    const XErrorHandler current = XSetErrorHandler(previous);
    if (current == &ErrorRegistry::OnError) {
      installed = false;
    } else {
      XSetErrorHandler(current);
      PinModule();
    }
  }
  int64_t Errors(Display* display) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const Entry& e : displays)
      if (e.display == display) return e.errors;
    return 0;
  }

private:
  // Keeps the module that holds this code mapped even when its host unloads it.
  static void PinModule() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ErrorRegistry::OnError), &info) && info.dli_fname)
      dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }

  static int OnError(Display* display, XErrorEvent* event) {
    ErrorRegistry& r = Get();
    XErrorHandler chain = nullptr;
    {
      std::lock_guard<std::mutex> lock(r.mutex);
      for (Entry& e : r.displays) {
        if (e.display == display) {
          ++e.errors;
          return 0;
        }
      }
      chain = r.previous;
    }
    return chain ? chain(display, event) : 0;
  }

  struct Entry {
    Display* display;
    int64_t errors;
  };
  std::mutex mutex;
  std::vector<Entry> displays;
  XErrorHandler previous = nullptr;
  bool installed = false;
};

// True when the requests sent so far on display raised no error.
bool SyncedWithoutErrors(Display* display, int64_t errorsBefore) {
  XSync(display, False);
  return ErrorRegistry::Get().Errors(display) == errorsBefore;
}

}  // namespace

namespace x11_internal {

int64_t ErrorsOn(Display* display) {
  return ErrorRegistry::Get().Errors(display);
}

// ---- Run-loop handlers ----
// Small objects of their own: the host may keep a reference after unregistering them, so they
// outlive the window and reach the graphics object only through a pointer that closing clears.
template <class Interface>
class RunLoopHandler : public Interface {
public:
  explicit RunLoopHandler(IGraphicsX11* owner) : owner(owner) {}
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (Steinberg::FUnknownPrivate::iidEqual(iid, Interface::iid) ||
        Steinberg::FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      addRef();
      *obj = static_cast<Interface*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return ++refs; }
  uint32 PLUGIN_API release() override {
    const uint32 left = --refs;
    if (left == 0) delete this;
    return left;
  }

  IGraphicsX11* owner;
  // The connection, open for as long as the handler is registered.
  Display* display = nullptr;

protected:
  virtual ~RunLoopHandler() = default;

private:
  std::atomic<uint32> refs{1};
};

class TimerHandler final : public RunLoopHandler<Linux::ITimerHandler> {
public:
  using RunLoopHandler::RunLoopHandler;
  void PLUGIN_API onTimer() override {
    addRef();  // the graphics object may let go of us from inside
    if (owner) owner->OnTimer();
    release();
  }
};

class EventHandler final : public RunLoopHandler<Linux::IEventHandler> {
public:
  using RunLoopHandler::RunLoopHandler;
  void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override {
    addRef();
    if (owner) {
      owner->OnConnectionReadable();
    } else if (display) {
      // Closed but not yet unregistered: read what arrives, or the host would poll a readable
      // descriptor forever.
      while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
      }
    }
    release();
  }
};

}  // namespace x11_internal

using x11_internal::Channel;
using x11_internal::EventHandler;
using x11_internal::TimerHandler;

namespace {

// ---- Pixels ----
bool HostIsLittleEndian() {
  const uint32_t probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

int BitsPerPixelOf(Display* display, int depth) {
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  int bits = 0;
  for (int i = 0; i < count; ++i)
    if (formats[i].depth == depth) bits = formats[i].bits_per_pixel;
  if (formats) XFree(formats);
  return bits;
}

}  // namespace

unsigned long x11_internal::Channel(uint32_t value8, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  int bits = 0;
  while ((mask >> (shift + bits)) & 1) ++bits;
  const unsigned long scaled =
      bits >= 8 ? (unsigned long)value8 << (bits - 8) : (unsigned long)value8 >> (8 - bits);
  return (scaled << shift) & mask;
}

namespace {

// ---- Keys ----
// The Windows virtual-key number of a key symbol, for the shared key-code table; 0 for none.
int32_t VirtualKeyOf(KeySym sym) {
  if (sym == XK_space) return 0x20;
  if (sym >= XK_0 && sym <= XK_9) return int32_t(0x30 + (sym - XK_0));
  if (sym >= XK_a && sym <= XK_z) return int32_t(0x41 + (sym - XK_a));
  if (sym >= XK_A && sym <= XK_Z) return int32_t(0x41 + (sym - XK_A));
  if (sym >= XK_KP_0 && sym <= XK_KP_9) return int32_t(0x60 + (sym - XK_KP_0));
  if (sym >= XK_F1 && sym <= XK_F11) return int32_t(0x70 + (sym - XK_F1));
  switch (sym) {
    case XK_Left:
    case XK_KP_Left:
      return 0x25;
    case XK_Up:
    case XK_KP_Up:
      return 0x26;
    case XK_Right:
    case XK_KP_Right:
      return 0x27;
    case XK_Down:
    case XK_KP_Down:
      return 0x28;
    case XK_KP_Multiply:
      return 0x6A;
    case XK_KP_Add:
      return 0x6B;
    case XK_KP_Separator:
      return 0x6C;
    case XK_KP_Subtract:
      return 0x6D;
    case XK_KP_Decimal:
      return 0x6E;
    case XK_KP_Divide:
      return 0x6F;
    default:
      return 0;
  }
}

IMouseMods ModsOf(unsigned int state) {
  IMouseMods mods;
  mods.left = (state & Button1Mask) != 0;
  mods.right = (state & Button3Mask) != 0;
  mods.shift = (state & ShiftMask) != 0;
  mods.control = (state & ControlMask) != 0;
  mods.alt = (state & Mod1Mask) != 0;
  return mods;
}

int64_t DoubleClickMs(Display* display) {
  if (const char* value = XGetDefault(display, "brimo", "multiClickTime")) {
    char* end = nullptr;
    const long ms = std::strtol(value, &end, 10);
    if (end != value && ms > 0 && ms < 5000) return ms;
  }
  return IGraphicsX11::kDefaultDoubleClickMs;
}

// How far apart the two presses of a double click may be, in pixels.
constexpr int kDoubleClickSlop = 4;

}  // namespace

void IGraphicsX11::Connection::DropSharedImage() {
  if (!shmImage) return;
  XShmDetach(display, &shm);
  XSync(display, False);
  XDestroyImage(shmImage);  // frees the image record; the segment is ours to detach
  shmdt(shm.shmaddr);
  shmImage = nullptr;
  shm = {};
}

bool IGraphicsX11::Connection::MakeSharedImage(int width, int height) {
  DropSharedImage();
  if (!direct || width <= 0 || height <= 0) return false;
  const char* name = DisplayString(display);
  const bool local = name && (name[0] == ':' || std::strncmp(name, "unix:", 5) == 0);
  if (!local || !XShmQueryExtension(display)) return false;
  XImage* image = XShmCreateImage(display, visual, unsigned(depth), ZPixmap, nullptr, &shm,
                                  unsigned(width), unsigned(height));
  if (!image) return false;
  shm.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * size_t(height), IPC_CREAT | 0600);
  if (shm.shmid < 0) {
    XDestroyImage(image);
    shm = {};
    return false;
  }
  shm.shmaddr = image->data = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
  shm.readOnly = True;
  const int64_t errors = ErrorRegistry::Get().Errors(display);
  const bool attached = shm.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(display, &shm) &&
                        SyncedWithoutErrors(display, errors);
  // Removed now, freed by the system once the server and we have detached: no segment outlives
  // the process, whatever happens.
  shmctl(shm.shmid, IPC_RMID, nullptr);
  if (!attached) {
    if (shm.shmaddr != reinterpret_cast<char*>(-1)) shmdt(shm.shmaddr);
    image->data = nullptr;
    XDestroyImage(image);
    shm = {};
    return false;
  }
  shmImage = image;
  return true;
}

void IGraphicsX11::Connection::PutPixels(Drawable target, GC with, LICE_IBitmap* bitmap, int width,
                                         int height) {
  LICE_PixelWord* pixels = bitmap->PixelData();
  const int span = bitmap->RowSpan();
  if (!pixels || width <= 0 || height <= 0) return;
  if (direct) {
    // An image over the bitmap's own memory, detached before it is destroyed.
    XImage* image =
        XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, reinterpret_cast<char*>(pixels),
                     unsigned(width), unsigned(height), 32, span * 4);
    if (!image) return;
    image->byte_order = HostIsLittleEndian() ? LSBFirst : MSBFirst;
    XPutImage(display, target, with, image, 0, 0, 0, 0, unsigned(width), unsigned(height));
    image->data = nullptr;
    XDestroyImage(image);
    return;
  }
  XImage* image = XCreateImage(display, visual, unsigned(depth), ZPixmap, 0, nullptr,
                               unsigned(width), unsigned(height), 32, 0);
  if (!image) return;
  image->data = static_cast<char*>(std::malloc(size_t(image->bytes_per_line) * size_t(height)));
  if (!image->data) {
    XDestroyImage(image);
    return;
  }
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const uint32_t p = pixels[size_t(row) * size_t(span) + size_t(col)];
      XPutPixel(image, col, row,
                Channel((p >> 16) & 0xFF, visual->red_mask) |
                    Channel((p >> 8) & 0xFF, visual->green_mask) |
                    Channel(p & 0xFF, visual->blue_mask));
    }
  }
  XPutImage(display, target, with, image, 0, 0, 0, 0, unsigned(width), unsigned(height));
  XDestroyImage(image);  // frees the converted pixels too
}

void IGraphicsX11::Connection::DestroyWindow() {
  ForgetClipboard();
  DropSharedImage();
  if (gc) XFreeGC(display, gc);
  gc = nullptr;
  if (window && !lost) XDestroyWindow(display, window);
  if (ownColormap) XFreeColormap(display, colormap);
  ownColormap = false;
  window = 0;
  XFlush(display);
}

void IGraphicsX11::Connection::DropEvents() {
  if (!events) return;
  events->owner = nullptr;
  if (eventsRegistered) loop->unregisterEventHandler(events);
  events->display = nullptr;
  events->release();
  events = nullptr;
}

void IGraphicsX11::Connection::DropTimer() {
  if (!timer) return;
  timer->owner = nullptr;
  if (timerRegistered) loop->unregisterTimer(timer);
  timer->release();
  timer = nullptr;
}

void IGraphicsX11::Connection::Disconnect() {
  DropEvents();
  DropTimer();
  if (loop) loop->release();
  loop = nullptr;
  if (im) XCloseIM(im);
  im = nullptr;
  if (display) {
    // Errors of the last requests (a window already destroyed with its parent) still reach
    // our handler, not the one that ends the process.
    XSync(display, False);
    ErrorRegistry::Get().Remove(display);
    XCloseDisplay(display);
  }
  display = nullptr;
}

IGraphicsX11::IGraphicsX11(IPlugBase* plugin, int32_t width, int32_t height,
                           int32_t framesPerSecond)
    : IGraphics(plugin, width, height, framesPerSecond) {}

IGraphicsX11::~IGraphicsX11() {
  // The plug-in deleting this object is already partly gone: no gesture is ended through it.
  gestureParam = -1;
  CloseWindow();
  // A host that destroys the plug-in from inside our own callback leaves no later moment.
  callbackDepth = 0;
  FinishRetired();
  ReapFinishedChildren();
}

void IGraphicsX11::SetHostRunLoop(void* loop) {
  if (callbackDepth == 0) FinishRetired();
  runLoop = loop;
}

void* IGraphicsX11::GetWindowHandle() {
  return x ? reinterpret_cast<void*>(x->window) : nullptr;
}

void* IGraphicsX11::OpenWindow(void* parentWindow) {
  if (callbackDepth == 0) FinishRetired();
  int left = 0;
  int top = 0;
  if (x) {
    Window root;
    unsigned int w, h, border, depth;
    if (!x->lost) XGetGeometry(x->display, x->window, &root, &left, &top, &w, &h, &border, &depth);
    CloseWindow();
  }
  // Without the host's run loop nothing would draw or read input, and a loop or thread of our
  // own is what a plug-in must not run: open nothing, so the host shows an empty frame and
  // nothing can hang.
  const Window parent = Window(reinterpret_cast<uintptr_t>(parentWindow));
  if (!runLoop || !parent || DeviceWidth() <= 0 || DeviceHeight() <= 0) return nullptr;

  auto c = std::make_unique<Connection>();
  c->display = XOpenDisplay(nullptr);
  if (!c->display) return nullptr;
  ErrorRegistry::Get().Add(c->display);
  Display* d = c->display;
  const int screen = DefaultScreen(d);
  const int64_t errors = ErrorRegistry::Get().Errors(d);

  // A 24-bit TrueColor visual whose pixels are 32-bit 0x00RRGGBB takes the surface as it is;
  // any other TrueColor visual gets converted pixels; without one we cannot draw.
  XVisualInfo info{};
  if (XMatchVisualInfo(d, screen, 24, TrueColor, &info)) {
    c->visual = info.visual;
    c->depth = 24;
  } else if (DefaultVisual(d, screen)->c_class == TrueColor) {
    c->visual = DefaultVisual(d, screen);
    c->depth = DefaultDepth(d, screen);
  } else {
    c->Disconnect();
    return nullptr;
  }
  c->direct = c->depth == 24 && c->visual->red_mask == 0xFF0000 &&
              c->visual->green_mask == 0xFF00 && c->visual->blue_mask == 0xFF &&
              BitsPerPixelOf(d, 24) == 32;
  if (c->visual == DefaultVisual(d, screen)) {
    c->colormap = DefaultColormap(d, screen);
  } else {
    // A child whose visual differs from its parent's needs a colormap and border of its own.
    c->colormap = XCreateColormap(d, RootWindow(d, screen), c->visual, AllocNone);
    c->ownColormap = true;
  }

  XSetWindowAttributes attributes{};
  attributes.colormap = c->colormap;
  attributes.border_pixel = 0;
  attributes.background_pixmap = None;  // we paint every pixel: no flash of a background
  attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                          EnterWindowMask | LeaveWindowMask | StructureNotifyMask;
  // Keys only when a control takes them: otherwise the server delivers them to the host's focused
  // window as if we were not there, and its shortcuts work with the pointer over the editor.
  if (TakesKeys()) attributes.event_mask |= KeyPressMask | KeyReleaseMask;
  c->window = XCreateWindow(d, parent, left, top, unsigned(DeviceWidth()), unsigned(DeviceHeight()),
                            0, c->depth, InputOutput, c->visual,
                            CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
  // XEmbed: protocol version 0, mapped.
  const Atom embedInfo = XInternAtom(d, "_XEMBED_INFO", False);
  const long embed[2] = {0, 1};
  XChangeProperty(d, c->window, embedInfo, embedInfo, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(embed), 2);
  XMapWindow(d, c->window);
  c->gc = XCreateGC(d, c->window, 0, nullptr);
  if (!c->window || !SyncedWithoutErrors(d, errors)) {
    // Typically a parent that does not exist (any more).
    c->lost = true;
    c->DestroyWindow();
    c->Disconnect();
    return nullptr;
  }
  c->hostWindow = parent;
  c->MakeSharedImage(DeviceWidth(), DeviceHeight());
  c->doubleClickMs = DoubleClickMs(d);

  auto* loop = static_cast<Linux::IRunLoop*>(runLoop);
  loop->addRef();
  c->loop = loop;
  c->timer = new TimerHandler(this);
  const int32_t period = framesPerSecond > 0 ? 1000 / framesPerSecond : 40;
  c->timerRegistered = loop->registerTimer(c->timer, Linux::TimerInterval(period)) == kResultOk;
  if (!c->timerRegistered) {
    c->DestroyWindow();
    c->Disconnect();
    return nullptr;
  }
  // A refused descriptor (a shared run loop may hold it already) leaves the timer to read events.
  c->events = new EventHandler(this);
  c->events->display = d;
  c->eventsRegistered = loop->registerEventHandler(c->events, ConnectionNumber(d)) == kResultOk;

  x = std::move(c);
  PrepareDrawSurface();
  for (IControl* control : controls) control->MarkDirty(false);
  return reinterpret_cast<void*>(x->window);
}

void IGraphicsX11::CloseWindow() {
  if (callbackDepth == 0) FinishRetired();
  if (!x) return;
  CancelTextEntry();
  EndOpenGesture();
  if (x->timer) x->timer->owner = nullptr;
  if (x->events) x->events->owner = nullptr;
  x->DestroyWindow();
  ReleaseDrawSurface();  // a closed editor keeps no pixels
  if (callbackDepth > 0) {
    // Closed from inside one of our callbacks (a host that removes the view from a parameter
    // edit): the window is gone now, and so is the handler that is not running (the host may
    // free its run loop with its window). The running one is not unregistered inside its own
    // callback, which some hosts do not survive: it stays, inert, until the next call from
    // outside.
    if (running != Handler::Timer) x->DropTimer();
    if (running != Handler::Events) x->DropEvents();
    retired.push_back(std::move(x));
    return;
  }
  x->Disconnect();
  x.reset();
}

void IGraphicsX11::FinishRetired() {
  for (auto& c : retired) c->Disconnect();
  retired.clear();
}

void IGraphicsX11::Resize(int32_t newWidth, int32_t newHeight) {
  if (newWidth == Width() && newHeight == Height()) return;
  CancelTextEntry();  // its control is about to go
  IGraphics::Resize(newWidth, newHeight);
  DeviceSizeChanged();
}

void IGraphicsX11::DeviceSizeChanged() {
  CancelTextEntry();  // placed for the old size
  if (!x || x->lost) return;
  XResizeWindow(x->display, x->window, unsigned(std::max(1, DeviceWidth())),
                unsigned(std::max(1, DeviceHeight())));
  x->MakeSharedImage(DeviceWidth(), DeviceHeight());
  XFlush(x->display);
}

double IGraphicsX11::ScreenScale(void*) {
  // Xft.dpi from the display's resource database, as desktops set it for their scaling.
  Display* d = x ? x->display : XOpenDisplay(nullptr);
  if (!d) return 0.0;
  double scale = 0.0;
  if (const char* resources = XResourceManagerString(d)) {
    XrmInitialize();
    if (XrmDatabase db = XrmGetStringDatabase(resources)) {
      char* type = nullptr;
      XrmValue value{};
      if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
        char* end = nullptr;
        const double dpi = std::strtod(value.addr, &end);
        if (end != value.addr && std::isfinite(dpi) && dpi > 0.0) scale = dpi / 96.0;
      }
      XrmDestroyDatabase(db);
    }
  }
  if (!x) XCloseDisplay(d);
  return scale;
}

bool IGraphicsX11::PresentsThroughSharedMemory() const {
  return x && x->shmImage;
}

// ---- Presenting ----

bool IGraphicsX11::PresentRect(const IBox& box) {
  LICE_SysBitmap* surface = DrawSurface();
  if (!x || x->lost || !surface || !surface->PixelData()) return false;
  const IBox area = ToDevice(box);
  const int left = std::max(0, area.L);
  const int top = std::max(0, area.T);
  const int right = std::min({area.R, surface->Width(), DeviceWidth()});
  const int bottom = std::min({area.B, surface->Height(), DeviceHeight()});
  if (right <= left || bottom <= top) return true;
  const int w = right - left;
  const int h = bottom - top;
  Display* d = x->display;
  const LICE_PixelWord* pixels = surface->PixelData();
  const int span = surface->RowSpan();

  if (x->shmImage && right <= x->shmImage->width && bottom <= x->shmImage->height) {
    XImage* image = x->shmImage;
    for (int row = top; row < bottom; ++row)
      std::memcpy(image->data + size_t(row) * size_t(image->bytes_per_line) + size_t(left) * 4,
                  pixels + size_t(row) * size_t(span) + size_t(left), size_t(w) * 4);
    XShmPutImage(d, x->window, x->gc, image, left, top, left, top, unsigned(w), unsigned(h), False);
    // The server reads the segment asynchronously: the next present must not overwrite it first.
    XSync(d, False);
    return true;
  }

  if (x->direct) {
    // An image over the surface's own memory; its data pointer is detached before destroying it.
    XImage* image =
        XCreateImage(d, x->visual, unsigned(x->depth), ZPixmap, 0,
                     reinterpret_cast<char*>(const_cast<LICE_PixelWord*>(pixels)),
                     unsigned(surface->Width()), unsigned(surface->Height()), 32, span * 4);
    if (!image) return false;
    image->byte_order = HostIsLittleEndian() ? LSBFirst : MSBFirst;
    XPutImage(d, x->window, x->gc, image, left, top, left, top, unsigned(w), unsigned(h));
    image->data = nullptr;
    XDestroyImage(image);
    XFlush(d);
    return true;
  }

  // Another visual: each pixel converted through its channel masks.
  XImage* image = XCreateImage(d, x->visual, unsigned(x->depth), ZPixmap, 0, nullptr, unsigned(w),
                               unsigned(h), 32, 0);
  if (!image) return false;
  image->data = static_cast<char*>(std::malloc(size_t(image->bytes_per_line) * size_t(h)));
  if (!image->data) {
    XDestroyImage(image);
    return false;
  }
  const Visual* v = x->visual;
  for (int row = 0; row < h; ++row) {
    const LICE_PixelWord* src = pixels + size_t(top + row) * size_t(span) + size_t(left);
    for (int col = 0; col < w; ++col) {
      const uint32_t p = src[col];
      XPutPixel(image, col, row,
                Channel((p >> 16) & 0xFF, v->red_mask) | Channel((p >> 8) & 0xFF, v->green_mask) |
                    Channel(p & 0xFF, v->blue_mask));
    }
  }
  XPutImage(d, x->window, x->gc, image, 0, 0, left, top, unsigned(w), unsigned(h));
  XDestroyImage(image);  // frees the converted pixels too
  XFlush(d);
  return true;
}

// ---- Run-loop callbacks ----

// One run-loop callback on the stack: the plug-in (and so this object) stays alive until it ends,
// and a close meanwhile knows which handler it must not unregister.
class IGraphicsX11::CallbackScope {
public:
  CallbackScope(IGraphicsX11* owner, Handler handler)
      : keepAlive(owner->GetPlugin()), owner(owner), outer(owner->running) {
    ++owner->callbackDepth;
    owner->running = handler;
  }
  ~CallbackScope() {
    owner->running = outer;
    --owner->callbackDepth;
  }  // keepAlive goes last and may delete the owner
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;

private:
  IEditorCallbackScope keepAlive;
  IGraphicsX11* owner;
  Handler outer;
};

void IGraphicsX11::OnTimer() {
  CallbackScope scope(this, Handler::Timer);
  ReapFinishedChildren();
  DrainEvents();
  if (!x || x->lost) return;
  TickReadout();
  IBox dirty;
  if (CollectDirtyRect(&dirty)) Draw(dirty);
}

void IGraphicsX11::OnConnectionReadable() {
  CallbackScope scope(this, Handler::Events);
  DrainEvents();
}

void IGraphicsX11::DrainEvents() {
  Connection* c = x.get();
  if (!c) return;
  // A closed (or reopened) window ends the loop: its events are not ours any more.
  while (x.get() == c && XPending(c->display) > 0) {
    XEvent event;
    XNextEvent(c->display, &event);
    // The input method's share: composing keys and its own protocol.
    if (XFilterEvent(&event, None)) continue;
    Dispatch(&event);
  }
}

void IGraphicsX11::Dispatch(const void* raw) {
  const XEvent& event = *static_cast<const XEvent*>(raw);
  Connection& c = *x;
  if (c.lost) return;
  if (event.type == MappingNotify) {
    XRefreshKeyboardMapping(const_cast<XMappingEvent*>(&event.xmapping));  // a new layout
    return;
  }
  if (entry) {
    bool taken = true;
    try {
      taken = DispatchTextEntry(raw);
    } catch (...) {
      CancelTextEntry();
    }
    if (taken) return;
  }
  if (event.xany.window != c.window) return;
  switch (event.type) {
    case SelectionRequest:
    case SelectionClear:
    case SelectionNotify:
      DispatchSelection(raw);
      break;
    case Expose: {
      const XExposeEvent& e = event.xexpose;
      const IBox area = ToPanel(IBox{e.x, e.y, e.x + e.width, e.y + e.height});
      c.exposed = c.anyExposed ? IBox::Union(c.exposed, area) : area;
      c.anyExposed = true;
      if (e.count == 0) {
        c.anyExposed = false;
        Draw(c.exposed);
      }
      break;
    }
    case ButtonPress: {
      const XButtonEvent& e = event.xbutton;
      c.lastTime = e.time;
      if (entry) {
        // A click elsewhere in the editor only closes the text entry box.
        CancelTextEntry();
        c.swallowedButtons |= 1u << (e.button & 31);
        c.pressPending = false;
        break;
      }
      IMouseMods mods = ModsOf(e.state);
      if (e.button == Button4 || e.button == Button5) {
        OnMouseWheel(ToPanelCoordinate(e.x), ToPanelCoordinate(e.y), mods,
                     e.button == Button4 ? 1 : -1);
        break;
      }
      if (e.button > Button3) break;  // horizontal wheel and extra buttons
      // The press's own button is not in the state mask yet.
      mods.left = mods.left || e.button == Button1;
      mods.right = mods.right || e.button == Button3;
      if (e.button == Button1 && c.pressPending &&
          int64_t(e.time - c.pressTime) <= c.doubleClickMs &&
          std::abs(e.x - c.pressX) <= kDoubleClickSlop &&
          std::abs(e.y - c.pressY) <= kDoubleClickSlop) {
        c.pressPending = false;  // a third press starts over
        OnMouseDoubleClick(ToPanelCoordinate(e.x), ToPanelCoordinate(e.y), mods);
        break;
      }
      c.pressPending = e.button == Button1;
      c.pressTime = e.time;
      c.pressX = e.x;
      c.pressY = e.y;
      OnMouseDown(ToPanelCoordinate(e.x), ToPanelCoordinate(e.y), mods);
      break;
    }
    case ButtonRelease: {
      const XButtonEvent& e = event.xbutton;
      c.lastTime = e.time;
      // The release of the click that opened the box, or of one that closed it.
      const unsigned int bit = 1u << (e.button & 31);
      if (entry || (c.swallowedButtons & bit)) {
        c.swallowedButtons &= ~bit;
        break;
      }
      if (e.button > Button3) break;
      // The released button is still in the state mask.
      IMouseMods mods = ModsOf(e.state);
      mods.left = mods.left && e.button != Button1;
      mods.right = mods.right && e.button != Button3;
      OnMouseUp(ToPanelCoordinate(e.x), ToPanelCoordinate(e.y), mods);
      break;
    }
    case MotionNotify: {
      const XMotionEvent& e = event.xmotion;
      const IMouseMods mods = ModsOf(e.state);
      // The implicit grab of the press delivers the motion outside the window too: capture.
      if (mods.left || mods.right)
        OnMouseDrag(ToPanelCoordinate(e.x), ToPanelCoordinate(e.y), mods);
      else if (!(e.state & Button2Mask))
        OnMouseOver(ToPanelCoordinate(e.x), ToPanelCoordinate(e.y), mods);
      break;
    }
    case LeaveNotify: {
      const XCrossingEvent& e = event.xcrossing;
      // Another client's grab took the mouse: its release will never reach us.
      if (e.mode == NotifyGrab) EndOpenGesture();
      if (e.detail != NotifyInferior) OnMouseOut();
      break;
    }
    case KeyPress:
    case KeyRelease: {
      XKeyEvent e = event.xkey;
      c.lastTime = e.time;
      if (event.type == KeyPress) {
        KeySym sym = NoSymbol;
        char text[8];
        XLookupString(&e, text, sizeof text, &sym, nullptr);
        const int32_t vk = VirtualKeyOf(sym);
        const int32_t code = vk ? KeyCodeFromVirtualKey(vk) : -1;
        if (code >= 0 && OnKeyDown(ToPanelCoordinate(e.x), ToPanelCoordinate(e.y), code)) break;
        if (x.get() != &c) break;
      }
      // A key the editor does not use goes back to the window the host gave us (not to the
      // top-level ancestor: under a reparenting window manager that is the manager's frame).
      const Window top = c.hostWindow;
      if (!top) break;
      e.window = top;
      e.subwindow = None;
      e.send_event = True;
      XEvent forwarded{};
      forwarded.xkey = e;
      XSendEvent(c.display, top, True, event.type == KeyPress ? KeyPressMask : KeyReleaseMask,
                 &forwarded);
      XFlush(c.display);
      break;
    }
    case DestroyNotify:
      // The parent went first and took our window with it. Nothing is closed from here (we are
      // inside a run-loop callback); the host's removal of the view releases the rest.
      if (event.xdestroywindow.window == c.window) {
        EndOpenGesture();
        c.lost = true;
        CancelTextEntry();  // the box went with the window
      }
      break;
    default:
      break;
  }
}

// ---- Images ----

LICE_IBitmap* IGraphicsX11::LoadPlatformBitmap(int32_t resourceId, const char* name) {
  return LICE_LoadPngResource(nullptr, resourceId, name);
}

IGraphics* NewPlatformGraphics(IPlugBase* plugin, int32_t width, int32_t height,
                               int32_t framesPerSecond) {
  return new IGraphicsX11(plugin, width, height, framesPerSecond);
}
