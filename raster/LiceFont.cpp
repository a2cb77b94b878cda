#include "LiceFont.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "LiceGlyphRasteriser.h"
#include "LicePixelOps.h"

namespace {

// Shared by every font; created on first use and released with the last font.
LICE_SysBitmap* glyphScratch = nullptr;
LICE_SysBitmap* textScratch = nullptr;
int liveFonts = 0;

LICE_IBitmap* GlyphScratch(int minSize) {
  if (!glyphScratch) {
    glyphScratch = new LICE_SysBitmap;
    glyphScratch->Resize(0, 0);
  }
  if (glyphScratch->Width() < minSize || glyphScratch->Height() < minSize) {
    glyphScratch->Resize(std::max(glyphScratch->Width(), minSize),
                         std::max(glyphScratch->Height(), minSize));
    lice_glyphs::PrepareGlyphScratch(glyphScratch);
  }
  return glyphScratch;
}

unsigned char* StoredRow(LICE_IBitmap* bm, int y) {
  const int stored = bm->RowsBottomUp() ? bm->Height() - 1 - y : y;
  return reinterpret_cast<unsigned char*>(bm->PixelData()) +
         std::ptrdiff_t(stored) * bm->RowSpan() * 4;
}

bool Continuation(unsigned char c) {
  return c >= 0x80 && c <= 0xBF;
}

constexpr int kReplacementChar = 0xFFFD;

// Reads one character; false at the end of the text (end, or the terminator when end is null).
// UTF-8 sequences of two and three bytes give their 16-bit code and four-byte sequences a space.
// A sequence cut short (by the end or by a byte that is not a continuation) and an overlong one
// each give one replacement character; any other byte stands for itself. Never reads past end or
// past the terminator.
bool NextChar(const unsigned char*& p, const unsigned char* end, int& code) {
  if (end ? p >= end : *p == 0) return false;
  const unsigned char c = *p;
  const int length = c >= 0xC0 && c <= 0xDF   ? 2
                     : c >= 0xE0 && c <= 0xEF ? 3
                     : c >= 0xF0 && c <= 0xF4 ? 4
                                              : 1;
  if (length == 1) {
    code = c;
    p += 1;
    return true;
  }
  int have = 1;
  while (have < length && !(end && p + have >= end) && Continuation(p[have])) ++have;
  if (have < length) {
    code = kReplacementChar;
    p += have;
    return true;
  }
  int value = c & (0x7F >> length);
  for (int i = 1; i < length; ++i) value = (value << 6) | (p[i] & 0x3F);
  static constexpr int kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF)
    code = kReplacementChar;
  else
    code = length == 4 ? 32 : value;
  p += length;
  return true;
}

// Applies a blend mode's per-pixel rule with source bytes s (B, G, R, A) at level.
void BlendPixel(int mode, unsigned char* d, const unsigned char* s, int level) {
  using namespace lice_ops;
  switch (mode) {
    case ComposeAdd:
      for (int c = 0; c < 4; ++c) d[c] = AddByte(d[c], s[c], level);
      return;
    case ComposeDodge:
      for (int c = 0; c < 4; ++c) d[c] = DodgeByte(d[c], s[c], level);
      return;
    case ComposeMultiply:
      for (int c = 0; c < 4; ++c) d[c] = MultiplyByte(d[c], s[c], level);
      return;
    case ComposeSoftLight:
      for (int c = 0; c < 4; ++c) d[c] = SoftLightByte(d[c], s[c], level);
      return;
    case ComposeHueAdjust:
      HueAdjust(d, s[2], s[1], s[0], level, s[3]);
      return;
    default:
      for (int c = 0; c < 4; ++c) d[c] = MixByte(d[c], s[c], 256 - level);
      return;
  }
}

}  // namespace

void LICE_DestroyFont(LICE_FontHandle font) {
  if (font) lice_glyphs::DestroyFont(font);
}

LICE_CachedFont::LICE_CachedFont() {
  std::memset(low_, 0, sizeof(low_));
  ++liveFonts;
}

LICE_CachedFont::~LICE_CachedFont() {
  if ((fontFlags_ & LICE_FONT_FLAG_OWNS_HFONT) && font_) lice_glyphs::DestroyFont(font_);
  if (--liveFonts == 0) {
    delete glyphScratch;
    glyphScratch = nullptr;
    delete textScratch;
    textScratch = nullptr;
  }
}

int LICE_CachedFont::LiveFonts() {
  return liveFonts;
}
bool LICE_CachedFont::ScratchBitmapsExist() {
  return glyphScratch || textScratch;
}

void LICE_CachedFont::AdoptFont(LICE_FontHandle font, int flags) {
  if ((fontFlags_ & LICE_FONT_FLAG_OWNS_HFONT) && font_ && font_ != font)
    lice_glyphs::DestroyFont(font_);
  fontFlags_ = flags;
  font_ = font;
  lineHeight_ = font ? lice_glyphs::LineHeight(font, GlyphScratch(256)) : 0;
  std::memset(low_, 0, sizeof(low_));
  std::vector<Glyph>().swap(high_);
  std::vector<unsigned char>().swap(coverage_);
  if (flags & LICE_FONT_FLAG_PRECALCALL)
    for (int c = 0; c < 128; ++c) RenderIntoCache(c);
}

LICE_PixelWord LICE_CachedFont::SetForeground(LICE_PixelWord colour) {
  return std::exchange(foreground_, colour);
}
LICE_PixelWord LICE_CachedFont::SetBackground(LICE_PixelWord colour) {
  return std::exchange(background_, colour);
}
LICE_PixelWord LICE_CachedFont::SetEffectTint(LICE_PixelWord colour) {
  return std::exchange(effectTint_, colour);
}
int LICE_CachedFont::SetBackgroundMode(int mode) {
  return std::exchange(backgroundMode_, mode);
}
void LICE_CachedFont::SetBlend(ComposeMode mode, float weight) {
  blendMode_ = mode;
  blendWeight_ = weight;
}

LICE_CachedFont::Glyph* LICE_CachedFont::FindGlyph(int code) {
  if (code < 0) return nullptr;
  if (code < 128) return &low_[code];
  auto it = std::lower_bound(high_.begin(), high_.end(), code,
                             [](const Glyph& g, int c) { return g.code < c; });
  return it != high_.end() && it->code == code ? &*it : nullptr;
}

const LICE_CachedFont::Glyph* LICE_CachedFont::CachedGlyph(int code) const {
  return const_cast<LICE_CachedFont*>(this)->FindGlyph(code);
}

const LICE_CachedFont::Glyph* LICE_CachedFont::GlyphFor(int code) {
  Glyph* g = FindGlyph(code);
  if (!g || g->offset == 0) {
    RenderIntoCache(code);
    g = FindGlyph(code);
  }
  return g;
}

void LICE_CachedFont::RenderIntoCache(int code) {
  if (!font_ || lineHeight_ > 1023 || code < 0 || code > 0xFFFF) return;
  if (code >= 128 && !FindGlyph(code)) {
    if (fontFlags_ & LICE_FONT_FLAG_PRECALCALL) return;
    Glyph fresh = {};
    fresh.code = code;
    high_.insert(std::upper_bound(high_.begin(), high_.end(), code,
                                  [](int c, const Glyph& g) { return c < g.code; }),
                 fresh);
  }
  const int size = std::max(lineHeight_, 1) * 2 + 8;
  LICE_IBitmap* scratch = GlyphScratch(size);
  const int margin = lineHeight_ < 16 ? 2 : lineHeight_ / 16 + 2;

  int w = 0, h = 0;
  if (scratch->PixelData()) lice_glyphs::RasteriseGlyph(font_, scratch, code, margin, &w, &h);
  const int sw = scratch->Width(), sh = scratch->Height();
  int full = std::min(w + 2 * margin, sw);
  w = std::min(w, sw);
  h = std::min(h, sh);

  Glyph* g = FindGlyph(code);
  if (w < 1 || h < 1 || full < 1 || !scratch->PixelData()) {
    g->offset = -1;
    g->width = g->height = g->advance = g->leftOffset = 0;
    return;
  }

  std::vector<unsigned char> mask(std::size_t(full) * h);
  for (int y = 0; y < h; ++y) {
    const unsigned char* row = StoredRow(scratch, y);
    for (int x = 0; x < full; ++x) mask[std::size_t(y) * full + x] = row[x * 4 + 2];
  }
  if (fontFlags_ & LICE_FONT_FLAG_FX_BLUR) {
    std::vector<unsigned char> soft(mask.size());
    auto at = [&](int x, int y) {
      return x < 0 || y < 0 || x >= full || y >= h ? 0 : int(mask[std::size_t(y) * full + x]);
    };
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < full; ++x)
        soft[std::size_t(y) * full + x] = static_cast<unsigned char>(
            (4 * at(x, y) + at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1)) / 8);
    mask.swap(soft);
  }
  if (fontFlags_ & LICE_FONT_FLAG_FX_INVERT)
    for (auto& c : mask) c = static_cast<unsigned char>(255 - c);

  // Keep the columns that carry ink outside the advance, and no empty margin.
  int first = std::min(margin, full);
  int last = -1;
  for (int y = 0; y < h; ++y) {
    const unsigned char* row = &mask[std::size_t(y) * full];
    for (int x = 0; x < first; ++x)
      if (row[x]) {
        first = x;
        break;
      }
    for (int x = std::max(w + margin, 0); x < full; ++x)
      if (row[x]) last = std::max(last, x);
  }
  const int end = std::min(std::max(w + margin, last + 1), full);
  int mw = end - first, mh = h;
  if (first != 0 || end != full) {
    std::vector<unsigned char> cut(std::size_t(std::max(mw, 0)) * mh);
    for (int y = 0; y < mh; ++y)
      std::memcpy(&cut[std::size_t(y) * mw], &mask[std::size_t(y) * full + first], std::size_t(mw));
    mask.swap(cut);
  }

  if (fontFlags_ & LICE_FONT_FLAG_VERTICAL) {
    std::vector<unsigned char> turned(mask.size());
    const bool other = (fontFlags_ & LICE_FONT_FLAG_VERTICAL_BOTTOMUP) != 0;
    for (int y = 0; y < mh; ++y)
      for (int x = 0; x < mw; ++x) {
        // Clockwise by default; the other way round with the bottom-up flag.
        const int tx = other ? y : mh - 1 - y;
        const int ty = other ? mw - 1 - x : x;
        turned[std::size_t(ty) * mh + tx] = mask[std::size_t(y) * mw + x];
      }
    mask.swap(turned);
    std::swap(mw, mh);
  }

  const int effects =
      fontFlags_ & (LICE_FONT_FLAG_FX_MONO | LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE);
  if (effects) {
    for (auto& c : mask) c = c > 130 ? 255 : 0;
    if (effects & (LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE)) {
      const std::vector<unsigned char> mono = mask;
      auto ink = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < mw && y < mh && mono[std::size_t(y) * mw + x] == 255;
      };
      for (int y = 0; y < mh; ++y)
        for (int x = 0; x < mw; ++x) {
          if (mono[std::size_t(y) * mw + x]) continue;
          const bool mark = (effects & LICE_FONT_FLAG_FX_SHADOW)
                                ? ink(x - 1, y) || ink(x - 1, y - 1) || ink(x, y - 1)
                                : ink(x, y - 1) || ink(x, y + 1) || ink(x - 1, y) || ink(x + 1, y);
          if (mark) mask[std::size_t(y) * mw + x] = 128;
        }
    }
  }

  g = FindGlyph(code);
  g->offset = int(coverage_.size()) + 1;
  g->width = mw;
  g->height = mh;
  g->advance = w;
  g->leftOffset = margin - first;
  coverage_.insert(coverage_.end(), mask.begin(), mask.end());
}

bool LICE_CachedFont::RenderGlyph(LICE_IBitmap* dest, int code, int x, int y,
                                  const LICE_RECT* clip) {
  const Glyph* g = FindGlyph(code);
  if (!g || g->offset <= 0 || !clip) return false;
  return DrawGlyph(dest, *g, x, y, *clip, blendWeight_);
}

bool LICE_CachedFont::DrawGlyph(LICE_IBitmap* dest, const Glyph& g, int x, int y,
                                const LICE_RECT& clip, float weight) {
  if (!dest || !dest->PixelData()) return false;
  if (fontFlags_ & LICE_FONT_FLAG_VERTICAL) {
    y += (fontFlags_ & LICE_FONT_FLAG_VERTICAL_BOTTOMUP) ? -g.leftOffset : g.leftOffset;
  } else {
    x -= g.leftOffset;
  }
  if (x >= clip.right || y >= clip.bottom || clip.left >= x + g.width || clip.top >= y + g.height)
    return false;
  // The clip is also held to the bitmap, whatever the caller passed.
  const int left = std::max(clip.left, 0), top = std::max(clip.top, 0);
  const int right = std::min(clip.right, dest->Width()),
            bottom = std::min(clip.bottom, dest->Height());
  const int cx0 = std::max(0, left - x), cy0 = std::max(0, top - y);
  const int cx1 = std::min(g.width, right - x), cy1 = std::min(g.height, bottom - y);
  if (cx1 <= cx0 || cy1 <= cy0) return false;

  if (backgroundMode_ == LICE_BKMODE_OPAQUE)
    LICE_FillArea(dest, x + cx0, y + cy0, cx1 - cx0, cy1 - cy0, background_, weight,
                  blendMode_ & ~ComposeUseSourceAlpha);

  const int D = lice_ops::WeightLevel(weight);
  if (D <= 0) return true;
  const int mode = (blendMode_ & 0xFF) <= ComposeHueAdjust ? (blendMode_ & 0xFF) : ComposeCopy;
  const unsigned char fg[4] = {static_cast<unsigned char>(foreground_),
                               static_cast<unsigned char>(foreground_ >> 8),
                               static_cast<unsigned char>(foreground_ >> 16), 255};
  const unsigned char tint[4] = {static_cast<unsigned char>(effectTint_),
                                 static_cast<unsigned char>(effectTint_ >> 8),
                                 static_cast<unsigned char>(effectTint_ >> 16), 255};
  const bool effects =
      fontFlags_ & (LICE_FONT_FLAG_FX_MONO | LICE_FONT_FLAG_FX_SHADOW | LICE_FONT_FLAG_FX_OUTLINE);
  const unsigned char* mask = coverage_.data() + (g.offset - 1);

  for (int my = cy0; my < cy1; ++my) {
    unsigned char* row = StoredRow(dest, y + my) + std::ptrdiff_t(x) * 4;
    const unsigned char* cov = mask + std::size_t(my) * g.width;
    for (int mx = cx0; mx < cx1; ++mx) {
      const int c = cov[mx];
      if (c == 0) continue;
      unsigned char* d = row + mx * 4;
      if (effects) {
        if (c != 255 && c != 128) continue;
        const unsigned char* s = c == 255 ? fg : tint;
        if (D == 256 && mode == ComposeCopy) {
          d[0] = s[0], d[1] = s[1], d[2] = s[2];
          d[3] = c == 255 ? static_cast<unsigned char>(foreground_ >> 24)
                          : static_cast<unsigned char>(effectTint_ >> 24);
        } else {
          BlendPixel(mode, d, s, std::min(D, 256));
        }
      } else if (mode == ComposeCopy) {
        const int k = D == 256 ? 255 - c : (c * D < 65792 ? 256 - (c * D) / 256 : 0);
        d[0] = lice_ops::MixByte(d[0], fg[0], k);
        d[1] = lice_ops::MixByte(d[1], fg[1], k);
        d[2] = lice_ops::MixByte(d[2], fg[2], k);
        d[3] = static_cast<unsigned char>(((d[3] - 255) * k) / 256 - 1);
      } else {
        BlendPixel(mode, d, fg, D == 256 ? c + 1 : std::min((c * D) / 256, 256));
      }
    }
  }
  return true;
}

int LICE_CachedFont::MeasureGlyphText(const char* text, int length, int flags, int* width,
                                      int* height) {
  const bool vertical = fontFlags_ & LICE_FONT_FLAG_VERTICAL;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = length >= 0 ? p + length : nullptr;
  int x = 0, y = 0, boxW = 0, boxH = 0, code = 0;
  while (NextChar(p, end, code)) {
    if (code == 13) continue;
    if (code == 10) {
      if (flags & LICE_DT_SINGLELINE) {
        code = 32;
      } else {
        if (vertical)
          y = 0, x += lineHeight_;
        else
          x = 0, y += lineHeight_;
        continue;
      }
    }
    const Glyph* g = GlyphFor(code);
    if (!g || g->offset <= 0) continue;
    if (vertical) {
      boxH = std::max(boxH, std::max(y + g->advance, y + g->height - g->leftOffset));
      boxW = std::max(boxW, x + g->width);
      y += g->advance;
    } else {
      boxW = std::max(boxW, std::max(x + g->advance, x + g->width - g->leftOffset));
      boxH = std::max(boxH, y + g->height);
      x += g->advance;
    }
  }
  *width = boxW;
  *height = boxH;
  return vertical ? boxW : boxH;
}

int LICE_CachedFont::GlyphText(LICE_IBitmap* dest, const char* text, int length, LICE_RECT* rect,
                               int flags) {
  if (flags & LICE_DT_CALCRECT) {
    int w = 0, h = 0;
    const int extent = MeasureGlyphText(text, length, flags, &w, &h);
    rect->right = rect->left + w;
    rect->bottom = rect->top + h;
    return extent;
  }
  if (!dest || !dest->PixelData()) return 0;
  float weight = blendWeight_;
  if (flags & LICE_DT_USEFGALPHA) weight *= float(foreground_ >> 24) / 255.0f;
  if (weight == 0.0f) return 0;

  const bool vertical = fontFlags_ & LICE_FONT_FLAG_VERTICAL;
  const bool upward = vertical && (fontFlags_ & LICE_FONT_FLAG_VERTICAL_BOTTOMUP);
  int x = rect->left, y = rect->top;
  const int align = LICE_DT_CENTER | LICE_DT_RIGHT | LICE_DT_VCENTER | LICE_DT_BOTTOM;
  if ((flags & align) || upward) {
    int mw = 0, mh = 0;
    MeasureGlyphText(text, length, flags & LICE_DT_SINGLELINE, &mw, &mh);
    if (flags & LICE_DT_CENTER)
      x = rect->left + (rect->right - mw - rect->left) / 2;
    else if (flags & LICE_DT_RIGHT)
      x = rect->right - mw;
    if (flags & LICE_DT_VCENTER)
      y = rect->top + (rect->bottom - mh - rect->top) / 2;
    else if (flags & LICE_DT_BOTTOM)
      y = rect->bottom - mh;
    if (upward) y += mh;
  }

  LICE_RECT clip = {0, 0, dest->Width(), dest->Height()};
  if (!(flags & LICE_DT_NOCLIP)) {
    clip.left = std::max(rect->left, 0);
    clip.top = std::max(rect->top, 0);
    clip.right = std::min(rect->right, dest->Width());
    clip.bottom = std::min(rect->bottom, dest->Height());
  }
  if (clip.right <= clip.left || clip.bottom <= clip.top) return 0;

  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = length >= 0 ? p + length : nullptr;
  const int startX = x, startY = y;
  int penX = x, penY = y, lowest = y, rightmost = x, code = 0;
  while (NextChar(p, end, code)) {
    if (code == 13) continue;
    if (code == 10) {
      if (flags & LICE_DT_SINGLELINE) {
        code = 32;
      } else {
        if (vertical)
          penY = startY, penX += lineHeight_;
        else
          penX = startX, penY += lineHeight_;
        continue;
      }
    }
    const Glyph* g = GlyphFor(code);
    if (!g || g->offset <= 0) continue;
    if (vertical) {
      const int top = upward ? penY - g->height : penY;
      DrawGlyph(dest, *g, penX, top, clip, weight);
      penY += upward ? -g->advance : g->advance;
      rightmost = std::max(rightmost, penX + g->width);
    } else {
      DrawGlyph(dest, *g, penX, penY, clip, weight);
      penX += g->advance;
      lowest = std::max(lowest, penY + g->height);
    }
  }
  return vertical ? rightmost - startX : lowest - startY;
}

int LICE_CachedFont::RenderText(LICE_IBitmap* dest, const char* text, int length, LICE_RECT* rect,
                                int flags) {
  if (!text || !rect) return 0;
  const bool glyphsOnly = (flags & LICE_DT_NEEDALPHA) != 0;
  flags &= ~LICE_DT_NEEDALPHA;
  bool native = (fontFlags_ & LICE_FONT_FLAG_FORCE_NATIVE) && font_ && !glyphsOnly &&
                !(flags & LICE_DT_USEFGALPHA) && !(fontFlags_ & 0x1F7) &&
                !lice_glyphs::RunningUnderWine();
  if (lineHeight_ > 255) native = true;
  if (native && font_ && lice_glyphs::NativeDrawingAvailable()) {
    lice_glyphs::NativeText args = {
        font_,           dest,         text,        length, rect, flags, foreground_, background_,
        backgroundMode_, blendWeight_, &textScratch};
    return lice_glyphs::NativeRenderText(args);
  }
  return GlyphText(dest, text, length, rect, flags);
}
