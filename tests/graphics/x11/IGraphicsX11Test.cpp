// The X11 window class on its own, for what a host cannot reach through the bundle: its pixels on
// every kind of X server (with and without MIT-SHM, a 16-bit visual), reopening while open, the X
// error handler it installs and removes, key codes, web addresses through xdg-open, XDG folders.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "IGraphicsX11.h"
// Xlib's macros (None, True, Bool...) last.
#include "X11TestHost.h"
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using namespace x11test;
namespace fs = std::filesystem;

// A control that fills its box with one pixel word and records the keys it is sent.
class Fill final : public IControl {
public:
  Fill(IBox box, LICE_PixelWord colour) : IControl(nullptr, box, -1), colour(colour) {
    SetTakesKeys(true);
  }
  // Uses every key but space.
  bool OnKeyDown(int32_t, int32_t, int32_t key) override {
    keys.push_back(key);
    return key != KeySpace;
  }
  bool Draw(IGraphics* graphics) override {
    LICE_SysBitmap* s = graphics->DrawSurface();
    for (int y = box.T; y < box.B; ++y)
      for (int x = box.L; x < box.R; ++x) s->PixelData()[y * s->RowSpan() + x] = colour;
    return true;
  }
  LICE_PixelWord colour;
  std::vector<int32_t> keys;
};

constexpr LICE_PixelWord kColours[3] = {0xFF336699, 0xFFF0E0D0, 0xFF010203};

// Three filled columns of 20 x 16 pixels, open in a host window on a run loop.
struct Editor {
  HostWindow host;
  TestRunLoop loop;
  IGraphicsX11 graphics{nullptr, 60, 16, 25};
  Window window = 0;
  Editor() {
    graphics.PrepareDrawSurface();
    for (int i = 0; i < 3; ++i)
      graphics.AttachControl(new Fill({20 * i, 0, 20 * i + 20, 16}, kColours[i]));
    graphics.SetHostRunLoop(&loop);
    window = Window(reinterpret_cast<uintptr_t>(graphics.OpenWindow(host.Parent())));
  }
  ~Editor() { graphics.CloseWindow(); }
};

// An Xvfb of the test's own (a depth or extensions the shared one lacks), reached through DISPLAY
// while it lives.
class PrivateServer {
public:
  explicit PrivateServer(const std::string& options) : previous(std::getenv("DISPLAY")) {
    // The shell prints its pid, then becomes the server, which prints its display number.
    pipe = popen(
        ("echo $$; exec Xvfb -displayfd 1 -nolisten tcp " + options + " 2>/dev/null").c_str(), "r");
    char display[16] = ":";
    if (pipe && std::fscanf(pipe, "%d %14s", &pid, display + 1) == 2)
      ok = setenv("DISPLAY", display, 1) == 0;
  }
  ~PrivateServer() {
    setenv("DISPLAY", previous.c_str(), 1);
    if (pid > 0) kill(pid, SIGTERM);
    if (pipe) pclose(pipe);
  }
  bool ok = false;

private:
  std::string previous;
  FILE* pipe = nullptr;
  pid_t pid = 0;
};

class X11Window : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server: run under xvfb-run";
  }
};

TEST_F(X11Window, ShowsTheSurfaceOnEveryKindOfServer) {
  struct Case {
    const char* server;  // options of a private server, or null: the shared one
    bool sharedMemory;
  };
  const Case cases[] = {
      {nullptr, true},
      {"-screen 0 320x200x24 -extension MIT-SHM", false},
      {"-screen 0 320x200x16", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server ? c.server : "shared server");
    std::unique_ptr<PrivateServer> server;
    if (c.server) server = std::make_unique<PrivateServer>(c.server);
    ASSERT_TRUE(!server || server->ok);
    Editor editor;
    ASSERT_NE(editor.window, 0u);
    EXPECT_EQ(editor.graphics.PresentsThroughSharedMemory(), c.sharedMemory);
    editor.graphics.OnTimer();
    // What the server stores for a colour: each channel's top bits, in place.
    const Visual* v = DefaultVisual(editor.host.display, DefaultScreen(editor.host.display));
    auto stored = [v](LICE_PixelWord p) {
      auto channel = [](uint32_t value, unsigned long mask) {
        return (value & 0xFF) >> (8 - std::popcount(mask)) << std::countr_zero(mask);
      };
      return channel(p >> 16, v->red_mask) | channel(p >> 8, v->green_mask) |
             channel(p, v->blue_mask);
    };
    const auto pixels = editor.host.Pixels(editor.window, 60, 16);
    ASSERT_EQ(pixels.size(), 60u * 16u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(pixels[size_t(20 * i + 5)], stored(kColours[i])) << "column " << i;
      EXPECT_EQ(pixels[size_t(15 * 60 + 20 * i + 19)], stored(kColours[i])) << "column " << i;
    }
  }
}

// Through the view a host's second attach closes first; opening while open must move the window.
TEST_F(X11Window, OpeningAgainWhileOpenMovesToTheNewParentAtTheOldPosition) {
  HostWindow second;
  Editor editor;
  XMoveWindow(editor.host.display, editor.window, 30, 20);  // the host places the editor
  XSync(editor.host.display, False);
  ASSERT_NE(editor.graphics.OpenWindow(second.Parent()), nullptr);
  EXPECT_TRUE(editor.host.Children().empty());
  const auto moved = second.Children();
  ASSERT_EQ(moved.size(), 1u);
  XWindowAttributes attributes{};
  XGetWindowAttributes(second.display, moved[0], &attributes);
  EXPECT_EQ(std::pair(attributes.x, attributes.y), std::pair(30, 20));
  EXPECT_EQ(editor.loop.Handlers(), 2u);
}

int foreignErrors = 0;
int CountForeignError(Display*, XErrorEvent*) {
  ++foreignErrors;
  return 0;
}

TEST_F(X11Window, IgnoresErrorsOnItsConnectionPassesOthersOnAndRestoresTheHandler) {
  const XErrorHandler before = XSetErrorHandler(&CountForeignError);
  {
    Editor editor;
    ASSERT_NE(editor.window, 0u);
    XMapWindow(editor.host.display, 0x7FFFFF0);  // an error on somebody else's connection
    XSync(editor.host.display, False);
    EXPECT_EQ(foreignErrors, 1);
    // The editor's requests now fail on its own connection.
    XDestroyWindow(editor.host.display, editor.host.window);
    XSync(editor.host.display, False);
    editor.graphics.OnTimer();
    editor.graphics.CloseWindow();
    EXPECT_EQ(foreignErrors, 1);
  }
  EXPECT_EQ(XSetErrorHandler(before), &CountForeignError) << "restored when the last one closed";
}

// BRIMO's own controls take no keys: the mapping, and the return of unused keys to the host's
// window, are reached only here.
TEST_F(X11Window, KeysReachTheControlUnderThePointerAsTheSharedKeyCodes) {
  Editor editor;
  Display* d = editor.host.display;
  XTestFakeMotionEvent(d, -1, 25, 8, CurrentTime);  // over the second column
  XSetInputFocus(d, editor.window, RevertToParent, CurrentTime);
  struct Case {
    KeySym sym;
    bool shift;
    int32_t code;
  };
  const Case cases[] = {
      {XK_space, false, KeySpace},  {XK_Up, false, KeyUp},          {XK_Right, false, KeyRight},
      {XK_7, false, KeyDigit0 + 7}, {XK_q, false, KeyLetterA + 16}, {XK_q, true, KeyLetterA + 16},
      {XK_F2, false, 31},  // F1-F11 share the letters' codes, as Windows numbers them
  };
  std::vector<int32_t> expected;
  for (const Case& c : cases) {
    const KeyCode shift = XKeysymToKeycode(d, XK_Shift_L), key = XKeysymToKeycode(d, c.sym);
    if (c.shift) XTestFakeKeyEvent(d, shift, True, CurrentTime);
    XTestFakeKeyEvent(d, key, True, CurrentTime);
    XTestFakeKeyEvent(d, key, False, CurrentTime);
    if (c.shift) XTestFakeKeyEvent(d, shift, False, CurrentTime);
    expected.push_back(c.code);
  }
  XSync(d, False);
  const auto& keys = static_cast<Fill*>(editor.graphics.GetControl(1))->keys;
  editor.loop.RunUntil([&] { return keys.size() >= expected.size(); }, 1000);
  EXPECT_EQ(keys, expected);
  XEvent unused{};
  EXPECT_TRUE(editor.loop.RunUntil(
      [&] { return XCheckTypedWindowEvent(d, editor.host.window, KeyPress, &unused); }, 1000));
  EXPECT_EQ(unused.xkey.keycode, XKeysymToKeycode(d, XK_space));
}

// ---- Desktop services ----

TEST(X11Desktop, OpensSafeWebAddressesWithXdgOpenAndLeavesNoZombie) {
  const fs::path bin = fs::temp_directory_path() / ("brimo-x11-url-" + std::to_string(getpid()));
  fs::create_directories(bin);
  const fs::path log = bin / "opened";
  std::ofstream(bin / "xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << log.string()
                                  << "'\n";
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin.string() + ":" + path).c_str(), 1);

  IGraphicsX11 graphics(nullptr, 10, 10, 25);
  const char* const opened = "https://example.org/a b?c=1&d='2'";  // one argument, no shell
  EXPECT_TRUE(graphics.OpenUrl(opened, nullptr, nullptr, nullptr));
  for (const char* refused : {"-e", "https://example.org/\nx", ""})
    EXPECT_FALSE(graphics.OpenUrl(refused, nullptr, nullptr, nullptr)) << refused;
  // A child of ours not yet waited for, exited (a zombie) or not.
  auto childLeft = [] {
    siginfo_t info{};
    return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
  };
  for (int i = 0; i < 200 && childLeft(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    graphics.OnTimer();  // reaps
  }
  EXPECT_FALSE(childLeft());
  std::string line;
  std::getline(std::ifstream(log), line);
  EXPECT_EQ(line, opened);

  setenv("PATH", bin.string().c_str(), 1);
  fs::remove(bin / "xdg-open");
  EXPECT_FALSE(graphics.OpenUrl("https://example.org/", nullptr, nullptr, nullptr))
      << "no xdg-open";
  setenv("PATH", path.c_str(), 1);
  fs::remove_all(bin);
}

TEST(X11Desktop, FoldersFollowTheXdgConventions) {
  const fs::path home = fs::temp_directory_path() / ("brimo-x11-home-" + std::to_string(getpid()));
  const std::string h = home.string();
  const std::string realHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", h.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  struct Case {
    const char* desktopDir;  // in ~/.config/user-dirs.dirs
    const char* dataHome;
    const char* dataDirs;
    std::string desktop, user, common;
  };
  const Case cases[] = {
      {"$HOME/Schreibtisch", nullptr, nullptr, h + "/Schreibtisch", h + "/.local/share",
       "/usr/local/share"},
      {"/srv/desk", "/data/home", "relative:/opt/share:/usr/share", "/srv/desk", "/data/home",
       "/opt/share"},
      {"relative", "relative", "", h + "/Desktop", h + "/.local/share", "/usr/local/share"},
  };
  IGraphicsX11 graphics(nullptr, 10, 10, 25);
  std::string out;
  for (const Case& c : cases) {
    fs::create_directories(home / ".config");
    std::ofstream(home / ".config" / "user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"" << c.desktopDir << "\"\n";
    c.dataHome ? setenv("XDG_DATA_HOME", c.dataHome, 1) : unsetenv("XDG_DATA_HOME");
    c.dataDirs ? setenv("XDG_DATA_DIRS", c.dataDirs, 1) : unsetenv("XDG_DATA_DIRS");
    graphics.GetDesktopPath(&out);
    EXPECT_EQ(out, c.desktop);
    graphics.GetAppDataPath(&out, false);
    EXPECT_EQ(out, c.user);
    graphics.GetAppDataPath(&out, true);
    EXPECT_EQ(out, c.common);
  }
  // Linked into this program, the module's folder is the program's.
  graphics.GetModuleDirectory(&out);
  EXPECT_EQ(out, fs::read_symlink("/proc/self/exe").parent_path().string() + "/");
  setenv("HOME", realHome.c_str(), 1);
  fs::remove_all(home);
}

}  // namespace
