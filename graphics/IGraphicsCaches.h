#pragma once

// The process-wide bitmap and font caches every editor in the process shares. Each has its own
// lock, held only around a list search or append, never while decoding or creating a font; two
// editors may therefore load the same item twice, and both entries then stay. Both caches destroy
// what they hold when the module is unloaded.

#include <cstdint>

#include "LiceBitmap.h"

class LICE_CachedFont;

namespace graphics_cache {

// The bitmap cached for resourceId, or null.
LICE_IBitmap* FindBitmap(int32_t resourceId);
// Appends an entry; the cache owns bitmap from now on.
void AddBitmap(int32_t resourceId, LICE_IBitmap* bitmap);

// Images at a scale other than 1, keyed by resource and scale (in thousandths). A scale is held
// by the editors drawing at it; the last one to let go releases its images.
LICE_IBitmap* FindScaledBitmap(int32_t resourceId, int32_t scaleKey);
// Appends an entry; the cache owns bitmap from now on.
void AddScaledBitmap(int32_t resourceId, int32_t scaleKey, LICE_IBitmap* bitmap);
void HoldScale(int32_t scaleKey);
void LetGoOfScale(int32_t scaleKey);
// Entries held now, for tests and benchmarks.
int32_t ScaledBitmapCount();

struct FontKey {
  int32_t size;
  int32_t orientation;
  int32_t style;
  const char* face;  // compared exactly, case-sensitive, at most 35 characters
};
LICE_CachedFont* FindFont(const FontKey& key);
// Appends an entry; the cache owns font from now on.
void AddFont(const FontKey& key, LICE_CachedFont* font);

}  // namespace graphics_cache
