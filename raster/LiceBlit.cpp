#include "LiceBlit.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "LicePixelOps.h"

namespace lice_ops {

namespace {
struct InverseTable {
  int v[256];
  InverseTable() {
    v[0] = 0;
    for (int x = 1; x < 256; ++x) v[x] = (65536 - x) / x;
  }
};
const InverseTable kInverse;
}  // namespace

void HueAdjust(std::uint8_t* d, int sr, int sg, int sb, int level, std::uint8_t alpha) {
  const int b = d[0], g = d[1], r = d[2];
  int top, base, n, span;
  if (g > r && g > b) {
    top = g, base = 128, n = b - r, span = g - std::min(r, b);
  } else if (g > r) {
    top = b, base = 256, n = r - g, span = b - r;
  } else if (r > b) {
    top = r, base = g < b ? 383 : 0, n = g - b, span = r - std::min(g, b);
  } else {
    top = b, base = 256, n = r - g, span = b - g;
  }
  int sat = (kInverse.v[top] * span) / 256;
  int hue = base + ((kInverse.v[span] + 1) * n) / 1024;

  hue += ((sr + sr / 2 - 192) * level) / 256;
  if (hue < 0)
    hue += 384;
  else if (hue >= 384)
    hue -= 384;
  // Only levels far above full weight can leave the range after one turn; keep the sector valid.
  hue = ((hue % 384) + 384) % 384;
  sat = Clamp255(sat + ((sg - 128) * level) / 128);
  const int val = Clamp255(top + ((sb - 128) * level) / 128);

  const int low = ((256 - sat) * val) / 256;
  auto ramp = [&](int k) { return ((k * sat + 16384) * val) / 16384; };
  int R, G, B;
  if (hue < 64) {
    R = val, G = ramp(hue - 64), B = low;
  } else if (hue < 128) {
    R = ramp(64 - hue), G = val, B = low;
  } else if (hue < 192) {
    R = low, G = val, B = ramp(hue - 192);
  } else if (hue < 256) {
    R = low, G = ramp(192 - hue), B = val;
  } else if (hue < 320) {
    R = ramp(hue - 320), G = low, B = val;
  } else {
    R = val, G = low, B = ramp(320 - hue);
  }
  d[0] = std::uint8_t(B);
  d[1] = std::uint8_t(G);
  d[2] = std::uint8_t(R);
  d[3] = alpha;
}

}  // namespace lice_ops

namespace {

using lice_ops::Clamp255;

// Stored address of image row r: top-down bitmaps store row r at r, bottom-up ones at H - 1 - r.
struct RowCursor {
  std::uint8_t* row;
  std::ptrdiff_t step;  // bytes
};

RowCursor Rows(LICE_IBitmap* bm, int firstRow) {
  const std::ptrdiff_t span = std::ptrdiff_t(bm->RowSpan()) * 4;
  auto* base = reinterpret_cast<std::uint8_t*>(bm->PixelData());
  if (bm->RowsBottomUp()) return {base + (bm->Height() - 1 - firstRow) * span, -span};
  return {base + firstRow * span, span};
}

struct Window {
  RowCursor dst, src;
  int cols, rows;
  int dstX, srcX;
};

template <typename PixelFn>
void EachPixel(const Window& w, PixelFn fn) {
  std::uint8_t* drow = w.dst.row + std::ptrdiff_t(w.dstX) * 4;
  const std::uint8_t* srow = w.src.row + std::ptrdiff_t(w.srcX) * 4;
  for (int y = 0; y < w.rows; ++y, drow += w.dst.step, srow += w.src.step) {
    std::uint8_t* d = drow;
    const std::uint8_t* s = srow;
    for (int x = 0; x < w.cols; ++x, d += 4, s += 4) fn(d, s);
  }
}

template <typename WordFn>
void EachWord(const Window& w, WordFn fn) {
  std::uint8_t* drow = w.dst.row + std::ptrdiff_t(w.dstX) * 4;
  const std::uint8_t* srow = w.src.row + std::ptrdiff_t(w.srcX) * 4;
  for (int y = 0; y < w.rows; ++y, drow += w.dst.step, srow += w.src.step) {
    auto* d = reinterpret_cast<std::uint32_t*>(drow);
    auto* s = reinterpret_cast<const std::uint32_t*>(srow);
    for (int x = 0; x < w.cols; ++x) d[x] = fn(d[x], s[x]);
  }
}

void CopyWithSourceAlpha(const Window& w, int ia) {
  if (ia == 256) {
    // The editor's default draw: transparent pixels are skipped, opaque ones stored directly.
    EachPixel(w, [](std::uint8_t* d, const std::uint8_t* s) {
      const int sa = s[3];
      if (sa == 0) return;
      if (sa == 255) {
        std::memcpy(d, s, 4);  // the source word already carries alpha 255
        return;
      }
      const int keep = 255 - sa;
      d[0] = lice_ops::MixByte(d[0], s[0], keep);
      d[1] = lice_ops::MixByte(d[1], s[1], keep);
      d[2] = lice_ops::MixByte(d[2], s[2], keep);
      d[3] = std::uint8_t(std::min(d[3] + sa, 255));
    });
    return;
  }
  EachPixel(w, [ia](std::uint8_t* d, const std::uint8_t* s) {
    const int sa = s[3];
    if (sa == 0) return;
    const int wt = ((sa + 1) * ia) / 256;
    const int keep = 256 - wt;
    d[0] = lice_ops::MixByte(d[0], s[0], keep);
    d[1] = lice_ops::MixByte(d[1], s[1], keep);
    d[2] = lice_ops::MixByte(d[2], s[2], keep);
    d[3] = std::uint8_t(std::min(d[3] + wt, 255));
  });
}

}  // namespace

void LICE_ComposeRect(LICE_IBitmap* dest, LICE_IBitmap* source, int destX, int destY,
                      const LICE_RECT* sourceRect, float weight, ComposeMode mode) {
  if (!dest || !source || weight == 0.0f) return;
  // 64-bit so extreme coordinates cannot overflow while clipping.
  std::int64_t dx = destX, dy = destY, sx, sy, ex, ey;
  const std::int64_t sw = source->Width(), sh = source->Height();
  if (sourceRect) {
    sx = sourceRect->left;
    sy = sourceRect->top;
    if (sx < 0) dx -= sx, sx = 0;
    if (sy < 0) dy -= sy, sy = 0;
    ex = std::min<std::int64_t>(sourceRect->right, sw);
    ey = std::min<std::int64_t>(sourceRect->bottom, sh);
  } else {
    sx = sy = 0;
    ex = sw;
    ey = sh;
  }
  if (dx < 0) sx -= dx, dx = 0;
  if (dy < 0) sy -= dy, dy = 0;
  const std::int64_t dw = dest->Width(), dh = dest->Height();
  if (ex <= sx || ey <= sy || dx >= dw || dy >= dh) return;
  ex = std::min(ex, sx + dw - dx);
  ey = std::min(ey, sy + dh - dy);
  if (ex <= sx || ey <= sy) return;
  if (!dest->PixelData() || !source->PixelData()) return;

  Window w;
  w.cols = int(ex - sx);
  w.rows = int(ey - sy);
  w.dst = Rows(dest, int(dy));
  w.src = Rows(source, int(sy));
  w.dstX = int(dx);
  w.srcX = int(sx);

  const int low = mode & 0xFF;
  if (low >= 0xF0) {
    const int from = low & 3, to = (low >> 2) & 3;
    EachPixel(w, [from, to](std::uint8_t* d, const std::uint8_t* s) { d[to] = s[from]; });
    return;
  }
  if (low > ComposeHueAdjust) return;
  const bool sourceAlpha = (mode & ComposeUseSourceAlpha) != 0;

  if (low == ComposeCopy && !sourceAlpha) {
    if (weight == 1.0f) {
      std::uint8_t* d = w.dst.row + std::ptrdiff_t(w.dstX) * 4;
      const std::uint8_t* s = w.src.row + std::ptrdiff_t(w.srcX) * 4;
      for (int y = 0; y < w.rows; ++y, d += w.dst.step, s += w.src.step)
        std::memcpy(d, s, std::size_t(w.cols) * 4);
      return;
    }
    if (weight == 0.5f) {
      EachWord(w, [](std::uint32_t d, std::uint32_t s) {
        return ((d >> 1) & 0x7F7F7F7Fu) + ((s >> 1) & 0x7F7F7F7Fu);
      });
      return;
    }
  }

  const int ia = lice_ops::WeightLevel(weight);
  using namespace lice_ops;
  if (!sourceAlpha) {
    switch (low) {
      case ComposeCopy:
        if (ia <= 0) return;
        if (ia == 256) {
          EachWord(w, [](std::uint32_t, std::uint32_t s) { return s; });
          return;
        }
        EachPixel(w, [keep = 256 - ia](std::uint8_t* d, const std::uint8_t* s) {
          for (int c = 0; c < 4; ++c) d[c] = MixByte(d[c], s[c], keep);
        });
        return;
      case ComposeAdd:
        EachPixel(w, [ia](std::uint8_t* d, const std::uint8_t* s) {
          for (int c = 0; c < 4; ++c) d[c] = AddByte(d[c], s[c], ia);
        });
        return;
      case ComposeDodge:
        EachPixel(w, [ia](std::uint8_t* d, const std::uint8_t* s) {
          for (int c = 0; c < 4; ++c) d[c] = DodgeByte(d[c], s[c], ia);
        });
        return;
      case ComposeMultiply:
        EachPixel(w, [ia](std::uint8_t* d, const std::uint8_t* s) {
          for (int c = 0; c < 4; ++c) d[c] = MultiplyByte(d[c], s[c], ia);
        });
        return;
      case ComposeSoftLight:
        EachPixel(w, [ia](std::uint8_t* d, const std::uint8_t* s) {
          for (int c = 0; c < 4; ++c) d[c] = SoftLightByte(d[c], s[c], ia);
        });
        return;
      case ComposeHueAdjust:
        EachPixel(w, [ia](std::uint8_t* d, const std::uint8_t* s) {
          HueAdjust(d, s[2], s[1], s[0], ia, s[3]);
        });
        return;
    }
    return;
  }

  auto level = [ia](int sa) { return ((sa + 1) * ia) / 256; };
  switch (low) {
    case ComposeCopy:
      CopyWithSourceAlpha(w, ia);
      return;
    case ComposeAdd:
      EachPixel(w, [level](std::uint8_t* d, const std::uint8_t* s) {
        if (s[3] == 0) return;
        const int wt = level(s[3]);
        for (int c = 0; c < 4; ++c) d[c] = AddByte(d[c], s[c], wt);
      });
      return;
    case ComposeDodge:
      EachPixel(w, [level](std::uint8_t* d, const std::uint8_t* s) {
        const int wt = level(s[3]);
        for (int c = 0; c < 4; ++c) d[c] = DodgeByte(d[c], s[c], wt);
      });
      return;
    case ComposeMultiply:
      EachPixel(w, [level](std::uint8_t* d, const std::uint8_t* s) {
        if (s[3] == 0) return;
        const int wt = level(s[3]);
        for (int c = 0; c < 4; ++c) d[c] = MultiplyByte(d[c], s[c], wt);
      });
      return;
    case ComposeSoftLight:
      EachPixel(w, [level](std::uint8_t* d, const std::uint8_t* s) {
        const int wt = level(s[3]);
        for (int c = 0; c < 4; ++c) d[c] = SoftLightByte(d[c], s[c], wt);
      });
      return;
    case ComposeHueAdjust:
      EachPixel(w, [level](std::uint8_t* d, const std::uint8_t* s) {
        HueAdjust(d, s[2], s[1], s[0], level(s[3]), s[3]);
      });
      return;
  }
}

void LICE_FillArea(LICE_IBitmap* dest, int x, int y, int width, int height, LICE_PixelWord colour,
                   float weight, ComposeMode mode) {
  if (!dest) return;
  if (mode & ComposeUseSourceAlpha) weight *= float(colour >> 24) / 255.0f;
  std::int64_t fx = x, fy = y, fw = width, fh = height;
  if (fx < 0) fw += fx, fx = 0;
  if (fy < 0) fh += fy, fy = 0;
  const std::int64_t bw = dest->Width(), bh = dest->Height();
  if (weight == 0.0f || !dest->PixelData() || dest->RowSpan() == 0 || fw < 1 || fh < 1 ||
      fx >= bw || fy >= bh)
    return;
  fw = std::min(fw, bw - fx);
  fh = std::min(fh, bh - fy);
  if (fw < 1 || fh < 1) return;

  const std::ptrdiff_t span = std::ptrdiff_t(dest->RowSpan()) * 4;
  const std::int64_t firstStored = dest->RowsBottomUp() ? bh - fy - fh : fy;
  std::uint8_t* row =
      reinterpret_cast<std::uint8_t*>(dest->PixelData()) + firstStored * span + fx * 4;
  const int cols = int(fw), rows = int(fh);
  const int ia = lice_ops::WeightLevel(weight);
  const int low = mode & 0xFF;

  auto eachWord = [&](auto fn) {
    std::uint8_t* r = row;
    for (int j = 0; j < rows; ++j, r += span) {
      auto* p = reinterpret_cast<std::uint32_t*>(r);
      for (int i = 0; i < cols; ++i) p[i] = fn(p[i]);
    }
  };
  auto eachPixel = [&](auto fn) {
    std::uint8_t* r = row;
    for (int j = 0; j < rows; ++j, r += span)
      for (int i = 0; i < cols; ++i) fn(r + i * 4);
  };

  const std::uint32_t c = colour;
  if (low == ComposeCopy) {
    switch (ia) {
      case 256:
        eachWord([c](std::uint32_t) { return c; });
        return;
      case 128:
        eachWord(
            [c](std::uint32_t p) { return ((c >> 1) & 0x7F7F7F7Fu) + ((p >> 1) & 0x7F7F7F7Fu); });
        return;
      case 64:
        eachWord([c](std::uint32_t p) {
          return ((p >> 1) & 0x7F7F7F7Fu) + ((p >> 2) & 0x3F3F3F3Fu) + ((c >> 2) & 0x3F3F3F3Fu);
        });
        return;
      case 192:
        eachWord([c](std::uint32_t p) {
          return ((p >> 2) & 0x3F3F3F3Fu) + ((c >> 2) & 0x3F3F3F3Fu) + ((c >> 1) & 0x7F7F7F7Fu);
        });
        return;
    }
  }
  if (ia == 0) return;

  const int cb = c & 0xFF, cg = (c >> 8) & 0xFF, cr = (c >> 16) & 0xFF;
  const int s[4] = {cb, cg, cr, ia};
  using namespace lice_ops;
  switch (low) {
    case ComposeCopy:
      if (ia < 1) return;
      eachPixel([&s, keep = 256 - ia](std::uint8_t* d) {
        for (int k = 0; k < 4; ++k) d[k] = MixByte(d[k], s[k], keep);
      });
      return;
    case ComposeAdd:
      eachPixel([&s, ia](std::uint8_t* d) {
        for (int k = 0; k < 4; ++k) d[k] = AddByte(d[k], s[k], ia);
      });
      return;
    case ComposeDodge:
      eachPixel([&s, ia](std::uint8_t* d) {
        for (int k = 0; k < 4; ++k) d[k] = DodgeByte(d[k], s[k], ia);
      });
      return;
    case ComposeMultiply:
      eachPixel([&s, ia](std::uint8_t* d) {
        for (int k = 0; k < 4; ++k) d[k] = MultiplyByte(d[k], s[k], ia);
      });
      return;
    case ComposeSoftLight:
      eachPixel([&s, ia](std::uint8_t* d) {
        for (int k = 0; k < 4; ++k) d[k] = SoftLightByte(d[k], s[k], ia);
      });
      return;
    case ComposeHueAdjust:
      eachPixel([&](std::uint8_t* d) { HueAdjust(d, cr, cg, cb, ia, std::uint8_t(ia)); });
      return;
  }
}
