// Cached fonts: text measured and drawn into bitmaps, either natively (where the platform can
// draw into the destination) or through a glyph cache of 8-bit coverage masks blended with the
// library's own arithmetic.
//
// Threads: fonts and the process-wide scratch bitmaps are not locked; all text is drawn on one
// thread (the editor window's).
#pragma once

#include <vector>

#include "LiceBlit.h"

// A native font: HFONT on Windows, a FreeType face elsewhere.
using LICE_FontHandle = void*;

// Text flags of RenderText (the values of the Windows DT_ flags).
enum : int {
  LICE_DT_LEFT = 0,
  LICE_DT_CENTER = 0x1,
  LICE_DT_RIGHT = 0x2,
  LICE_DT_VCENTER = 0x4,
  LICE_DT_BOTTOM = 0x8,
  LICE_DT_SINGLELINE = 0x20,
  LICE_DT_NOCLIP = 0x100,
  LICE_DT_CALCRECT = 0x400,
  LICE_DT_NOPREFIX = 0x800,
  LICE_DT_USEFGALPHA = 0x40000000,      // weight *= foreground alpha / 255
  LICE_DT_NEEDALPHA = int(0x80000000u)  // never draw natively
};

// Font flags of AdoptFont.
enum : int {
  LICE_FONT_FLAG_VERTICAL = 0x001,
  LICE_FONT_FLAG_VERTICAL_BOTTOMUP = 0x002,
  LICE_FONT_FLAG_PRECALCALL = 0x004,
  LICE_FONT_FLAG_FX_BLUR = 0x010,
  LICE_FONT_FLAG_FX_INVERT = 0x020,
  LICE_FONT_FLAG_FX_MONO = 0x040,
  LICE_FONT_FLAG_FX_SHADOW = 0x080,
  LICE_FONT_FLAG_FX_OUTLINE = 0x100,
  LICE_FONT_FLAG_OWNS_HFONT = 0x200,
  LICE_FONT_FLAG_FORCE_NATIVE = 0x400,
};

enum : int { LICE_BKMODE_TRANSPARENT = 1, LICE_BKMODE_OPAQUE = 2 };

// Creates a native font: pixel height (positive = cell height, negative = character height),
// escapement in tenths of a degree, weight (400 normal, 700 bold), italic, quality (the Windows
// values) and face name. Typefaces compiled into the module come before installed ones of the same
// family and style; a face that cannot be found falls back to the platform's sans face.
// Null on failure; AdoptFont with LICE_FONT_FLAG_OWNS_HFONT takes it over.
LICE_FontHandle LICE_CreateFont(int height, int escapement, int weight, bool italic, int quality,
                                const char* face);
void LICE_DestroyFont(LICE_FontHandle font);

// Makes the typefaces compiled into the module (TrueType files as resources of type "TTF": the
// module's own on Windows, the registered resource tables elsewhere) available to LICE_CreateFont
// under their family names, ahead of any installed face of the same family, weight and slant. Each
// face is registered once however often this is called, from any thread; LICE_CreateFont calls it
// itself, so callers never need to. Returns the number of embedded faces registered so far.
int LICE_RegisterEmbeddedFonts();

class LICE_IFont {
public:
  virtual ~LICE_IFont() = default;
  virtual void AdoptFont(LICE_FontHandle font, int flags) = 0;
  virtual LICE_PixelWord SetForeground(LICE_PixelWord colour) = 0;
  virtual LICE_PixelWord SetBackground(LICE_PixelWord colour) = 0;
  virtual LICE_PixelWord SetEffectTint(LICE_PixelWord colour) = 0;
  virtual int SetBackgroundMode(int mode) = 0;
  virtual void SetBlend(ComposeMode mode, float weight) = 0;
  // Draws (or with LICE_DT_CALCRECT measures) text of `length` bytes (-1: up to NUL) in rect.
  // Measuring writes the text's extent back into rect's right and bottom. Returns the drawn or
  // measured height (width for vertical text), 0 when nothing could be drawn.
  virtual int RenderText(LICE_IBitmap* dest, const char* text, int length, LICE_RECT* rect,
                         int flags) = 0;
  virtual LICE_PixelWord Foreground() = 0;
  virtual LICE_FontHandle FontHandle() = 0;
  virtual int LineHeight() = 0;
};

class LICE_CachedFont : public LICE_IFont {
public:
  LICE_CachedFont();
  ~LICE_CachedFont() override;
  LICE_CachedFont(const LICE_CachedFont&) = delete;
  LICE_CachedFont& operator=(const LICE_CachedFont&) = delete;

  void AdoptFont(LICE_FontHandle font, int flags) override;
  LICE_PixelWord SetForeground(LICE_PixelWord colour) override;
  LICE_PixelWord SetBackground(LICE_PixelWord colour) override;
  LICE_PixelWord SetEffectTint(LICE_PixelWord colour) override;
  int SetBackgroundMode(int mode) override;
  void SetBlend(ComposeMode mode, float weight) override;
  int RenderText(LICE_IBitmap* dest, const char* text, int length, LICE_RECT* rect,
                 int flags) override;
  LICE_PixelWord Foreground() override { return foreground_; }
  LICE_FontHandle FontHandle() override { return font_; }
  int LineHeight() override { return lineHeight_; }
  // Blends one cached glyph with its pen position at (x, y), clipped to clip. False when the
  // glyph is not cached or lies outside the clip.
  virtual bool RenderGlyph(LICE_IBitmap* dest, int code, int x, int y, const LICE_RECT* clip);

  struct Glyph {
    int offset;  // 1 + byte offset of the mask in the coverage store; 0 not rendered; -1 empty
    int width;
    int height;
    int advance;
    int code;
    int leftOffset;  // how far left of the pen the mask begins
  };
  // The cached record of a character, or null (does not render it).
  const Glyph* CachedGlyph(int code) const;
  // The coverage mask of a rendered glyph (width x height bytes), or null.
  const unsigned char* GlyphMask(const Glyph& glyph) const {
    return glyph.offset > 0 ? coverage_.data() + (glyph.offset - 1) : nullptr;
  }

  // Number of live fonts, which keep the shared scratch bitmaps alive.
  static int LiveFonts();
  static bool ScratchBitmapsExist();

private:
  Glyph* FindGlyph(int code);
  const Glyph* GlyphFor(int code);  // renders on first use
  void RenderIntoCache(int code);
  bool DrawGlyph(LICE_IBitmap* dest, const Glyph& g, int x, int y, const LICE_RECT& clip,
                 float weight);
  int GlyphText(LICE_IBitmap* dest, const char* text, int length, LICE_RECT* rect, int flags);
  int MeasureGlyphText(const char* text, int length, int flags, int* width, int* height);

  LICE_PixelWord foreground_ = 0;
  LICE_PixelWord background_ = 0xFFFFFFFF;
  LICE_PixelWord effectTint_ = 0xFFFFFFFF;
  int backgroundMode_ = LICE_BKMODE_TRANSPARENT;
  int blendMode_ = ComposeCopy;
  float blendWeight_ = 1.0f;
  int fontFlags_ = 0;
  int lineHeight_ = 0;
  Glyph low_[128];
  std::vector<Glyph> high_;
  std::vector<unsigned char> coverage_;
  LICE_FontHandle font_ = nullptr;
};
