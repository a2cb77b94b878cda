// The Linux editor's popup menu: override-redirect windows of our own on the editor's connection,
// drawn with the raster library and the cached fonts, presented like the editor itself.
//
// ShowPopupMenu answers the choice, so it runs a nested loop until the menu closes. The host's run
// loop is blocked in our callback meanwhile; the loop reads our own connection only (poll on its
// descriptor, no thread), with the pointer and keyboard grabbed by the menu. Every way out (a
// choice, a dismissal, the editor's window destroyed, an X error, a broken connection, an
// exception) releases the grabs and destroys the windows before the call returns.
#include "IGraphicsX11Connection.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "IPopupMenuLabel.h"
#include "LiceBlit.h"
#include "LiceFont.h"

namespace {

using Clock = std::chrono::steady_clock;

// A plain menu for a dark hardware panel.
constexpr LICE_PixelWord kBorder = 0xFF5A626A;
constexpr LICE_PixelWord kBackground = 0xFF25292D;
constexpr LICE_PixelWord kHighlight = 0xFF3F6284;
constexpr LICE_PixelWord kText = 0xFFE2E6EA;
constexpr LICE_PixelWord kHighlightText = 0xFFFFFFFF;
constexpr LICE_PixelWord kDimmed = 0xFF737B83;
constexpr LICE_PixelWord kRule = 0xFF474E55;
constexpr int kFacePixels = 13;  // at scale 1
constexpr const char* kFace = "DejaVu Sans";

// The host's whole user interface waits while the menu is open: a menu left alone this long is
// dismissed, as if Escape had been pressed.
constexpr auto kIdleLimit = std::chrono::seconds(60);

bool Selectable(const IPopupItem& item) {
  return !(item.flags & (IPopupItem::Greyed | IPopupItem::Disabled | IPopupItem::Separator));
}
bool OpensSubmenu(const IPopupItem& item) {
  return Selectable(item) && item.submenu && !item.submenu->items.empty();
}
bool Choosable(const IPopupItem& item) {
  return Selectable(item) && !item.submenu;
}

double SaneScale(double scale) {
  return std::isfinite(scale) && scale > 0 ? std::clamp(scale, 0.25, 8.0) : 1.0;
}

int Scaled(double scale, double pixels) {
  return int(std::lround(scale * pixels));
}

void Fill(LICE_IBitmap* b, int x, int y, int w, int h, LICE_PixelWord colour) {
  LICE_FillArea(b, x, y, w, h, colour, 1.0f, ComposeCopy);
}

// A stroke from (x0, y0) to (x1, y1) of t × t squares.
void Stroke(LICE_IBitmap* b, double x0, double y0, double x1, double y1, int t,
            LICE_PixelWord colour) {
  const int steps = std::max(1, int(std::ceil(std::hypot(x1 - x0, y1 - y0) * 2)));
  for (int i = 0; i <= steps; ++i) {
    const double f = double(i) / steps;
    Fill(b, int(std::lround(x0 + (x1 - x0) * f - t / 2.0)),
         int(std::lround(y0 + (y1 - y0) * f - t / 2.0)), t, t, colour);
  }
}

}  // namespace

class IGraphicsX11::PopupSession {
public:
  PopupSession(IGraphicsX11* owner, Connection* c)
      : owner(owner), c(c), d(c->display), scale(SaneScale(owner->popupScale)) {
    // Anything that would close the window from inside the loop retires the connection instead
    // of closing it under us (see CloseWindow).
    ++owner->callbackDepth;
  }
  ~PopupSession() {
    Close();
    --owner->callbackDepth;
  }
  PopupSession(const PopupSession&) = delete;
  PopupSession& operator=(const PopupSession&) = delete;

  IPopupMenu* Run(IPopupMenu* menu, const IBox& box);

private:
  struct Level {
    IPopupMenu* menu = nullptr;
    Window window = 0;
    int x = 0, y = 0, w = 0, h = 0;  // on the root window
    std::vector<int> rowTop;         // per item, and the end of the last
    int selected = -1;
    LICE_MemBitmap pixels;
  };

  bool Prepare();
  bool Open(IPopupMenu* menu, int x, int y, int rightIfNoRoom, int bottomIfNoRoom);
  void OpenSubmenu(size_t level, int item);
  void CloseFrom(size_t level);
  void Close();
  void Render(Level& l);
  void Present(Level& l);
  void Redraw(Level& l) {
    Render(l);
    Present(l);
  }

  bool Hit(int rootX, int rootY, size_t* level, int* item) const;
  void Select(size_t level, int item, bool hover);
  void Move(size_t level, int step);
  size_t Active() const;
  void Choose(size_t level, int item) {
    levels[level]->menu->chosen = item;
    result = levels[level]->menu;
    done = true;
  }
  void Dismiss() { done = true; }
  void Handle(XEvent& event);
  void OnPointer(const XEvent& event);
  void OnKey(XKeyEvent& event);
  bool EditorGone() const { return owner->x.get() != c || c->lost; }

  IGraphicsX11* owner;
  Connection* c;
  Display* d;
  double scale;
  ITextStyle style;
  LICE_CachedFont* font = nullptr;
  Window root = 0;
  int screenW = 0, screenH = 0;
  Atom windowType = 0, popupType = 0;
  GC gc = nullptr;
  std::vector<std::unique_ptr<Level>> levels;
  bool grabbedPointer = false;
  bool grabbedKeyboard = false;
  bool broken = false;  // the connection: no request may be sent any more
  bool armed = false;   // a release may choose: the pointer has been over an item, or pressed
  bool done = false;
  IPopupMenu* result = nullptr;

  // Sizes at the menu's scale.
  int border = 1, padY = 4, rowH = 24, sepH = 9, rule = 1, textX = 26, rightW = 26, minW = 140;
};

bool IGraphicsX11::PopupSession::Prepare() {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(d, c->window, &attributes) || !attributes.screen) return false;
  root = attributes.root;
  screenW = WidthOfScreen(attributes.screen);
  screenH = HeightOfScreen(attributes.screen);

  std::strncpy(style.face, kFace, sizeof style.face - 1);
  style.size = std::max(1, Scaled(scale, kFacePixels));
  style.align = 0;
  style.quality = 2;
  font = CachedFontFor(&style);
  if (!font) return false;
  const int line = font->LineHeight() > 0 ? font->LineHeight() : style.size + style.size / 4;
  border = std::max(1, Scaled(scale, 1));
  padY = Scaled(scale, 4);
  rowH = line + 2 * Scaled(scale, 4);
  sepH = std::max(3, Scaled(scale, 9));
  rule = std::max(1, Scaled(scale, 1));
  textX = Scaled(scale, 26);
  rightW = Scaled(scale, 26);
  minW = Scaled(scale, 140);

  char typeName[] = "_NET_WM_WINDOW_TYPE";
  char popupName[] = "_NET_WM_WINDOW_TYPE_POPUP_MENU";
  char* names[] = {typeName, popupName};
  Atom atoms[2] = {0, 0};
  if (XInternAtoms(d, names, 2, False, atoms)) {
    windowType = atoms[0];
    popupType = atoms[1];
  }
  return true;
}

// A menu window at (x, y) on the root; where it would reach past the screen's right (bottom)
// edge, its right (bottom) edge goes to rightIfNoRoom (bottomIfNoRoom). Always kept on screen.
bool IGraphicsX11::PopupSession::Open(IPopupMenu* menu, int x, int y, int rightIfNoRoom,
                                      int bottomIfNoRoom) {
  auto l = std::make_unique<Level>();
  l->menu = menu;
  int widest = 0;
  for (size_t i = 0; i < menu->items.size(); ++i) {
    if (menu->items[i].flags & IPopupItem::Separator) continue;
    LICE_RECT r{0, 0, 0, 0};
    font->RenderText(nullptr, PopupItemLabel(*menu, i).c_str(), -1, &r,
                     LICE_DT_SINGLELINE | LICE_DT_NOPREFIX | LICE_DT_CALCRECT);
    widest = std::max(widest, r.right - r.left);
  }
  int top = border + padY;
  for (const IPopupItem& item : menu->items) {
    l->rowTop.push_back(top);
    top += item.flags & IPopupItem::Separator ? sepH : rowH;
  }
  l->rowTop.push_back(top);
  l->w = std::min(std::max(minW, 2 * border + textX + widest + rightW), std::max(1, screenW));
  l->h = top + padY + border;
  auto place = [](int at, int size, int screen, int endIfNoRoom) {
    if (at + size > screen) at = endIfNoRoom - size;
    return std::clamp(at, 0, std::max(0, screen - size));
  };
  l->x = place(x, l->w, screenW, rightIfNoRoom);
  l->y = place(y, l->h, screenH, bottomIfNoRoom);
  l->pixels.Resize(l->w, l->h);
  if (!l->pixels.PixelData()) return false;

  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.save_under = True;
  a.colormap = c->colormap;
  a.border_pixel = 0;
  a.background_pixmap = None;  // every pixel is ours; nothing shows before the first present
  a.event_mask = ExposureMask | StructureNotifyMask;
  l->window = XCreateWindow(
      d, root, l->x, l->y, unsigned(l->w), unsigned(l->h), 0, c->depth, InputOutput, c->visual,
      CWOverrideRedirect | CWSaveUnder | CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask,
      &a);
  if (!l->window) return false;
  if (windowType && popupType)
    XChangeProperty(d, l->window, windowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&popupType), 1);
  XMapRaised(d, l->window);
  if (!gc) gc = XCreateGC(d, l->window, 0, nullptr);
  levels.push_back(std::move(l));
  return true;
}

void IGraphicsX11::PopupSession::OpenSubmenu(size_t level, int item) {
  Level& parent = *levels[level];
  IPopupMenu* sub = parent.menu->items[size_t(item)].submenu.get();
  if (levels.size() > level + 1 && levels[level + 1]->menu == sub) return;
  CloseFrom(level + 1);
  // Its first row level with the item that opens it; to the left when the right has no room.
  const int y = parent.y + parent.rowTop[size_t(item)] - padY - border;
  if (Open(sub, parent.x + parent.w, y, parent.x, screenH)) Redraw(*levels.back());
}

void IGraphicsX11::PopupSession::CloseFrom(size_t level) {
  while (levels.size() > std::max<size_t>(level, 1)) {
    if (!broken) XDestroyWindow(d, levels.back()->window);
    levels.pop_back();
  }
}

void IGraphicsX11::PopupSession::Close() {
  if (broken) {
    levels.clear();
    return;
  }
  if (grabbedKeyboard) XUngrabKeyboard(d, CurrentTime);
  if (grabbedPointer) XUngrabPointer(d, CurrentTime);
  grabbedKeyboard = grabbedPointer = false;
  for (auto& l : levels) XDestroyWindow(d, l->window);
  levels.clear();
  if (gc) XFreeGC(d, gc);
  gc = nullptr;
  // Released on the server before the call returns: whoever grabs next finds nothing of ours.
  XSync(d, False);
}

void IGraphicsX11::PopupSession::Render(Level& l) {
  LICE_IBitmap* b = &l.pixels;
  Fill(b, 0, 0, l.w, l.h, kBorder);
  Fill(b, border, border, l.w - 2 * border, l.h - 2 * border, kBackground);
  const int inner = l.w - 2 * border;
  for (size_t i = 0; i < l.menu->items.size(); ++i) {
    const IPopupItem& item = l.menu->items[i];
    const int top = l.rowTop[i];
    const int bottom = l.rowTop[i + 1];
    const int middle = (top + bottom) / 2;
    if (item.flags & IPopupItem::Separator) {
      const int inset = Scaled(scale, 8);
      Fill(b, border + inset, middle - rule / 2, inner - 2 * inset, rule, kRule);
      continue;
    }
    const bool lit = int(i) == l.selected;
    if (lit) Fill(b, border, top, inner, bottom - top, kHighlight);
    const LICE_PixelWord ink = !Selectable(item) ? kDimmed : lit ? kHighlightText : kText;
    if (item.flags & IPopupItem::Ticked) {
      const double k = scale * 10;
      const double left = border + scale * 9;
      const double y0 = middle - k / 2;
      const int t = std::max(2, Scaled(scale, 2));
      Stroke(b, left, y0 + 0.5 * k, left + 0.35 * k, y0 + 0.85 * k, t, ink);
      Stroke(b, left + 0.35 * k, y0 + 0.85 * k, left + k, y0 + 0.1 * k, t, ink);
    }
    if (item.submenu) {
      const int a = std::max(2, Scaled(scale, 4));
      const int ax = l.w - border - Scaled(scale, 14);
      for (int r = 0; r <= 2 * a; ++r) Fill(b, ax, middle - a + r, a + 1 - std::abs(r - a), 1, ink);
    }
    font->SetForeground(ink);
    LICE_RECT r{border + textX, top, l.w - border - rightW, bottom};
    font->RenderText(b, PopupItemLabel(*l.menu, i).c_str(), -1, &r,
                     LICE_DT_SINGLELINE | LICE_DT_NOPREFIX | LICE_DT_VCENTER);
  }
}

void IGraphicsX11::PopupSession::Present(Level& l) {
  if (!broken && gc) c->PutPixels(l.window, gc, &l.pixels, l.w, l.h);
}

// The topmost menu under a root position (submenus lie above their parents), and the item there
// (-1 on the border and padding).
bool IGraphicsX11::PopupSession::Hit(int rootX, int rootY, size_t* level, int* item) const {
  for (size_t k = levels.size(); k-- > 0;) {
    const Level& l = *levels[k];
    const int x = rootX - l.x;
    const int y = rootY - l.y;
    if (x < 0 || y < 0 || x >= l.w || y >= l.h) continue;
    *level = k;
    *item = -1;
    if (x >= border && x < l.w - border) {
      for (size_t i = 0; i + 1 < l.rowTop.size(); ++i)
        if (y >= l.rowTop[i] && y < l.rowTop[i + 1]) *item = int(i);
    }
    return true;
  }
  return false;
}

// Highlights item of a level (nothing for one that cannot be chosen) and closes the menus past
// it, unless they belong to that item. The pointer opens an item's submenu by resting on it.
void IGraphicsX11::PopupSession::Select(size_t level, int item, bool hover) {
  Level& l = *levels[level];
  const bool valid =
      item >= 0 && size_t(item) < l.menu->items.size() && Selectable(l.menu->items[size_t(item)]);
  const int selected = valid ? item : -1;
  const IPopupMenu* sub = valid ? l.menu->items[size_t(item)].submenu.get() : nullptr;
  if (levels.size() > level + 1 && (!sub || levels[level + 1]->menu != sub)) CloseFrom(level + 1);
  if (l.selected != selected) {
    l.selected = selected;
    Redraw(l);
  }
  if (hover && valid && OpensSubmenu(l.menu->items[size_t(item)])) OpenSubmenu(level, item);
}

// The next item that can be chosen, step by step and round the end.
void IGraphicsX11::PopupSession::Move(size_t level, int step) {
  Level& l = *levels[level];
  const int n = int(l.menu->items.size());
  int i = l.selected >= 0 ? l.selected : step > 0 ? -1 : n;
  for (int tries = 0; tries < n; ++tries) {
    i = ((i + step) % n + n) % n;
    if (Selectable(l.menu->items[size_t(i)])) {
      Select(level, i, false);
      return;
    }
  }
}

// The menu the keys act on: the deepest one with a highlighted item (a submenu the pointer opened
// is entered with Right).
size_t IGraphicsX11::PopupSession::Active() const {
  for (size_t k = levels.size(); k-- > 1;)
    if (levels[k]->selected >= 0) return k;
  return 0;
}

void IGraphicsX11::PopupSession::OnPointer(const XEvent& event) {
  size_t level = 0;
  int item = -1;
  switch (event.type) {
    case MotionNotify: {
      const XMotionEvent& e = event.xmotion;
      if (!Hit(e.x_root, e.y_root, &level, &item)) {
        // Off every menu: the deepest loses its highlight (its parents keep the path to it).
        Level& last = *levels.back();
        if (last.selected >= 0) {
          last.selected = -1;
          Redraw(last);
        }
        return;
      }
      if (item >= 0) armed = true;
      if (item >= 0 || levels.size() == level + 1) Select(level, item, true);
      return;
    }
    case ButtonPress: {
      const XButtonEvent& e = event.xbutton;
      if (e.button > Button3) return;  // wheels
      if (!Hit(e.x_root, e.y_root, &level, &item)) {
        Dismiss();
        return;
      }
      armed = true;
      if (item >= 0) Select(level, item, true);
      return;
    }
    case ButtonRelease: {
      const XButtonEvent& e = event.xbutton;
      // The release of the press that opened the menu chooses nothing unless the pointer went
      // over an item first (press, drag, release).
      if (e.button > Button3 || !armed || !Hit(e.x_root, e.y_root, &level, &item) || item < 0)
        return;
      if (Choosable(levels[level]->menu->items[size_t(item)])) Choose(level, item);
      return;
    }
    default:
      return;
  }
}

void IGraphicsX11::PopupSession::OnKey(XKeyEvent& event) {
  KeySym sym = NoSymbol;
  char text[8];
  XLookupString(&event, text, sizeof text, &sym, nullptr);
  const size_t level = Active();
  Level& l = *levels[level];
  const IPopupItem* item = l.selected >= 0 ? &l.menu->items[size_t(l.selected)]
                                           : static_cast<const IPopupItem*>(nullptr);
  auto enter = [&] {
    // Into the item's submenu, at its first item that can be chosen.
    if (!item || !OpensSubmenu(*item)) return;
    OpenSubmenu(level, l.selected);
    if (levels.size() > level + 1 && levels[level + 1]->selected < 0) Move(level + 1, 1);
  };
  switch (sym) {
    case XK_Escape:
      Dismiss();
      break;
    case XK_Up:
    case XK_KP_Up:
      Move(level, -1);
      break;
    case XK_Down:
    case XK_KP_Down:
      Move(level, 1);
      break;
    case XK_Right:
    case XK_KP_Right:
      enter();
      break;
    case XK_Left:
    case XK_KP_Left:
      if (levels.size() > 1) CloseFrom(level > 0 ? level : 1);
      break;
    case XK_Return:
    case XK_KP_Enter:
      if (item && OpensSubmenu(*item))
        enter();
      else if (item && Choosable(*item))
        Choose(level, l.selected);
      break;
    default:
      break;
  }
}

void IGraphicsX11::PopupSession::Handle(XEvent& event) {
  const Window target = event.xany.window;
  if (target == c->window) {
    switch (event.type) {
      case KeyPress:
      case KeyRelease:
      case ButtonPress:
      case ButtonRelease:
      case MotionNotify:
      case EnterNotify:
      case LeaveNotify:
        return;  // input meant for the editor waits for the menu to close: it is dropped
      case UnmapNotify:
        Dismiss();  // the host hides the editor
        return;
      default:
        owner->Dispatch(&event);  // Expose redraws; DestroyNotify marks the window lost
        return;
    }
  }
  if (event.type == MappingNotify) {
    XRefreshKeyboardMapping(&event.xmapping);
    return;
  }
  Level* level = nullptr;
  for (auto& l : levels)
    if (l->window == target) level = l.get();
  if (!level) return;  // a submenu closed meanwhile, or an unrelated window
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) Present(*level);
      break;
    case UnmapNotify:
    case DestroyNotify:
      // Not by us: the grab went with the window.
      if (level == levels.front().get()) Dismiss();
      break;
    case KeyPress:
      OnKey(event.xkey);
      break;
    case ButtonPress:
    case ButtonRelease:
    case MotionNotify:
      OnPointer(event);
      break;
    default:
      break;
  }
}

IPopupMenu* IGraphicsX11::PopupSession::Run(IPopupMenu* menu, const IBox& box) {
  if (!Prepare()) return nullptr;
  // At the pointer, just below and right of it, so that the release of the press that opened the
  // menu falls outside it; at the box's bottom-left corner when the pointer is on another screen.
  Window rootReturn = 0, child = 0;
  int px = 0, py = 0, wx = 0, wy = 0;
  unsigned int mask = 0;
  if (!XQueryPointer(d, c->window, &rootReturn, &child, &px, &py, &wx, &wy, &mask) ||
      rootReturn != root) {
    if (!XTranslateCoordinates(d, c->window, root, box.L, box.B, &px, &py, &child)) return nullptr;
  }
  if (!Open(menu, px + 1, py + 1, px, py)) return nullptr;
  Level& first = *levels.front();
  // Without both grabs the menu could not be dismissed: it closes again before showing anything.
  const unsigned int pointerEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
  grabbedPointer = XGrabPointer(d, first.window, False, pointerEvents, GrabModeAsync, GrabModeAsync,
                                None, None, CurrentTime) == GrabSuccess;
  grabbedKeyboard = grabbedPointer && XGrabKeyboard(d, first.window, False, GrabModeAsync,
                                                    GrabModeAsync, CurrentTime) == GrabSuccess;
  if (!grabbedKeyboard) return nullptr;
  Redraw(first);

  const int64_t errors = x11_internal::ErrorsOn(d);
  const auto frame = std::chrono::milliseconds(
      owner->FramesPerSecond() > 0 ? std::max(1, 1000 / owner->FramesPerSecond()) : 40);
  auto lastInput = Clock::now();
  auto nextFrame = lastInput + frame;
  const int fd = ConnectionNumber(d);
  while (!done && !EditorGone() && x11_internal::ErrorsOn(d) == errors) {
    if (XEventsQueued(d, QueuedAlready) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      if (XFilterEvent(&event, None)) continue;  // the input method's own protocol
      const int type = event.type;
      Handle(event);
      if (type == KeyPress || type == ButtonPress || type == ButtonRelease || type == MotionNotify)
        lastInput = Clock::now();
      continue;
    }
    XFlush(d);
    auto now = Clock::now();
    if (now >= nextFrame) {
      // The editor keeps following the host's values while the timer cannot run.
      IBox dirty;
      if (owner->CollectDirtyRect(&dirty)) owner->Draw(dirty);
      nextFrame = now + frame;
      continue;
    }
    if (now - lastInput >= kIdleLimit) break;
    const auto wake = std::min(nextFrame, lastInput + kIdleLimit);
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    const int ready =
        poll(&p, 1, int(std::chrono::ceil<std::chrono::milliseconds>(wake - now).count()));
    if (ready < 0 && errno != EINTR) {
      broken = true;
    } else if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL | POLLRDHUP))) {
      // The server went away: Xlib would end the process on the next read or write.
      broken = true;
    }
    if (broken) {
      c->lost = true;
      break;
    }
    if (ready > 0) XEventsQueued(d, QueuedAfterReading);
  }
  return result;
}

IPopupMenu* IGraphicsX11::ShowPopupMenu(IPopupMenu* menu, const IBox& box) {
  // The press that opened the menu never sees its release: the menu takes it.
  EndOpenGesture();
  if (!menu || menu->items.empty() || !x || x->lost) return nullptr;
  x->pressPending = false;
  popupScale = DrawScale();  // the menu's type at the editor's size
  try {
    PopupSession session(this, x.get());
    return session.Run(menu, ToDevice(box));
  } catch (...) {
    // The session released the grabs and its windows on the way out.
    return nullptr;
  }
}
