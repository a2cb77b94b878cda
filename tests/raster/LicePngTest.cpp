// PNG decoding of images written here with libpng, in every colour type the decoder converts,
// plus broken input: short, truncated, corrupt and foreign buffers.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "LicePng.h"

namespace {

struct Image {
  int width = 0, height = 0, colourType = PNG_COLOR_TYPE_RGBA, depth = 8;
  bool interlaced = false;
  std::vector<std::vector<png_byte>> rows;  // packed as libpng writes them
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;
  bool greyKey = false;
  png_uint_16 keyValue = 0;
};

void Append(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

std::vector<unsigned char> Encode(const Image& im) {
  std::vector<unsigned char> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "encoding failed";
    return {};
  }
  png_set_write_fn(png, &out, Append, NoFlush);
  png_set_IHDR(png, info, png_uint_32(im.width), png_uint_32(im.height), im.depth, im.colourType,
               im.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!im.palette.empty()) png_set_PLTE(png, info, im.palette.data(), int(im.palette.size()));
  if (!im.paletteAlpha.empty())
    png_set_tRNS(png, info, im.paletteAlpha.data(), int(im.paletteAlpha.size()), nullptr);
  if (im.greyKey) {
    png_color_16 key = {};
    key.gray = im.keyValue;
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (auto& r : im.rows) rows.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

LICE_PixelWord PixelAt(LICE_IBitmap* bm, int x, int y) {
  const int stored = bm->RowsBottomUp() ? bm->Height() - 1 - y : y;
  return bm->PixelData()[stored * bm->RowSpan() + x];
}

LICE_PixelWord Argb(int a, int r, int g, int b) {
  return LICE_PixelWord(a) << 24 | LICE_PixelWord(r) << 16 | LICE_PixelWord(g) << 8 |
         LICE_PixelWord(b);
}

// Decodes and compares every pixel with expected(x, y).
template <typename F>
void ExpectDecodes(const Image& im, F expected) {
  const auto bytes = Encode(im);
  std::unique_ptr<LICE_IBitmap> bm(LICE_DecodePngBuffer(bytes.data(), int(bytes.size())));
  ASSERT_NE(bm, nullptr);
  ASSERT_EQ(bm->Width(), im.width);
  ASSERT_EQ(bm->Height(), im.height);
  for (int y = 0; y < im.height; ++y)
    for (int x = 0; x < im.width; ++x)
      ASSERT_EQ(PixelAt(bm.get(), x, y), expected(x, y)) << "pixel " << x << "," << y;
}

Image RandomRgba(int w, int h, int depth, unsigned seed) {
  std::mt19937 rng(seed);
  Image im;
  im.width = w, im.height = h, im.depth = depth;
  const int bytes = depth / 8;
  im.rows.assign(std::size_t(h), std::vector<png_byte>(std::size_t(w) * 4 * bytes));
  for (auto& r : im.rows)
    for (auto& b : r) b = png_byte(rng());
  return im;
}

TEST(DecodePng, Rgba8KeepsStraightColoursAndAlpha) {
  Image im = RandomRgba(13, 7, 8, 1);
  im.rows[0][0] = 0x11, im.rows[0][1] = 0x22, im.rows[0][2] = 0x33, im.rows[0][3] = 0x80;
  ExpectDecodes(im, [&](int x, int y) {
    const png_byte* p = &im.rows[y][x * 4];
    return Argb(p[3], p[0], p[1], p[2]);
  });
  const auto bytes = Encode(im);
  std::unique_ptr<LICE_IBitmap> bm(LICE_DecodePngBuffer(bytes.data(), int(bytes.size())));
  EXPECT_EQ(bm->PixelData()[0], 0x80112233u);
}

TEST(DecodePng, Rgba16AndInterlacedImages) {
  Image deep = RandomRgba(9, 5, 16, 2);
  ExpectDecodes(deep, [&](int x, int y) {
    const png_byte* p = &deep.rows[y][x * 8];  // big-endian samples: the high byte comes first
    return Argb(p[6], p[0], p[2], p[4]);
  });
  Image laced = RandomRgba(17, 11, 8, 3);
  laced.interlaced = true;
  ExpectDecodes(laced, [&](int x, int y) {
    const png_byte* p = &laced.rows[y][x * 4];
    return Argb(p[3], p[0], p[1], p[2]);
  });
}

TEST(DecodePng, RgbGetsOpaqueAlpha) {
  std::mt19937 rng(4);
  Image im;
  im.width = 6, im.height = 4, im.colourType = PNG_COLOR_TYPE_RGB;
  im.rows.assign(4, std::vector<png_byte>(18));
  for (auto& r : im.rows)
    for (auto& b : r) b = png_byte(rng());
  ExpectDecodes(im, [&](int x, int y) {
    const png_byte* p = &im.rows[y][x * 3];
    return Argb(255, p[0], p[1], p[2]);
  });
}

TEST(DecodePng, PaletteWithAndWithoutTransparency) {
  Image im;
  im.width = 5, im.height = 3, im.colourType = PNG_COLOR_TYPE_PALETTE;
  for (int i = 0; i < 4; ++i)
    im.palette.push_back({png_byte(10 * i), png_byte(20 * i + 1), png_byte(250 - i)});
  im.rows.assign(3, std::vector<png_byte>(5));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) im.rows[y][x] = png_byte((x + y) % 4);
  auto colour = [&](int x, int y, int alpha) {
    const png_color& c = im.palette[std::size_t((x + y) % 4)];
    return Argb(alpha, c.red, c.green, c.blue);
  };
  ExpectDecodes(im, [&](int x, int y) { return colour(x, y, 255); });
  im.paletteAlpha = {0, 77};  // entries past the table stay opaque
  ExpectDecodes(im, [&](int x, int y) {
    const int i = (x + y) % 4;
    return colour(x, y, i == 0 ? 0 : i == 1 ? 77 : 255);
  });
}

TEST(DecodePng, GreyAtEveryDepthExpandsToAllThreeChannels) {
  for (int depth : {1, 2, 4, 8, 16}) {
    SCOPED_TRACE(depth);
    Image im;
    im.width = 11, im.height = 3, im.colourType = PNG_COLOR_TYPE_GRAY, im.depth = depth;
    const int maxValue = (1 << depth) - 1;
    auto value = [&](int x, int y) { return (x * 7 + y * 3) % (maxValue + 1); };
    const int rowBytes = (im.width * depth + 7) / 8;
    im.rows.assign(3, std::vector<png_byte>(std::size_t(rowBytes)));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < im.width; ++x) {
        const int v = value(x, y);
        if (depth == 16) {
          im.rows[y][x * 2] = png_byte(v >> 8), im.rows[y][x * 2 + 1] = png_byte(v);
        } else if (depth == 8) {
          im.rows[y][x] = png_byte(v);
        } else {
          const int bit = x * depth;
          im.rows[y][bit / 8] |= png_byte(v << (8 - depth - bit % 8));
        }
      }
    ExpectDecodes(im, [&](int x, int y) {
      const int v = value(x, y);
      const int g = depth == 16 ? v >> 8 : depth == 8 ? v : v * 255 / maxValue;
      return Argb(255, g, g, g);
    });
  }
}

TEST(DecodePng, GreyAlphaAndGreyTransparencyKey) {
  Image im;
  im.width = 4, im.height = 2, im.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
  im.rows = {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}};
  ExpectDecodes(im, [&](int x, int y) {
    const int g = im.rows[y][x * 2], a = im.rows[y][x * 2 + 1];
    return Argb(a, g, g, g);
  });
  Image keyed;
  keyed.width = 3, keyed.height = 1, keyed.colourType = PNG_COLOR_TYPE_GRAY;
  keyed.rows = {{40, 99, 40}};
  keyed.greyKey = true, keyed.keyValue = 40;
  ExpectDecodes(keyed,
                [&](int x, int) { return x == 1 ? Argb(255, 99, 99, 99) : Argb(0, 40, 40, 40); });
}

TEST(DecodePng, RejectsShortForeignAndAbsentInput) {
  EXPECT_EQ(LICE_DecodePngBuffer(nullptr, 100), nullptr);
  const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  EXPECT_EQ(LICE_DecodePngBuffer(signature, 7), nullptr);
  EXPECT_EQ(LICE_DecodePngBuffer(signature, 8), nullptr);  // a signature and nothing else
  EXPECT_EQ(LICE_DecodePngBuffer(signature, -1), nullptr);
  const char gif[] = "GIF89a\x01\x00\x01\x00\x00\x00\x00";
  EXPECT_EQ(LICE_DecodePngBuffer(gif, int(sizeof gif)), nullptr);
}

// Every prefix of a valid file, each in a heap block of exactly that size so the address
// sanitizer build catches a read past the end. Each yields null or a whole bitmap.
TEST(DecodePng, TruncatedAndCorruptBuffersNeverReadPastTheEnd) {
  Image im = RandomRgba(8, 6, 8, 5);
  im.interlaced = true;
  const auto bytes = Encode(im);
  for (std::size_t n = 0; n <= bytes.size(); ++n) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[n ? n : 1]);
    std::memcpy(copy.get(), bytes.data(), n);
    std::unique_ptr<LICE_IBitmap> bm(LICE_DecodePngBuffer(copy.get(), int(n)));
    if (n == bytes.size()) {
      ASSERT_NE(bm, nullptr);
    }
    if (bm) {
      EXPECT_EQ(bm->Width(), 8);
      EXPECT_EQ(bm->Height(), 6);
    }
  }
  std::mt19937 rng(6);
  int failures = 0;
  for (int iter = 0; iter < 400; ++iter) {
    auto broken = bytes;
    for (int k = 0; k < 1 + int(rng() % 4); ++k)
      broken[8 + rng() % (broken.size() - 8)] ^= png_byte(1 + rng() % 255);
    std::unique_ptr<unsigned char[]> copy(new unsigned char[broken.size()]);
    std::memcpy(copy.get(), broken.data(), broken.size());
    std::unique_ptr<LICE_IBitmap> bm(LICE_DecodePngBuffer(copy.get(), int(broken.size())));
    if (!bm) ++failures;
  }
  EXPECT_GT(failures, 300);  // CRCs catch nearly every flipped byte
}

// A chunk header of a given length and type, and the CRC of no data (wrong for any length > 0).
void AppendChunkHeader(std::vector<unsigned char>& out, png_uint_32 length, const char* type) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back((unsigned char)(length >> shift));
  out.insert(out.end(), type, type + 4);
}

// Short streams whose chunks claim ~1.4-2 GB: the reader stops serving zeros soon past the end
// instead of letting libpng checksum gigabytes of them.
TEST(DecodePng, ChunksClaimingFarMoreThanTheDataFail) {
  const std::vector<unsigned char> signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  auto withIhdr = [&] {
    Image im = RandomRgba(2, 2, 8, 10);
    auto bytes = Encode(im);
    bytes.resize(8 + 8 + 13 + 4);  // signature and IHDR
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<unsigned char> head;
    png_uint_32 length;
    const char* type;
  } cases[] = {
      {"first chunk", signature, 0x55555555, "zzZz"},
      {"after IHDR", withIhdr(), 0x7FFFFFFF, "zzZz"},
      {"text after IHDR", withIhdr(), 0x55555555, "tEXt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto bytes = c.head;
    AppendChunkHeader(bytes, c.length, c.type);
    bytes.insert(bytes.end(), {1, 2, 3, 4, 5, 6, 7, 8});
    std::unique_ptr<unsigned char[]> copy(new unsigned char[bytes.size()]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    EXPECT_EQ(LICE_DecodePngBuffer(copy.get(), int(bytes.size())), nullptr);
  }
}

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
#ifdef _WIN32
  if (!dir) dir = std::getenv("TEMP");
#endif
  return std::string(dir ? dir : "/tmp") + "/" + name + std::to_string(std::random_device{}());
}

class BottomUpBitmap : public LICE_MemBitmap {
public:
  bool RowsBottomUp() override { return true; }
};

TEST(DecodePngFile, DecodesIntoNewOrGivenBitmaps) {
  const Image im = RandomRgba(5, 4, 8, 7);
  const auto bytes = Encode(im);
  const std::string path = TempPath("brimo-raster-") + ".png";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  auto expected = [&](int x, int y) {
    const png_byte* p = &im.rows[y][x * 4];
    return Argb(p[3], p[0], p[1], p[2]);
  };

  std::unique_ptr<LICE_IBitmap> made(LICE_DecodePngFile(path.c_str(), nullptr));
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(PixelAt(made.get(), 4, 3), expected(4, 3));

  BottomUpBitmap given;
  ASSERT_EQ(LICE_DecodePngFile(path.c_str(), &given), &given);
  EXPECT_EQ(given.Width(), 5);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(PixelAt(&given, 1, y), expected(1, y));

  std::unique_ptr<LICE_IBitmap> viaEntry(LICE_ImageLoaderList->load(path.c_str(), true, nullptr));
  EXPECT_NE(viaEntry, nullptr);
  std::remove(path.c_str());

  EXPECT_EQ(LICE_DecodePngFile(path.c_str(), nullptr), nullptr);  // gone
  const std::string text = TempPath("brimo-raster-text-");
  f = std::fopen(text.c_str(), "wb");
  std::fputs("not an image at all", f);
  std::fclose(f);
  LICE_MemBitmap kept;
  EXPECT_EQ(LICE_DecodePngFile(text.c_str(), &kept), nullptr);
  std::remove(text.c_str());
}

TEST(ImageLoaderEntry, PngEntryChecksTheLastPathComponentsExtension) {
  ASSERT_NE(LICE_ImageLoaderList, nullptr);
  EXPECT_EQ(LICE_ImageLoaderList->next, nullptr);
  EXPECT_EQ(std::memcmp(LICE_ImageLoaderList->description(), "PNG files (*.PNG)\0*.PNG\0\0", 26),
            0);
  // Rejected by the name alone (the files do not exist either way).
  EXPECT_EQ(LICE_LoadPngFileEntry("image.bmp", true, nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPngFileEntry("dir.png/file", true, nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPngFileEntry("dir.png\\file", true, nullptr), nullptr);
  EXPECT_EQ(LICE_LoadPngFileEntry("noextension", true, nullptr), nullptr);

  const Image im = RandomRgba(2, 2, 8, 8);
  const auto bytes = Encode(im);
  const std::string path = TempPath("brimo-entry-") + ".Png";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPngFileEntry(path.c_str(), true, nullptr));
  EXPECT_NE(bm, nullptr);
  std::remove(path.c_str());
}

TEST(PngResource, FoundByIdTypeAndExtension) {
  static std::vector<unsigned char> image = Encode(RandomRgba(3, 2, 8, 9));
  static const unsigned char tiny[7] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A};
  static const LICE_ResourceEntry table[] = {
      {4101, "PNG", image.data(), int(image.size())},
      {4102, "BMP", image.data(), int(image.size())},
      {4103, "PNG", tiny, 7},
  };
  LICE_RegisterResources(table, 3);
  std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPngResource(nullptr, 4101, "resources/img/BG.PNG"));
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->Width(), 3);
  EXPECT_EQ(LICE_LoadPngResource(nullptr, 4101, "resources/img/BG.bmp"), nullptr);
  EXPECT_EQ(LICE_LoadPngResource(nullptr, 4101, ""), nullptr);
  EXPECT_EQ(LICE_LoadPngResource(nullptr, 4102, "a.png"), nullptr);
  EXPECT_EQ(LICE_LoadPngResource(nullptr, 4103, "a.png"), nullptr);
  EXPECT_EQ(LICE_LoadPngResource(nullptr, 4199, "a.png"), nullptr);
}

}  // namespace
