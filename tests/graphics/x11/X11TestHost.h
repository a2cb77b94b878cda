// The host side of the X11 editor tests and benchmarks: a run loop of our own that implements
// Steinberg::Linux::IRunLoop (poll() over the registered descriptors, plus timers) and counts what
// is registered, a frame that hands it out, and a top-level host window on the test's own X
// connection.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"

namespace x11test {

using namespace Steinberg;
using Clock = std::chrono::steady_clock;

class TestRunLoop final : public Linux::IRunLoop {
public:
  // A run loop shared by several editors refuses a descriptor that is registered already, as
  // Ardour's does.
  bool refuseSharedDescriptors = true;
  // Keeps a reference to every handler ever registered, as a host may after unregistering.
  bool keepHandlers = false;

  ~TestRunLoop() {
    for (auto& f : fds) f.handler->release();
    for (auto& t : timers) t.handler->release();
    for (FUnknown* h : kept) h->release();
  }

  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* handler,
                                          Linux::FileDescriptor fd) override {
    if (!handler || fd < 0) return kInvalidArgument;
    for (auto& f : fds)
      if (f.handler == handler || (refuseSharedDescriptors && f.fd == fd)) return kInvalidArgument;
    handler->addRef();
    Keep(handler);
    fds.push_back({handler, fd});
    ++registrations;
    return kResultOk;
  }
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* handler) override {
    if (handler == calling) ++unregisteredInOwnCallback;
    for (auto it = fds.begin(); it != fds.end(); ++it) {
      if (it->handler != handler) continue;
      handler->release();
      fds.erase(it);
      return kResultOk;
    }
    return kInvalidArgument;
  }
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler,
                                   Linux::TimerInterval ms) override {
    if (!handler || ms == 0) return kInvalidArgument;
    for (auto& t : timers)
      if (t.handler == handler) return kInvalidArgument;
    handler->addRef();
    Keep(handler);
    timers.push_back(
        {handler, std::chrono::milliseconds(ms), Clock::now() + std::chrono::milliseconds(ms)});
    lastPeriodMs = int64_t(ms);
    ++registrations;
    return kResultOk;
  }
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
    if (handler == calling) ++unregisteredInOwnCallback;
    for (auto it = timers.begin(); it != timers.end(); ++it) {
      if (it->handler != handler) continue;
      handler->release();
      timers.erase(it);
      return kResultOk;
    }
    return kInvalidArgument;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = this;
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }

  // Dispatches descriptor and timer callbacks until done() holds or ms have passed; true when
  // done() held.
  bool RunUntil(const std::function<bool()>& done, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      const auto now = Clock::now();
      if (now >= end) return false;
      auto wake = end;
      for (auto& t : timers) wake = std::min(wake, t.next);
      std::vector<pollfd> polled;
      for (auto& f : fds) polled.push_back({f.fd, POLLIN, 0});
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
      poll(polled.data(), polled.size(), int(std::max<int64_t>(0, wait)));
      // Copies: a callback may register or unregister.
      for (const pollfd& p : polled) {
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
        for (auto& f : std::vector<Fd>(fds)) {
          if (f.fd != p.fd || !Registered(f.handler)) continue;
          if (!deliverDescriptors) continue;
          calling = f.handler;
          f.handler->onFDIsSet(f.fd);
          calling = nullptr;
        }
      }
      const auto after = Clock::now();
      for (auto& t : std::vector<Timer>(timers)) {
        if (t.next > after || !Registered(t.handler)) continue;
        for (auto& live : timers)
          if (live.handler == t.handler) live.next = after + live.period;
        calling = t.handler;
        t.handler->onTimer();
        calling = nullptr;
        ++ticks;
      }
    }
    return true;
  }
  void Run(int ms) {
    RunUntil([] { return false; }, ms);
  }

  // Calls every registered timer once, now.
  void FireTimers() {
    for (auto& t : std::vector<Timer>(timers)) {
      if (!Registered(t.handler)) continue;
      calling = t.handler;
      t.handler->onTimer();
      calling = nullptr;
      ++ticks;
    }
  }

  size_t Handlers() const { return fds.size() + timers.size(); }
  size_t Descriptors() const { return fds.size(); }
  size_t Timers() const { return timers.size(); }
  // Calls every handler ever registered once more, as a host holding stale references might.
  void CallKeptHandlers() {
    for (FUnknown* h : kept) {
      Linux::ITimerHandler* timer = nullptr;
      if (h->queryInterface(Linux::ITimerHandler::iid, reinterpret_cast<void**>(&timer)) ==
          kResultOk) {
        timer->onTimer();
        timer->release();
      }
      Linux::IEventHandler* events = nullptr;
      if (h->queryInterface(Linux::IEventHandler::iid, reinterpret_cast<void**>(&events)) ==
          kResultOk) {
        events->onFDIsSet(0);
        events->release();
      }
    }
  }

  int registrations = 0;
  int unregisteredInOwnCallback = 0;
  int ticks = 0;
  int64_t lastPeriodMs = 0;
  // False: a host that never reports the descriptor.
  bool deliverDescriptors = true;

private:
  struct Fd {
    Linux::IEventHandler* handler;
    int fd;
  };
  struct Timer {
    Linux::ITimerHandler* handler;
    std::chrono::milliseconds period;
    Clock::time_point next;
  };
  bool Registered(FUnknown* handler) const {
    for (auto& f : fds)
      if (f.handler == handler) return true;
    for (auto& t : timers)
      if (t.handler == handler) return true;
    return false;
  }
  void Keep(FUnknown* handler) {
    if (!keepHandlers) return;
    handler->addRef();
    kept.push_back(handler);
  }
  std::vector<Fd> fds;
  std::vector<Timer> timers;
  std::vector<FUnknown*> kept;
  FUnknown* calling = nullptr;
};

// A host frame that offers the run loop (or none) and grants every resize.
class TestFrame final : public IPlugFrame {
public:
  explicit TestFrame(Linux::IRunLoop* loop) : loop(loop) {}
  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* rect) override {
    return view->onSize(rect);
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    *obj = nullptr;
    if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<IPlugFrame*>(this);
      return kResultOk;
    }
    if (loop && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
      loop->addRef();
      *obj = loop;
      return kResultOk;
    }
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }

private:
  Linux::IRunLoop* loop;
};

// Xvfb resets whenever its last client leaves and refuses connections meanwhile: one connection
// held for the life of the test program keeps it up from one test to the next.
inline void KeepServerUp() {
  static Display* const keeper = XOpenDisplay(nullptr);
  (void)keeper;
}

// The host's top-level window at the screen's origin, on the test's own connection.
class HostWindow {
public:
  explicit HostWindow(int width = 900, int height = 300) {
    KeepServerUp();
    display = XOpenDisplay(nullptr);
    if (!display) return;
    window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, unsigned(width),
                                 unsigned(height), 0, 0, 0x202020);
    XSelectInput(display, window, KeyPressMask | SubstructureNotifyMask);
    XMapWindow(display, window);
    XSync(display, False);
  }
  ~HostWindow() {
    if (display) XCloseDisplay(display);
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  bool Ok() const { return display != nullptr; }
  void* Parent() const { return reinterpret_cast<void*>(window); }
  std::vector<Window> Children(Window of = 0) const {
    Window root, parent, *list = nullptr;
    unsigned int count = 0;
    std::vector<Window> out;
    XSync(display, False);
    if (XQueryTree(display, of ? of : window, &root, &parent, &list, &count)) {
      out.assign(list, list + count);
      if (list) XFree(list);
    }
    return out;
  }
  // The window's pixels as 0xRRGGBB, row by row.
  std::vector<uint32_t> Pixels(Window of, int width, int height) const {
    std::vector<uint32_t> out;
    XImage* image =
        XGetImage(display, of, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) return out;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) out.push_back(uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF);
    XDestroyImage(image);
    return out;
  }

  Display* display = nullptr;
  Window window = 0;
};

// Open descriptors of this process.
inline int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

}  // namespace x11test
