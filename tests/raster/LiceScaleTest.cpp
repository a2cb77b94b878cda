// The resampler against a reference that integrates the source directly for each destination
// pixel (box filter when shrinking, bilinear when enlarging) in double precision, plus the
// properties the editor relies on: exact identity copies, film-strip frames that never mix,
// opaque edges that transparent neighbours do not darken, and clipping.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "LiceScale.h"

namespace {

class BottomUpBitmap : public LICE_MemBitmap {
public:
  bool RowsBottomUp() override { return true; }
};

std::uint8_t* At(LICE_IBitmap* bm, int x, int y) {
  const int stored = bm->RowsBottomUp() ? bm->Height() - 1 - y : y;
  return reinterpret_cast<std::uint8_t*>(bm->PixelData()) + (stored * bm->RowSpan() + x) * 4;
}

LICE_PixelWord WordAt(LICE_IBitmap* bm, int x, int y) {
  LICE_PixelWord w;
  std::memcpy(&w, At(bm, x, y), 4);
  return w;
}

// Whole storage, padding included, so stray writes are caught too.
std::vector<std::uint8_t> Snapshot(LICE_IBitmap* bm) {
  if (!bm->PixelData()) return {};
  const auto* p = reinterpret_cast<const std::uint8_t*>(bm->PixelData());
  return {p, p + std::size_t(bm->RowSpan()) * bm->Height() * 4};
}

// Random pixels, a third of the alphas forced to 0 or 255 as in skin images.
void FillRandom(LICE_IBitmap* bm, std::mt19937& rng) {
  auto* p = reinterpret_cast<std::uint8_t*>(bm->PixelData());
  const std::size_t n = std::size_t(bm->RowSpan()) * bm->Height() * 4;
  for (std::size_t i = 0; i < n; ++i) {
    int v = int(rng() & 0xFF);
    if (i % 4 == 3 && rng() % 3 == 0) v = (rng() & 1) ? 255 : 0;
    p[i] = std::uint8_t(v);
  }
}

void Fill(LICE_IBitmap* bm, LICE_PixelWord colour) {
  for (int y = 0; y < bm->Height(); ++y)
    for (int x = 0; x < bm->Width(); ++x) std::memcpy(At(bm, x, y), &colour, 4);
}

// Weight of source pixel j in destination pixel i along an axis of S source and D destination
// pixels. Shrinking: the overlap of the footprint [i, i + 1) * S / D with [j, j + 1), over the
// footprint's length. Enlarging: the tent around the centre (i + 0.5) * S / D - 0.5, clamped to
// the run. Rounding slivers of floating point are not weights.
double AxisWeight(int i, int j, int S, int D) {
  const double scale = double(S) / double(D);
  double w;
  if (D < S) {
    const double overlap = std::min((i + 1) * scale, j + 1.0) - std::max(i * scale, double(j));
    w = overlap / scale;
  } else {
    const double u = std::clamp((i + 0.5) * scale - 0.5, 0.0, S - 1.0);
    w = 1.0 - std::abs(u - j);
  }
  return w > 1e-9 ? w : 0.0;
}

// Destination pixel (i, k) of src's rectangle r resampled to dw x dh, before rounding: channels
// B, G, R, A, colours the alpha-weighted mean (0 where there is no alpha at all).
std::array<double, 4> RefPixel(LICE_IBitmap* src, const LICE_RECT& r, int dw, int dh, int i,
                               int k) {
  const int sw = r.right - r.left, sh = r.bottom - r.top;
  std::array<double, 4> sum = {0, 0, 0, 0};
  for (int j = 0; j < sh; ++j)
    for (int m = 0; m < sw; ++m) {
      const double w = AxisWeight(i, m, sw, dw) * AxisWeight(k, j, sh, dh);
      if (w == 0) continue;
      const std::uint8_t* p = At(src, r.left + m, r.top + j);
      for (int c = 0; c < 3; ++c) sum[c] += w * p[3] * p[c];
      sum[3] += w * p[3];
    }
  for (int c = 0; c < 3; ++c) sum[c] = sum[3] > 0 ? sum[c] / sum[3] : 0;
  return sum;
}

std::unique_ptr<LICE_IBitmap> Make(int w, int h, bool bottomUp) {
  std::unique_ptr<LICE_IBitmap> bm;
  if (bottomUp)
    bm = std::make_unique<BottomUpBitmap>();
  else
    bm = std::make_unique<LICE_MemBitmap>();
  bm->Resize(w, h);
  return bm;
}

struct ScaleCase {
  const char* name;
  int sw, sh, dw, dh;
};

// Rounded to nearest, every channel equals the reference except where the exact value is a tie
// (k + 0.5), which weights like 1/4 and 1/6 make common: the reference computes positions as
// S / D in floating point and sums in 2-D order, the resampler uses exact fractions and sums by
// rows then columns, so a tie may round either way. Elsewhere the match is exact.
TEST(ScaledBlit, MatchesDirectIntegrationAtEveryScale) {
  const ScaleCase cases[] = {
      {"0.5", 40, 30, 20, 15},
      {"0.75", 40, 28, 30, 21},
      {"1.5", 20, 14, 30, 21},
      {"1.75", 16, 12, 28, 21},
      {"2", 10, 8, 20, 16},
      {"3", 9, 7, 27, 21},
      {"0.37", 100, 54, 37, 20},
      {"shrink x, grow y", 30, 10, 17, 23},
      {"grow x, shrink y", 11, 40, 25, 13},
      {"x only", 25, 20, 25, 13},
      {"to one pixel", 13, 9, 1, 1},
      {"from one pixel", 1, 1, 5, 4},
  };
  std::mt19937 rng(1729);
  int ties = 0;
  for (const ScaleCase& c : cases) {
    for (bool bottomUp : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (bottomUp ? " bottom-up" : ""));
      // The rectangles sit inside larger bitmaps so that offsets are exercised.
      auto src = Make(c.sw + 7, c.sh + 5, bottomUp);
      auto dest = Make(c.dw + 4, c.dh + 3, !bottomUp);
      FillRandom(src.get(), rng);
      FillRandom(dest.get(), rng);
      const LICE_RECT from = {3, 2, 3 + c.sw, 2 + c.sh};
      const LICE_RECT to = {1, 2, 1 + c.dw, 2 + c.dh};
      const auto before = Snapshot(dest.get());
      LICE_ScaledBlit(dest.get(), src.get(), &to, &from);

      for (int y = 0; y < dest->Height(); ++y)
        for (int x = 0; x < dest->Width(); ++x) {
          const bool inside = x >= to.left && x < to.right && y >= to.top && y < to.bottom;
          const std::uint8_t* got = At(dest.get(), x, y);
          if (!inside) {
            const auto offset = got - reinterpret_cast<std::uint8_t*>(dest->PixelData());
            ASSERT_EQ(std::memcmp(got, before.data() + offset, 4), 0)
                << "outside " << x << "," << y;
            continue;
          }
          const auto want = RefPixel(src.get(), from, c.dw, c.dh, x - to.left, y - to.top);
          for (int ch = 0; ch < 4; ++ch) {
            const double exact = want[ch];
            if (got[ch] == std::lround(exact)) continue;
            const bool tie = std::abs(exact - std::floor(exact) - 0.5) < 1e-6;
            ASSERT_TRUE(tie && std::abs(got[ch] - exact) < 0.5 + 1e-6)
                << "pixel " << x << "," << y << " channel " << ch << ": " << int(got[ch]) << " for "
                << exact;
            ++ties;
          }
        }
    }
  }
  RecordProperty("ties rounded the other way", ties);
}

TEST(ScaledBlit, EqualSizesCopyEveryPixelExactly) {
  std::mt19937 rng(5);
  for (bool bottomUp : {false, true}) {
    auto src = Make(23, 17, bottomUp);
    auto dest = Make(23, 17, !bottomUp);
    FillRandom(src.get(), rng);  // including transparent pixels with colours
    LICE_ScaledBlit(dest.get(), src.get(), nullptr, nullptr);
    for (int y = 0; y < 17; ++y)
      for (int x = 0; x < 23; ++x) ASSERT_EQ(WordAt(dest.get(), x, y), WordAt(src.get(), x, y));

    // A part of the source onto an equally sized part elsewhere.
    const LICE_RECT from = {4, 3, 15, 12}, to = {9, 1, 20, 10};
    LICE_ScaledBlit(dest.get(), src.get(), &to, &from);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 11; ++x)
        ASSERT_EQ(WordAt(dest.get(), 9 + x, 1 + y), WordAt(src.get(), 4 + x, 3 + y));
  }
}

// Two flat frames stacked: every resampled pixel of a frame is exactly that frame's colour.
TEST(ResampleFrames, FramesNeverMix) {
  const LICE_PixelWord top = 0xFF2060A0, bottom = 0x80C04010;
  LICE_MemBitmap strip;
  strip.Resize(12, 20);
  Fill(&strip, bottom);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) std::memcpy(At(&strip, x, y), &top, 4);

  const int sizes[][2] = {{9, 7}, {18, 15}, {5, 4}, {36, 30}, {20, 3}, {4, 25}, {12, 10}, {1, 1}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1]);
    std::unique_ptr<LICE_MemBitmap> out(LICE_ResampleFrames(&strip, 2, size[0], size[1]));
    ASSERT_TRUE(out);
    ASSERT_EQ(out->Width(), size[0]);
    ASSERT_EQ(out->Height(), 2 * size[1]);
    for (int y = 0; y < out->Height(); ++y)
      for (int x = 0; x < out->Width(); ++x)
        ASSERT_EQ(WordAt(out.get(), x, y), y < size[1] ? top : bottom) << x << "," << y;
  }
}

TEST(ResampleFrames, BadArgumentsGiveNull) {
  LICE_MemBitmap strip, empty;
  strip.Resize(8, 20);
  struct {
    LICE_IBitmap* source;
    int frames, w, h;
  } const cases[] = {
      {nullptr, 1, 4, 4},
      {&empty, 1, 4, 4},
      {&strip, 0, 4, 4},
      {&strip, -2, 4, 4},
      {&strip, 3, 4, 4},
      {&strip, 2, 0, 4},
      {&strip, 2, 4, -1},
      {&strip, 21, 4, 4},
      {&strip, 2, 4, INT_MAX / 2 + 1},  // the total height would not fit
  };
  for (const auto& c : cases) {
    std::unique_ptr<LICE_MemBitmap> out(LICE_ResampleFrames(c.source, c.frames, c.w, c.h));
    EXPECT_FALSE(out) << c.frames << " frames " << c.w << "x" << c.h;
  }
}

// An opaque block on transparent black: alpha weighting keeps every visible pixel the block's
// colour, however the edge is filtered.
TEST(ScaledBlit, TransparentNeighboursDoNotDarkenOpaqueEdges) {
  const LICE_PixelWord colour = 0xFFC08040;
  LICE_MemBitmap src;
  src.Resize(16, 16);
  Fill(&src, 0);
  for (int y = 4; y < 12; ++y)
    for (int x = 5; x < 11; ++x) std::memcpy(At(&src, x, y), &colour, 4);

  const int sizes[][2] = {{12, 12}, {24, 24}, {6, 7}, {28, 9}};
  for (const auto& size : sizes) {
    LICE_MemBitmap dest;
    dest.Resize(size[0], size[1]);
    LICE_ScaledBlit(&dest, &src, nullptr, nullptr);
    int partial = 0;
    for (int y = 0; y < size[1]; ++y)
      for (int x = 0; x < size[0]; ++x) {
        const LICE_PixelWord got = WordAt(&dest, x, y);
        if (got >> 24 == 0) {
          ASSERT_EQ(got, 0u);
          continue;
        }
        ASSERT_EQ(got & 0xFFFFFF, colour & 0xFFFFFF)
            << size[0] << "x" << size[1] << " at " << x << "," << y;
        partial += got >> 24 != 255;
      }
    EXPECT_GT(partial, 0) << "the edge should be filtered";
  }
}

TEST(ScaledBlit, EmptyOrOutsideRectanglesDrawNothing) {
  std::mt19937 rng(9);
  LICE_MemBitmap src, dest, empty;
  src.Resize(12, 9);
  dest.Resize(10, 8);
  FillRandom(&src, rng);
  FillRandom(&dest, rng);
  const auto before = Snapshot(&dest);
  const LICE_RECT all = {0, 0, 10, 8};
  struct {
    LICE_IBitmap* dest;
    LICE_IBitmap* src;
    LICE_RECT to, from;
  } const cases[] = {
      {&dest, &src, {2, 2, 2, 6}, {0, 0, 12, 9}},    // empty destination
      {&dest, &src, {5, 5, 3, 7}, {0, 0, 12, 9}},    // inverted destination
      {&dest, &src, {10, 0, 20, 8}, {0, 0, 12, 9}},  // right of the destination
      {&dest, &src, {-6, -4, 0, 0}, {0, 0, 12, 9}},  // above and left of it
      {&dest, &src, all, {3, 3, 3, 8}},              // empty source
      {&dest, &src, all, {12, 0, 20, 9}},            // right of the source
      {&dest, &src, all, {-5, -5, 0, 0}},            // above and left of it
      {&dest, &empty, all, {0, 0, 12, 9}},           // source without pixels
      {&dest, nullptr, all, {0, 0, 12, 9}},
  };
  for (const auto& c : cases) {
    LICE_ScaledBlit(c.dest, c.src, &c.to, &c.from);
    ASSERT_EQ(Snapshot(&dest), before)
        << "to " << c.to.left << "," << c.to.top << " from " << c.from.left << "," << c.from.top;
  }
  LICE_ScaledBlit(nullptr, &src, nullptr, nullptr);
  LICE_ScaledBlit(&empty, &src, nullptr, nullptr);
  EXPECT_EQ(empty.PixelData(), nullptr);
}

// A destination rectangle reaching past the bitmap keeps its mapping and draws only what is
// inside; a source rectangle reaching past the source is cut to it first.
TEST(ScaledBlit, ClipsToBothBitmaps) {
  std::mt19937 rng(11);
  LICE_MemBitmap src, dest, whole;
  src.Resize(12, 9);
  dest.Resize(10, 8);
  whole.Resize(15, 13);
  FillRandom(&src, rng);
  FillRandom(&dest, rng);
  const LICE_RECT shifted = {-3, -2, 12, 11}, full = {0, 0, 15, 13};
  LICE_ScaledBlit(&whole, &src, &full, nullptr);
  auto expected = Snapshot(&dest);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x)
      std::memcpy(expected.data() + (y * dest.RowSpan() + x) * 4, At(&whole, x + 3, y + 2), 4);
  LICE_ScaledBlit(&dest, &src, &shifted, nullptr);
  EXPECT_EQ(Snapshot(&dest), expected);

  const LICE_RECT beyond = {-4, -3, 8, 6}, cut = {0, 0, 8, 6};
  LICE_ScaledBlit(&whole, &src, &full, &cut);
  LICE_ScaledBlit(&dest, &src, &shifted, &beyond);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(WordAt(&dest, x, y), WordAt(&whole, x + 3, y + 2));

  // Enormous and mostly clipped: the visible pixels all sample about the source's centre.
  const LICE_RECT huge = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  LICE_ScaledBlit(&dest, &src, &huge, nullptr);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(WordAt(&dest, x, y), WordAt(&dest, 0, 0));
}

}  // namespace
