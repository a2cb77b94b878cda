// Text through the glyph cache: measuring, alignment, line feeds, character decoding, and glyph
// blending checked pixel by pixel against the cached coverage masks. On Linux the masks come from
// FreeType, on Windows from GDI (run under Wine, where all text goes through the cache).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <memory>
#include <vector>

#include "LiceFont.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fontconfig/fontconfig.h>
#endif

// fontconfig keeps its configuration in allocations it never frees; the leak checker of the
// sanitizer build is told so instead of failing every font test.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace {

#ifdef _WIN32
const char* const kFace = "Tahoma";
#else
const char* const kFace = "DejaVu Sans";
#endif

const int kGlyphsOnly = LICE_DT_NEEDALPHA;

std::unique_ptr<LICE_CachedFont> MakeFont(int height, int flags = LICE_FONT_FLAG_OWNS_HFONT,
                                          const char* face = kFace, int weight = 400) {
  LICE_FontHandle handle = LICE_CreateFont(height, 0, weight, false, 0, face);
  if (!handle) return nullptr;
  auto font = std::make_unique<LICE_CachedFont>();
  font->AdoptFont(handle, flags);
  return font;
}

LICE_RECT Measure(LICE_CachedFont& font, const char* text, int flags = 0) {
  LICE_RECT r = {0, 0, 0, 0};
  font.RenderText(nullptr, text, -1, &r, flags | LICE_DT_CALCRECT | kGlyphsOnly);
  return r;
}

struct Canvas {
  LICE_MemBitmap bm;
  Canvas(int w, int h, LICE_PixelWord fill = 0xFF204060) {
    bm.Resize(w, h);
    LICE_FillArea(&bm, 0, 0, w, h, fill, 1.0f, ComposeCopy);
  }
  std::vector<LICE_PixelWord> Pixels() {
    std::vector<LICE_PixelWord> out;
    for (int y = 0; y < bm.Height(); ++y)
      out.insert(out.end(), bm.PixelData() + y * bm.RowSpan(),
                 bm.PixelData() + y * bm.RowSpan() + bm.Width());
    return out;
  }
  LICE_PixelWord At(int x, int y) { return bm.PixelData()[y * bm.RowSpan() + x]; }
};

TEST(CachedFont, CreatesFontsAndFallsBackForMissingFaces) {
  auto font = MakeFont(16);
  ASSERT_NE(font, nullptr);
  EXPECT_GE(font->LineHeight(), 14);
  EXPECT_LE(font->LineHeight(), 20);
  auto fallback = MakeFont(16, LICE_FONT_FLAG_OWNS_HFONT, "No Such Face Anywhere");
  ASSERT_NE(fallback, nullptr);
  const LICE_RECT r = Measure(*fallback, "Fallback");
  EXPECT_GT(r.right, 0);
#ifndef _WIN32
  // The fallback is DejaVu Sans itself.
  const LICE_RECT same = Measure(*font, "Fallback");
  EXPECT_EQ(r.right, same.right);
  EXPECT_EQ(r.bottom, same.bottom);
#endif
}

TEST(CachedFont, MeasuresStablyAndAsTheSumOfAdvances) {
  auto font = MakeFont(16);
  ASSERT_NE(font, nullptr);
  const LICE_RECT hello = Measure(*font, "Hello");
  EXPECT_EQ(hello.bottom, font->LineHeight());
  EXPECT_GT(hello.right, 5);
  const LICE_RECT again = Measure(*font, "Hello");
  EXPECT_EQ(again.right, hello.right);
  int advances = 0, maxRight = 0;
  for (char c : std::string("Hello")) {
    const auto* g = font->CachedGlyph(c);
    ASSERT_NE(g, nullptr);
    ASSERT_GT(g->offset, 0);
    maxRight = std::max(maxRight, advances + std::max(g->advance, g->width - g->leftOffset));
    advances += g->advance;
  }
  EXPECT_EQ(hello.right, maxRight);
  // A measured rectangle keeps its origin.
  LICE_RECT moved = {10, 20, 0, 0};
  EXPECT_EQ(font->RenderText(nullptr, "Hello", 5, &moved, LICE_DT_CALCRECT | kGlyphsOnly),
            font->LineHeight());
  EXPECT_EQ(moved.right, 10 + hello.right);
  EXPECT_EQ(moved.bottom, 20 + hello.bottom);
  // A length stops early.
  LICE_RECT prefix = {0, 0, 0, 0};
  font->RenderText(nullptr, "Hello", 2, &prefix, LICE_DT_CALCRECT | kGlyphsOnly);
  EXPECT_EQ(prefix.right, Measure(*font, "He").right);
}

TEST(CachedFont, DecodesUtf8LineFeedsAndCarriageReturns) {
  auto font = MakeFont(16);
  ASSERT_NE(font, nullptr);
  // Four-byte sequences are drawn as a space; a carriage return is skipped.
  EXPECT_EQ(Measure(*font,
                    "a\xF0\x9F\x98\x80"
                    "b")
                .right,
            Measure(*font, "a b").right);
  EXPECT_EQ(Measure(*font, "a\rb").right, Measure(*font, "ab").right);
  // Two-byte sequences select the character: e-acute is cached under its code point.
  Measure(*font, "caf\xC3\xA9");
  const auto* e = font->CachedGlyph(0xE9);
  ASSERT_NE(e, nullptr);
  EXPECT_NE(e->offset, 0);
  // A line feed starts a new line unless the text is a single line.
  const LICE_RECT two = Measure(*font, "AB\nAB");
  EXPECT_EQ(two.bottom, 2 * font->LineHeight());
  EXPECT_EQ(two.right, Measure(*font, "AB").right);
  const LICE_RECT one = Measure(*font, "AB\nAB", LICE_DT_SINGLELINE);
  EXPECT_EQ(one.bottom, font->LineHeight());
  EXPECT_EQ(one.right, Measure(*font, "AB AB").right);

  Canvas canvas(200, 60);
  LICE_RECT box = {0, 0, 200, 60};
  font->SetForeground(0xFFFFFFFF);
  EXPECT_EQ(font->RenderText(&canvas.bm, "A\nA", -1, &box, kGlyphsOnly), 2 * font->LineHeight());
}

TEST(CachedFont, MalformedUtf8GivesOneReplacementPerSequence) {
  auto font = MakeFont(16);
  ASSERT_NE(font, nullptr);
  const std::string R = "\xEF\xBF\xBD";  // U+FFFD, as it is drawn
  struct Case {
    std::string text;
    std::string drawnAs;
  } cases[] = {
      {"a\xC3\xC0"
       "b",
       "a" + R + R + "b"},  // 0xC0 is no continuation byte
      {"a\xC0\x80"
       "b",
       "a" + R + "b"},  // overlong two-byte NUL
      {"a\xE0\x80\xAF"
       "b",
       "a" + R + "b"},  // overlong three-byte slash
      {"a\xE2\x82"
       "b",
       "a" + R + "b"},  // cut short by an ASCII byte
      {"a\xF4\x90\x80\x80"
       "b",
       "a" + R + "b"},         // beyond U+10FFFF
      {"a\xE2\x82", "a" + R},  // cut short by the terminator
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Measure(*font, c.text.c_str()).right, Measure(*font, c.drawnAs.c_str()).right);
  }
  // A length that ends inside a sequence: the decoder stops at the length (the buffer holds exactly
  // those bytes, so a read past it is caught by the address sanitizer).
  const std::vector<char> cut = {'a', '\xE2', '\x82'};
  LICE_RECT r = {0, 0, 0, 0};
  font->RenderText(nullptr, cut.data(), int(cut.size()), &r, LICE_DT_CALCRECT | kGlyphsOnly);
  EXPECT_EQ(r.right, Measure(*font, ("a" + R).c_str()).right);
}

TEST(CachedFont, AlignmentPlacesTextByItsMeasuredBox) {
  auto font = MakeFont(14);
  ASSERT_NE(font, nullptr);
  font->SetForeground(0xFFF0E0D0);
  const LICE_RECT m = Measure(*font, "Wq");
  struct Case {
    int flags;
    int x, y;
  } cases[] = {
      {LICE_DT_RIGHT, 90 - m.right, 10},
      {LICE_DT_CENTER, 10 + (90 - m.right - 10) / 2, 10},
      {LICE_DT_BOTTOM, 10, 50 - m.bottom},
      {LICE_DT_CENTER | LICE_DT_VCENTER, 10 + (90 - m.right - 10) / 2,
       10 + (50 - m.bottom - 10) / 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    Canvas aligned(100, 60), placed(100, 60);
    LICE_RECT box = {10, 10, 90, 50};
    font->RenderText(&aligned.bm, "Wq", -1, &box, c.flags | LICE_DT_NOCLIP | kGlyphsOnly);
    LICE_RECT at = {c.x, c.y, c.x + 200, c.y + 200};
    font->RenderText(&placed.bm, "Wq", -1, &at, LICE_DT_NOCLIP | kGlyphsOnly);
    EXPECT_EQ(aligned.Pixels(), placed.Pixels());
    EXPECT_NE(aligned.Pixels(), Canvas(100, 60).Pixels());
  }
}

// Every pixel of a drawn glyph against its mask: coverage 0 leaves the pixel, full coverage at
// full weight gives exactly the foreground with alpha 255, the rest follows the blend formula.
void CheckGlyphBlend(LICE_CachedFont& font, int code, float weight) {
  Canvas canvas(64, 64, 0x80306090);
  const LICE_PixelWord before = 0x80306090;
  const LICE_PixelWord fg = 0x33C08020;
  font.SetForeground(fg);
  font.SetBlend(ComposeCopy, weight);
  const char text[2] = {char(code), 0};
  LICE_RECT box = {8, 8, 64, 64};
  font.RenderText(&canvas.bm, text, 1, &box, kGlyphsOnly);
  const auto* g = font.CachedGlyph(code);
  ASSERT_NE(g, nullptr);
  ASSERT_GT(g->offset, 0);
  const unsigned char* mask = font.GlyphMask(*g);
  const int D = int(double(weight) * 256.0);
  int full = 0;
  for (int y = 0; y < g->height; ++y)
    for (int x = 0; x < g->width; ++x) {
      const int c = mask[y * g->width + x];
      const int px = 8 - g->leftOffset + x, py = 8 + y;
      if (px < 8 || px >= 64 || py >= 64) continue;
      const LICE_PixelWord got = canvas.At(px, py);
      if (c == 0) {
        EXPECT_EQ(got, before);
        continue;
      }
      const int k = D == 256 ? 255 - c : (c * D < 65792 ? 256 - (c * D) / 256 : 0);
      LICE_PixelWord want = 0;
      for (int ch = 0; ch < 3; ++ch) {
        const int d = int(before >> (8 * ch)) & 0xFF, f = int(fg >> (8 * ch)) & 0xFF;
        want |= LICE_PixelWord((f + ((d - f) * k) / 256) & 0xFF) << (8 * ch);
      }
      want |= LICE_PixelWord(((((int(before >> 24) - 255) * k) / 256) - 1) & 0xFF) << 24;
      ASSERT_EQ(got, want) << "coverage " << c << " at " << x << "," << y;
      if (c == 255 && D == 256) {
        EXPECT_EQ(got, (fg & 0xFFFFFF) | 0xFF000000u);
        ++full;
      }
    }
  if (D == 256) {
    EXPECT_GT(full, 0) << "no fully covered pixel in the glyph";
  }
}

TEST(CachedFont, GlyphBlendingFollowsCoverage) {
  auto font = MakeFont(28);
  ASSERT_NE(font, nullptr);
  CheckGlyphBlend(*font, 'H', 1.0f);
  CheckGlyphBlend(*font, 'H', 0.5f);
  CheckGlyphBlend(*font, 'o', 0.3f);
}

TEST(CachedFont, TranslucentForegroundScalesTheWeight) {
  auto font = MakeFont(20);
  ASSERT_NE(font, nullptr);
  Canvas viaAlpha(80, 30), viaBlend(80, 30);
  LICE_RECT box = {0, 0, 80, 30};
  font->SetForeground(0x80FFFFFF);
  font->RenderText(&viaAlpha.bm, "Ab", -1, &box, LICE_DT_USEFGALPHA);
  font->SetForeground(0xFFFFFFFF);
  font->SetBlend(ComposeCopy, 128.0f / 255.0f);
  font->RenderText(&viaBlend.bm, "Ab", -1, &box, kGlyphsOnly);
  EXPECT_EQ(viaAlpha.Pixels(), viaBlend.Pixels());
  // Zero weight draws nothing.
  Canvas untouched(80, 30);
  font->SetForeground(0x00FFFFFF);
  font->SetBlend(ComposeCopy, 1.0f);
  EXPECT_EQ(font->RenderText(&untouched.bm, "Ab", -1, &box, LICE_DT_USEFGALPHA), 0);
  EXPECT_EQ(untouched.Pixels(), Canvas(80, 30).Pixels());
}

TEST(CachedFont, ClipsToTheRectangleUnlessNoClip) {
  auto font = MakeFont(24);
  ASSERT_NE(font, nullptr);
  font->SetForeground(0xFFFFFFFF);
  Canvas clipped(60, 40);
  LICE_RECT box = {5, 5, 15, 15};
  font->RenderText(&clipped.bm, "MMM", -1, &box, kGlyphsOnly);
  bool inside = false;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x) {
      const bool in = x >= 5 && x < 15 && y >= 5 && y < 15;
      if (!in) {
        ASSERT_EQ(clipped.At(x, y), 0xFF204060u) << x << "," << y;
      }
      if (in && clipped.At(x, y) != 0xFF204060u) inside = true;
    }
  EXPECT_TRUE(inside);
  Canvas free(60, 40);
  font->RenderText(&free.bm, "MMM", -1, &box, LICE_DT_NOCLIP | kGlyphsOnly);
  bool outside = false;
  for (int x = 15; x < 60; ++x)
    for (int y = 5; y < 40; ++y) outside |= free.At(x, y) != 0xFF204060u;
  EXPECT_TRUE(outside);
  // Nothing to draw into: no destination, or a rectangle outside the bitmap.
  EXPECT_EQ(font->RenderText(nullptr, "M", -1, &box, kGlyphsOnly), 0);
  LICE_RECT away = {100, 100, 200, 200};
  EXPECT_EQ(font->RenderText(&free.bm, "M", -1, &away, kGlyphsOnly), 0);
}

TEST(CachedFont, PrecomputedFontsSkipHighCharacters) {
  auto font = MakeFont(16, LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_PRECALCALL);
  ASSERT_NE(font, nullptr);
  EXPECT_GT(font->CachedGlyph('z')->offset, 0);  // rendered at adoption
  EXPECT_EQ(Measure(*font, "a\xC3\xA9z").right, Measure(*font, "az").right);
  EXPECT_EQ(font->CachedGlyph(0xE9), nullptr);
}

TEST(CachedFont, ScratchBitmapsLiveAsLongAsAnyFont) {
  const int before = LICE_CachedFont::LiveFonts();
  {
    auto a = MakeFont(12);
    auto b = MakeFont(12);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(LICE_CachedFont::LiveFonts(), before + 2);
    EXPECT_TRUE(LICE_CachedFont::ScratchBitmapsExist());
  }
  EXPECT_EQ(LICE_CachedFont::LiveFonts(), before);
  if (before == 0) {
    EXPECT_FALSE(LICE_CachedFont::ScratchBitmapsExist());
  }
  auto again = MakeFont(12);
  EXPECT_GT(Measure(*again, "x").right, 0);
  EXPECT_TRUE(LICE_CachedFont::ScratchBitmapsExist());
}

// The readout's typeface, compiled into the module (here: the test program) from
// resources/fonts/: DejaVu Sans Condensed Bold cut down to printable ASCII and a few signs.
const char* const kReadoutFace = "DejaVu Sans Condensed";

std::vector<LICE_PixelWord> DrawReadout(const char* text) {
  auto font = MakeFont(-16, LICE_FONT_FLAG_OWNS_HFONT, kReadoutFace, 700);
  if (!font) return {};
  font->SetForeground(0xFFFFFFFF);
  Canvas canvas(120, 24, 0xFF000000);
  LICE_RECT box = {2, 2, 120, 24};
  font->RenderText(&canvas.bm, text, -1, &box, kGlyphsOnly);
  return canvas.Pixels();
}

int Ink(const std::vector<LICE_PixelWord>& pixels) {
  int lit = 0;
  for (LICE_PixelWord p : pixels) lit += (p & 0xFF) > 0;
  return lit;
}

// Cyrillic Zhe and Ze are not in the subset, so both draw as its missing-glyph box; the full face
// (fonts-dejavu-extra, installed on the test machine) draws two different letters. Under Wine the
// full face is installed too, through Wine's own font list.
TEST(EmbeddedFont, IsChosenOverTheInstalledFace) {
  EXPECT_EQ(LICE_RegisterEmbeddedFonts(), 1);
  EXPECT_EQ(LICE_RegisterEmbeddedFonts(), 1);  // registered once
  const auto zhe = DrawReadout("\xD0\x96"), ze = DrawReadout("\xD0\x97");
  EXPECT_GT(Ink(zhe), 20);
  EXPECT_TRUE(zhe == ze) << "two different letters: the full face";
  const auto readout = DrawReadout("-12.5 dB \xC2\xB1\xC2\xB0");
  EXPECT_GT(Ink(readout), 100);
  EXPECT_TRUE(readout != DrawReadout("-12.5 dB ??"));  // the signs are in it
}

#ifndef _WIN32
// With a fontconfig configuration that knows no font at all the readout draws exactly as before.
TEST(EmbeddedFont, NeedsNoInstalledFont) {
  const char* const text = "-12.5 dB 4.7k \xC2\xB5s";
  const auto installed = DrawReadout(text);
  FcConfig* normal = FcConfigReference(nullptr);
  FcConfig* empty = FcConfigCreate();
  ASSERT_TRUE(FcConfigSetCurrent(empty));
  FcFontSet* fonts = FcConfigGetFonts(empty, FcSetSystem);
  EXPECT_TRUE(!fonts || fonts->nfont == 0);
  const auto none = DrawReadout(text);
  FcConfigSetCurrent(normal);
  FcConfigDestroy(normal);
  FcConfigDestroy(empty);
  EXPECT_GT(Ink(none), 100);
  EXPECT_TRUE(none == installed);
}
#endif

#ifdef _WIN32
bool UnderWine() {
  HKEY key = nullptr;
  const bool yes = RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Wine", &key) == ERROR_SUCCESS;
  if (key) RegCloseKey(key);
  return yes;
}

// Under Wine, text that would be drawn natively goes through the glyph cache instead.
TEST(CachedFontGdi, UnderWineOpaqueTextUsesTheGlyphCache) {
  if (!UnderWine()) GTEST_SKIP() << "not running under Wine";
  auto font = MakeFont(18, 0x600);
  ASSERT_NE(font, nullptr);
  font->SetForeground(0xFFFFFFFF);
  LICE_SysBitmap a, b;
  for (LICE_SysBitmap* bm : {&a, &b}) {
    bm->Resize(120, 30);
    LICE_FillArea(bm, 0, 0, 120, 30, 0xFF000000, 1.0f, ComposeCopy);
  }
  LICE_RECT box = {0, 0, 120, 30};
  font->RenderText(&a, "Native?", -1, &box, LICE_DT_NOCLIP);
  font->RenderText(&b, "Native?", -1, &box, LICE_DT_NOCLIP | kGlyphsOnly);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 120; ++x)
      ASSERT_EQ(a.PixelData()[y * a.RowSpan() + x], b.PixelData()[y * b.RowSpan() + x]);
}

// Line heights above 255 always draw natively: through the device context of a system bitmap,
// or through the text scratch bitmap for a bitmap without one.
TEST(CachedFontGdi, TallFontsDrawNatively) {
  auto font = MakeFont(300, 0x600);
  ASSERT_NE(font, nullptr);
  EXPECT_GT(font->LineHeight(), 255);
  font->SetForeground(0x80FFFFFF);
  LICE_RECT measured = {0, 0, 0, 0};
  EXPECT_EQ(font->RenderText(nullptr, "W", -1, &measured, LICE_DT_CALCRECT | LICE_DT_USEFGALPHA),
            measured.bottom);
  EXPECT_GT(measured.right, 50);
  EXPECT_EQ(font->CachedGlyph('W')->offset, 0);  // nothing went through the glyph cache

  LICE_SysBitmap surface;
  surface.Resize(400, 340);
  LICE_FillArea(&surface, 0, 0, 400, 340, 0xFF000000, 1.0f, ComposeCopy);
  LICE_RECT box = {0, 0, 400, 340};
  EXPECT_GT(font->RenderText(&surface, "W", -1, &box, LICE_DT_USEFGALPHA), 255);
  int lit = 0;
  for (int y = 0; y < 340; ++y)
    for (int x = 0; x < 400; ++x)
      lit += (surface.PixelData()[y * surface.RowSpan() + x] & 0xFF) > 128;
  EXPECT_GT(lit, 1000);

  Canvas plain(400, 340, 0xFF000000);
  font->RenderText(&plain.bm, "W", -1, &box, LICE_DT_USEFGALPHA);
  int litPlain = 0;
  for (auto p : plain.Pixels()) litPlain += (p & 0xFF) > 128;
  EXPECT_GT(litPlain, 1000);
  EXPECT_EQ(font->CachedGlyph('W')->offset, 0);
}
#endif

}  // namespace
