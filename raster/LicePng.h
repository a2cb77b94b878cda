// PNG decoding into LICE_MemBitmap (pixel words 0xAARRGGBB, straight alpha; images without alpha
// get 255). Decoders keep no shared state, write nothing to any console and may run on any
// thread. Every failure yields null and leaves nothing allocated.
#pragma once

#include "LiceBitmap.h"

// Decodes a PNG held in memory; never reads outside [data, data + length). The caller owns the
// result.
LICE_IBitmap* LICE_DecodePngBuffer(const void* data, int length);

// Decodes the file at a UTF-8 path into bitmap (resized to the image) or, when bitmap is null,
// into a new LICE_MemBitmap. A given bitmap stays the caller's, also on failure.
LICE_IBitmap* LICE_DecodePngFile(const char* path, LICE_IBitmap* bitmap);

// One record per file format in a process-wide list built during static initialisation.
struct LICE_ImageLoaderEntry {
  LICE_IBitmap* (*load)(const char* fileName, bool checkExtension, LICE_IBitmap* bitmap);
  const char* (*description)();
  LICE_ImageLoaderEntry* next;
};
extern LICE_ImageLoaderEntry* LICE_ImageLoaderList;

// The PNG entry's load function: with checkExtension the name must end in ".png" (any case) after
// its last '/' or '\\'.
LICE_IBitmap* LICE_LoadPngFileEntry(const char* fileName, bool checkExtension,
                                    LICE_IBitmap* bitmap);

// Loads the PNG resource `id` of a module (null: the module this library is linked into): the
// name's text after its last '.' must be "png" in any case, the resource must be of type "PNG" and
// longer than 7 bytes. Null otherwise.
LICE_IBitmap* LICE_LoadPngResource(void* module, int id, const char* name);

// A compiled-in resource, as a generated table lists them (platforms without native resources).
struct LICE_ResourceEntry {
  int id;
  const char* type;  // "PNG" for images, "TTF" for typefaces
  const unsigned char* data;
  int size;
};

// Adds a table of `count` entries to the resources LICE_LoadPngResource and
// LICE_RegisterEmbeddedFonts find where there is no native resource lookup. The table must outlive
// its use; later tables are searched first.
void LICE_RegisterResources(const LICE_ResourceEntry* table, int count);

namespace lice_platform {
// Finds the resource `id` of type "PNG"; false when missing or unloadable.
bool FindPngResource(void* module, int id, const void** data, int* size);
// Opens a file named by a UTF-8 path for binary reading; null on failure.
void* OpenFileForReading(const char* utf8Path);  // a FILE*
}  // namespace lice_platform
