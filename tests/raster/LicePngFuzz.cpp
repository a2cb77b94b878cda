// libFuzzer entry for the buffer decoder. The input is copied into a block of exactly its size so
// the address sanitizer sees any read past the given length.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "LicePng.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size ? size : 1]);
  if (size) std::memcpy(copy.get(), data, size);
  LICE_IBitmap* bm = LICE_DecodePngBuffer(copy.get(), int(size));
  if (bm) {
    // Touch every pixel so a bitmap smaller than it claims is caught.
    volatile std::uint32_t sum = 0;
    for (int y = 0; y < bm->Height(); ++y)
      for (int x = 0; x < bm->Width(); ++x) sum = sum + bm->PixelData()[y * bm->RowSpan() + x];
    delete bm;
  }
  return 0;
}
