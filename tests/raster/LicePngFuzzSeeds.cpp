// Writes the fuzzer's seed corpus: one small PNG per colour type and depth the decoder converts,
// plus interlaced and transparent variants. Usage: raster_png_seeds <directory>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

png_byte pixels[64 * 64 * 8];
png_bytep rows[64];

// Plain arrays: libpng leaves by long jump on an error, past any destructor.
bool Write(const std::string& path, int w, int h, int depth, int type, bool interlace, bool trns) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, type,
               interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (type == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    png_set_PLTE(png, info, palette, 4);
    if (trns) {
      png_byte alpha[2] = {0, 128};
      png_set_tRNS(png, info, alpha, 2, nullptr);
    }
  } else if (trns) {
    png_color_16 key = {};
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  const int channels = type == PNG_COLOR_TYPE_RGBA         ? 4
                       : type == PNG_COLOR_TYPE_RGB        ? 3
                       : type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                           : 1;
  const std::size_t rowBytes = (std::size_t(w) * channels * depth + 7) / 8;
  for (int y = 0; y < h; ++y) {
    for (std::size_t i = 0; i < rowBytes; ++i) pixels[y * rowBytes + i] = png_byte(i * 37 + y * 11);
    if (type == PNG_COLOR_TYPE_PALETTE && depth == 8)
      for (std::size_t i = 0; i < rowBytes; ++i) pixels[y * rowBytes + i] &= 3;
    rows[y] = &pixels[y * rowBytes];
  }
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string dir = argv[1];
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  struct Seed {
    const char* name;
    int depth, type;
    bool interlace, trns;
  } seeds[] = {
      {"rgba8", 8, PNG_COLOR_TYPE_RGBA, false, false},
      {"rgba16", 16, PNG_COLOR_TYPE_RGBA, false, false},
      {"rgb8", 8, PNG_COLOR_TYPE_RGB, false, false},
      {"rgb8-trns", 8, PNG_COLOR_TYPE_RGB, false, true},
      {"palette", 8, PNG_COLOR_TYPE_PALETTE, false, false},
      {"palette-trns", 8, PNG_COLOR_TYPE_PALETTE, false, true},
      {"palette2", 2, PNG_COLOR_TYPE_PALETTE, false, false},
      {"grey1", 1, PNG_COLOR_TYPE_GRAY, false, false},
      {"grey4", 4, PNG_COLOR_TYPE_GRAY, false, true},
      {"grey16", 16, PNG_COLOR_TYPE_GRAY, false, false},
      {"greyalpha", 8, PNG_COLOR_TYPE_GRAY_ALPHA, false, false},
      {"rgba8-interlaced", 8, PNG_COLOR_TYPE_RGBA, true, false},
  };
  for (const Seed& s : seeds)
    if (!Write(dir + "/" + s.name + ".png", 9, 7, s.depth, s.type, s.interlace, s.trns)) return 1;
  return 0;
}
