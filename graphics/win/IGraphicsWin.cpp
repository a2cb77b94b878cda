// The window itself: opening and closing, the window procedure (input, timer, paint), resizing,
// the cursor and the images.
#include "IGraphicsWin.h"

#include "LicePng.h"

namespace {

// Shared by every editor of the module: the class exists while one of their windows is open.
int32_t gOpenWindows = 0;
double gRedrawRate = 25.0;

void RegisterWindowClass(HINSTANCE module, WNDPROC proc) {
  WNDCLASSA wc = {};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = module;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.lpszClassName = IGraphicsWin::kWindowClass;
  // A class left behind by a window its host destroyed is still ours and still usable.
  RegisterClassA(&wc);
}

// One open window fewer; the last one takes the class with it.
void ReleaseWindowClass(HINSTANCE module) {
  if (gOpenWindows <= 0) return;
  if (--gOpenWindows == 0) UnregisterClassA(IGraphicsWin::kWindowClass, module);
}

int32_t LowSigned(LPARAM value) {
  return int32_t(static_cast<int16_t>(value & 0xFFFF));
}

int32_t HighSigned(LPARAM value) {
  return int32_t(static_cast<int16_t>((value >> 16) & 0xFFFF));
}

// Sent to a child window after its top-level window moved to a screen of another density.
constexpr UINT kDpiChangedAfterParent = 0x02E3;

IMouseMods ModsFrom(WPARAM keyState) {
  IMouseMods mods;
  mods.left = (keyState & MK_LBUTTON) != 0;
  mods.right = (keyState & MK_RBUTTON) != 0;
  mods.shift = (keyState & MK_SHIFT) != 0;
  mods.control = (keyState & MK_CONTROL) != 0;
  mods.alt = GetKeyState(VK_MENU) < 0;
  return mods;
}

// The host sees every key the editor does not use, and answers it itself (our own default handling
// would act on the key a second time: Alt+F4 would close the editor). Touches no editor state:
// the host may close or delete the editor while it handles the key.
LRESULT ForwardKeyToRoot(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND root = GetAncestor(hwnd, GA_ROOT);
  if (root && root != hwnd) return SendMessageA(root, msg, wParam, lParam);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

HINSTANCE OwnModuleHandle() {
  HMODULE self = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&OwnModuleHandle), &self);
  return self;
}

IGraphicsWin::IGraphicsWin(IPlugBase* plugin, int32_t width, int32_t height,
                           int32_t framesPerSecond, HINSTANCE moduleHandle)
    : IGraphics(plugin, width, height, framesPerSecond), moduleHandle(moduleHandle) {}

IGraphicsWin::~IGraphicsWin() {
  // The plug-in deleting this object is already partly gone: no gesture is ended through it.
  gestureParam = -1;
  CloseWindow();
  // A class whose last window the host destroyed could not be unregistered then.
  if (gOpenWindows == 0) UnregisterClassA(kWindowClass, moduleHandle);
}

// ---- Opening and closing ----

void* IGraphicsWin::OpenWindow(void* parent) {
  HWND parentHwnd = static_cast<HWND>(parent);
  int32_t x = 0, y = 0, w = DeviceWidth(), h = DeviceHeight();
  if (window) {
    // Reopening keeps the place relative to the (new) parent.
    RECT parentRect = {}, windowRect = {};
    GetWindowRect(parentHwnd, &parentRect);
    GetWindowRect(window, &windowRect);
    CloseWindow();
    x = windowRect.left - parentRect.left;
    y = windowRect.top - parentRect.top;
    w = windowRect.right - windowRect.left;
    h = windowRect.bottom - windowRect.top;
  }
  if (parentHwnd != parentWindow) mainWindow = nullptr;  // found under the old parent
  parentWindow = parentHwnd;

  if (gOpenWindows++ == 0) RegisterWindowClass(moduleHandle, WindowProc);
  gRedrawRate = double(framesPerSecond);
  window = CreateWindowExA(0, kWindowClass, "IPlug", WS_CHILD | WS_VISIBLE, x, y, w, h, parentHwnd,
                           nullptr, moduleHandle, this);
  if (!window) {
    ReleaseWindowClass(moduleHandle);
    return nullptr;
  }
  PrepareDrawSurface();
  // The first timer tick paints the whole editor.
  for (IControl* control : controls) control->MarkDirty(false);
  if (showTooltips && !CreateTooltipWindow()) showTooltips = false;
  return window;
}

void IGraphicsWin::CloseWindow() {
  ReleaseWindow(true);
}

void IGraphicsWin::ReleaseWindow(bool destroy) {
  if (!window) return;
  HWND hwnd = window;
  // Messages sent while the window goes find no object.
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  window = nullptr;
  EndOpenGesture();
  DestroyTextEntry();
  if (tooltipWindow) DestroyWindow(tooltipWindow);
  tooltipWindow = nullptr;
  tooltipShown = false;
  tooltipIndex = -1;
  if (cursorHidden) RestoreMouseCursor();
  if (destroy) {
    KillTimer(hwnd, kTimerId);
    DestroyWindow(hwnd);
  }
  ReleaseDrawSurface();  // a closed editor keeps no pixels
  ReleaseWindowClass(moduleHandle);
}

// ---- The window procedure ----

LRESULT CALLBACK IGraphicsWin::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // No exception may unwind through the system's frames.
  try {
    if (msg == WM_CREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      const UINT interval = gRedrawRate > 0.0 ? UINT(1000.0 / gRedrawRate) : 40u;
      // The focus stays with the host's window: its shortcuts keep working over the editor.
      SetTimer(hwnd, kTimerId, interval, nullptr);
      return 0;
    }
    auto* self = reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self || hwnd != self->window) return DefWindowProcA(hwnd, msg, wParam, lParam);
    IEditorCallbackScope keepAlive(self->GetPlugin());
    return self->HandleMessage(msg, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

LRESULT IGraphicsWin::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = window;
  if (msg == WM_DESTROY) {
    // Destroyed by someone else (the host's window went first): forget it.
    ReleaseWindow(false);
    return 0;
  }
  if (entryWindow && (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN ||
                      msg == WM_LBUTTONDBLCLK)) {
    // A click beside the box ends the entry and reaches no control.
    if (tooltipShown) HideTooltip();
    OnClickBesideEntry();
    return 0;
  }
  switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_CLOSE:
      CloseWindow();
      return 0;
    case WM_KEYDOWN:
      return OnKeyDownMessage(wParam, lParam);
    case WM_KEYUP:
    case WM_CHAR:
    case WM_DEADCHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
    case WM_SYSDEADCHAR:
      return ForwardKeyToRoot(hwnd, msg, wParam, lParam);
    case WM_TIMER:
      if (wParam == kTimerId) OnTimerTick();
      return 0;
    case WM_CTLCOLOREDIT:
      if (entryWindow && reinterpret_cast<HWND>(lParam) == entryWindow)
        return EntryColors(reinterpret_cast<HDC>(wParam));
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_COMMAND:
      if (entryWindow && reinterpret_cast<HWND>(lParam) == entryWindow &&
          HIWORD(wParam) == EN_CHANGE)
        ClearEntryWarning();
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(wParam, PanelX(lParam), PanelY(lParam));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      OnButtonDown(PanelX(lParam), PanelY(lParam), ModsFrom(wParam));
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      releasingCapture = true;
      ReleaseCapture();
      releasingCapture = false;
      OnMouseUp(PanelX(lParam), PanelY(lParam), ModsFrom(wParam));
      return 0;
    case WM_CAPTURECHANGED:
      // Someone took the mouse mid-drag: the release will not come here, so the host's edit
      // gesture ends now.
      if (!releasingCapture && reinterpret_cast<HWND>(lParam) != hwnd) EndOpenGesture();
      return 0;
    case WM_LBUTTONDBLCLK:
      OnMouseDoubleClick(PanelX(lParam), PanelY(lParam), ModsFrom(wParam));
      // Delivered as a press (double-click-as-click): the release must come here too.
      if (captureIndex >= 0) SetCapture(hwnd);
      return 0;
    case WM_MOUSEWHEEL:
      OnWheelMessage(wParam, lParam);
      return 0;
    case kDpiChangedAfterParent:
      // Moved to a screen of another density: follow it, unless the host gives its own factor.
      if (!HostGaveDeviceScale()) {
        const double screen = ScreenScale(GetParent(hwnd));
        if (screen > 0.0 && SetDeviceScale(screen, false) && plugin)
          plugin->ResizeEditor(DeviceWidth(), DeviceHeight());
      }
      return 0;
    case WM_MOUSEHOVER:
      ShowTooltipOfHovered();
      return 0;
    case WM_MOUSELEAVE:
      wheelRemainder = 0;
      if (tooltipShown) HideTooltip();
      tooltipShown = false;
      OnMouseOut();
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

void IGraphicsWin::OnButtonDown(int32_t x, int32_t y, const IMouseMods& mods) {
  if (tooltipShown) HideTooltip();
  SetFocus(window);
  SetCapture(window);
  OnMouseDown(x, y, mods);
}

void IGraphicsWin::OnMouseMove(WPARAM wParam, int32_t x, int32_t y) {
  const IMouseMods mods = ModsFrom(wParam);
  if (wParam & (MK_LBUTTON | MK_RBUTTON)) {
    if (GetCapture() == window && !entryWindow) OnMouseDrag(x, y, mods);
    return;
  }
  if (!OnMouseOver(x, y, mods)) return;
  TRACKMOUSEEVENT track = {};
  track.cbSize = sizeof track;
  track.dwFlags = TME_LEAVE;
  track.hwndTrack = window;
  track.dwHoverTime = HOVER_DEFAULT;
  TrackMouseEvent(&track);
  if (tooltipWindow && overIndex != tooltipIndex) {
    tooltipIndex = overIndex;
    if (overIndex >= 0) {
      track.dwFlags = TME_LEAVE | TME_HOVER;
      TrackMouseEvent(&track);
    }
    if (tooltipShown) HideTooltip();
  }
}

void IGraphicsWin::OnWheelMessage(WPARAM wParam, LPARAM lParam) {
  if (entryWindow) {
    entryState = EntryCancel;
    return;
  }
  RECT r = {};
  GetWindowRect(window, &r);
  const int32_t x = ToPanelCoordinate(LowSigned(lParam) - r.left);
  const int32_t y = ToPanelCoordinate(HighSigned(lParam) - r.top);
  // Touchpads and free-spinning wheels send fractions of a notch: they add up, per control, to
  // whole notches; a message that completes none edits nothing.
  const int32_t target = captureIndex >= 0 ? captureIndex : FindTopmostHit(x, y);
  if (target != wheelTarget) wheelRemainder = 0;
  wheelTarget = target;
  wheelRemainder += HighSigned(LPARAM(wParam));
  const int32_t notches = wheelRemainder / WHEEL_DELTA;
  wheelRemainder -= notches * WHEEL_DELTA;
  if (notches != 0) OnMouseWheel(x, y, ModsFrom(wParam & 0xFFFF), notches);
}

LRESULT IGraphicsWin::OnKeyDownMessage(WPARAM wParam, LPARAM lParam) {
  HWND hwnd = window;
  const int32_t key = KeyCodeFromVirtualKey(int32_t(wParam));
  if (key >= 0) {
    POINT p = {};
    GetCursorPos(&p);
    ScreenToClient(hwnd, &p);
    if (OnKeyDown(ToPanelCoordinate(p.x), ToPanelCoordinate(p.y), key)) return 0;
  }
  return ForwardKeyToRoot(hwnd, WM_KEYDOWN, wParam, lParam);
}

void IGraphicsWin::OnTimerTick() {
  TickReadout();
  if (entryWindow && entryState != EntryIdle) {
    if (entryState == EntryCancel || entryState == EntryCommit)
      FinishTextEntry();
    else
      entryState = EntryIdle;
    return;
  }
  IBox panelDirty;
  if (!CollectDirtyRect(&panelDirty)) return;
  const IBox dirty = ToDevice(panelDirty);
  const RECT r = {dirty.L, dirty.T, dirty.R, dirty.B};
  InvalidateRect(window, &r, FALSE);
  if (entryWindow) {
    // The editor does not clip its children: the area under the box is not repainted.
    ValidateRect(window, &entryArea);
    UpdateWindow(window);
    entryState = EntryRedrawn;
  } else {
    UpdateWindow(window);
  }
}

// ---- Painting ----

void IGraphicsWin::OnPaint() {
  RECT update = {};
  const bool any = GetUpdateRect(window, &update, FALSE) && !IsRectEmpty(&update);
  // Every paint begun is ended, also when the core draws nothing (an editor without controls).
  PAINTSTRUCT ps = {};
  paintDC = BeginPaint(window, &ps);
  if (any && paintDC) Draw(ToPanel(IBox{update.left, update.top, update.right, update.bottom}));
  EndPaint(window, &ps);
  paintDC = nullptr;
}

bool IGraphicsWin::PresentRect(const IBox& box) {
  if (!window || !DrawSurface()) return false;
  HDC source = static_cast<HDC>(DrawSurface()->DeviceContext());
  HDC target = paintDC ? paintDC : GetDC(window);
  if (!target) return false;
  const IBox d = ToDevice(box);
  if (source) BitBlt(target, d.L, d.T, d.R - d.L, d.B - d.T, source, d.L, d.T, SRCCOPY);
  if (!paintDC) ReleaseDC(window, target);
  return true;
}

// ---- Resizing ----

void IGraphicsWin::Resize(int32_t newWidth, int32_t newHeight) {
  if (newWidth == width && newHeight == height) return;
  const int32_t oldWidth = DeviceWidth(), oldHeight = DeviceHeight();
  // The box and the tracked tooltip belong to controls the core is about to delete.
  DestroyTextEntry();
  if (tooltipShown) HideTooltip();
  tooltipShown = false;
  tooltipIndex = -1;
  IGraphics::Resize(newWidth, newHeight);
  if (!window) return;

  RECT r = {};
  GetWindowRect(window, &r);
  const int32_t cw = r.right - r.left, ch = r.bottom - r.top;
  auto isPlainChild = [](HWND h) {
    return (GetWindowLongA(h, GWL_STYLE) & WS_CHILD) &&
           !(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_MDICHILD);
  };
  HWND parent = nullptr, grandparent = nullptr;
  RECT pr = {}, gr = {};
  if (isPlainChild(window) && (parent = GetParent(window)) != nullptr) {
    GetWindowRect(parent, &pr);
    if (isPlainChild(parent) && (grandparent = GetParent(parent)) != nullptr)
      GetWindowRect(grandparent, &gr);
  }
  const int32_t dw = DeviceWidth() - oldWidth, dh = DeviceHeight() - oldHeight;
  const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
  SetWindowPos(window, nullptr, 0, 0, cw + dw, ch + dh, flags);
  // Under the VST3 adaptor (1) and API 3 the host resizes its own frames.
  const int32_t api = plugin ? plugin->GetApiCode() : 0;
  if (api != 1 && api != 3) {
    if (parent)
      SetWindowPos(parent, nullptr, 0, 0, pr.right - pr.left + dw, pr.bottom - pr.top + dh, flags);
    if (grandparent)
      SetWindowPos(grandparent, nullptr, 0, 0, gr.right - gr.left + dw, gr.bottom - gr.top + dh,
                   flags);
  }
  const RECT all = {0, 0, DeviceWidth(), DeviceHeight()};
  InvalidateRect(window, &all, FALSE);
}

void IGraphicsWin::DeviceSizeChanged() {
  if (!window) return;
  DestroyTextEntry();  // placed for the old size
  SetWindowPos(window, nullptr, 0, 0, DeviceWidth(), DeviceHeight(),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const RECT all = {0, 0, DeviceWidth(), DeviceHeight()};
  InvalidateRect(window, &all, FALSE);
}

double IGraphicsWin::ScreenScale(void* parent) {
  // GetDpiForWindow where the system has it (Windows 10 1607 on), else the screen's logical DPI.
  using DpiForWindow = UINT(WINAPI*)(HWND);
  HMODULE user = GetModuleHandleA("user32.dll");
  auto dpiForWindow = user ? reinterpret_cast<DpiForWindow>(
                                 reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")))
                           : nullptr;
  UINT dpi = dpiForWindow && parent ? dpiForWindow(static_cast<HWND>(parent)) : 0;
  if (dpi == 0) {
    HDC screen = GetDC(nullptr);
    if (screen) {
      dpi = UINT(GetDeviceCaps(screen, LOGPIXELSX));
      ReleaseDC(nullptr, screen);
    }
  }
  return dpi > 0 ? dpi / 96.0 : 0.0;
}

// ---- Cursor and images ----

void IGraphicsWin::HideMouseCursor() {
  if (cursorHidden) return;
  POINT p = {};
  GetCursorPos(&p);
  hiddenCursorX = p.x;
  hiddenCursorY = p.y;
  ShowCursor(FALSE);
  cursorHidden = true;
}

void IGraphicsWin::RestoreMouseCursor() {
  if (!cursorHidden) return;
  SetCursorPos(hiddenCursorX, hiddenCursorY);
  ShowCursor(TRUE);
  cursorHidden = false;
}

LICE_IBitmap* IGraphicsWin::LoadPlatformBitmap(int32_t resourceId, const char* name) {
  // The "PNG" resource of this module; the image is read in place.
  return LICE_LoadPngResource(moduleHandle, resourceId, name);
}
