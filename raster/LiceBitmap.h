// Bitmaps of the raster library.
//
// Every image is an array of 32-bit pixel words 0xAARRGGBB (bytes B, G, R, A in memory, straight
// alpha). Rows are RowSpan() pixels apart; the pixels past Width() in a row are padding.
// Bitmaps carry no locks: one thread uses a bitmap at a time.
#pragma once

#include <cstdint>

using LICE_PixelWord = std::uint32_t;

// Opaque native handles; on Windows these are HDC / HBITMAP / HGDIOBJ.
using LICE_DeviceContext = void*;

struct LICE_RECT {
  int left;
  int top;
  int right;
  int bottom;
};

class LICE_IBitmap {
public:
  virtual ~LICE_IBitmap() = default;
  virtual LICE_PixelWord* PixelData() = 0;  // first pixel of the first stored row, or null
  virtual int Width() = 0;
  virtual int Height() = 0;
  virtual int RowSpan() = 0;  // in pixels
  virtual bool RowsBottomUp() { return false; }
  // False when nothing changed, true when dimensions or storage changed.
  virtual bool Resize(int width, int height) = 0;
  virtual LICE_DeviceContext DeviceContext() { return nullptr; }
  virtual std::intptr_t ExtensionQuery(int code, void* argument) {
    (void)code;
    (void)argument;
    return 0;
  }
};

// Pixels in heap memory, 64-byte aligned, rows padded to a multiple of 4 pixels. The block grows
// with 25 % headroom and never shrinks while the bitmap has a size.
class LICE_MemBitmap : public LICE_IBitmap {
public:
  LICE_MemBitmap() = default;
  ~LICE_MemBitmap() override;
  LICE_MemBitmap(const LICE_MemBitmap&) = delete;
  LICE_MemBitmap& operator=(const LICE_MemBitmap&) = delete;

  LICE_PixelWord* PixelData() override;
  int Width() override { return width_; }
  int Height() override { return height_; }
  int RowSpan() override { return (width_ + rowMask_) & ~rowMask_; }
  bool Resize(int width, int height) override;

  int Capacity() const { return capacity_; }  // usable bytes of the block

private:
  void* block_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int capacity_ = 0;
  int rowMask_ = 3;
};

// The bitmap native drawing can target. On Windows its pixels are a top-down DIB section selected
// into a memory device context; elsewhere they are plain memory with the same size and row-span
// rules and DeviceContext() answers null. A size that fits in the current allocation keeps it.
class LICE_SysBitmap : public LICE_IBitmap {
public:
  LICE_SysBitmap();
  ~LICE_SysBitmap() override;
  LICE_SysBitmap(const LICE_SysBitmap&) = delete;
  LICE_SysBitmap& operator=(const LICE_SysBitmap&) = delete;

  LICE_PixelWord* PixelData() override { return pixels_; }
  int Width() override { return width_; }
  int Height() override { return height_; }
  int RowSpan() override { return allocWidth_; }
  bool Resize(int width, int height) override;
  LICE_DeviceContext DeviceContext() override { return dc_; }

private:
  void Release();

  int width_ = 0;
  int height_ = 0;
  LICE_DeviceContext dc_ = nullptr;
  LICE_PixelWord* pixels_ = nullptr;
  int allocWidth_ = 0;
  int allocHeight_ = 0;
  void* section_ = nullptr;                     // HBITMAP on Windows, the heap block elsewhere
  [[maybe_unused]] void* displaced_ = nullptr;  // what selecting the section displaced (Windows)
};
