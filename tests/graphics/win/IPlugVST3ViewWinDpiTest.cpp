// The shipped BRIMO.vst3 on a 192 dpi screen whose host gives no content scale: the editor opens
// at twice its size from the screen's density, draws what the headless editor draws at 2x, turns
// a knob by panel pixels, not device pixels, and its native size menu resizes it and the host's
// frame.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BRIMO.h"
#include "BundleFixture.h"
#include "IGraphicsHeadless.h"
#include "RecordingHandler.h"
#include "WinTestSupport.h"
#include "pluginterfaces/gui/iplugview.h"

using namespace wintest;
using namespace Steinberg;
using namespace Steinberg::Vst;
using brimo::test::RecordingHandler;
using Size = std::pair<int32, int32>;

namespace {

constexpr DWORD kDpi = 192;
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr int kW = BRIMO::kEditorWidth;
constexpr int kH = BRIMO::kEditorHeight;

// A host frame that takes every size the view asks for, as hosts with resizable frames do.
class Frame final : public IPlugFrame {
public:
  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* size) override {
    asked.push_back({size->getWidth(), size->getHeight()});
    view->onSize(size);
    return kResultOk;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    const bool frame = FUnknownPrivate::iidEqual(iid, IPlugFrame::iid);
    *obj = frame ? this : nullptr;
    return frame ? kResultOk : kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
  std::vector<Size> asked;
};

Size ClientSize(HWND hwnd) {
  RECT r = {};
  GetClientRect(hwnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

Size ViewSize(IPlugView* view) {
  ViewRect r;
  EXPECT_EQ(view->getSize(&r), kResultOk);
  return {r.getWidth(), r.getHeight()};
}

// How many pixels of the window's top-left w x h differ from the headless editor of an in-process
// BRIMO drawn at scale with the controller's parameter values.
size_t DifferencesFromHeadless(HWND editor, IEditController* controller, double scale, int w,
                               int h) {
  const std::vector<uint32_t> shown = Capture(editor, w, h);
  auto* plug = new BRIMO();
  for (int32_t p = 0; p < BRIMO::kNumParams; ++p)
    plug->GetParam(p)->SetNormalized(controller->getParamNormalized(ParamID(p)));
  plug->RedrawParamControls();
  auto* g = dynamic_cast<IGraphicsHeadless*>(plug->GetGraphics());
  size_t n = g && !shown.empty() && g->SetDrawScale(scale) ? 0 : size_t(-1);
  if (n == 0) {
    g->RenderAll();
    LICE_IBitmap* screen = g->Screen();
    if (screen->Width() < w || screen->Height() < h) n = size_t(-1);
    for (int y = 0; n != size_t(-1) && y < h; ++y)
      for (int x = 0; x < w; ++x)
        n += shown[size_t(y * w + x)] !=
             (screen->PixelData()[y * screen->RowSpan() + x] & 0xFFFFFFu);
  }
  plug->release();
  return n;
}

// The native size menu as the user meets it: a thread timer, which the menu's modal loop
// dispatches, reads the open menu and then presses Down `downs` times and Return in it.
struct MenuUser {
  static inline int downs = 0;
  static inline std::vector<std::string> items;  // "*" marks the ticked one
  static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
    HWND menuWindow = FindWindowA("#32768", nullptr);
    if (!menuWindow || !IsWindowVisible(menuWindow)) return;
    KillTimer(nullptr, id);
    constexpr UINT kGetMenu = 0x01E1;  // MN_GETHMENU
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, kGetMenu, 0, 0));
    for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
      char text[64] = {};
      GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION);
      const bool ticked = GetMenuState(menu, UINT(i), MF_BYPOSITION) & MF_CHECKED;
      items.push_back(std::string(text) + (ticked ? "*" : ""));
    }
    for (int i = 0; i < downs; ++i) PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
  }
};

class DenseScreenEditor : public ::testing::Test {
protected:
  void SetUp() override {
    // Room for the editor at 2x; the screen of scripts/test is 1920 x 1200.
    SetWindowPos(GetParent(host), nullptr, 0, 0, 1700, 600, SWP_NOZORDER | SWP_NOACTIVATE);
    plugin = brimo::test::makePlugin();
    ASSERT_NE(plugin, nullptr);
    controller = plugin->controller();
    ASSERT_EQ(controller->setComponentHandler(&handler), kResultOk);
    view = controller->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->setFrame(&frame), kResultOk);
  }
  void TearDown() override {
    if (view) view->release();
    plugin.reset();
    DestroyWindow(host);
    // The size the menu chose is remembered for the user: the next test starts from 100 %.
    char folder[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
      DeleteFileA((std::string(folder) + "\\BRIMO\\settings.ini").c_str());
  }
  HWND Attach() {
    EXPECT_EQ(view->attached(host, kPlatformTypeHWND), kResultOk);
    return FindWindowExA(host, nullptr, IGraphicsWin::kWindowClass, nullptr);
  }
  void Send(HWND editor, UINT msg, WPARAM wParam, int x, int y) {
    SendMessageA(editor, msg, wParam, MAKELPARAM(x, y));
  }

  HWND host = MakeHostWindow(0, 0, 1700, 600);
  std::unique_ptr<brimo::host::Plugin> plugin;
  IEditController* controller = nullptr;
  IPlugView* view = nullptr;
  RecordingHandler handler;
  Frame frame;
};

TEST_F(DenseScreenEditor, OpensAtTwiceItsSizeAndDrawsAsTheHeadlessEditorAt2x) {
  // A host sizes its frame before attaching: the view learns the screen only then and asks again.
  EXPECT_EQ(ViewSize(view), Size(kW, kH));
  HWND editor = Attach();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(ClientSize(editor), Size(1580, 498));
  EXPECT_EQ(ViewSize(view), Size(1580, 498));
  EXPECT_EQ(frame.asked, std::vector<Size>{Size(1580, 498)});
  ASSERT_EQ(Pump(editor, 1), 1);
  EXPECT_EQ(DifferencesFromHeadless(editor, controller, 2.0, 1580, 498), 0u);
}

TEST_F(DenseScreenEditor, ADragTurnsAKnobByPanelPixels) {
  HWND editor = Attach();
  ASSERT_NE(editor, nullptr);
  // "Low Boost" is 92 panel px high with gearing 4: 46 device px up are 23 panel px, 1/16.
  Send(editor, WM_LBUTTONDOWN, MK_LBUTTON, 400, 120);
  Send(editor, WM_MOUSEMOVE, MK_LBUTTON, 400, 74);
  Send(editor, WM_MOUSEMOVE, MK_LBUTTON, 400, 28);
  Send(editor, WM_LBUTTONUP, 0, 400, 28);
  const ParamID low = BRIMO::kLowBoost;
  EXPECT_EQ(handler.TakeEdits(),
            (std::vector<RecordingHandler::Edit>{
                {'b', low, 0}, {'p', low, 0.0625}, {'p', low, 0.125}, {'e', low, 0}}));
}

TEST_F(DenseScreenEditor, TheNativeSizeMenuResizesTheEditorAndTheHostsFrame) {
  HWND editor = Attach();
  ASSERT_NE(editor, nullptr);
  frame.asked.clear();
  ASSERT_EQ(Pump(editor, 1), 1);
  MenuUser::downs = 4;  // from no selection to the fourth item
  MenuUser::items.clear();
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, MenuUser::Tick);
  // The bare panel at (20, 200).
  Send(editor, WM_RBUTTONDOWN, MK_RBUTTON, 40, 400);
  Send(editor, WM_RBUTTONUP, 0, 40, 400);
  KillTimer(nullptr, timer);
  EXPECT_EQ(MenuUser::items,
            (std::vector<std::string>{"75 %", "100 %*", "125 %", "150 %", "175 %", "200 %"}));
  // 150 % of the device's 2x: wider than the screen, so only the part in the host is compared.
  EXPECT_EQ(frame.asked, std::vector<Size>{Size(2370, 747)});
  EXPECT_EQ(ClientSize(editor), Size(2370, 747));
  EXPECT_EQ(ViewSize(view), Size(2370, 747));
  ASSERT_EQ(Pump(editor, 1), 1);
  EXPECT_EQ(DifferencesFromHeadless(editor, controller, 3.0, 1700, 600), 0u);
  EXPECT_TRUE(handler.TakeEdits().empty());
}

// At 192 dpi the tests run; otherwise the program sets its prefix's screen to 192 dpi and starts
// itself again, since Wine reads the density once per process. The value is put back afterwards.
int RunAgainAtTheDensity() {
  if (GetEnvironmentVariableA("BRIMO_DPI_RESTARTED", nullptr, 0) > 0) {
    std::fprintf(stderr, "the screen is not at %lu dpi after setting the registry\n", kDpi);
    return 1;
  }
  SetEnvironmentVariableA("BRIMO_DPI_RESTARTED", "1");
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return 1;
  DWORD before = 0, size = sizeof before;
  const bool had = RegQueryValueExA(key, "LogPixels", nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(&before), &size) == ERROR_SUCCESS;
  RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kDpi), sizeof kDpi);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  DWORD code = 1;
  if (CreateProcessA(nullptr, GetCommandLineA(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (had)
    RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&before),
                   sizeof before);
  else
    RegDeleteValueA(key, "LogPixels");
  RegCloseKey(key);
  return int(code);
}

}  // namespace

int main(int argc, char** argv) {
  SetProcessDPIAware();  // as hosts do: an unaware process is told 96 dpi
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  if (dpi != int(kDpi)) return RunAgainAtTheDensity();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
