// The blit and the fill against a plain per-pixel reference of each formula, on random pixels,
// weights and rectangles, plus a few hand-computed pixels that pin the reference itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "LiceBlit.h"

namespace {

// A bitmap that stores its rows bottom-up, to check the routines honour RowsBottomUp().
class BottomUpBitmap : public LICE_MemBitmap {
public:
  bool RowsBottomUp() override { return true; }
};

using Px = std::array<int, 4>;  // B, G, R, A

std::uint8_t* At(LICE_IBitmap* bm, int x, int y) {
  const int stored = bm->RowsBottomUp() ? bm->Height() - 1 - y : y;
  return reinterpret_cast<std::uint8_t*>(bm->PixelData()) + (stored * bm->RowSpan() + x) * 4;
}

// Whole storage, padding included, so writes outside the window are caught too.
std::vector<std::uint8_t> Snapshot(LICE_IBitmap* bm) {
  if (!bm->PixelData()) return {};
  const auto* p = reinterpret_cast<const std::uint8_t*>(bm->PixelData());
  return {p, p + std::size_t(bm->RowSpan()) * bm->Height() * 4};
}

void Restore(LICE_IBitmap* bm, const std::vector<std::uint8_t>& bytes) {
  if (!bytes.empty()) std::memcpy(bm->PixelData(), bytes.data(), bytes.size());
}

int Clamp(int v) {
  return std::clamp(v, 0, 255);
}
int Level(float weight) {
  return int(double(weight) * 256.0);
}

// The hue adjustment, transcribed step by step.
void RefHue(std::uint8_t* d, int sr, int sg, int sb, int L, int alpha) {
  int inv[256];
  inv[0] = 0;
  for (int x = 1; x < 256; ++x) inv[x] = (65536 - x) / x;
  const int r = d[2], g = d[1], b = d[0];
  int top, base, n, span;
  if (g > r && g > b) {
    top = g;
    base = 128;
    n = b - r;
    span = g - std::min(r, b);
  } else if (g > r && g <= b) {
    top = b;
    base = 256;
    n = r - g;
    span = b - r;
  } else if (g <= r && r > b) {
    top = r;
    base = g < b ? 383 : 0;
    n = g - b;
    span = r - std::min(g, b);
  } else {
    top = b;
    base = 256;
    n = r - g;
    span = b - g;
  }
  int sat = (inv[top] * span) / 256;
  int hue = base + ((inv[span] + 1) * n) / 1024;
  hue += ((sr + sr / 2 - 192) * L) / 256;
  if (hue < 0) hue += 384;
  if (hue > 383) hue -= 384;
  sat = Clamp(sat + ((sg - 128) * L) / 128);
  int val = Clamp(top + ((sb - 128) * L) / 128);
  int low = ((256 - sat) * val) / 256;
  auto ramp = [&](int k) { return ((k * sat + 16384) * val) / 16384; };
  int R, G, B;
  if (hue < 64) {
    R = val;
    G = ramp(hue - 64);
    B = low;
  } else if (hue < 128) {
    R = ramp(64 - hue);
    G = val;
    B = low;
  } else if (hue < 192) {
    R = low;
    G = val;
    B = ramp(hue - 192);
  } else if (hue < 256) {
    R = low;
    G = ramp(192 - hue);
    B = val;
  } else if (hue < 320) {
    R = ramp(hue - 320);
    G = low;
    B = val;
  } else {
    R = val;
    G = low;
    B = ramp(320 - hue);
  }
  d[0] = std::uint8_t(B);
  d[1] = std::uint8_t(G);
  d[2] = std::uint8_t(R);
  d[3] = std::uint8_t(alpha);
}

int RefDodge(int d, int s, int ia) {
  int k = 256 - (s * ia) / 256;
  return k > 1 ? Clamp((d * 256) / k) : Clamp(d * 256);
}
int RefSoft(int d, int s, int ia) {
  int t = s * ia + (256 - ia) * 128;
  return Clamp(((((32768 - t) * d) / 256 + t) * d) >> 15);
}

// One destination pixel of the blit; `weight` is the call's weight.
void RefBlitPixel(std::uint8_t* d, const std::uint8_t* s, float weight, int mode) {
  const int low = mode & 0xFF;
  if (low >= 0xF0) {
    d[(low >> 2) & 3] = s[low & 3];
    return;
  }
  const bool useAlpha = mode & ComposeUseSourceAlpha;
  const int ia = Level(weight);
  const int sa = s[3];
  if (!useAlpha) {
    switch (low) {
      case 0:
        if (weight == 1.0f) {
          std::memcpy(d, s, 4);
          return;
        }
        if (weight == 0.5f) {
          for (int c = 0; c < 4; ++c) d[c] = std::uint8_t(d[c] / 2 + s[c] / 2);
          return;
        }
        if (ia <= 0) return;
        for (int c = 0; c < 4; ++c) d[c] = std::uint8_t(s[c] + ((d[c] - s[c]) * (256 - ia)) / 256);
        return;
      case 1:
        for (int c = 0; c < 4; ++c) d[c] = std::uint8_t(Clamp(d[c] + (s[c] * ia) / 256));
        return;
      case 2:
        for (int c = 0; c < 4; ++c) d[c] = std::uint8_t(RefDodge(d[c], s[c], ia));
        return;
      case 3:
        for (int c = 0; c < 4; ++c) d[c] = std::uint8_t(((ia * (s[c] - 256) + 65536) * d[c]) >> 16);
        return;
      case 4:
        for (int c = 0; c < 4; ++c) d[c] = std::uint8_t(RefSoft(d[c], s[c], ia));
        return;
      case 5:
        RefHue(d, s[2], s[1], s[0], ia, sa);
        return;
    }
    return;
  }
  const int w = ((sa + 1) * ia) / 256;
  switch (low) {
    case 0:
      if (sa == 0) return;
      if (ia == 256) {
        if (sa == 255) {
          d[0] = s[0];
          d[1] = s[1];
          d[2] = s[2];
          d[3] = 255;
          return;
        }
        d[3] = std::uint8_t(std::min(d[3] + sa, 255));
        for (int c = 0; c < 3; ++c) d[c] = std::uint8_t(s[c] + ((d[c] - s[c]) * (255 - sa)) / 256);
        return;
      }
      d[3] = std::uint8_t(std::min(d[3] + w, 255));
      for (int c = 0; c < 3; ++c) d[c] = std::uint8_t(s[c] + ((d[c] - s[c]) * (256 - w)) / 256);
      return;
    case 1:
      if (sa == 0) return;
      for (int c = 0; c < 3; ++c) d[c] = std::uint8_t(Clamp(d[c] + (s[c] * w) / 256));
      d[3] = std::uint8_t(Clamp(d[3] + (sa * w) / 256));
      return;
    case 2:
      for (int c = 0; c < 4; ++c) d[c] = std::uint8_t(RefDodge(d[c], s[c], w));
      return;
    case 3: {
      if (sa == 0) return;
      const int base = (256 - w) * 256;
      for (int c = 0; c < 3; ++c) d[c] = std::uint8_t(((w * s[c] + base) * d[c]) >> 16);
      d[3] = std::uint8_t(((w * sa + base) * d[3]) >> 16);
      return;
    }
    case 4:
      for (int c = 0; c < 4; ++c) d[c] = std::uint8_t(RefSoft(d[c], s[c], w));
      return;
    case 5:
      RefHue(d, s[2], s[1], s[0], w, sa);
      return;
  }
}

// The blit as a per-destination-pixel loop: each destination pixel looks up the source pixel
// that the translation puts there and checks it lies inside the source rectangle and bitmap.
void RefComposeRect(LICE_IBitmap* dest, LICE_IBitmap* src, int destX, int destY,
                    const LICE_RECT* rect, float weight, int mode) {
  if (weight == 0.0f || !dest->PixelData() || !src->PixelData()) return;
  const int left = rect ? rect->left : 0, top = rect ? rect->top : 0;
  const int right = rect ? rect->right : src->Width(), bottom = rect ? rect->bottom : src->Height();
  for (int y = 0; y < dest->Height(); ++y)
    for (int x = 0; x < dest->Width(); ++x) {
      const long sx = long(x) - destX + left, sy = long(y) - destY + top;
      if (sx < std::max(left, 0) || sy < std::max(top, 0) || sx >= std::min(right, src->Width()) ||
          sy >= std::min(bottom, src->Height()))
        continue;
      RefBlitPixel(At(dest, x, y), At(src, int(sx), int(sy)), weight, mode);
    }
}

void RefFill(LICE_IBitmap* bm, int x, int y, int w, int h, LICE_PixelWord colour, float weight,
             int mode) {
  if (mode & ComposeUseSourceAlpha) weight *= float(colour >> 24) / 255.0f;
  if (weight == 0.0f || !bm->PixelData()) return;
  const int ia = Level(weight);
  const int c[3] = {int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF)};
  const int low = mode & 0xFF;
  for (int py = std::max(y, 0); py < std::min(y + h, bm->Height()); ++py)
    for (int px = std::max(x, 0); px < std::min(x + w, bm->Width()); ++px) {
      std::uint8_t* d = At(bm, px, py);
      std::uint32_t word;
      std::memcpy(&word, d, 4);
      const std::uint8_t* cb = reinterpret_cast<const std::uint8_t*>(&colour);
      if (low == 0 && (ia == 256 || ia == 128 || ia == 64 || ia == 192)) {
        // The whole-word shortcuts, byte by byte: floor-halves and quarters.
        for (int k = 0; k < 4; ++k) {
          const int p = d[k], q = cb[k];
          d[k] = std::uint8_t(ia == 256   ? q
                              : ia == 128 ? q / 2 + p / 2
                              : ia == 64  ? p / 2 + p / 4 + q / 4
                                          : p / 4 + q / 4 + q / 2);
        }
        continue;
      }
      if (ia == 0) continue;
      switch (low) {
        case 0:
          for (int k = 0; k < 3; ++k)
            d[k] = std::uint8_t(c[k] + ((d[k] - c[k]) * (256 - ia)) / 256);
          d[3] = std::uint8_t(ia + ((d[3] - ia) * (256 - ia)) / 256);
          break;
        case 1:
          for (int k = 0; k < 3; ++k) d[k] = std::uint8_t(Clamp(d[k] + (c[k] * ia) / 256));
          d[3] = std::uint8_t(Clamp(d[3] + (ia * ia) / 256));
          break;
        case 2:
          for (int k = 0; k < 3; ++k) d[k] = std::uint8_t(RefDodge(d[k], c[k], ia));
          d[3] = std::uint8_t(RefDodge(d[3], ia, ia));
          break;
        case 3:
          for (int k = 0; k < 3; ++k)
            d[k] = std::uint8_t((d[k] * (ia * c[k] + (256 - ia) * 256)) >> 16);
          d[3] = std::uint8_t((d[3] * (ia * ia + (256 - ia) * 256)) >> 16);
          break;
        case 4:
          for (int k = 0; k < 3; ++k) d[k] = std::uint8_t(RefSoft(d[k], c[k], ia));
          d[3] = std::uint8_t(RefSoft(d[3], ia, ia));
          break;
        case 5:
          RefHue(d, c[2], c[1], c[0], ia, ia & 0xFF);
          break;
      }
    }
}

void FillRandom(LICE_IBitmap* bm, std::mt19937& rng) {
  if (!bm->PixelData()) return;
  auto* p = reinterpret_cast<std::uint8_t*>(bm->PixelData());
  const std::size_t n = std::size_t(bm->RowSpan()) * bm->Height() * 4;
  // Bias some alphas to 0 and 255 so the source-alpha shortcuts are exercised.
  for (std::size_t i = 0; i < n; ++i) {
    int v = int(rng() & 0xFF);
    if (i % 4 == 3 && (rng() % 3) == 0) v = (rng() & 1) ? 255 : 0;
    p[i] = std::uint8_t(v);
  }
}

std::unique_ptr<LICE_IBitmap> MakeBitmap(std::mt19937& rng, bool allowEmpty) {
  std::unique_ptr<LICE_IBitmap> bm;
  if (rng() % 4 == 0)
    bm = std::make_unique<BottomUpBitmap>();
  else
    bm = std::make_unique<LICE_MemBitmap>();
  const int w = allowEmpty && rng() % 12 == 0 ? 0 : 1 + int(rng() % 23);
  const int h = allowEmpty && rng() % 12 == 0 ? 0 : 1 + int(rng() % 17);
  bm->Resize(w, h);
  FillRandom(bm.get(), rng);
  return bm;
}

float PickWeight(std::mt19937& rng) {
  static const float special[] = {0.0f, 0.001f, 0.5f, 1.0f, 0.25f, 0.75f, 1.0f / 256.0f, 0.999f};
  if (rng() % 2) return special[rng() % 8];
  return float(rng() % 10001) / 10000.0f;
}

int PickMode(std::mt19937& rng) {
  const int r = int(rng() % 20);
  if (r < 12) return (r % 6) | ((rng() & 1) ? ComposeUseSourceAlpha : 0);
  if (r < 17) return (0xF0 + int(rng() % 16)) | (rng() & 1 ? 0x12300 : 0);
  if (r == 17) return 6;  // not a mode: draws nothing
  if (r == 18) return 0x7F | ComposeUseSourceAlpha;
  return (int(rng() % 6) | 0x5500);  // unread high bits are ignored
}

TEST(ComposeRect, MatchesReferenceOnRandomWindowsModesAndWeights) {
  std::mt19937 rng(20240601);
  for (int iter = 0; iter < 6000; ++iter) {
    auto dest = MakeBitmap(rng, true);
    auto src = MakeBitmap(rng, true);
    const int mode = PickMode(rng);
    const float weight = PickWeight(rng);
    const int destX = int(rng() % 40) - 20, destY = int(rng() % 30) - 15;
    LICE_RECT rect;
    rect.left = int(rng() % 40) - 15;
    rect.top = int(rng() % 30) - 10;
    rect.right = rect.left + int(rng() % 45) - 5;
    rect.bottom = rect.top + int(rng() % 35) - 5;
    const bool useRect = rng() % 3 != 0;

    const auto before = Snapshot(dest.get());
    RefComposeRect(dest.get(), src.get(), destX, destY, useRect ? &rect : nullptr, weight, mode);
    const auto expected = Snapshot(dest.get());
    Restore(dest.get(), before);
    LICE_ComposeRect(dest.get(), src.get(), destX, destY, useRect ? &rect : nullptr, weight, mode);
    ASSERT_EQ(Snapshot(dest.get()), expected)
        << "iteration " << iter << " mode " << std::hex << mode << std::dec << " weight " << weight
        << " dest " << destX << "," << destY << " rect " << (useRect ? 1 : 0) << " " << rect.left
        << "," << rect.top << "," << rect.right << "," << rect.bottom;
  }
}

TEST(FillArea, MatchesReferenceOnRandomRectanglesModesAndWeights) {
  std::mt19937 rng(77);
  for (int iter = 0; iter < 6000; ++iter) {
    auto bm = MakeBitmap(rng, true);
    int mode = int(rng() % 7) | ((rng() & 1) ? ComposeUseSourceAlpha : 0);
    float weight = PickWeight(rng);
    if (rng() % 4 == 0) weight = float(64 * (1 + rng() % 4)) / 256.0f;  // the whole-word levels
    const LICE_PixelWord colour = LICE_PixelWord(rng()) | ((rng() & 1) ? 0xFF000000u : 0u);
    const int x = int(rng() % 40) - 15, y = int(rng() % 30) - 10;
    const int w = int(rng() % 40) - 5, h = int(rng() % 30) - 5;

    const auto before = Snapshot(bm.get());
    RefFill(bm.get(), x, y, w, h, colour, weight, mode);
    const auto expected = Snapshot(bm.get());
    Restore(bm.get(), before);
    LICE_FillArea(bm.get(), x, y, w, h, colour, weight, mode);
    ASSERT_EQ(Snapshot(bm.get()), expected)
        << "iteration " << iter << " mode " << mode << " weight " << weight << " at " << x << ","
        << y << " " << w << "x" << h;
  }
}

LICE_PixelWord Word(int b, int g, int r, int a) {
  return LICE_PixelWord(b | g << 8 | r << 16 | a << 24);
}

struct OnePixel {
  LICE_MemBitmap dest, src;
  OnePixel(LICE_PixelWord d, LICE_PixelWord s) {
    dest.Resize(1, 1);
    src.Resize(1, 1);
    *dest.PixelData() = d;
    *src.PixelData() = s;
  }
  LICE_PixelWord Blit(float weight, int mode) {
    LICE_ComposeRect(&dest, &src, 0, 0, nullptr, weight, mode);
    return *dest.PixelData();
  }
};

TEST(ComposeRect, HandComputedPixels) {
  const int over = ComposeCopy | ComposeUseSourceAlpha;
  EXPECT_EQ(OnePixel(Word(200, 100, 50, 255), Word(0, 0, 255, 128)).Blit(1.0f, over),
            Word(99, 49, 154, 255));
  EXPECT_EQ(OnePixel(Word(1, 2, 3, 4), Word(9, 9, 9, 0)).Blit(1.0f, over), Word(1, 2, 3, 4));
  EXPECT_EQ(OnePixel(Word(1, 2, 3, 4), Word(9, 8, 7, 255)).Blit(1.0f, over), Word(9, 8, 7, 255));
  // Opaque source at half weight: half the colour kept, alpha raised by 128.
  EXPECT_EQ(OnePixel(Word(100, 100, 100, 50), Word(0, 0, 0, 255)).Blit(0.5f, over),
            Word(50, 50, 50, 178));
  EXPECT_EQ(OnePixel(0x03030303, 0x01010101).Blit(0.5f, ComposeCopy), 0x01010101u);
  EXPECT_EQ(OnePixel(0x11223344, 0x55667788).Blit(0.001f, ComposeCopy), 0x11223344u);
  // Channel copy 0xF6: source red into destination green, nothing else.
  EXPECT_EQ(OnePixel(0x11223344, 0xAABBCCDD).Blit(0.3f, 0xF6), 0x1122BB44u);
}

TEST(ComposeRect, NegativeDestinationSkipsSourceColumnsAndRows) {
  LICE_MemBitmap src, dest;
  src.Resize(6, 5);
  dest.Resize(6, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) src.PixelData()[y * src.RowSpan() + x] = LICE_PixelWord(y * 16 + x);
  LICE_FillArea(&dest, 0, 0, 6, 5, 0xDEADBEEF, 1.0f, ComposeCopy);
  LICE_ComposeRect(&dest, &src, -3, -2, nullptr, 1.0f, ComposeCopy);
  EXPECT_EQ(dest.PixelData()[0], LICE_PixelWord(2 * 16 + 3));
  EXPECT_EQ(dest.PixelData()[2 * dest.RowSpan() + 2], LICE_PixelWord(4 * 16 + 5));
  EXPECT_EQ(dest.PixelData()[2 * dest.RowSpan() + 3], 0xDEADBEEFu);
  EXPECT_EQ(dest.PixelData()[3 * dest.RowSpan()], 0xDEADBEEFu);
}

TEST(ComposeRect, AbsentBitmapsAndOutOfRangeWeightsAreHarmless) {
  LICE_MemBitmap a, b, empty;
  a.Resize(4, 4);
  b.Resize(4, 4);
  LICE_ComposeRect(nullptr, &b, 0, 0, nullptr, 1.0f, ComposeCopy);
  LICE_ComposeRect(&a, nullptr, 0, 0, nullptr, 1.0f, ComposeCopy);
  LICE_ComposeRect(&a, &empty, 0, 0, nullptr, 1.0f, ComposeCopy);
  LICE_FillArea(nullptr, 0, 0, 4, 4, 0, 1.0f, ComposeCopy);
  // Weights far outside [0, 1] and NaN must not overflow (run under the sanitizers).
  for (float w : {1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN(), 17.0f})
    for (int mode = 0; mode < 6; ++mode) {
      LICE_ComposeRect(&a, &b, 0, 0, nullptr, w, mode);
      LICE_ComposeRect(&a, &b, 0, 0, nullptr, w, mode | ComposeUseSourceAlpha);
      LICE_FillArea(&a, 0, 0, 4, 4, 0x80FF7F01, w, mode);
    }
  LICE_ComposeRect(&a, &b, INT32_MIN, INT32_MAX, nullptr, 1.0f, ComposeCopy);
  LICE_RECT huge = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  LICE_ComposeRect(&a, &b, 2, 2, &huge, 1.0f, ComposeCopy);
  LICE_FillArea(&a, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0, 1.0f, ComposeCopy);
}

// The blending modes on single pixels, worked out by hand from the formulas (independent of the
// per-pixel reference above). Several cases only come out right when ÷256 truncates toward zero.
TEST(ComposeRect, HandComputedBlendModes) {
  // Add at ia 128: each channel gains half the source, alpha by half the source alpha.
  EXPECT_EQ(OnePixel(Word(200, 100, 50, 10), Word(100, 200, 60, 128)).Blit(0.5f, ComposeAdd),
            Word(250, 200, 80, 74));
  // Dodge at ia 256: k = 128 doubles, k = 1 saturates, k = 256 keeps, k = 192 gives 133.
  EXPECT_EQ(OnePixel(Word(100, 100, 100, 100), Word(128, 255, 0, 64)).Blit(1.0f, ComposeDodge),
            Word(200, 255, 100, 133));
  // Multiply at ia 256: 128 halves, 0 blacks out, 255 takes 255/256 (rounded down).
  EXPECT_EQ(OnePixel(Word(200, 100, 50, 255), Word(128, 0, 255, 255)).Blit(1.0f, ComposeMultiply),
            Word(100, 0, 49, 254));
  // Soft light at ia 256: a source of 128 leaves the channel; 200 lifts 100 to 134 (the ÷256 of
  // a negative product truncates toward zero), 0 lowers 200 to 156, alpha 255 lifts 50 to 89.
  EXPECT_EQ(OnePixel(Word(100, 100, 200, 50), Word(200, 128, 0, 255)).Blit(1.0f, ComposeSoftLight),
            Word(134, 100, 156, 89));

  // Hue adjustment of (R, G, B) = (200, 100, 50): top 200, base 0, n 50, span 150, sat 191,
  // hue 21. A neutral source (128, 128, 128) gives it back through the sector formulas as
  // (200, 99, 50); the alpha comes from the source.
  EXPECT_EQ(OnePixel(Word(50, 100, 200, 255), Word(128, 128, 128, 77)).Blit(1.0f, ComposeHueAdjust),
            Word(50, 99, 200, 77));
  // Red 255 turns the hue by 190 to 211: (R, G, B) = (low 50, ramp(-19) 155, val 200).
  EXPECT_EQ(
      OnePixel(Word(50, 100, 200, 255), Word(128, 128, 255, 255)).Blit(1.0f, ComposeHueAdjust),
      Word(200, 155, 50, 255));
  // Red 0 turns it by -192 to -171, brought back to 213: (50, ramp(-21) 151, 200).
  EXPECT_EQ(OnePixel(Word(50, 100, 200, 255), Word(128, 128, 0, 255)).Blit(1.0f, ComposeHueAdjust),
            Word(200, 151, 50, 255));
  // Full saturation and a brighter value: sat 255, val 255, hue 211: (0, ramp(-19) 179, 255).
  EXPECT_EQ(
      OnePixel(Word(50, 100, 200, 255), Word(192, 255, 255, 255)).Blit(1.0f, ComposeHueAdjust),
      Word(255, 179, 0, 255));
  // Level 100 with red 1: (-191 x 100) ÷256 = -74 (not -75), hue 331: (200, 50, ramp(-11) 174).
  EXPECT_EQ(OnePixel(Word(50, 100, 200, 255), Word(128, 128, 1, 255))
                .Blit(100.0f / 256.0f, ComposeHueAdjust),
            Word(174, 50, 200, 255));
  // With source alpha 127 at ia 128 the level is (128 x 128) ÷256 = 64: hue 21 + 47 = 68, in the
  // second sector: (ramp(-4) 190, 200, 50), alpha 127.
  EXPECT_EQ(OnePixel(Word(50, 100, 200, 255), Word(128, 128, 255, 127))
                .Blit(0.5f, ComposeHueAdjust | ComposeUseSourceAlpha),
            Word(50, 200, 190, 127));
}

TEST(FillArea, HandComputedBlendModes) {
  auto fill = [](LICE_PixelWord pixel, LICE_PixelWord colour, float weight, int mode) {
    LICE_MemBitmap bm;
    bm.Resize(1, 1);
    *bm.PixelData() = pixel;
    LICE_FillArea(&bm, 0, 0, 1, 1, colour, weight, mode);
    return *bm.PixelData();
  };
  // Copy at ia 76: colour channels mix toward the colour, alpha toward 76 itself; both ÷256 of a
  // negative product truncate toward zero (255 - 179 = 76, 76 - 46 = 30).
  EXPECT_EQ(fill(Word(0, 200, 100, 10), Word(255, 0, 100, 0), 0.3f, ComposeCopy),
            Word(76, 140, 100, 30));
  // Add at ia 128: alpha gains (128 x 128) ÷256 = 64.
  EXPECT_EQ(fill(Word(250, 0, 100, 100), Word(10, 20, 30, 0), 0.5f, ComposeAdd),
            Word(255, 10, 115, 164));
  // The colour's alpha scales the weight: 1.0 x 128 / 255 gives ia 128, the halving shortcut.
  EXPECT_EQ(fill(Word(100, 50, 0, 200), Word(0, 100, 255, 128), 1.0f,
                 ComposeCopy | ComposeUseSourceAlpha),
            Word(50, 75, 127, 164));
  // Hue adjustment with a neutral colour at ia 256: the colour comes back as by the blit, and the
  // alpha byte is the low 8 bits of 256.
  EXPECT_EQ(fill(Word(50, 100, 200, 255), Word(128, 128, 128, 255), 1.0f, ComposeHueAdjust),
            Word(50, 99, 200, 0));
}

TEST(FillArea, ClearsWholeBitmapToZero) {
  LICE_MemBitmap bm;
  bm.Resize(7, 3);
  std::memset(bm.PixelData(), 0xAB, std::size_t(bm.RowSpan()) * 3 * 4);
  LICE_FillArea(&bm, 0, 0, 7, 3, 0, 1.0f, ComposeCopy);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 7; ++x) EXPECT_EQ(bm.PixelData()[y * bm.RowSpan() + x], 0u);
    EXPECT_EQ(bm.PixelData()[y * bm.RowSpan() + 7], 0xABABABABu);  // padding untouched
  }
}

}  // namespace
