#include "PngFile.h"

#include <png.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace brimo::artwork {

bool WritePng(cairo_surface_t* surface, const std::string& path, std::string& error) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);

  std::vector<png_byte> rgba(size_t(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t argb;
      std::memcpy(&argb, data + y * stride + x * 4, 4);
      const unsigned a = argb >> 24;
      png_byte* out = &rgba[(size_t(y) * width + x) * 4];
      const auto straight = [a](unsigned c) -> png_byte {
        if (a == 0) return 0;
        const unsigned v = (c * 255 + a / 2) / a;
        return png_byte(v > 255 ? 255 : v);
      };
      out[0] = straight((argb >> 16) & 0xff);
      out[1] = straight((argb >> 8) & 0xff);
      out[2] = straight(argb & 0xff);
      out[3] = png_byte(a);
    }
  }

  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    error = "libpng failed writing " + path;
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, 9);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) png_write_row(png, &rgba[size_t(y) * width * 4]);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) {
    error = "cannot finish " + path;
    return false;
  }
  return true;
}

}  // namespace brimo::artwork
