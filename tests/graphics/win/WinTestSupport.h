// What the Windows editor tests share: a host's top-level window that records the keys it is
// sent, a message pump that runs until the editor's timer has ticked, and a capture of a
// window's pixels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace wintest {

// Keys (message, virtual key) that reached any host window.
inline std::vector<std::pair<UINT, WPARAM>>& HostKeys() {
  static std::vector<std::pair<UINT, WPARAM>> keys;
  return keys;
}

inline LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_KEYDOWN || msg == WM_KEYUP) HostKeys().push_back({msg, wParam});
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

inline void RegisterHostClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  wc.lpszClassName = "BrimoTestHost";
  registered = RegisterClassA(&wc) != 0;
}

// A borderless, visible host window (outer and client rectangles coincide) at x, y of one
// top-level window that lives as long as the program: without a window manager, Wine waits two
// seconds for every top-level window it takes off the screen.
inline HWND MakeHostWindow(int x, int y, int w = 900, int h = 400) {
  RegisterHostClass();
  static HWND stage =
      CreateWindowExA(0, "BrimoTestHost", "stage", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                      1000, 700, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  return CreateWindowExA(0, "BrimoTestHost", "host", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y,
                         w, h, stage, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Dispatches messages until `ticks` timer messages of `timerWindow` have run (any window when
// null), or for `ms` when ticks is 0. Gives up after two seconds.
inline int Pump(HWND timerWindow, int ticks, DWORD ms = 0) {
  const DWORD start = GetTickCount();
  const DWORD limit = ticks > 0 ? 2000 : ms;
  int seen = 0;
  // The clock is read after every message: a window that never validates its paint must make
  // the test fail, not hang.
  while (GetTickCount() - start < limit) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      Sleep(2);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (msg.message == WM_TIMER && (!timerWindow || msg.hwnd == timerWindow)) ++seen;
    if (ticks > 0 && seen >= ticks) return seen;
  }
  return seen;
}

// The window's client pixels as 0x00RRGGBB words, row by row.
inline std::vector<uint32_t> Capture(HWND hwnd, int w, int h) {
  std::vector<uint32_t> pixels;
  HDC windowDC = GetDC(hwnd);
  HDC memory = CreateCompatibleDC(windowDC);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib && bits) {
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, w, h, windowDC, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    pixels.assign(p, p + size_t(w) * size_t(h));
    for (uint32_t& word : pixels) word &= 0x00FFFFFFu;
    SelectObject(memory, old);
  }
  if (dib) DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(hwnd, windowDC);
  return pixels;
}

inline LPARAM At(int x, int y) {
  return MAKELPARAM(x, y);
}

inline bool ClassRegistered(HINSTANCE module) {
  WNDCLASSA wc;
  return GetClassInfoA(module, "IPlugWndClass", &wc) != 0;
}

}  // namespace wintest
