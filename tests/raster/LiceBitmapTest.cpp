// Size and storage rules of the two bitmap classes.
#include <gtest/gtest.h>

#include <cstdint>

#include "LiceBitmap.h"

namespace {

bool Aligned64(const void* p) {
  return (reinterpret_cast<std::uintptr_t>(p) & 63) == 0;
}

TEST(MemBitmap, SizesRowSpanAndAlignment) {
  LICE_MemBitmap bm;
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_TRUE(bm.Resize(5, 3));
  EXPECT_EQ(bm.Width(), 5);
  EXPECT_EQ(bm.Height(), 3);
  EXPECT_EQ(bm.RowSpan(), 8);
  EXPECT_EQ(bm.Capacity(), 96);
  ASSERT_NE(bm.PixelData(), nullptr);
  EXPECT_TRUE(Aligned64(bm.PixelData()));
  EXPECT_FALSE(bm.RowsBottomUp());
  EXPECT_EQ(bm.DeviceContext(), nullptr);
  EXPECT_EQ(bm.ExtensionQuery(1, nullptr), 0);
  // The whole padded area is writable (checked by the sanitizer builds).
  for (int i = 0; i < bm.RowSpan() * bm.Height(); ++i) bm.PixelData()[i] = LICE_PixelWord(i);
}

TEST(MemBitmap, GrowsWithHeadroomAndNeverShrinks) {
  LICE_MemBitmap bm;
  bm.Resize(8, 8);
  EXPECT_EQ(bm.Capacity(), 256);
  EXPECT_TRUE(bm.Resize(10, 10));  // needs 480
  EXPECT_EQ(bm.Capacity(), 600);
  bm.PixelData()[0] = 0x12345678;
  LICE_PixelWord* before = bm.PixelData();
  EXPECT_TRUE(bm.Resize(8, 8));
  EXPECT_EQ(bm.Capacity(), 600);
  EXPECT_EQ(bm.PixelData(), before);
  EXPECT_EQ(bm.PixelData()[0], 0x12345678u);
  EXPECT_FALSE(bm.Resize(8, 8));
}

TEST(MemBitmap, ZeroNegativeOrHugeSizesLeaveItEmpty) {
  LICE_MemBitmap bm;
  bm.Resize(4, 4);
  EXPECT_TRUE(bm.Resize(0, 10));
  EXPECT_EQ(bm.Width(), 0);
  EXPECT_EQ(bm.Height(), 0);
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_EQ(bm.Capacity(), 0);
  EXPECT_TRUE(bm.Resize(-5, 3));
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_EQ(bm.Width(), 0);
  // Larger than the 32-bit capacity can describe: a failed allocation, not a wrapped size.
  EXPECT_TRUE(bm.Resize(100000, 100000));
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_EQ(bm.Width(), 0);
  EXPECT_EQ(bm.Height(), 0);
}

TEST(SysBitmap, KeepsLargerAllocationWhileSizeFits) {
  LICE_SysBitmap bm;
  EXPECT_TRUE(bm.Resize(401, 200));
  EXPECT_EQ(bm.Width(), 401);
  EXPECT_EQ(bm.Height(), 200);
  EXPECT_EQ(bm.RowSpan(), 404);
  ASSERT_NE(bm.PixelData(), nullptr);
  EXPECT_FALSE(bm.RowsBottomUp());
  LICE_PixelWord* pixels = bm.PixelData();
  pixels[403 + 199 * 404] = 0xCAFEBABE;  // last padded word is inside the allocation
  EXPECT_TRUE(bm.Resize(300, 100));
  EXPECT_EQ(bm.PixelData(), pixels);
  EXPECT_EQ(bm.RowSpan(), 404);
  EXPECT_EQ(bm.Width(), 300);
  EXPECT_FALSE(bm.Resize(300, 100));
  EXPECT_TRUE(bm.Resize(500, 100));  // wider: a new allocation
  EXPECT_EQ(bm.RowSpan(), 500);
#ifdef _WIN32
  EXPECT_NE(bm.DeviceContext(), nullptr);
#else
  EXPECT_EQ(bm.DeviceContext(), nullptr);
#endif
}

TEST(SysBitmap, ZeroSizesReleaseThePixels) {
  LICE_SysBitmap bm;
  EXPECT_FALSE(bm.Resize(0, 0));
  EXPECT_EQ(bm.PixelData(), nullptr);
  bm.Resize(10, 10);
  ASSERT_NE(bm.PixelData(), nullptr);
  EXPECT_FALSE(bm.Resize(0, 50));
  EXPECT_EQ(bm.PixelData(), nullptr);
  EXPECT_TRUE(bm.Resize(3, 3));
  EXPECT_NE(bm.PixelData(), nullptr);
  EXPECT_EQ(bm.RowSpan(), 4);
}

}  // namespace
