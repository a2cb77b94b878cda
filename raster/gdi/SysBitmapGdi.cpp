// LICE_SysBitmap on Windows: a top-down 32-bit DIB section selected into a memory device context,
// so GDI can draw into the same pixels the raster routines use.
#include "../LiceBitmap.h"

#include <windows.h>

LICE_SysBitmap::LICE_SysBitmap() {
  dc_ = CreateCompatibleDC(nullptr);
}

LICE_SysBitmap::~LICE_SysBitmap() {
  Release();
  if (dc_) DeleteDC(static_cast<HDC>(dc_));
}

void LICE_SysBitmap::Release() {
  if (dc_ && displaced_) SelectObject(static_cast<HDC>(dc_), static_cast<HGDIOBJ>(displaced_));
  displaced_ = nullptr;
  if (section_) DeleteObject(static_cast<HBITMAP>(section_));
  section_ = nullptr;
  pixels_ = nullptr;
}

bool LICE_SysBitmap::Resize(int width, int height) {
  if (!dc_) {
    width_ = height_ = 0;
    pixels_ = nullptr;
    return false;
  }
  if (width == width_ && height == height_) return false;
  width_ = width;
  height_ = height;
  if (width != 0 && height != 0 && width <= allocWidth_ && height <= allocHeight_ && pixels_)
    return true;
  allocHeight_ = height;
  allocWidth_ = int((static_cast<long long>(width) + 3) & ~3LL);
  Release();
  if (allocWidth_ < 1 || height < 1) return false;

  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = allocWidth_;
  header.biHeight = RowsBottomUp() ? height : -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&header),
                                     DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section && bits) {
    section_ = section;
    pixels_ = static_cast<LICE_PixelWord*>(bits);
    displaced_ = SelectObject(static_cast<HDC>(dc_), section);
  } else {
    if (section) DeleteObject(section);
    width_ = height_ = 0;
    pixels_ = nullptr;
  }
  return true;
}
