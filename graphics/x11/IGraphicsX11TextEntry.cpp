// The Linux editor's text entry box: a child window of the editor's over the readout, drawn with
// the raster library's cached fonts. Keys arrive through the X input method, so composed and
// non-ASCII characters come as UTF-8 (through XLookupString when no input method opens). Return
// commits what the core accepts, Escape cancels, and so do a click elsewhere in the editor and the
// keyboard focus going to another window. The box holds the keyboard focus only while it is open;
// however it closes, the focus goes back to the host's window if the box still had it.
#include "IGraphicsX11Connection.h"

#include <X11/keysym.h>

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <memory>

#include "IParamDef.h"
#include "LiceBlit.h"
#include "LiceFont.h"

namespace {

// What CommitTextEntry keeps of a text, in bytes: a longer one would be cut inside a character.
constexpr size_t kMaxBytes = 31;
constexpr double kPadding = 4;  // at scale 1
constexpr long kBoxEvents = ExposureMask | KeyPressMask | KeyReleaseMask | FocusChangeMask |
                            ButtonPressMask | StructureNotifyMask;

size_t Utf8Length(char32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

LICE_PixelWord Opaque(const IArgb& c) {
  return c.ToPixel() | 0xFF000000u;
}

// The selection's colour: a third of the way from the background to the text.
LICE_PixelWord Highlight(const IArgb& background, const IArgb& text) {
  auto mix = [](int b, int t) { return LICE_PixelWord(b + (t - b) / 3); };
  return 0xFF000000u | mix(background.R, text.R) << 16 | mix(background.G, text.G) << 8 |
         mix(background.B, text.B);
}

// The character of a Latin-1 or Unicode key symbol (for XLookupString), 0 for none.
char32_t CharOfKeySym(KeySym sym) {
  if ((sym >= 0x20 && sym <= 0x7E) || (sym >= 0xA0 && sym <= 0xFF)) return char32_t(sym);
  if ((sym & 0xFF000000) == 0x01000000) return char32_t(sym & 0xFFFFFF);
  return 0;
}

// An input method that can run without drawing anything of its own, or null.
XIM OpenInputMethod(Display* d) {
  // The host owns the locale; the modifiers pick the user's input method (XMODIFIERS).
  XSetLocaleModifiers("");
  XIM im = XOpenIM(d, nullptr, nullptr, nullptr);
  if (!im) return nullptr;
  XIMStyles* styles = nullptr;
  bool plain = false;
  if (!XGetIMValues(im, XNQueryInputStyle, &styles, nullptr) && styles) {
    for (unsigned short i = 0; i < styles->count_styles; ++i)
      plain = plain || styles->supported_styles[i] == (XIMPreeditNothing | XIMStatusNothing);
    XFree(styles);
  }
  if (!plain) {
    XCloseIM(im);
    return nullptr;
  }
  return im;
}

}  // namespace

// ---- The text ----

bool IGraphicsX11::TextEntry::Accepts(char32_t ch) const {
  // Control characters, surrogates and what lies beyond Unicode are never typed.
  if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0) || (ch >= 0xD800 && ch < 0xE000) || ch > 0x10FFFF)
    return false;
  return !param || TextEntryAcceptsChar(param->Kind(), uint32_t(ch));
}

bool IGraphicsX11::TextEntry::Insert(const std::u32string& typed) {
  std::u32string accepted;
  for (char32_t c : typed)
    if (Accepts(c)) accepted += c;
  if (accepted.empty()) return false;
  const size_t lo = std::min(caret, anchor), hi = std::max(caret, anchor);
  text.erase(lo, hi - lo);
  size_t bytes = 0;
  for (char32_t c : text) bytes += Utf8Length(c);
  size_t at = lo;
  for (char32_t c : accepted) {
    if (text.size() >= maxChars || bytes + Utf8Length(c) > kMaxBytes) break;
    text.insert(at++, 1, c);
    bytes += Utf8Length(c);
  }
  caret = anchor = at;
  refused = false;
  return true;
}

bool IGraphicsX11::TextEntry::Delete(bool back) {
  const size_t lo = std::min(caret, anchor), hi = std::max(caret, anchor);
  if (lo != hi) {
    text.erase(lo, hi - lo);
    caret = lo;
  } else if (back && caret > 0) {
    text.erase(--caret, 1);
  } else if (!back && caret < text.size()) {
    text.erase(caret, 1);
  } else {
    return false;
  }
  anchor = caret;
  refused = false;
  return true;
}

void IGraphicsX11::TextEntry::MoveCaret(size_t position, bool extend) {
  caret = std::min(position, text.size());
  if (!extend) anchor = caret;
}

std::u32string IGraphicsX11::TextEntry::Selected() const {
  const size_t lo = std::min(caret, anchor), hi = std::max(caret, anchor);
  return text.substr(lo, hi - lo);
}

std::string IGraphicsX11::TextEntry::Utf8(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) {
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u32string IGraphicsX11::TextEntry::Decode(const std::string& utf8) {
  std::u32string out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* end = p + utf8.size();
  while (p < end) {
    const unsigned char b = *p;
    const int extra = b < 0x80             ? 0
                      : (b & 0xE0) == 0xC0 ? 1
                      : (b & 0xF0) == 0xE0 ? 2
                      : (b & 0xF8) == 0xF0 ? 3
                                           : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
    bool valid = extra >= 0 && end - p > extra;
    for (int i = 1; valid && i <= extra; ++i) {
      valid = (p[i] & 0xC0) == 0x80;
      c = c << 6 | (p[i] & 0x3F);
    }
    // Overlong forms are malformed too; a malformed byte is skipped alone.
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (!valid || c < kLeast[extra]) {
      ++p;
      continue;
    }
    out += c;
    p += extra + 1;
  }
  return out;
}

// ---- Drawing ----

void IGraphicsX11::TextEntry::Render() {
  LICE_IBitmap* b = &pixels;
  LICE_FillArea(b, 0, 0, width, height, Opaque(style.entryBackground), 1.0f, ComposeCopy);
  const std::string all = Utf8(text);
  // Where each caret position lies: the width of the text before it.
  offsets.assign(1, 0);
  size_t bytes = 0;
  for (char32_t c : text) {
    bytes += Utf8Length(c);
    LICE_RECT r{0, 0, 0, 0};
    font->RenderText(nullptr, all.data(), int(bytes), &r,
                     LICE_DT_SINGLELINE | LICE_DT_NOPREFIX | LICE_DT_CALCRECT);
    offsets.push_back(std::max(offsets.back(), int(r.right - r.left)));
  }
  const int textWidth = offsets.back();
  const int inner = std::max(1, width - 2 * padding - caretWidth);
  if (textWidth <= inner) {
    scroll = 0;
    textLeft = style.align == 0   ? padding
               : style.align == 2 ? width - padding - caretWidth - textWidth
                                  : (width - textWidth) / 2;
  } else {
    // Too wide: scrolled just enough to keep the caret in the box.
    const int at = offsets[caret];
    scroll = std::clamp(std::clamp(scroll, at - inner, at), 0, textWidth - inner);
    textLeft = padding - scroll;
  }
  const int line = std::min(height, font->LineHeight() > 0 ? font->LineHeight() : style.size);
  const int top = (height - line) / 2;
  const IArgb& ink = refused ? style.entryWarningColor : style.entryColor;
  const size_t lo = std::min(caret, anchor), hi = std::max(caret, anchor);
  if (lo != hi)
    LICE_FillArea(b, textLeft + offsets[lo], top, offsets[hi] - offsets[lo], line,
                  Highlight(style.entryBackground, ink), 1.0f, ComposeCopy);
  font->SetForeground(Opaque(ink));
  LICE_RECT r{textLeft, 0, std::max(width, textLeft + textWidth), height};
  font->RenderText(b, all.c_str(), -1, &r, LICE_DT_SINGLELINE | LICE_DT_VCENTER | LICE_DT_NOPREFIX);
  if (lo == hi)
    LICE_FillArea(b, textLeft + offsets[caret], top, caretWidth, line, Opaque(ink), 1.0f,
                  ComposeCopy);
}

size_t IGraphicsX11::TextEntry::CaretAt(int x) const {
  size_t best = 0;
  for (size_t i = 1; i < offsets.size(); ++i)
    if (std::abs(textLeft + offsets[i] - x) < std::abs(textLeft + offsets[best] - x)) best = i;
  return best;
}

void IGraphicsX11::RedrawTextEntry() {
  entry->Render();
  x->PutPixels(entry->window, x->gc, &entry->pixels, entry->width, entry->height);
  XFlush(x->display);
}

// ---- Opening and closing ----

void IGraphicsX11::ShowTextEntry(IControl* control, const ITextStyle* style, const IBox& box,
                                 const char* text, IParamDef* param) {
  if (entry) return;  // one box at a time: the open one stays
  const IBox area = IBox::Clip(ToDevice(box), IBox{0, 0, DeviceWidth(), DeviceHeight()});
  std::unique_ptr<TextEntry> e;
  if (control && x && !x->lost && !area.Empty()) {
    try {
      e = std::make_unique<TextEntry>();
      e->control = control;
      e->param = param;
      e->style = style ? *style : control->TextStyle();
      e->style.size = std::max(1, int32_t(std::lround(e->style.size * DrawScale())));
      e->style.font = nullptr;
      e->font = CachedFontFor(&e->style);
      e->width = area.W();
      e->height = area.H();
      e->padding = int(std::lround(kPadding * DrawScale()));
      e->caretWidth = std::max(1, int(std::lround(DrawScale())));
      e->maxChars = control->EntryMaxChars() > 0 ? size_t(control->EntryMaxChars()) : SIZE_MAX;
      if (!e->font || !e->pixels.Resize(e->width, e->height)) e.reset();
      // The text it opens with, as much of it as the box holds, all selected: typing replaces it.
      if (e && text) {
        e->Insert(TextEntry::Decode(text));
        e->anchor = 0;
      }
      if (e) e->Render();
    } catch (...) {
      e.reset();
    }
  }
  if (!e) {
    TextEntryClosed();  // the core must not wait for a box that never opened
    return;
  }

  Connection& c = *x;
  Display* d = c.display;
  XSetWindowAttributes attributes{};
  attributes.colormap = c.colormap;
  attributes.border_pixel = 0;
  attributes.background_pixmap = None;  // every pixel is ours
  attributes.event_mask = kBoxEvents;
  e->window = XCreateWindow(d, c.window, area.L, area.T, unsigned(e->width), unsigned(e->height), 0,
                            c.depth, InputOutput, c.visual,
                            CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
  if (!c.imTried) {
    c.imTried = true;
    c.im = OpenInputMethod(d);
  }
  if (c.im) {
    e->ic = XCreateIC(c.im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow,
                      e->window, XNFocusWindow, e->window, nullptr);
  }
  if (e->ic) {
    // The input method may need events of its own (key releases, say).
    long wanted = 0;
    if (!XGetICValues(e->ic, XNFilterEvents, &wanted, nullptr))
      XSelectInput(d, e->window, kBoxEvents | wanted);
    XSetICFocus(e->ic);
  }
  XMapRaised(d, e->window);
  c.PutPixels(e->window, c.gc, &e->pixels, e->width, e->height);
  XSetInputFocus(d, e->window, RevertToParent, CurrentTime);
  XFlush(d);
  entry = std::move(e);
}

void IGraphicsX11::CancelTextEntry() {
  if (!entry) return;
  const std::unique_ptr<TextEntry> e = std::move(entry);
  if (x) {
    Display* d = x->display;
    if (e->ic) XDestroyIC(e->ic);
    if (e->window && !x->lost) {
      // Only a focus the box still holds goes back: the user may have gone elsewhere.
      Window focus = 0;
      int revert = 0;
      XGetInputFocus(d, &focus, &revert);
      if (focus == e->window && x->hostWindow)
        XSetInputFocus(d, x->hostWindow, RevertToParent, CurrentTime);
      XDestroyWindow(d, e->window);
      XFlush(d);
    }
  }
  TextEntryClosed();
}

void IGraphicsX11::TryCommitTextEntry() {
  const std::string typed = TextEntry::Utf8(entry->text);
  IControl* control = entry->control;
  IParamDef* param = entry->param;
  if (!TextEntryAcceptable(control, param, typed.c_str())) {
    entry->refused = true;
    RedrawTextEntry();
    return;
  }
  // Closed before the value travels: the host may close the editor in response.
  CancelTextEntry();
  CommitTextEntry(control, param, typed.c_str());
}

// ---- Events ----

bool IGraphicsX11::DispatchTextEntry(const void* raw) {
  const XEvent& event = *static_cast<const XEvent*>(raw);
  TextEntry& e = *entry;
  if (event.xany.window != e.window) return false;
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) x->PutPixels(e.window, x->gc, &e.pixels, e.width, e.height);
      break;
    case KeyPress:
      x->lastTime = event.xkey.time;
      OnTextEntryKey(&event.xkey);
      break;
    case ButtonPress:
      x->lastTime = event.xbutton.time;
      if (event.xbutton.button == Button1) {
        e.MoveCaret(e.CaretAt(event.xbutton.x), event.xbutton.state & ShiftMask);
        RedrawTextEntry();
      }
      break;
    case FocusIn:
      if (e.ic) XSetICFocus(e.ic);
      break;
    case FocusOut: {
      // Another window took the keyboard. A grab only borrows it.
      const XFocusChangeEvent& f = event.xfocus;
      if ((f.mode == NotifyNormal || f.mode == NotifyWhileGrabbed) && f.detail != NotifyInferior &&
          f.detail != NotifyPointer)
        CancelTextEntry();
      break;
    }
    case DestroyNotify:
      e.window = 0;  // not by us
      CancelTextEntry();
      break;
    default:
      break;
  }
  return true;
}

void IGraphicsX11::OnTextEntryKey(const void* raw) {
  XKeyEvent key = *static_cast<const XKeyEvent*>(raw);
  TextEntry& e = *entry;
  KeySym sym = NoSymbol;
  std::string typed;
  char buffer[256];
  if (e.ic) {
    Status status = 0;
    const int n = Xutf8LookupString(e.ic, &key, buffer, sizeof buffer, &sym, &status);
    if ((status == XLookupChars || status == XLookupBoth) && n > 0) typed.assign(buffer, size_t(n));
    if (status != XLookupKeySym && status != XLookupBoth) sym = NoSymbol;
  } else {
    const int n = XLookupString(&key, buffer, sizeof buffer, &sym, nullptr);
    if (const char32_t ch = CharOfKeySym(sym))
      typed = TextEntry::Utf8(std::u32string(1, ch));
    else if (n == 1 && static_cast<unsigned char>(buffer[0]) < 0x80)
      typed += buffer[0];  // keypad digits
  }
  const bool shift = key.state & ShiftMask;
  const size_t lo = std::min(e.caret, e.anchor), hi = std::max(e.caret, e.anchor);
  switch (sym) {
    case XK_Return:
    case XK_KP_Enter:
    case XK_ISO_Enter:
      TryCommitTextEntry();
      return;
    case XK_Escape:
      CancelTextEntry();
      return;
    case XK_Left:
    case XK_KP_Left:
      e.MoveCaret(!shift && lo != hi ? lo : e.caret - (e.caret > 0), shift);
      break;
    case XK_Right:
    case XK_KP_Right:
      e.MoveCaret(!shift && lo != hi ? hi : e.caret + 1, shift);
      break;
    case XK_Home:
    case XK_KP_Home:
      e.MoveCaret(0, shift);
      break;
    case XK_End:
    case XK_KP_End:
      e.MoveCaret(e.text.size(), shift);
      break;
    case XK_BackSpace:
      if (!e.Delete(true)) return;
      break;
    case XK_Delete:
    case XK_KP_Delete:
      if (!e.Delete(false)) return;
      break;
    default:
      if (key.state & ControlMask) {
        const KeySym letter = sym >= XK_A && sym <= XK_Z ? sym - XK_A + XK_a : sym;
        if (letter == XK_a) {
          e.anchor = 0;
          e.caret = e.text.size();
        } else if (letter == XK_c) {
          SetClipboardText(TextEntry::Utf8(lo != hi ? e.Selected() : e.text).c_str());
          return;
        } else if (letter == XK_v) {
          std::string pasted;
          if (!GetClipboardText(&pasted)) return;
          pasted.resize(std::min(pasted.find_first_of("\r\n"), pasted.size()));  // one line
          if (!e.Insert(TextEntry::Decode(pasted))) return;
        } else {
          return;
        }
      } else if (typed.empty() || !e.Insert(TextEntry::Decode(typed))) {
        return;
      }
      break;
  }
  RedrawTextEntry();
}
