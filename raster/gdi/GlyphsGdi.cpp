// Glyph rasteriser and native text drawing on GDI.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "../LiceGlyphRasteriser.h"

LICE_FontHandle LICE_CreateFont(int height, int escapement, int weight, bool italic, int quality,
                                const char* face) {
  return CreateFontA(height, 0, escapement, escapement, weight, italic ? TRUE : FALSE, FALSE, FALSE,
                     0, 0, 0, DWORD(quality), 0, face ? face : "");
}

void lice_glyphs::DestroyFont(LICE_FontHandle font) {
  DeleteObject(static_cast<HFONT>(font));
}

void lice_glyphs::PrepareGlyphScratch(LICE_IBitmap* scratch) {
  HDC dc = static_cast<HDC>(scratch->DeviceContext());
  if (!dc) return;
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(0, 0, 0));
}

int lice_glyphs::LineHeight(LICE_FontHandle font, LICE_IBitmap* scratch) {
  HDC dc = static_cast<HDC>(scratch->DeviceContext());
  if (!dc) return 0;
  HGDIOBJ previous = SelectObject(dc, static_cast<HFONT>(font));
  TEXTMETRICA metrics = {};
  const BOOL ok = GetTextMetricsA(dc, &metrics);
  SelectObject(dc, previous);
  return ok ? int(metrics.tmHeight) : 0;
}

void lice_glyphs::RasteriseGlyph(LICE_FontHandle font, LICE_IBitmap* scratch, int code, int margin,
                                 int* width, int* height) {
  *width = *height = 0;
  HDC dc = static_cast<HDC>(scratch->DeviceContext());
  if (!dc) return;
  HGDIOBJ previous = SelectObject(dc, static_cast<HFONT>(font));
  wchar_t ch = wchar_t(code);
  RECT box = {0, 0, 0, 0};
  DrawTextW(dc, &ch, 1, &box, DT_NOPREFIX | DT_CALCRECT | DT_SINGLELINE);
  const int w = int(box.right), h = int(box.bottom);
  GdiFlush();  // GDI may batch; the pixels are written directly below
  LICE_FillArea(scratch, 0, 0, w + 2 * margin, h, 0, 1.0f, ComposeCopy);
  RECT at = {margin, 0, margin + w, h};
  DrawTextW(dc, &ch, 1, &at, DT_NOPREFIX | DT_NOCLIP | DT_SINGLELINE);
  GdiFlush();
  SelectObject(dc, previous);
  *width = w;
  *height = h;
}

bool lice_glyphs::NativeDrawingAvailable() {
  return true;
}

bool lice_glyphs::RunningUnderWine() {
  static int answer = -1;  // open until first asked
  if (answer < 0) {
    HKEY key = nullptr;
    answer = RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Wine", &key) == ERROR_SUCCESS ? 1 : 0;
    if (key) RegCloseKey(key);
  }
  return answer == 1;
}

namespace {

COLORREF ToColorRef(LICE_PixelWord c) {
  return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

bool HasUtf8Sequence(const unsigned char* p, const unsigned char* end) {
  auto cont = [&](const unsigned char* q) { return (!end || q < end) && *q >= 0x80 && *q <= 0xBF; };
  for (; end ? p < end : *p != 0; ++p) {
    if (*p >= 0xC2 && *p <= 0xDF && cont(p + 1)) return true;
    if (*p >= 0xE0 && *p <= 0xEF && cont(p + 1) && cont(p + 2)) return true;
    if (*p >= 0xF0 && *p <= 0xF4 && cont(p + 1) && cont(p + 2)) return true;
  }
  return false;
}

// Draws or measures in dc, as UTF-16 when the text holds UTF-8, else as the bytes themselves.
int DrawInContext(HDC dc, const char* text, int length, RECT* rect, UINT flags) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  if (HasUtf8Sequence(bytes, length >= 0 ? bytes + length : nullptr)) {
    wchar_t local[1024];
    std::vector<wchar_t> heap;
    const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (needed > 0) {
      wchar_t* buffer = local;
      int capacity = 1024;
      if (needed > 999) {
        heap.resize(std::size_t(needed) + 32);
        buffer = heap.data();
        capacity = int(heap.size());
      }
      int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, buffer, capacity);
      if (n > 0) {
        if (length < 0) --n;  // the converted NUL
        return DrawTextW(dc, buffer, n, rect, flags);
      }
    }
  }
  return DrawTextA(dc, text, length, rect, flags);
}

}  // namespace

int lice_glyphs::NativeRenderText(const NativeText& a) {
  const UINT flags = UINT(a.flags) | DT_NOPREFIX;
  HFONT font = static_cast<HFONT>(a.font);
  HDC dc = a.dest ? static_cast<HDC>(a.dest->DeviceContext()) : nullptr;
  if (dc) {
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextColor(dc, ToColorRef(a.foreground));
    SetBkMode(dc, a.backgroundMode);
    if (a.backgroundMode == OPAQUE) SetBkColor(dc, ToColorRef(a.background));
    RECT r = {a.rect->left, a.rect->top, a.rect->right, a.rect->bottom};
    const int result = DrawInContext(dc, a.text, a.length, &r, flags);
    if (flags & DT_CALCRECT) *a.rect = {int(r.left), int(r.top), int(r.right), int(r.bottom)};
    SelectObject(dc, previous);
    GdiFlush();
    return result;
  }

  // No device context: draw in the shared text scratch bitmap and compose the result back.
  LICE_SysBitmap*& scratch = *a.textScratch;
  if (!scratch) {
    scratch = new LICE_SysBitmap;
    scratch->Resize(4, 4);
  }
  HDC sdc = static_cast<HDC>(scratch->DeviceContext());
  if (!sdc) return 0;
  HGDIOBJ previous = SelectObject(sdc, font);
  RECT measured = {0, 0, 0, 0};
  const UINT align = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM;
  DrawInContext(sdc, a.text, a.length, &measured, (flags & ~align) | DT_CALCRECT);
  const int mw = int(measured.right), mh = int(measured.bottom);
  if (flags & DT_CALCRECT) {
    SelectObject(sdc, previous);
    a.rect->right = a.rect->left + mw;
    a.rect->bottom = a.rect->top + mh;
    return mh;
  }
  if (!a.dest || !a.dest->PixelData()) {
    SelectObject(sdc, previous);
    return 0;
  }
  int x = a.rect->left, y = a.rect->top;
  if (flags & DT_CENTER)
    x = a.rect->left + (a.rect->right - mw - a.rect->left) / 2;
  else if (flags & DT_RIGHT)
    x = a.rect->right - mw;
  if (flags & DT_VCENTER)
    y = a.rect->top + (a.rect->bottom - mh - a.rect->top) / 2;
  else if (flags & DT_BOTTOM)
    y = a.rect->bottom - mh;

  const int margin = 4;  // room for glyphs that overhang their cell on the left
  LICE_RECT area = {x - margin, y, x + mw, y + mh};
  area.left = std::max(area.left, 0);
  area.top = std::max(area.top, 0);
  area.right = std::min(area.right, a.dest->Width());
  area.bottom = std::min(area.bottom, a.dest->Height());
  if (!(flags & DT_NOCLIP)) {
    area.left = std::max(area.left, a.rect->left);
    area.top = std::max(area.top, a.rect->top);
    area.right = std::min(area.right, a.rect->right);
    area.bottom = std::min(area.bottom, a.rect->bottom);
  }
  const int aw = area.right - area.left, ah = area.bottom - area.top;
  if (aw <= 0 || ah <= 0) {
    SelectObject(sdc, previous);
    return 0;
  }
  if (scratch->Width() < aw || scratch->Height() < ah) {
    SelectObject(sdc, previous);
    scratch->Resize(std::max(scratch->Width(), aw), std::max(scratch->Height(), ah));
    sdc = static_cast<HDC>(scratch->DeviceContext());
    previous = SelectObject(sdc, font);
  }
  GdiFlush();
  LICE_ComposeRect(scratch, a.dest, 0, 0, &area, 1.0f, ComposeCopy);
  SetTextColor(sdc, ToColorRef(a.foreground));
  SetBkMode(sdc, a.backgroundMode);
  if (a.backgroundMode == OPAQUE) SetBkColor(sdc, ToColorRef(a.background));
  RECT r = {x - area.left, y - area.top, x - area.left + mw, y - area.top + mh};
  const int result = DrawInContext(sdc, a.text, a.length, &r, (flags & ~align) | DT_NOCLIP);
  GdiFlush();
  SelectObject(sdc, previous);
  LICE_RECT back = {0, 0, aw, ah};
  LICE_ComposeRect(a.dest, scratch, area.left, area.top, &back, a.weight, ComposeCopy);
  return result;
}
