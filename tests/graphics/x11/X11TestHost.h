// The host side of the X11 editor tests and benchmarks: a run loop of our own (poll() over the
// registered descriptors, plus timers) that counts what is registered, a frame that hands it out,
// and a top-level host window on the test's own X connection.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"

namespace x11test {

using namespace Steinberg;
using Clock = std::chrono::steady_clock;

// A host object the test owns: reference counting is a no-op.
template <class Interface>
class HostObject : public Interface {
public:
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    const bool ours = FUnknownPrivate::iidEqual(iid, Interface::iid) ||
                      FUnknownPrivate::iidEqual(iid, FUnknown::iid);
    *obj = ours ? static_cast<Interface*>(this) : nullptr;
    return ours ? kResultOk : kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
};

class TestRunLoop final : public HostObject<Linux::IRunLoop> {
public:
  // Keeps a reference to every handler ever registered, as a host may after unregistering.
  bool keepHandlers = false;
  // False: a host that never reports the descriptor.
  bool deliverDescriptors = true;
  int registrations = 0;
  int unregisteredInOwnCallback = 0;
  int64_t lastPeriodMs = 0;

  ~TestRunLoop() {
    for (Entry& e : live) e.object->release();
    for (Entry& e : kept) e.object->release();
  }
  // A descriptor registered already is refused, as Ardour's loop shared by several editors does.
  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* h,
                                          Linux::FileDescriptor fd) override {
    if (!h || fd < 0 || std::any_of(live.begin(), live.end(), [&](auto& e) { return e.fd == fd; }))
      return kInvalidArgument;
    return Add({.object = h, .events = h, .fd = fd});
  }
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler* h, Linux::TimerInterval ms) override {
    if (!h || ms == 0) return kInvalidArgument;
    const std::chrono::milliseconds period(lastPeriodMs = ms);
    return Add({.object = h, .timer = h, .period = period, .next = Clock::now() + period});
  }
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* h) override { return Remove(h); }
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* h) override { return Remove(h); }

  // Dispatches descriptor and timer callbacks until done() holds (true) or ms have passed.
  bool RunUntil(const std::function<bool()>& done, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      auto now = Clock::now();
      if (now >= end) return false;
      auto wake = end;
      std::vector<pollfd> polled;
      for (Entry& e : live) {
        if (e.timer) wake = std::min(wake, e.next);
        if (e.events && deliverDescriptors) polled.push_back({e.fd, POLLIN, 0});
      }
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
      poll(polled.data(), polled.size(), int(std::max<int64_t>(0, wait)));
      now = Clock::now();
      for (const Entry& e : std::vector<Entry>(live)) {  // a callback may (un)register
        const bool ready = std::any_of(polled.begin(), polled.end(),
                                       [&](auto& p) { return p.fd == e.fd && p.revents; });
        if (e.timer ? e.next <= now : ready) Call(e);
      }
    }
    return true;
  }
  void Run(int ms) {
    RunUntil([] { return false; }, ms);
  }
  // Calls every registered timer once, now.
  void FireTimers() {
    for (const Entry& e : std::vector<Entry>(live))
      if (e.timer) Call(e);
  }
  // Calls every handler ever registered once more, as a host holding stale references might.
  void CallKeptHandlers() {
    for (Entry& e : kept) e.timer ? e.timer->onTimer() : e.events->onFDIsSet(0);
  }
  size_t Handlers() const { return live.size(); }

private:
  struct Entry {
    FUnknown* object;
    Linux::IEventHandler* events = nullptr;
    Linux::ITimerHandler* timer = nullptr;
    int fd = -1;
    std::chrono::milliseconds period{};
    Clock::time_point next{};
  };
  std::vector<Entry>::iterator Find(FUnknown* h) {
    return std::find_if(live.begin(), live.end(), [&](Entry& e) { return e.object == h; });
  }
  tresult Add(const Entry& e) {
    if (Find(e.object) != live.end()) return kInvalidArgument;
    e.object->addRef();
    live.push_back(e);
    if (keepHandlers) {
      e.object->addRef();
      kept.push_back(e);
    }
    ++registrations;
    return kResultOk;
  }
  tresult Remove(FUnknown* h) {
    if (h == calling) ++unregisteredInOwnCallback;
    const auto it = Find(h);
    if (it == live.end()) return kInvalidArgument;
    live.erase(it);
    h->release();
    return kResultOk;
  }
  void Call(const Entry& e) {
    const auto it = Find(e.object);
    if (it == live.end()) return;  // unregistered by an earlier callback
    if (e.timer) it->next = Clock::now() + it->period;
    calling = e.object;
    e.timer ? e.timer->onTimer() : e.events->onFDIsSet(e.fd);
    calling = nullptr;
  }
  std::vector<Entry> live, kept;
  FUnknown* calling = nullptr;
};

// A host frame that offers the run loop (or none) and grants every resize.
class TestFrame final : public HostObject<IPlugFrame> {
public:
  explicit TestFrame(Linux::IRunLoop* loop) : loop(loop) {}
  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* rect) override {
    return view->onSize(rect);
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (!loop || !FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid))
      return HostObject::queryInterface(iid, obj);
    *obj = loop;
    return kResultOk;
  }

private:
  Linux::IRunLoop* loop;
};

// The host's top-level window at the screen's origin, on the test's own connection.
class HostWindow {
public:
  HostWindow() {
    // Xvfb resets whenever its last client leaves and refuses connections meanwhile: one
    // connection held for the life of the program keeps it up from one test to the next.
    static Display* const keeper = XOpenDisplay(nullptr);
    (void)keeper;
    display = XOpenDisplay(nullptr);
    if (!display) return;
    window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 900, 300, 0, 0, 0x202020);
    XSelectInput(display, window, KeyPressMask);
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
  std::vector<Window> Children() const {
    Window root, parent, *list = nullptr;
    unsigned int count = 0;
    XSync(display, False);
    if (!XQueryTree(display, window, &root, &parent, &list, &count)) return {};
    std::vector<Window> out(list, list + count);
    if (list) XFree(list);
    return out;
  }
  // The window's pixels as the server stores them, row by row.
  std::vector<uint32_t> Pixels(Window of, int width, int height) const {
    XImage* image =
        XGetImage(display, of, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) return {};
    std::vector<uint32_t> out;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) out.push_back(uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF);
    XDestroyImage(image);
    return out;
  }

  Display* display = nullptr;
  Window window = 0;
};

// twm, a reparenting window manager from the system (it puts every window into a frame of its
// own, as desktops do), run on the test's X server while this object lives. Its configuration
// asks only for the core "fixed" font, which every X server with xfonts-base has.
class ReparentingWindowManager {
public:
  explicit ReparentingWindowManager(const HostWindow& host)
      : host(host), config("/tmp/brimo-twmrc-" + std::to_string(getpid())) {
    if (FILE* f = std::fopen(config.c_str(), "w")) {
      for (const char* key : {"TitleFont", "ResizeFont", "MenuFont", "IconFont", "IconManagerFont"})
        std::fprintf(f, "%s \"fixed\"\n", key);
      std::fclose(f);
    }
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, 1, 2);
    char* argv[] = {const_cast<char*>("twm"), const_cast<char*>("-f"),
                    const_cast<char*>(config.c_str()), nullptr};
    if (posix_spawnp(&pid, "twm", &quiet, nullptr, argv, environ) != 0) pid = 0;
    posix_spawn_file_actions_destroy(&quiet);
  }
  ~ReparentingWindowManager() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    std::remove(config.c_str());
    XSync(host.display, False);
  }
  ReparentingWindowManager(const ReparentingWindowManager&) = delete;
  ReparentingWindowManager& operator=(const ReparentingWindowManager&) = delete;

  // Waits (up to five seconds) until the host's window sits in a frame of the manager's.
  bool Manages() const {
    for (int i = 0; pid > 0 && i < 500; ++i) {
      Window root = 0, parent = 0, *children = nullptr;
      unsigned int count = 0;
      if (XQueryTree(host.display, host.window, &root, &parent, &children, &count)) {
        if (children) XFree(children);
        if (parent && parent != root) return true;
      }
      usleep(10000);
    }
    return false;
  }

private:
  const HostWindow& host;
  std::string config;
  pid_t pid = 0;
};

// Open descriptors of this process.
inline int OpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dir && readdir(dir)) ++count;
  if (dir) closedir(dir);
  return count;
}

}  // namespace x11test
