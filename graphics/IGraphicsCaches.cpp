#include "IGraphicsCaches.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "IGraphics.h"
#include "IPlugBase.h"
#include "LiceFont.h"

namespace {

struct BitmapEntry {
  int32_t resourceId;
  std::unique_ptr<LICE_IBitmap> bitmap;
};

struct FontEntry {
  int32_t size;
  int32_t orientation;
  int32_t style;
  char face[36];
  std::unique_ptr<LICE_CachedFont> font;
};

struct ScaledEntry {
  int32_t resourceId;
  int32_t scaleKey;
  std::unique_ptr<LICE_IBitmap> bitmap;
};

// Constructed on first use and destroyed with the module's other statics when it is unloaded.
struct BitmapCache {
  std::mutex lock;
  std::vector<BitmapEntry> entries;
  std::vector<ScaledEntry> scaled;
  std::map<int32_t, int32_t> scaleUsers;
};
struct FontCache {
  std::mutex lock;
  std::vector<FontEntry> entries;
};

BitmapCache& Bitmaps() {
  static BitmapCache cache;
  return cache;
}
FontCache& Fonts() {
  static FontCache cache;
  return cache;
}

}  // namespace

LICE_IBitmap* graphics_cache::FindBitmap(int32_t resourceId) {
  BitmapCache& cache = Bitmaps();
  std::lock_guard<std::mutex> hold(cache.lock);
  for (const BitmapEntry& entry : cache.entries)
    if (entry.resourceId == resourceId) return entry.bitmap.get();
  return nullptr;
}

void graphics_cache::AddBitmap(int32_t resourceId, LICE_IBitmap* bitmap) {
  std::unique_ptr<LICE_IBitmap> owned(bitmap);
  BitmapCache& cache = Bitmaps();
  std::lock_guard<std::mutex> hold(cache.lock);
  cache.entries.push_back({resourceId, std::move(owned)});
}

LICE_IBitmap* graphics_cache::FindScaledBitmap(int32_t resourceId, int32_t scaleKey) {
  BitmapCache& cache = Bitmaps();
  std::lock_guard<std::mutex> hold(cache.lock);
  for (const ScaledEntry& entry : cache.scaled)
    if (entry.resourceId == resourceId && entry.scaleKey == scaleKey) return entry.bitmap.get();
  return nullptr;
}

void graphics_cache::AddScaledBitmap(int32_t resourceId, int32_t scaleKey, LICE_IBitmap* bitmap) {
  std::unique_ptr<LICE_IBitmap> owned(bitmap);
  BitmapCache& cache = Bitmaps();
  std::lock_guard<std::mutex> hold(cache.lock);
  cache.scaled.push_back({resourceId, scaleKey, std::move(owned)});
}

void graphics_cache::HoldScale(int32_t scaleKey) {
  BitmapCache& cache = Bitmaps();
  std::lock_guard<std::mutex> hold(cache.lock);
  ++cache.scaleUsers[scaleKey];
}

void graphics_cache::LetGoOfScale(int32_t scaleKey) {
  std::vector<std::unique_ptr<LICE_IBitmap>> released;
  {
    BitmapCache& cache = Bitmaps();
    std::lock_guard<std::mutex> hold(cache.lock);
    auto users = cache.scaleUsers.find(scaleKey);
    if (users == cache.scaleUsers.end() || --users->second > 0) return;
    cache.scaleUsers.erase(users);
    for (ScaledEntry& entry : cache.scaled)
      if (entry.scaleKey == scaleKey) released.push_back(std::move(entry.bitmap));
    std::erase_if(cache.scaled, [&](const ScaledEntry& e) { return e.scaleKey == scaleKey; });
  }
  // The images are freed here, outside the lock.
}

int32_t graphics_cache::ScaledBitmapCount() {
  BitmapCache& cache = Bitmaps();
  std::lock_guard<std::mutex> hold(cache.lock);
  return int32_t(cache.scaled.size());
}

LICE_CachedFont* graphics_cache::FindFont(const FontKey& key) {
  FontCache& cache = Fonts();
  std::lock_guard<std::mutex> hold(cache.lock);
  for (const FontEntry& entry : cache.entries) {
    if (entry.size == key.size && entry.orientation == key.orientation &&
        entry.style == key.style && std::strncmp(entry.face, key.face, 35) == 0)
      return entry.font.get();
  }
  return nullptr;
}

void graphics_cache::AddFont(const FontKey& key, LICE_CachedFont* font) {
  FontEntry entry{key.size, key.orientation, key.style, {}, std::unique_ptr<LICE_CachedFont>(font)};
  CopyTruncated(entry.face, key.face, sizeof entry.face);
  FontCache& cache = Fonts();
  std::lock_guard<std::mutex> hold(cache.lock);
  cache.entries.push_back(std::move(entry));
}

int32_t BitmapCacheSize() {
  BitmapCache& cache = Bitmaps();
  std::lock_guard<std::mutex> hold(cache.lock);
  return int32_t(cache.entries.size());
}

int32_t FontCacheSize() {
  FontCache& cache = Fonts();
  std::lock_guard<std::mutex> hold(cache.lock);
  return int32_t(cache.entries.size());
}

LICE_CachedFont* CachedFontFor(ITextStyle* style) {
  if (!style) return nullptr;
  if (style->font) return style->font;
  const graphics_cache::FontKey key{style->size, style->orientation, style->style, style->face};
  if (LICE_CachedFont* font = graphics_cache::FindFont(key)) return style->font = font;

  int32_t quality = 3;  // non-antialiased
  if (style->quality == 0)
    quality = 0;
  else if (style->quality == 3)
    quality = 5;
  else if (style->quality == 2)
    quality = 4;
  LICE_FontHandle native =
      LICE_CreateFont(style->size, style->orientation * 10, style->style == 1 ? 700 : 400,
                      style->style == 2, quality, style->face);
  if (!native) return nullptr;
  auto font = std::make_unique<LICE_CachedFont>();
  font->AdoptFont(native, LICE_FONT_FLAG_OWNS_HFONT | LICE_FONT_FLAG_FORCE_NATIVE);
  style->font = font.get();
  graphics_cache::AddFont(key, font.release());
  return style->font;
}
