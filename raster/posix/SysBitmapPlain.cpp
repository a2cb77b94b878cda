// LICE_SysBitmap without a window system: plain memory with the DIB section's size rules.
#include "../LiceBitmap.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

LICE_SysBitmap::LICE_SysBitmap() = default;

LICE_SysBitmap::~LICE_SysBitmap() {
  Release();
}

void LICE_SysBitmap::Release() {
  std::free(section_);
  section_ = nullptr;
  pixels_ = nullptr;
}

bool LICE_SysBitmap::Resize(int width, int height) {
  if (width == width_ && height == height_) return false;
  width_ = width;
  height_ = height;
  if (width != 0 && height != 0 && width <= allocWidth_ && height <= allocHeight_ && pixels_)
    return true;
  allocHeight_ = height;
  allocWidth_ = int((std::int64_t(width) + 3) & ~std::int64_t(3));
  Release();
  if (allocWidth_ < 1 || height < 1) return false;
  const std::int64_t bytes = std::int64_t(allocWidth_) * height * 4;
  if (bytes <= INT_MAX) {
    // Rounded up to the alignment as aligned_alloc requires.
    section_ = std::aligned_alloc(64, std::size_t((bytes + 63) & ~std::int64_t(63)));
    pixels_ = static_cast<LICE_PixelWord*>(section_);
  }
  if (!pixels_) {
    width_ = 0;
    height_ = 0;
  }
  return true;
}
