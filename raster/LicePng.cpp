#include "LicePng.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

struct MemoryReader {
  const unsigned char* next;
  int left;
  png_size_t zerosServed;
};

// Enough zeros to let libpng judge a truncated file by its own checks; a chunk that claims far
// more than the data holds would otherwise have it checksum gigabytes of them.
constexpr png_size_t kZerosPastTheEnd = 64 * 1024;

// Serves requests past the end as zero bytes, up to kZerosPastTheEnd in all: libpng's own checks
// (CRCs, lengths, the image data stream) then decide, and nothing beyond the buffer is ever read.
void ReadFromMemory(png_structp png, png_bytep out, png_size_t n) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  const png_size_t take = reader->left <= 0              ? 0
                          : png_size_t(reader->left) < n ? png_size_t(reader->left)
                                                         : n;
  if (n - take > kZerosPastTheEnd - reader->zerosServed) png_error(png, "read past the end");
  reader->zerosServed += n - take;
  std::memset(out, 0, n);
  if (take) {
    std::memcpy(out, reader->next, take);
    reader->next += take;
    reader->left -= int(take);
  }
  // A chunk whose data and CRC reach past what may still be served fails at its header, before
  // libpng allocates (and clears) a buffer of the claimed size for it.
  if (n == 8 && png_get_io_state(png) == (PNG_IO_READING | PNG_IO_CHUNK_HDR)) {
    const std::uint64_t claimed = std::uint64_t(out[0]) << 24 | out[1] << 16 | out[2] << 8 | out[3];
    if (claimed + 4 > std::uint64_t(reader->left) + (kZerosPastTheEnd - reader->zerosServed))
      png_error(png, "chunk longer than the data");
  }
}

// libpng's default handlers print to stderr; these keep the decoders silent and still end every
// error with the long jump to the decoder's failure exit.
void SilentError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void SilentWarning(png_structp, png_const_charp) {}

void RequestTransforms(png_structp png, png_infop info) {
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0, compression = 0, filter = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, &compression, &filter);
  bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0;
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(png);
    alpha = true;
  }
  if (depth == 16) png_set_strip_16(png);
  if (depth < 8) png_set_packing(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  // Rows arrive as bytes B, G, R, A: the pixel word's own memory order, so no second pass.
  png_set_bgr(png);
  if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
}

// Reads the image whose source is already set on png into target (or a new bitmap). Kept free of
// objects with destructors: libpng leaves it by long jump on any error.
LICE_IBitmap* Decode(png_structp png, png_infop info, LICE_IBitmap* target) {
  LICE_IBitmap* volatile made = nullptr;
  png_bytep* volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    delete made;
    std::free(rows);
    return nullptr;
  }
  png_read_info(png, info);
  RequestTransforms(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);

  LICE_IBitmap* bm = target;
  if (!bm) made = bm = new (std::nothrow) LICE_MemBitmap;
  if (bm && width > 0 && height > 0 && width <= 0x7FFFFFFF && height <= 0x7FFFFFFF)
    bm->Resize(int(width), int(height));
  if (!bm || !bm->PixelData() || png_uint_32(bm->Width()) != width ||
      png_uint_32(bm->Height()) != height)
    png_error(png, "no bitmap");

  rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
  if (!rows) png_error(png, "no row table");
  const bool bottomUp = bm->RowsBottomUp();
  auto* base = reinterpret_cast<png_bytep>(bm->PixelData());
  const std::ptrdiff_t span = std::ptrdiff_t(bm->RowSpan()) * 4;
  for (png_uint_32 i = 0; i < height; ++i)
    rows[i] = base + std::ptrdiff_t(bottomUp ? height - 1 - i : i) * span;
  png_read_image(png, rows);
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(rows);
  return bm;
}

bool CreateReader(png_structp* png, png_infop* info) {
  *png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, SilentError, SilentWarning);
  if (!*png) return false;
  *info = png_create_info_struct(*png);
  if (!*info) {
    png_destroy_read_struct(png, nullptr, nullptr);
    return false;
  }
  return true;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return *a == *b;
}

}  // namespace

LICE_IBitmap* LICE_DecodePngBuffer(const void* data, int length) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (!data || length <= 7 || std::memcmp(data, kSignature, 8) != 0) return nullptr;
  png_structp png;
  png_infop info;
  if (!CreateReader(&png, &info)) return nullptr;
  MemoryReader reader{static_cast<const unsigned char*>(data), length, 0};
  png_set_read_fn(png, &reader, ReadFromMemory);
  return Decode(png, info, nullptr);
}

LICE_IBitmap* LICE_DecodePngFile(const char* path, LICE_IBitmap* bitmap) {
  if (!path) return nullptr;
  auto* file = static_cast<std::FILE*>(lice_platform::OpenFileForReading(path));
  if (!file) return nullptr;
  png_structp png;
  png_infop info;
  if (!CreateReader(&png, &info)) {
    std::fclose(file);
    return nullptr;
  }
  png_init_io(png, file);
  LICE_IBitmap* result = Decode(png, info, bitmap);
  std::fclose(file);
  return result;
}

LICE_IBitmap* LICE_LoadPngFileEntry(const char* fileName, bool checkExtension,
                                    LICE_IBitmap* bitmap) {
  if (!fileName) return nullptr;
  if (checkExtension) {
    const char* end = fileName + std::strlen(fileName);
    const char* p = end;
    while (p > fileName && p[-1] != '.' && p[-1] != '/' && p[-1] != '\\') --p;
    if (p == fileName || p[-1] != '.' || !EqualsIgnoringCase(p - 1, ".png")) return nullptr;
  }
  return LICE_DecodePngFile(fileName, bitmap);
}

LICE_IBitmap* LICE_LoadPngResource(void* module, int id, const char* name) {
  if (!name || !*name) return nullptr;
  const char* dot = std::strrchr(name, '.');
  const char* extension = dot ? dot + 1 : name + 1;
  if (!EqualsIgnoringCase(extension, "png")) return nullptr;
  const void* data = nullptr;
  int size = 0;
  if (!lice_platform::FindPngResource(module, id, &data, &size) || !data || size <= 7)
    return nullptr;
  return LICE_DecodePngBuffer(data, size);
}

LICE_ImageLoaderEntry* LICE_ImageLoaderList = nullptr;

namespace {
const char* PngDescription() {
  return "PNG files (*.PNG)\0*.PNG\0\0";
}

// Joins the loader list during static initialisation, before any other thread runs.
struct PngLoaderRegistration {
  LICE_ImageLoaderEntry entry{LICE_LoadPngFileEntry, PngDescription, nullptr};
  PngLoaderRegistration() {
    entry.next = LICE_ImageLoaderList;
    LICE_ImageLoaderList = &entry;
  }
};
PngLoaderRegistration pngLoader;
}  // namespace
