// Glyph rasteriser and native text drawing on GDI.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "../LiceGlyphRasteriser.h"
#include "../LiceResourcesInternal.h"

namespace {

// Embedded typefaces are added to the process's private fonts under a name of their own, since
// GDI (Wine at least) keeps an installed face of the same name and version in their place.
// LICE_CreateFont asks for that name when the family, weight and slant match.
struct EmbeddedFace {
  std::string family;
  bool bold;
  bool italic;
  std::string privateName;
};

struct EmbeddedFonts {
  std::mutex lock;
  std::vector<const void*> seen;
  std::vector<EmbeddedFace> faces;
  std::vector<HANDLE> added;
  // Removed when the module unloads, so that a host loading it repeatedly piles up no copies.
  ~EmbeddedFonts() {
    for (HANDLE h : added) RemoveFontMemResourceEx(h);
  }
};

EmbeddedFonts& Embedded() {
  static EmbeddedFonts fonts;
  return fonts;
}

unsigned Read16(const unsigned char* p) {
  return unsigned(p[0]) << 8 | p[1];
}
std::uint32_t Read32(const unsigned char* p) {
  return std::uint32_t(Read16(p)) << 16 | Read16(p + 2);
}
void Write16(unsigned char* p, unsigned v) {
  p[0] = (unsigned char)(v >> 8);
  p[1] = (unsigned char)v;
}
void Write32(unsigned char* p, std::uint32_t v) {
  Write16(p, v >> 16);
  Write16(p + 2, v & 0xFFFF);
}

// The directory record of a table in a single-face TrueType/OpenType file (null when missing or
// out of bounds), its data and length.
unsigned char* FindTable(std::vector<unsigned char>& font, const char* tag,
                         const unsigned char** data = nullptr, std::uint32_t* length = nullptr) {
  if (font.size() < 12) return nullptr;
  const unsigned tables = Read16(&font[4]);
  for (unsigned i = 0; i < tables && 12 + 16 * (i + 1) <= font.size(); ++i) {
    unsigned char* record = &font[12 + 16 * i];
    const std::uint32_t offset = Read32(record + 8), size = Read32(record + 12);
    if (std::memcmp(record, tag, 4) != 0) continue;
    if (offset > font.size() || size > font.size() - offset) return nullptr;
    if (data) *data = font.data() + offset;
    if (length) *length = size;
    return record;
  }
  return nullptr;
}

// A Windows-platform Unicode name record, English preferred, as ASCII ('?' for the rest).
std::string ReadName(const unsigned char* table, std::uint32_t length, unsigned id) {
  if (length < 6) return {};
  const unsigned count = Read16(table + 2), storage = Read16(table + 4);
  std::string best;
  int bestRank = 0;
  for (unsigned i = 0; i < count && 6 + 12 * (i + 1) <= length; ++i) {
    const unsigned char* r = table + 6 + 12 * i;
    if (Read16(r) != 3 || Read16(r + 6) != id || Read16(r + 2) > 1) continue;
    const std::uint32_t at = storage + Read16(r + 10), size = Read16(r + 8);
    if (at > length || size > length - at) continue;
    const int rank = Read16(r + 4) == 0x409 ? 2 : 1;
    if (rank <= bestRank) continue;
    best.clear();
    for (std::uint32_t k = 0; k + 1 < size; k += 2) {
      const unsigned u = Read16(table + at + k);
      best += u < 0x80 ? char(u) : '?';
    }
    bestRank = rank;
  }
  return best;
}

// Replaces the family, full, unique and PostScript names of the Windows-platform records with
// `name` (the copyright and licence stay) by appending a new name table. False when the file has
// no such family name.
bool Rename(std::vector<unsigned char>& font, const std::string& name) {
  const unsigned char* table = nullptr;
  std::uint32_t length = 0;
  if (!FindTable(font, "name", &table, &length) || length < 6) return false;
  const unsigned count = Read16(table + 2), storage = Read16(table + 4);
  std::vector<unsigned char> records, strings;
  std::vector<unsigned char> renamed;
  for (char c : name) renamed.insert(renamed.end(), {0, (unsigned char)c});
  bool family = false;
  unsigned kept = 0;
  for (unsigned i = 0; i < count && 6 + 12 * (i + 1) <= length; ++i) {
    const unsigned char* r = table + 6 + 12 * i;
    const unsigned id = Read16(r + 6);
    const std::uint32_t at = storage + Read16(r + 10), size = Read16(r + 8);
    if (Read16(r) != 3 || at > length || size > length - at) continue;
    const bool rename = id == 1 || id == 3 || id == 4 || id == 6 || id == 16;
    family |= id == 1;
    const std::size_t offset = strings.size();
    if (rename)
      strings.insert(strings.end(), renamed.begin(), renamed.end());
    else
      strings.insert(strings.end(), table + at, table + at + size);
    unsigned char record[12];
    std::memcpy(record, r, 8);
    Write16(record + 8, unsigned(strings.size() - offset));
    Write16(record + 10, unsigned(offset));
    records.insert(records.end(), record, record + 12);
    ++kept;
  }
  if (!family || 6 + records.size() + strings.size() > 0xFFFF) return false;
  std::vector<unsigned char> out(6);
  Write16(&out[2], kept);
  Write16(&out[4], unsigned(6 + records.size()));
  out.insert(out.end(), records.begin(), records.end());
  out.insert(out.end(), strings.begin(), strings.end());
  const std::uint32_t newLength = std::uint32_t(out.size());
  out.resize((out.size() + 3) & ~std::size_t(3));
  std::uint32_t sum = 0;
  for (std::size_t k = 0; k < out.size(); k += 4) sum += Read32(&out[k]);

  font.resize((font.size() + 3) & ~std::size_t(3));
  const std::uint32_t at = std::uint32_t(font.size());
  font.insert(font.end(), out.begin(), out.end());
  unsigned char* record = FindTable(font, "name");
  Write32(record + 4, sum);
  Write32(record + 8, at);
  Write32(record + 12, newLength);
  return true;
}

// Adds the embedded typefaces not seen before. Called under the lock.
void RegisterEmbedded(EmbeddedFonts& fonts) {
  for (const lice_resources::Bytes& r :
       lice_platform::ResourcesOfType(lice_glyphs::kFontResourceType)) {
    if (std::find(fonts.seen.begin(), fonts.seen.end(), r.data) != fonts.seen.end()) continue;
    fonts.seen.push_back(r.data);
    const auto* bytes = static_cast<const unsigned char*>(r.data);
    std::vector<unsigned char> font(bytes, bytes + r.size);
    EmbeddedFace face = {};
    const unsigned char* table = nullptr;
    std::uint32_t length = 0;
    if (FindTable(font, "name", &table, &length)) face.family = ReadName(table, length, 1);
    if (FindTable(font, "OS/2", &table, &length) && length >= 64) {
      face.bold = Read16(table + 4) >= 600;
      face.italic = (Read16(table + 62) & 1) != 0;
    } else if (FindTable(font, "head", &table, &length) && length >= 46) {
      face.bold = (Read16(table + 44) & 1) != 0;
      face.italic = (Read16(table + 44) & 2) != 0;
    }
    // Unique in the process while the module is loaded: where its bytes lie.
    char name[32];
    std::snprintf(name, sizeof name, "LICE-font-%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(r.data)));
    face.privateName = name;
    if (face.family.empty() || !Rename(font, face.privateName)) face.privateName = face.family;
    DWORD count = 0;  // GDI keeps a copy of the bytes
    HANDLE h = AddFontMemResourceEx(font.data(), DWORD(font.size()), nullptr, &count);
    if (!h) continue;
    fonts.added.push_back(h);
    for (DWORD i = 0; i < count; ++i) fonts.faces.push_back(face);
  }
}

bool InstalledFamily(const char* family) {
  LOGFONTA wanted = {};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(wanted.lfFaceName, family, LF_FACESIZE);
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return false;
  bool found = false;
  EnumFontFamiliesExA(
      dc, &wanted,
      [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) -> int {
        *reinterpret_cast<bool*>(found) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
  DeleteDC(dc);
  return found;
}

// The name to ask GDI for: an embedded face's own for its family, weight and slant; for the family
// in another style, the closest embedded face's unless the family is installed.
std::string FaceToAsk(const char* family, int weight, bool italic) {
  EmbeddedFonts& fonts = Embedded();
  std::lock_guard<std::mutex> hold(fonts.lock);
  RegisterEmbedded(fonts);
  const EmbeddedFace* best = nullptr;
  int bestScore = -1;
  for (const EmbeddedFace& e : fonts.faces) {
    if (lstrcmpiA(e.family.c_str(), family) != 0) continue;
    const int score = (e.bold == (weight >= 600) ? 2 : 0) + (e.italic == italic ? 1 : 0);
    if (score > bestScore) best = &e, bestScore = score;
  }
  if (best && (bestScore == 3 || !InstalledFamily(family))) return best->privateName;
  return family;
}

}  // namespace

int LICE_RegisterEmbeddedFonts() {
  EmbeddedFonts& fonts = Embedded();
  std::lock_guard<std::mutex> hold(fonts.lock);
  RegisterEmbedded(fonts);
  return int(fonts.faces.size());
}

LICE_FontHandle LICE_CreateFont(int height, int escapement, int weight, bool italic, int quality,
                                const char* face) {
  const std::string name = FaceToAsk(face ? face : "", weight, italic);
  return CreateFontA(height, 0, escapement, escapement, weight, italic ? TRUE : FALSE, FALSE, FALSE,
                     0, 0, 0, DWORD(quality), 0, name.c_str());
}

void lice_glyphs::DestroyFont(LICE_FontHandle font) {
  DeleteObject(static_cast<HFONT>(font));
}

void lice_glyphs::PrepareGlyphScratch(LICE_IBitmap* scratch) {
  HDC dc = static_cast<HDC>(scratch->DeviceContext());
  if (!dc) return;
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(0, 0, 0));
}

int lice_glyphs::LineHeight(LICE_FontHandle font, LICE_IBitmap* scratch) {
  HDC dc = static_cast<HDC>(scratch->DeviceContext());
  if (!dc) return 0;
  HGDIOBJ previous = SelectObject(dc, static_cast<HFONT>(font));
  TEXTMETRICA metrics = {};
  const BOOL ok = GetTextMetricsA(dc, &metrics);
  SelectObject(dc, previous);
  return ok ? int(metrics.tmHeight) : 0;
}

void lice_glyphs::RasteriseGlyph(LICE_FontHandle font, LICE_IBitmap* scratch, int code, int margin,
                                 int* width, int* height) {
  *width = *height = 0;
  HDC dc = static_cast<HDC>(scratch->DeviceContext());
  if (!dc) return;
  HGDIOBJ previous = SelectObject(dc, static_cast<HFONT>(font));
  wchar_t ch = wchar_t(code);
  RECT box = {0, 0, 0, 0};
  DrawTextW(dc, &ch, 1, &box, DT_NOPREFIX | DT_CALCRECT | DT_SINGLELINE);
  const int w = int(box.right), h = int(box.bottom);
  GdiFlush();  // GDI may batch; the pixels are written directly below
  LICE_FillArea(scratch, 0, 0, w + 2 * margin, h, 0, 1.0f, ComposeCopy);
  RECT at = {margin, 0, margin + w, h};
  DrawTextW(dc, &ch, 1, &at, DT_NOPREFIX | DT_NOCLIP | DT_SINGLELINE);
  GdiFlush();
  SelectObject(dc, previous);
  *width = w;
  *height = h;
}

bool lice_glyphs::NativeDrawingAvailable() {
  return true;
}

bool lice_glyphs::RunningUnderWine() {
  static int answer = -1;  // open until first asked
  if (answer < 0) {
    HKEY key = nullptr;
    answer = RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Wine", &key) == ERROR_SUCCESS ? 1 : 0;
    if (key) RegCloseKey(key);
  }
  return answer == 1;
}

namespace {

COLORREF ToColorRef(LICE_PixelWord c) {
  return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

bool HasUtf8Sequence(const unsigned char* p, const unsigned char* end) {
  auto cont = [&](const unsigned char* q) { return (!end || q < end) && *q >= 0x80 && *q <= 0xBF; };
  for (; end ? p < end : *p != 0; ++p) {
    if (*p >= 0xC2 && *p <= 0xDF && cont(p + 1)) return true;
    if (*p >= 0xE0 && *p <= 0xEF && cont(p + 1) && cont(p + 2)) return true;
    if (*p >= 0xF0 && *p <= 0xF4 && cont(p + 1) && cont(p + 2)) return true;
  }
  return false;
}

// Draws or measures in dc, as UTF-16 when the text holds UTF-8, else as the bytes themselves.
int DrawInContext(HDC dc, const char* text, int length, RECT* rect, UINT flags) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  if (HasUtf8Sequence(bytes, length >= 0 ? bytes + length : nullptr)) {
    wchar_t local[1024];
    std::vector<wchar_t> heap;
    const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (needed > 0) {
      wchar_t* buffer = local;
      int capacity = 1024;
      if (needed > 999) {
        heap.resize(std::size_t(needed) + 32);
        buffer = heap.data();
        capacity = int(heap.size());
      }
      int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, buffer, capacity);
      if (n > 0) {
        if (length < 0) --n;  // the converted NUL
        return DrawTextW(dc, buffer, n, rect, flags);
      }
    }
  }
  return DrawTextA(dc, text, length, rect, flags);
}

}  // namespace

int lice_glyphs::NativeRenderText(const NativeText& a) {
  const UINT flags = UINT(a.flags) | DT_NOPREFIX;
  HFONT font = static_cast<HFONT>(a.font);
  HDC dc = a.dest ? static_cast<HDC>(a.dest->DeviceContext()) : nullptr;
  if (dc) {
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextColor(dc, ToColorRef(a.foreground));
    SetBkMode(dc, a.backgroundMode);
    if (a.backgroundMode == OPAQUE) SetBkColor(dc, ToColorRef(a.background));
    RECT r = {a.rect->left, a.rect->top, a.rect->right, a.rect->bottom};
    const int result = DrawInContext(dc, a.text, a.length, &r, flags);
    if (flags & DT_CALCRECT) *a.rect = {int(r.left), int(r.top), int(r.right), int(r.bottom)};
    SelectObject(dc, previous);
    GdiFlush();
    return result;
  }

  // No device context: draw in the shared text scratch bitmap and compose the result back.
  LICE_SysBitmap*& scratch = *a.textScratch;
  if (!scratch) {
    scratch = new LICE_SysBitmap;
    scratch->Resize(4, 4);
  }
  HDC sdc = static_cast<HDC>(scratch->DeviceContext());
  if (!sdc) return 0;
  HGDIOBJ previous = SelectObject(sdc, font);
  RECT measured = {0, 0, 0, 0};
  const UINT align = DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM;
  DrawInContext(sdc, a.text, a.length, &measured, (flags & ~align) | DT_CALCRECT);
  const int mw = int(measured.right), mh = int(measured.bottom);
  if (flags & DT_CALCRECT) {
    SelectObject(sdc, previous);
    a.rect->right = a.rect->left + mw;
    a.rect->bottom = a.rect->top + mh;
    return mh;
  }
  if (!a.dest || !a.dest->PixelData()) {
    SelectObject(sdc, previous);
    return 0;
  }
  int x = a.rect->left, y = a.rect->top;
  if (flags & DT_CENTER)
    x = a.rect->left + (a.rect->right - mw - a.rect->left) / 2;
  else if (flags & DT_RIGHT)
    x = a.rect->right - mw;
  if (flags & DT_VCENTER)
    y = a.rect->top + (a.rect->bottom - mh - a.rect->top) / 2;
  else if (flags & DT_BOTTOM)
    y = a.rect->bottom - mh;

  const int margin = 4;  // room for glyphs that overhang their cell on the left
  LICE_RECT area = {x - margin, y, x + mw, y + mh};
  area.left = std::max(area.left, 0);
  area.top = std::max(area.top, 0);
  area.right = std::min(area.right, a.dest->Width());
  area.bottom = std::min(area.bottom, a.dest->Height());
  if (!(flags & DT_NOCLIP)) {
    area.left = std::max(area.left, a.rect->left);
    area.top = std::max(area.top, a.rect->top);
    area.right = std::min(area.right, a.rect->right);
    area.bottom = std::min(area.bottom, a.rect->bottom);
  }
  const int aw = area.right - area.left, ah = area.bottom - area.top;
  if (aw <= 0 || ah <= 0) {
    SelectObject(sdc, previous);
    return 0;
  }
  if (scratch->Width() < aw || scratch->Height() < ah) {
    SelectObject(sdc, previous);
    scratch->Resize(std::max(scratch->Width(), aw), std::max(scratch->Height(), ah));
    sdc = static_cast<HDC>(scratch->DeviceContext());
    previous = SelectObject(sdc, font);
  }
  GdiFlush();
  LICE_ComposeRect(scratch, a.dest, 0, 0, &area, 1.0f, ComposeCopy);
  SetTextColor(sdc, ToColorRef(a.foreground));
  SetBkMode(sdc, a.backgroundMode);
  if (a.backgroundMode == OPAQUE) SetBkColor(sdc, ToColorRef(a.background));
  RECT r = {x - area.left, y - area.top, x - area.left + mw, y - area.top + mh};
  const int result = DrawInContext(sdc, a.text, a.length, &r, (flags & ~align) | DT_NOCLIP);
  GdiFlush();
  SelectObject(sdc, previous);
  LICE_RECT back = {0, 0, aw, ah};
  LICE_ComposeRect(a.dest, scratch, area.left, area.top, &back, a.weight, ComposeCopy);
  return result;
}
