#include "LiceBitmap.h"

#include "LicePlatformMemory.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

LICE_MemBitmap::~LICE_MemBitmap() {
  std::free(block_);
}

LICE_PixelWord* LICE_MemBitmap::PixelData() {
  if (!block_) return nullptr;
  auto address = reinterpret_cast<std::uintptr_t>(block_);
  return reinterpret_cast<LICE_PixelWord*>((address + 63) & ~std::uintptr_t(63));
}

bool LICE_MemBitmap::Resize(int width, int height) {
  if (width == width_ && height == height_) return false;
  width_ = width;
  height_ = height;
  // 64-bit so that a huge request fails cleanly instead of wrapping around.
  const std::int64_t needed = std::int64_t(height) * RowSpan() * 4;
  if (needed > INT_MAX - 64) {
    std::free(block_);
    block_ = nullptr;
    capacity_ = 0;
  } else if (needed > 0 && width > 0 && height > 0) {
    if (!block_) {
      capacity_ = int(needed);
      block_ = std::malloc(std::size_t(needed) + 63);
      if (!block_) capacity_ = 0;
      lice_platform::AdviseLargeBlock(block_, std::size_t(needed) + 63);
    } else if (capacity_ < needed) {
      std::int64_t grown = (needed / 4) * 5;
      if (grown > INT_MAX - 64) grown = needed;
      void* moved = std::realloc(block_, std::size_t(grown) + 63);
      if (moved) {
        block_ = moved;
        capacity_ = int(grown);
      } else {
        std::free(block_);
        capacity_ = int(needed);
        block_ = std::malloc(std::size_t(needed) + 63);
        if (!block_) capacity_ = 0;
      }
    }
  } else {
    std::free(block_);
    block_ = nullptr;
    capacity_ = 0;
  }
  if (!block_) {
    width_ = 0;
    height_ = 0;
  }
  return true;
}
