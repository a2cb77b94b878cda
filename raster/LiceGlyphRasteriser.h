// What the font code needs of a platform's text renderer. One implementation per platform
// (raster/gdi/, raster/freetype/), chosen in CMake.
#pragma once

#include "LiceFont.h"

namespace lice_glyphs {

// The resource type of embedded typefaces (LICE_RegisterEmbeddedFonts).
constexpr char kFontResourceType[] = "TTF";

// Sets a grown glyph scratch bitmap up for drawing white text on black.
void PrepareGlyphScratch(LICE_IBitmap* scratch);

// Line height of the font in pixels (ascent + descent).
int LineHeight(LICE_FontHandle font, LICE_IBitmap* scratch);

// Measures one character as a single line (ink width = its advance, height = the line height),
// clears (0, 0, w + 2 * margin, h) of the scratch bitmap to 0 and draws the character white on
// black with its pen at x = margin, top at y = 0. The red byte of each pixel is its coverage.
void RasteriseGlyph(LICE_FontHandle font, LICE_IBitmap* scratch, int code, int margin, int* width,
                    int* height);

void DestroyFont(LICE_FontHandle font);

// Native drawing of a whole string; false where the platform has none.
bool NativeDrawingAvailable();
bool RunningUnderWine();

struct NativeText {
  LICE_FontHandle font;
  LICE_IBitmap* dest;  // may be null when measuring
  const char* text;
  int length;
  LICE_RECT* rect;
  int flags;  // without LICE_DT_NEEDALPHA
  LICE_PixelWord foreground, background;
  int backgroundMode;
  float weight;
  LICE_SysBitmap** textScratch;  // shared scratch for destinations without a device context
};
int NativeRenderText(const NativeText& args);

}  // namespace lice_glyphs
