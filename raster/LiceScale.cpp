#include "LiceScale.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <vector>

namespace {

// Address of image row r; bottom-up bitmaps store it at Height() - 1 - r.
std::uint8_t* RowAt(LICE_IBitmap* bm, std::int64_t r) {
  const std::int64_t stored = bm->RowsBottomUp() ? bm->Height() - 1 - r : r;
  return reinterpret_cast<std::uint8_t*>(bm->PixelData()) + stored * bm->RowSpan() * 4;
}

// Along one axis, the source pixels that one destination pixel draws on: `count` consecutive
// indices from `first`, their weights (summing to 1) at weights[offset, offset + count).
struct Taps {
  std::int64_t first;
  int count;
  std::size_t offset;
};

struct AxisFilter {
  std::vector<Taps> taps;  // for destination pixels from, from + 1, ... of the run
  std::vector<double> weights;

  void Add(std::int64_t first, std::initializer_list<double> w) {
    taps.push_back({first, int(w.size()), weights.size()});
    weights.insert(weights.end(), w);
  }
};

// Filters destination pixels [from, to) of a run of destLength pixels drawn from sourceLength
// source pixels. Positions are kept as exact integer fractions so the weights carry no drift and
// never reach past either end of the source run.
void BuildAxis(AxisFilter& axis, std::int64_t sourceLength, std::int64_t destLength,
               std::int64_t from, std::int64_t to) {
  const std::int64_t S = sourceLength, D = destLength;
  axis.taps.reserve(std::size_t(to - from));
  if (D < S) {
    // Box: in units of 1/D source pixel, destination i covers [i*S, (i+1)*S) and source j covers
    // [j*D, (j+1)*D); each weight is the overlap over the footprint S.
    for (std::int64_t i = from; i < to; ++i) {
      const std::int64_t begin = i * S, end = begin + S;
      const std::int64_t first = begin / D, last = (end - 1) / D;
      axis.taps.push_back({first, int(last - first + 1), axis.weights.size()});
      for (std::int64_t j = first; j <= last; ++j) {
        const std::int64_t overlap = std::min(end, (j + 1) * D) - std::max(begin, j * D);
        axis.weights.push_back(double(overlap) / double(S));
      }
    }
    return;
  }
  // Bilinear between pixel centres: destination i samples source position
  // u = ((2i + 1) * S - D) / (2D), clamped to [0, S - 1]. Unsigned because (2i + 1) * S can pass
  // 2^63 for a huge (mostly clipped) destination.
  const std::uint64_t twoD = 2 * std::uint64_t(D);
  for (std::int64_t i = from; i < to; ++i) {
    const std::uint64_t p = (2 * std::uint64_t(i) + 1) * std::uint64_t(S);
    if (p <= std::uint64_t(D)) {
      axis.Add(0, {1.0});
      continue;
    }
    const std::uint64_t j = (p - std::uint64_t(D)) / twoD, rem = (p - std::uint64_t(D)) % twoD;
    if (j >= std::uint64_t(S - 1)) {
      axis.Add(S - 1, {1.0});
    } else if (rem == 0) {
      axis.Add(std::int64_t(j), {1.0});
    } else {
      const double f = double(rem) / double(twoD);
      axis.Add(std::int64_t(j), {1.0 - f, f});
    }
  }
}

std::uint8_t RoundByte(double v) {
  return std::uint8_t(std::clamp(v + 0.5, 0.0, 255.0));
}

// LICE_ScaledBlit; false only when the working rows could not be allocated.
bool ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* source, const LICE_RECT* destRect,
                const LICE_RECT* sourceRect) {
  if (!dest || !source) return true;
  // 64-bit so that extreme rectangles cannot overflow.
  std::int64_t sl = 0, st = 0, sr = source->Width(), sb = source->Height();
  if (sourceRect) {
    sl = std::max<std::int64_t>(sourceRect->left, 0);
    st = std::max<std::int64_t>(sourceRect->top, 0);
    sr = std::min<std::int64_t>(sourceRect->right, sr);
    sb = std::min<std::int64_t>(sourceRect->bottom, sb);
  }
  std::int64_t dl = 0, dt = 0, dr = dest->Width(), db = dest->Height();
  if (destRect)
    dl = destRect->left, dt = destRect->top, dr = destRect->right, db = destRect->bottom;
  if (sr <= sl || sb <= st || dr <= dl || db <= dt) return true;
  // The drawn part of the destination rectangle.
  const std::int64_t x0 = std::max<std::int64_t>(dl, 0),
                     x1 = std::min<std::int64_t>(dr, dest->Width());
  const std::int64_t y0 = std::max<std::int64_t>(dt, 0),
                     y1 = std::min<std::int64_t>(db, dest->Height());
  if (x1 <= x0 || y1 <= y0 || !dest->PixelData() || !source->PixelData()) return true;

  const std::int64_t sw = sr - sl, sh = sb - st, dw = dr - dl, dh = db - dt;
  if (sw == dw && sh == dh) {
    const std::size_t bytes = std::size_t(x1 - x0) * 4;
    for (std::int64_t y = y0; y < y1; ++y)
      std::memcpy(RowAt(dest, y) + x0 * 4, RowAt(source, st + y - dt) + (sl + x0 - dl) * 4, bytes);
    return true;
  }

  try {
    AxisFilter across, down;
    BuildAxis(across, sw, dw, x0 - dl, x1 - dl);
    BuildAxis(down, sh, dh, y0 - dt, y1 - dt);
    // Source columns the drawn destination columns reach (taps advance monotonically).
    const std::int64_t c0 = across.taps.front().first;
    const std::int64_t c1 = across.taps.back().first + across.taps.back().count;
    // One row of the source filtered down the columns, premultiplied: per pixel the sums of
    // w*a*B, w*a*G, w*a*R and w*a.
    std::vector<double> row(std::size_t(c1 - c0) * 4);

    for (std::int64_t y = y0; y < y1; ++y) {
      std::fill(row.begin(), row.end(), 0.0);
      const Taps& ty = down.taps[std::size_t(y - y0)];
      for (int k = 0; k < ty.count; ++k) {
        const double w = down.weights[ty.offset + k];
        const std::uint8_t* s = RowAt(source, st + ty.first + k) + (sl + c0) * 4;
        double* acc = row.data();
        for (std::int64_t c = c0; c < c1; ++c, s += 4, acc += 4) {
          if (s[3] == 0) continue;
          const double wa = w * s[3];
          acc[0] += wa * s[0];
          acc[1] += wa * s[1];
          acc[2] += wa * s[2];
          acc[3] += wa;
        }
      }

      std::uint8_t* d = RowAt(dest, y) + x0 * 4;
      for (const Taps& tx : across.taps) {
        double sum[4] = {0, 0, 0, 0};
        const double* acc = row.data() + (tx.first - c0) * 4;
        for (int k = 0; k < tx.count; ++k, acc += 4) {
          const double w = across.weights[tx.offset + k];
          for (int ch = 0; ch < 4; ++ch) sum[ch] += w * acc[ch];
        }
        const double alpha = sum[3];
        for (int ch = 0; ch < 3; ++ch) d[ch] = alpha > 0.0 ? RoundByte(sum[ch] / alpha) : 0;
        d[3] = RoundByte(alpha);
        d += 4;
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

void LICE_ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* source, const LICE_RECT* destRect,
                     const LICE_RECT* sourceRect) {
  ScaledBlit(dest, source, destRect, sourceRect);
}

LICE_MemBitmap* LICE_ResampleFrames(LICE_IBitmap* source, int frames, int destFrameWidth,
                                    int destFrameHeight) {
  if (!source || !source->PixelData() || frames < 1 || destFrameWidth < 1 || destFrameHeight < 1)
    return nullptr;
  const int width = source->Width(), height = source->Height();
  if (width < 1 || height < 1 || height % frames != 0) return nullptr;
  const std::int64_t destHeight = std::int64_t(destFrameHeight) * frames;
  if (destHeight > INT_MAX) return nullptr;

  auto* out = new (std::nothrow) LICE_MemBitmap;
  if (!out) return nullptr;
  out->Resize(destFrameWidth, int(destHeight));
  bool ok = out->PixelData() != nullptr;
  const int frameHeight = height / frames;
  for (int f = 0; ok && f < frames; ++f) {
    const LICE_RECT from = {0, f * frameHeight, width, (f + 1) * frameHeight};
    const LICE_RECT to = {0, f * destFrameHeight, destFrameWidth, (f + 1) * destFrameHeight};
    ok = ScaledBlit(out, source, &to, &from);
  }
  if (!ok) {
    delete out;
    return nullptr;
  }
  return out;
}
