// The Linux editor's clipboard: the CLIPBOARD selection, owned by the editor's window while it
// holds text the user copied, read from another client's window by a conversion we wait for (at
// most kWait, reading our own connection only; the other events stay queued for the dispatch).
// Texts are UTF-8 (Latin-1 as STRING), bounded by kMaxBytes; transfers in parts (INCR) are refused.
#include "IGraphicsX11Connection.h"

#include <X11/Xatom.h>
#include <poll.h>

#include <chrono>
#include <mutex>
#include <string_view>

namespace {

constexpr size_t kMaxBytes = 64 * 1024;
constexpr auto kWait = std::chrono::milliseconds(500);

// The text an editor of this process put on the clipboard, and its window. Editors of the process
// read it from here: a conversion would wait for another editor's connection, which the host
// serves on the very thread that waits.
struct OwnedText {
  std::string server;  // the display the window belongs to
  Window window = 0;
  std::string text;
};
std::mutex ownedMutex;
OwnedText owned;

// At most max bytes of text, cut before a character that would not fit whole.
std::string Bounded(const char* text, size_t max) {
  std::string_view s(text, strnlen(text, max + 1));
  if (s.size() > max) {
    s = s.substr(0, max);
    while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) s.remove_suffix(1);
    if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xC0) s.remove_suffix(1);
  }
  return std::string(s);
}

std::string Latin1ToUtf8(const unsigned char* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < 0x80) {
      out += char(text[i]);
    } else {
      out += char(0xC0 | (text[i] >> 6));
      out += char(0x80 | (text[i] & 0x3F));
    }
  }
  return out;
}

// Characters beyond Latin-1 become '?'.
std::string Utf8ToLatin1(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += char(b);
      ++i;
    } else if ((b & 0xE0) == 0xC0 && i + 1 < text.size()) {
      const unsigned c = (b & 0x1Fu) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
      out += c < 0x100 ? char(c) : '?';
      i += 2;
    } else {
      out += '?';
      for (++i; i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;) ++i;
    }
  }
  return out;
}

}  // namespace

void IGraphicsX11::Connection::InternSelectionAtoms() {
  if (clipboard) return;
  char clipboardName[] = "CLIPBOARD", utf8Name[] = "UTF8_STRING", textName[] = "TEXT",
       targetsName[] = "TARGETS", transferName[] = "BRIMO_SELECTION";
  char* names[] = {clipboardName, utf8Name, textName, targetsName, transferName};
  Atom atoms[5] = {};
  if (!XInternAtoms(display, names, 5, False, atoms)) return;
  clipboard = atoms[0];
  utf8String = atoms[1];
  text = atoms[2];
  targets = atoms[3];
  transfer = atoms[4];
}

void IGraphicsX11::Connection::ForgetClipboard() {
  std::lock_guard<std::mutex> lock(ownedMutex);
  if (window && owned.window == window) owned = OwnedText{};
}

bool IGraphicsX11::SetClipboardText(const char* text) {
  if (!text || !x || x->lost) return false;
  try {
    Connection& c = *x;
    c.InternSelectionAtoms();
    if (!c.clipboard) return false;
    std::string bounded = Bounded(text, kMaxBytes);
    XSetSelectionOwner(c.display, c.clipboard, c.window, c.lastTime);
    if (XGetSelectionOwner(c.display, c.clipboard) != c.window) return false;
    std::lock_guard<std::mutex> lock(ownedMutex);
    owned = {DisplayString(c.display), c.window, std::move(bounded)};
    return true;
  } catch (...) {
    return false;
  }
}

bool IGraphicsX11::GetClipboardText(std::string* out) {
  if (!out) return false;
  out->clear();
  if (!x || x->lost) return false;
  try {
    Connection& c = *x;
    Display* d = c.display;
    c.InternSelectionAtoms();
    if (!c.clipboard) return false;
    const Window owner = XGetSelectionOwner(d, c.clipboard);
    if (!owner) return false;
    {
      std::lock_guard<std::mutex> lock(ownedMutex);
      if (owner == owned.window && owned.server == DisplayString(d)) {
        *out = owned.text;
        return true;
      }
    }
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    for (const Atom target : {c.utf8String, Atom(XA_STRING)}) {
      XDeleteProperty(d, c.window, c.transfer);
      XConvertSelection(d, c.clipboard, target, c.transfer, c.window, c.lastTime);
      XEvent event{};
      for (;;) {
        // Looks at the queue, reads what has arrived, flushes: never blocks.
        if (XCheckTypedWindowEvent(d, c.window, SelectionNotify, &event)) {
          if (event.xselection.selection == c.clipboard && event.xselection.target == target) break;
          continue;  // a late answer to an earlier request
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{ConnectionNumber(d), POLLIN | POLLRDHUP, 0};
        const int ready = poll(&p, 1, int(left.count()));
        // A broken connection: Xlib would end the process on the next read.
        if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL | POLLRDHUP))) return false;
      }
      if (event.xselection.property == None) continue;  // refused: STRING next
      Atom type = 0;
      int format = 0;
      unsigned long count = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(d, c.window, c.transfer, 0, long(kMaxBytes / 4), True, AnyPropertyType,
                             &type, &format, &count, &after, &data) != Success)
        return false;
      // INCR (a text too long for one property), longer than we take, or no text at all.
      const bool usable =
          data && format == 8 && after == 0 && (type == c.utf8String || type == XA_STRING);
      if (usable)
        *out = type == XA_STRING ? Latin1ToUtf8(data, count)
                                 : std::string(reinterpret_cast<const char*>(data), count);
      if (data) XFree(data);
      if (after > 0) XDeleteProperty(d, c.window, c.transfer);
      return usable;
    }
    return false;
  } catch (...) {
    out->clear();
    return false;
  }
}

void IGraphicsX11::DispatchSelection(const void* raw) {
  const XEvent& event = *static_cast<const XEvent*>(raw);
  Connection& c = *x;
  switch (event.type) {
    case SelectionRequest:
      try {
        const XSelectionRequestEvent& r = event.xselectionrequest;
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = r.requestor;
        reply.xselection.selection = r.selection;
        reply.xselection.target = r.target;
        reply.xselection.time = r.time;
        reply.xselection.property = None;                          // refused, unless answered below
        const Atom property = r.property ? r.property : r.target;  // obsolete requestors name none
        std::string text;
        bool ours = false;
        {
          std::lock_guard<std::mutex> lock(ownedMutex);
          ours = r.selection == c.clipboard && owned.window == c.window;
          if (ours) text = owned.text;
        }
        if (ours && r.target == c.targets) {
          const Atom offered[] = {c.targets, c.utf8String, XA_STRING, c.text};
          XChangeProperty(c.display, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(offered), 4);
          reply.xselection.property = property;
        } else if (ours && (r.target == c.utf8String || r.target == c.text)) {
          XChangeProperty(c.display, r.requestor, property, c.utf8String, 8, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
          reply.xselection.property = property;
        } else if (ours && r.target == XA_STRING) {
          const std::string latin1 = Utf8ToLatin1(text);
          XChangeProperty(c.display, r.requestor, property, XA_STRING, 8, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(latin1.data()),
                          int(latin1.size()));
          reply.xselection.property = property;
        }
        // A requestor that is gone raises an error on our connection, which is ignored.
        XSendEvent(c.display, r.requestor, False, NoEventMask, &reply);
        XFlush(c.display);
        break;
      } catch (...) {
        break;  // unanswered: the requestor gives up on its own
      }
    case SelectionClear:
      if (event.xselectionclear.selection == c.clipboard) c.ForgetClipboard();
      break;
    case SelectionNotify:
      // The answer to a request we stopped waiting for.
      if (event.xselection.property != None)
        XDeleteProperty(c.display, c.window, event.xselection.property);
      break;
    default:
      break;
  }
}
