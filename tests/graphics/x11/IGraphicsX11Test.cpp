// The X11 window class on its own, without a plug-in: its pixels on X servers of each kind it
// must handle (with and without MIT-SHM, a 16-bit visual), reopening in another parent, refusing
// what it cannot open, the X error handler it installs and removes, and the desktop services
// (web addresses through xdg-open, XDG folders).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "IGraphicsX11.h"
// Xlib's macros (None, True, Bool...) last.
#include "X11TestHost.h"
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

extern char** environ;

namespace {

using namespace x11test;
namespace fs = std::filesystem;

// A control that fills its box with one pixel word.
class Fill final : public IControl {
public:
  Fill(IBox box, LICE_PixelWord colour) : IControl(nullptr, box, -1), colour(colour) {}
  bool OnKeyDown(int32_t, int32_t, int32_t key) override {
    keys.push_back(key);
    return true;
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

// Three filled columns of 20 x 16 pixels.
struct Editor {
  IGraphicsX11 graphics{nullptr, 60, 16, 25};
  Editor() {
    graphics.PrepareDrawSurface();
    for (int i = 0; i < 3; ++i)
      graphics.AttachControl(new Fill({20 * i, 0, 20 * i + 20, 16}, kColours[i]));
  }
};

// An Xvfb of the test's own (a depth or extensions the shared one lacks), reached through DISPLAY
// while it lives.
class PrivateServer {
public:
  explicit PrivateServer(std::vector<std::string> options) {
    int pipe[2];
    if (::pipe(pipe) != 0) return;
    std::vector<std::string> args = {"Xvfb", "-displayfd", "3", "-nolisten", "tcp"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const bool started = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipe[1]);
    std::string number;
    char c;
    while (started && read(pipe[0], &c, 1) == 1 && c != '\n') number += c;
    close(pipe[0]);
    if (!started || number.empty()) return;
    if (const char* d = std::getenv("DISPLAY")) previous = d;
    setenv("DISPLAY", (":" + number).c_str(), 1);
    ok = true;
  }
  ~PrivateServer() {
    if (ok) setenv("DISPLAY", previous.c_str(), 1);
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  bool ok = false;

private:
  pid_t pid = -1;
  std::string previous;
};

class X11Window : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server: run under xvfb-run";
  }
};

TEST_F(X11Window, ShowsTheSurfaceOnEveryKindOfServer) {
  struct Case {
    const char* name;
    std::vector<std::string> server;  // empty: the shared server
    bool sharedMemory;
  };
  const Case cases[] = {
      {"24-bit, MIT-SHM", {}, true},
      {"24-bit, no MIT-SHM", {"-screen", "0", "320x200x24", "-extension", "MIT-SHM"}, false},
      {"16-bit", {"-screen", "0", "320x200x16"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<PrivateServer> server;
    if (!c.server.empty()) {
      server = std::make_unique<PrivateServer>(c.server);
      ASSERT_TRUE(server->ok);
    }
    HostWindow host;
    ASSERT_TRUE(host.Ok());
    TestRunLoop loop;
    Editor editor;
    editor.graphics.SetHostRunLoop(&loop);
    ASSERT_NE(editor.graphics.OpenWindow(host.Parent()), nullptr);
    EXPECT_EQ(editor.graphics.PresentsThroughSharedMemory(), c.sharedMemory);
    editor.graphics.OnTimer();
    const Visual* v = DefaultVisual(host.display, DefaultScreen(host.display));
    auto expected = [&](LICE_PixelWord p) {
      // What the server stores for the colour: each channel's top bits.
      auto channel = [](uint32_t value, unsigned long mask) {
        int shift = 0, bits = 0;
        while (!((mask >> shift) & 1)) ++shift;
        while ((mask >> (shift + bits)) & 1) ++bits;
        return (unsigned long)(value >> (8 - bits)) << shift;
      };
      return uint32_t(channel((p >> 16) & 0xFF, v->red_mask) |
                      channel((p >> 8) & 0xFF, v->green_mask) | channel(p & 0xFF, v->blue_mask));
    };
    const auto pixels =
        host.Pixels(Window(reinterpret_cast<uintptr_t>(editor.graphics.GetWindowHandle())), 60, 16);
    ASSERT_EQ(pixels.size(), 60u * 16u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(pixels[size_t(20 * i + 5)], expected(kColours[i])) << "column " << i;
      EXPECT_EQ(pixels[size_t(15 * 60 + 20 * i + 19)], expected(kColours[i])) << "column " << i;
    }
    editor.graphics.CloseWindow();
  }
}

TEST_F(X11Window, OpeningAgainWhileOpenMovesToTheNewParentAtTheOldPosition) {
  HostWindow first, second;
  TestRunLoop loop;
  Editor editor;
  editor.graphics.SetHostRunLoop(&loop);
  const auto window =
      Window(reinterpret_cast<uintptr_t>(editor.graphics.OpenWindow(first.Parent())));
  XMoveWindow(first.display, window, 30, 20);  // the host places the editor
  XSync(first.display, False);
  ASSERT_NE(editor.graphics.OpenWindow(second.Parent()), nullptr);
  EXPECT_TRUE(first.Children().empty());
  const auto moved = second.Children();
  ASSERT_EQ(moved.size(), 1u);
  XWindowAttributes attributes{};
  XGetWindowAttributes(second.display, moved[0], &attributes);
  EXPECT_EQ(attributes.x, 30);
  EXPECT_EQ(attributes.y, 20);
  EXPECT_EQ(loop.Handlers(), 2u);
  editor.graphics.CloseWindow();
  EXPECT_EQ(loop.Handlers(), 0u);
}

TEST_F(X11Window, OpensNothingItCannotDriveOrPlace) {
  HostWindow host;
  TestRunLoop loop;
  Editor editor;
  const int descriptors = OpenDescriptors();
  EXPECT_EQ(editor.graphics.OpenWindow(host.Parent()), nullptr) << "no run loop";
  editor.graphics.SetHostRunLoop(&loop);
  EXPECT_EQ(editor.graphics.OpenWindow(nullptr), nullptr) << "no parent";
  EXPECT_EQ(editor.graphics.OpenWindow(reinterpret_cast<void*>(uintptr_t(0x7FFFFF0))), nullptr)
      << "a parent that does not exist";
  EXPECT_EQ(editor.graphics.GetWindowHandle(), nullptr);
  EXPECT_EQ(loop.registrations, 0);
  EXPECT_EQ(OpenDescriptors(), descriptors);
  editor.graphics.CloseWindow();  // closing what never opened
}

int foreignErrors = 0;
int CountForeignError(Display*, XErrorEvent*) {
  ++foreignErrors;
  return 0;
}

TEST_F(X11Window, IgnoresErrorsOnItsConnectionPassesOthersOnAndRestoresTheHandler) {
  const XErrorHandler before = XSetErrorHandler(&CountForeignError);
  {
    HostWindow host;
    TestRunLoop loop;
    Editor editor;
    editor.graphics.SetHostRunLoop(&loop);
    ASSERT_NE(editor.graphics.OpenWindow(host.Parent()), nullptr);
    XMapWindow(host.display, 0x7FFFFF0);  // an error on somebody else's connection
    XSync(host.display, False);
    EXPECT_EQ(foreignErrors, 1);
    XDestroyWindow(host.display, host.window);  // the editor's requests now fail on its own
    XSync(host.display, False);
    editor.graphics.OnTimer();
    editor.graphics.CloseWindow();
    EXPECT_EQ(foreignErrors, 1);
  }
  EXPECT_EQ(XSetErrorHandler(before), &CountForeignError) << "restored when the last one closed";
}

TEST_F(X11Window, ResizingResizesTheWindow) {
  HostWindow host;
  TestRunLoop loop;
  Editor editor;
  editor.graphics.SetHostRunLoop(&loop);
  const auto window =
      Window(reinterpret_cast<uintptr_t>(editor.graphics.OpenWindow(host.Parent())));
  editor.graphics.Resize(100, 40);
  editor.graphics.OnTimer();  // no controls any more
  XWindowAttributes attributes{};
  XSync(host.display, False);
  XGetWindowAttributes(host.display, window, &attributes);
  EXPECT_EQ(attributes.width, 100);
  EXPECT_EQ(attributes.height, 40);
  editor.graphics.CloseWindow();
}

TEST_F(X11Window, KeysReachTheControlUnderThePointerAsTheSharedKeyCodes) {
  HostWindow host;
  TestRunLoop loop;
  Editor editor;
  editor.graphics.SetHostRunLoop(&loop);
  const auto window =
      Window(reinterpret_cast<uintptr_t>(editor.graphics.OpenWindow(host.Parent())));
  XTestFakeMotionEvent(host.display, -1, 25, 8, CurrentTime);  // over the second column
  XSetInputFocus(host.display, window, RevertToParent, CurrentTime);
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
  const KeyCode shift = XKeysymToKeycode(host.display, XK_Shift_L);
  for (const Case& c : cases) {
    const KeyCode key = XKeysymToKeycode(host.display, c.sym);
    if (c.shift) XTestFakeKeyEvent(host.display, shift, True, CurrentTime);
    XTestFakeKeyEvent(host.display, key, True, CurrentTime);
    XTestFakeKeyEvent(host.display, key, False, CurrentTime);
    if (c.shift) XTestFakeKeyEvent(host.display, shift, False, CurrentTime);
  }
  XSync(host.display, False);
  auto* target = static_cast<Fill*>(editor.graphics.GetControl(1));
  loop.RunUntil([&] { return target->keys.size() >= std::size(cases); }, 1000);
  std::vector<int32_t> expected;
  for (const Case& c : cases) expected.push_back(c.code);
  EXPECT_EQ(target->keys, expected);
  editor.graphics.CloseWindow();
}

// ---- Desktop services ----

// Processes of ours that exited and were never waited for.
int Zombies() {
  int count = 0;
  DIR* dir = opendir("/proc");
  while (dirent* entry = dir ? readdir(dir) : nullptr) {
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int parent = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 && state == 'Z' &&
        parent == getpid())
      ++count;
  }
  if (dir) closedir(dir);
  return count;
}

TEST(X11Desktop, OpensSafeWebAddressesWithXdgOpenAndLeavesNoZombie) {
  const fs::path bin = fs::temp_directory_path() / ("brimo-x11-url-" + std::to_string(getpid()));
  fs::create_directories(bin);
  const fs::path log = bin / "opened";
  {
    std::ofstream script(bin / "xdg-open");
    script << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << log.string() << "'\n";
  }
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin.string() + ":" + path).c_str(), 1);

  IGraphicsX11 graphics(nullptr, 10, 10, 25);
  struct Case {
    const char* url;
    bool opened;
  };
  const Case cases[] = {
      {"https://example.org/a b?c=1&d='2'", true},  // handed over as one argument, no shell
      {"-e", false},
      {"https://example.org/\nx", false},
      {"", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(graphics.OpenUrl(c.url, nullptr, nullptr, nullptr), c.opened) << c.url;
  for (int i = 0; i < 200 && !fs::exists(log); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::ifstream opened(log);
  std::string line;
  std::getline(opened, line);
  EXPECT_EQ(line, cases[0].url);
  graphics.OnTimer();  // reaps
  EXPECT_EQ(Zombies(), 0);

  setenv("PATH", bin.string().c_str(), 1);
  fs::remove(bin / "xdg-open");
  EXPECT_FALSE(graphics.OpenUrl("https://example.org/", nullptr, nullptr, nullptr))
      << "no xdg-open";
  setenv("PATH", path.c_str(), 1);
  fs::remove_all(bin);
}

TEST(X11Desktop, FoldersFollowTheXdgConventions) {
  const fs::path home = fs::temp_directory_path() / ("brimo-x11-home-" + std::to_string(getpid()));
  fs::create_directories(home / ".config");
  {
    std::ofstream dirs(home / ".config" / "user-dirs.dirs");
    dirs << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
  }
  const std::string realHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  IGraphicsX11 graphics(nullptr, 10, 10, 25);
  std::string out;
  graphics.GetDesktopPath(&out);
  EXPECT_EQ(out, home.string() + "/Schreibtisch");
  fs::remove(home / ".config" / "user-dirs.dirs");
  graphics.GetDesktopPath(&out);
  EXPECT_EQ(out, home.string() + "/Desktop");

  struct Case {
    const char* dataHome;
    const char* dataDirs;
    std::string user;
    std::string common;
  };
  const Case cases[] = {
      {nullptr, nullptr, home.string() + "/.local/share", "/usr/local/share"},
      {"/data/home", "relative:/opt/share:/usr/share", "/data/home", "/opt/share"},
      {"relative", "", home.string() + "/.local/share", "/usr/local/share"},
  };
  for (const Case& c : cases) {
    c.dataHome ? setenv("XDG_DATA_HOME", c.dataHome, 1) : unsetenv("XDG_DATA_HOME");
    c.dataDirs ? setenv("XDG_DATA_DIRS", c.dataDirs, 1) : unsetenv("XDG_DATA_DIRS");
    graphics.GetAppDataPath(&out, false);
    EXPECT_EQ(out, c.user);
    graphics.GetSafeAppDataPath(&out);
    EXPECT_EQ(out, c.user);
    graphics.GetAppDataPath(&out, true);
    EXPECT_EQ(out, c.common);
  }

  // Linked into this program, the module's folder is the program's.
  const std::string program = fs::read_symlink("/proc/self/exe").parent_path().string() + "/";
  graphics.GetHostDirectory(&out);
  EXPECT_EQ(out, program);
  graphics.GetModuleDirectory(&out);
  EXPECT_EQ(out, program);
  setenv("HOME", realHome.c_str(), 1);
  fs::remove_all(home);
}

}  // namespace
