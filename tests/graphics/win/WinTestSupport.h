// What the Windows editor tests share: host windows that record the keys they are sent, a message
// pump that runs until an editor's timer has ticked, a capture of a window's pixels, and a
// control that records what reaches it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "IGraphicsWin.h"

namespace wintest {

// Keyboard messages (message, key) that reached the top-level host window.
inline std::vector<std::pair<UINT, WPARAM>> hostKeys;

inline LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg >= WM_KEYFIRST && msg <= WM_KEYLAST && !GetParent(hwnd)) {
    hostKeys.push_back({msg, wParam});
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A visible host window at x, y of one borderless top-level window that lives as long as the
// program: without a window manager, Wine waits two seconds for every top-level window it takes
// off the screen.
inline HWND MakeHostWindow(int x, int y, int w = 900, int h = 400) {
  static HWND stage = [] {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BrimoTestHost";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "BrimoTestHost", "stage", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                           0, 1000, 700, nullptr, nullptr, wc.hInstance, nullptr);
  }();
  return CreateWindowExA(0, "BrimoTestHost", "host", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y,
                         w, h, stage, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Dispatches messages until `ticks` timer messages of `timerWindow` have run; gives up after two
// seconds. The clock is read after every message: a window that never validates its paint must
// make the test fail, not hang.
inline int Pump(HWND timerWindow, int ticks) {
  const DWORD start = GetTickCount();
  int seen = 0;
  while (seen < ticks && GetTickCount() - start < 2000) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      Sleep(2);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    seen += msg.message == WM_TIMER && msg.hwnd == timerWindow;
  }
  return seen;
}

// The window's client pixels as 0x00RRGGBB words, row by row.
inline std::vector<uint32_t> Capture(HWND hwnd, int w, int h) {
  HDC windowDC = GetDC(hwnd);
  HDC memory = CreateCompatibleDC(windowDC);
  HBITMAP bitmap = CreateCompatibleBitmap(windowDC, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, windowDC, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof info.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};  // top row first
  std::vector<uint32_t> pixels(size_t(w) * size_t(h));
  if (!GetDIBits(memory, bitmap, 0, UINT(h), pixels.data(), &info, DIB_RGB_COLORS)) pixels.clear();
  for (uint32_t& word : pixels) word &= 0x00FFFFFFu;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(hwnd, windowDC);
  return pixels;
}

inline bool ClassRegistered(HINSTANCE module) {
  WNDCLASSA wc;
  return GetClassInfoA(module, IGraphicsWin::kWindowClass, &wc) != 0;
}

// A control that records the keys that reach it and takes them when told to.
class Probe : public IControl {
public:
  explicit Probe(IBox box) : IControl(nullptr, box, -1) {}
  bool Draw(IGraphics*) override { return true; }
  bool OnKeyDown(int32_t, int32_t, int32_t key) override {
    keys.push_back(key);
    return usesKeys;
  }
  bool usesKeys = false;
  std::vector<int32_t> keys;
};

// A host window and an editor of this program (no plug-in) with one control, to be opened in it.
class EditorWindow : public ::testing::Test {
protected:
  EditorWindow() {
    g->PrepareDrawSurface();
    g->AttachControl(field);
  }
  ~EditorWindow() override {
    g.reset();
    DestroyWindow(host);
  }
  HWND Open() { return editor = static_cast<HWND>(g->OpenWindow(host)); }

  HWND host = MakeHostWindow(40, 40);
  HWND editor = nullptr;
  std::unique_ptr<IGraphicsWin> g =
      std::make_unique<IGraphicsWin>(nullptr, 300, 200, 25, OwnModuleHandle());
  Probe* field = new Probe({20, 20, 80, 40});
};

}  // namespace wintest
