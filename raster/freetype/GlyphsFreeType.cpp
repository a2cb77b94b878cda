// Glyph rasteriser on FreeType, faces found among the embedded typefaces, then through fontconfig.
// There is no native text drawing here: all text goes through the glyph cache.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "../LiceGlyphRasteriser.h"
#include "../LiceResourcesInternal.h"

namespace {

struct FreeTypeFont {
  FT_Face face;
  int ascent;
  int lineHeight;
};

// The library's state lives in plain static storage that is never destroyed: fonts held by other
// static objects (the editor's font cache) are released during static destruction, whatever the
// order. What FreeType allocated is still given back when the module unloads: once the unload has
// begun and the last face is gone (see UnloadWatch), so a host that loads and unloads the module
// repeatedly leaks nothing.
std::mutex& LibraryLock() {
  alignas(std::mutex) static unsigned char storage[sizeof(std::mutex)];
  static std::mutex* lock = new (storage) std::mutex;
  return *lock;
}

FT_Library library = nullptr;
bool libraryTried = false;
int liveFaces = 0;  // faces of fonts handed out and not yet destroyed
bool unloading = false;

// Called under LibraryLock.
void DoneWithLibraryIfUnused() {
  if (!unloading || liveFaces > 0 || !library) return;
  FT_Done_FreeType(library);
  library = nullptr;
}

// Destroyed with the module's statics; constructed with the library, so the fonts made later (and
// the caches holding them) may well be destroyed after it.
struct UnloadWatch {
  ~UnloadWatch() {
    std::lock_guard<std::mutex> hold(LibraryLock());
    unloading = true;
    DoneWithLibraryIfUnused();
  }
};

// One FreeType library for the process; faces are created and released under LibraryLock.
FT_Library Library() {
  if (!libraryTried) {
    libraryTried = true;
    static UnloadWatch watch;
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  }
  return library;
}

bool SameFamily(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

// A typeface compiled into the module; its bytes are static, so faces opened on them stay valid for
// the process.
struct EmbeddedFace {
  const FT_Byte* data;
  FT_Long size;
  FT_Long index;
  std::string family;
  bool bold;
  bool italic;
};

// Only fonts being made read it, never their destruction: it may go with the module's statics.
std::vector<EmbeddedFace>& EmbeddedFaces() {
  static std::vector<EmbeddedFace> faces;
  return faces;
}

// The family name GDI matches on: the legacy family (name id 1) in English, not the typographic
// family FreeType reports, which would merge DejaVu Sans Condensed into DejaVu Sans.
std::string LegacyFamily(FT_Face face) {
  std::string best;
  int bestRank = 0;
  const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
  for (FT_UInt i = 0; i < count; ++i) {
    FT_SfntName name;
    if (FT_Get_Sfnt_Name(face, i, &name) != 0 || name.name_id != TT_NAME_ID_FONT_FAMILY) continue;
    std::string text;
    int rank = 0;
    if (name.platform_id == TT_PLATFORM_MICROSOFT &&
        (name.encoding_id == TT_MS_ID_UNICODE_CS || name.encoding_id == TT_MS_ID_SYMBOL_CS)) {
      rank = name.language_id == TT_MS_LANGID_ENGLISH_UNITED_STATES ? 3 : 2;
      for (FT_UInt k = 0; k + 1 < name.string_len; k += 2) {
        const unsigned u = unsigned(name.string[k]) << 8 | name.string[k + 1];
        if (u < 0x80) {
          text += char(u);
        } else if (u < 0x800) {
          text += char(0xC0 | u >> 6);
          text += char(0x80 | (u & 0x3F));
        } else {  // a pair of surrogates becomes two sequences: fine for comparing names
          text += char(0xE0 | u >> 12);
          text += char(0x80 | ((u >> 6) & 0x3F));
          text += char(0x80 | (u & 0x3F));
        }
      }
    } else if (name.platform_id == TT_PLATFORM_MACINTOSH && name.encoding_id == TT_MAC_ID_ROMAN) {
      rank = 1;
      text.assign(reinterpret_cast<const char*>(name.string), name.string_len);
    }
    if (rank > bestRank && !text.empty()) best = text, bestRank = rank;
  }
  return bestRank ? best : std::string(face->family_name ? face->family_name : "");
}

// Adds the faces of embedded typefaces not seen before. Called under LibraryLock.
void RegisterEmbeddedFaces() {
  FT_Library library = Library();
  if (!library) return;
  static std::vector<const void*> seenStorage;
  std::vector<const void*>* seen = &seenStorage;
  for (const lice_resources::Bytes& r :
       lice_platform::ResourcesOfType(lice_glyphs::kFontResourceType)) {
    if (std::find(seen->begin(), seen->end(), r.data) != seen->end()) continue;
    seen->push_back(r.data);
    const auto* data = static_cast<const FT_Byte*>(r.data);
    FT_Long faces = 1;
    for (FT_Long index = 0; index < faces; ++index) {
      FT_Face face = nullptr;
      if (FT_New_Memory_Face(library, data, r.size, index, &face) != 0) break;
      faces = face->num_faces;
      const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
      const bool bold =
          os2 ? os2->usWeightClass >= 600 : (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
      const bool italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
      EmbeddedFaces().push_back({data, r.size, index, LegacyFamily(face), bold, italic});
      FT_Done_Face(face);
    }
  }
}

// A face of an embedded typeface of the family; with exactStyle only one of the asked weight and
// slant, else the closest one. Called under LibraryLock.
FT_Face OpenEmbeddedFace(const char* family, int weight, bool italic, bool exactStyle) {
  const EmbeddedFace* best = nullptr;
  int bestScore = -1;
  for (const EmbeddedFace& e : EmbeddedFaces()) {
    if (!SameFamily(e.family.c_str(), family)) continue;
    const int score = (e.bold == (weight >= 600) ? 2 : 0) + (e.italic == italic ? 1 : 0);
    if (exactStyle && score != 3) continue;
    if (score > bestScore) best = &e, bestScore = score;
  }
  FT_Face face = nullptr;
  if (best && FT_New_Memory_Face(Library(), best->data, best->size, best->index, &face) != 0)
    face = nullptr;
  return face;
}

// The file and face index fontconfig picks for a family; empty when its best match is another
// family (a missing face), so that the caller can fall back deliberately.
std::string MatchFile(const char* family, int weight, bool italic, int* index) {
  std::string path;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return path;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pattern, FC_WEIGHT, weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  if (match) {
    FcChar8* file = nullptr;
    FcChar8* matched = nullptr;
    int faceIndex = 0;
    // Any of the face's family names: fontconfig lists DejaVu Sans Condensed as "DejaVu Sans"
    // first.
    bool same = false;
    for (int n = 0; !same && FcPatternGetString(match, FC_FAMILY, n, &matched) == FcResultMatch;
         ++n)
      same = SameFamily(reinterpret_cast<const char*>(matched), family);
    if (same && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
      FcPatternGetInteger(match, FC_INDEX, 0, &faceIndex);
      path = reinterpret_cast<const char*>(file);
      *index = faceIndex;
    }
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return path;
}

// An embedded face of the family, weight and slant; else an installed one of the family; else an
// embedded one of the family in another style (as GDI would take it); else DejaVu Sans.
FT_Face OpenFace(const char* family, int weight, bool italic) {
  FT_Library library = Library();
  if (!library) return nullptr;
  RegisterEmbeddedFaces();
  const char* candidates[] = {family && *family ? family : "DejaVu Sans", "DejaVu Sans"};
  for (const char* name : candidates) {
    if (FT_Face face = OpenEmbeddedFace(name, weight, italic, true)) return face;
    int index = 0;
    const std::string path = MatchFile(name, weight, italic, &index);
    FT_Face face = nullptr;
    if (!path.empty() && FT_New_Face(library, path.c_str(), index, &face) == 0) return face;
    if (FT_Face other = OpenEmbeddedFace(name, weight, italic, false)) return other;
  }
  static const char* const kDejaVu[] = {weight >= 600
                                            ? "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
                                            : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                        "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"};
  for (const char* path : kDejaVu) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, path, 0, &face) == 0) return face;
  }
  return nullptr;
}

}  // namespace

LICE_FontHandle LICE_CreateFont(int height, int escapement, int weight, bool italic, int quality,
                                const char* face) {
  (void)escapement;
  (void)quality;
  std::lock_guard<std::mutex> hold(LibraryLock());
  FT_Face ft = OpenFace(face, weight, italic);
  if (!ft) return nullptr;

  // Like a Windows font: a positive height is the cell height (ascent + descent), a negative one
  // the character height (the em).
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  const double units = ft->units_per_EM > 0 ? ft->units_per_EM : 2048;
  double cellAscent = os2 ? os2->usWinAscent : ft->ascender;
  double cellDescent = os2 ? os2->usWinDescent : -ft->descender;
  if (cellAscent + cellDescent <= 0) cellAscent = units * 0.8, cellDescent = units * 0.2;
  double ppem = 12;
  if (height < 0)
    ppem = -double(height);
  else if (height > 0)
    ppem = height * units / (cellAscent + cellDescent);
  ppem = std::clamp(ppem, 1.0, 4096.0);
  if (FT_Set_Char_Size(ft, 0, FT_F26Dot6(std::lround(ppem * 64)), 72, 72) != 0) {
    FT_Done_Face(ft);
    return nullptr;
  }
  auto* font = new (std::nothrow) FreeTypeFont;
  if (!font) {
    FT_Done_Face(ft);
    return nullptr;
  }
  font->face = ft;
  ++liveFaces;
  font->ascent = int(std::lround(cellAscent * ppem / units));
  const int descent = int(std::lround(cellDescent * ppem / units));
  font->lineHeight = height > 0 ? height : font->ascent + descent;
  if (height > 0) font->ascent = std::min(font->ascent, height);
  return font;
}

int LICE_RegisterEmbeddedFonts() {
  std::lock_guard<std::mutex> hold(LibraryLock());
  RegisterEmbeddedFaces();
  return int(EmbeddedFaces().size());
}

void lice_glyphs::DestroyFont(LICE_FontHandle handle) {
  auto* font = static_cast<FreeTypeFont*>(handle);
  std::lock_guard<std::mutex> hold(LibraryLock());
  FT_Done_Face(font->face);
  delete font;
  --liveFaces;
  DoneWithLibraryIfUnused();
}

void lice_glyphs::PrepareGlyphScratch(LICE_IBitmap*) {}

int lice_glyphs::LineHeight(LICE_FontHandle handle, LICE_IBitmap*) {
  return static_cast<FreeTypeFont*>(handle)->lineHeight;
}

void lice_glyphs::RasteriseGlyph(LICE_FontHandle handle, LICE_IBitmap* scratch, int code,
                                 int margin, int* width, int* height) {
  auto* font = static_cast<FreeTypeFont*>(handle);
  *width = *height = 0;
  FT_Face face = font->face;
  if (FT_Load_Char(face, FT_ULong(code), FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) return;
  const FT_GlyphSlot slot = face->glyph;
  const int w = int((slot->advance.x + 32) >> 6);
  const int h = font->lineHeight;
  *width = w;
  *height = h;
  LICE_FillArea(scratch, 0, 0, w + 2 * margin, h, 0, 1.0f, ComposeCopy);

  const FT_Bitmap& glyph = slot->bitmap;
  const bool mono = glyph.pixel_mode == FT_PIXEL_MODE_MONO;
  if (!mono && glyph.pixel_mode != FT_PIXEL_MODE_GRAY) return;
  const int x0 = margin + slot->bitmap_left, y0 = font->ascent - slot->bitmap_top;
  const int sw = scratch->Width(), sh = scratch->Height(), span = scratch->RowSpan();
  auto* pixels = reinterpret_cast<unsigned char*>(scratch->PixelData());
  for (int gy = 0; gy < int(glyph.rows); ++gy) {
    const int y = y0 + gy;
    if (y < 0 || y >= sh) continue;
    const unsigned char* src = glyph.buffer + std::ptrdiff_t(gy) * glyph.pitch;
    const int stored = scratch->RowsBottomUp() ? sh - 1 - y : y;
    unsigned char* row = pixels + std::ptrdiff_t(stored) * span * 4;
    for (int gx = 0; gx < int(glyph.width); ++gx) {
      const int x = x0 + gx;
      if (x < 0 || x >= sw) continue;
      const unsigned char c = mono ? ((src[gx >> 3] >> (7 - (gx & 7))) & 1 ? 255 : 0) : src[gx];
      unsigned char* p = row + x * 4;
      const unsigned char v = std::max(p[2], c);
      p[0] = p[1] = p[2] = v;
      p[3] = 255;
    }
  }
}

bool lice_glyphs::NativeDrawingAvailable() {
  return false;
}
bool lice_glyphs::RunningUnderWine() {
  return false;
}
int lice_glyphs::NativeRenderText(const NativeText&) {
  return 0;
}
