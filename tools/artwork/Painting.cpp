#include "Painting.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace brimo::artwork {

uint64_t Random::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

ValueNoise::ValueNoise(uint64_t seed) {
  Random random(seed);
  for (int i = 0; i < 256; ++i) {
    permutation_[i] = uint8_t(i);
    values_[i] = random.Uniform() * 2 - 1;
  }
  for (int i = 255; i > 0; --i) std::swap(permutation_[i], permutation_[random.Next() % (i + 1)]);
  for (int i = 0; i < 256; ++i) permutation_[256 + i] = permutation_[i];
}

double ValueNoise::Lattice(int x, int y) const {
  return values_[permutation_[permutation_[x & 255] + (y & 255)]];
}

double ValueNoise::At(double x, double y) const {
  const double fx = std::floor(x), fy = std::floor(y);
  const int ix = int(fx), iy = int(fy);
  const auto smooth = [](double t) { return t * t * (3 - 2 * t); };
  const double tx = smooth(x - fx), ty = smooth(y - fy);
  const double top = Lattice(ix, iy) + (Lattice(ix + 1, iy) - Lattice(ix, iy)) * tx;
  const double bottom = Lattice(ix, iy + 1) + (Lattice(ix + 1, iy + 1) - Lattice(ix, iy + 1)) * tx;
  return top + (bottom - top) * ty;
}

void SetColour(cairo_t* cr, Colour c) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

double ContextScale(cairo_t* cr) {
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  return m.xx;
}

namespace {

// One horizontal and one vertical box pass over an 8-bit mask, with integer rounding.
void BoxBlur(uint8_t* data, int width, int height, int stride, int radius) {
  std::vector<int> line(std::max(width, height));
  const int span = 2 * radius + 1;
  for (int pass = 0; pass < 2; ++pass) {
    const bool rows = pass == 0;
    const int lines = rows ? height : width, length = rows ? width : height;
    for (int l = 0; l < lines; ++l) {
      const auto at = [&](int i) -> uint8_t& {
        return rows ? data[l * stride + i] : data[i * stride + l];
      };
      for (int i = 0; i < length; ++i) line[i] = at(i);
      int sum = 0;
      for (int i = -radius; i <= radius; ++i) sum += (i >= 0 && i < length) ? line[i] : 0;
      for (int i = 0; i < length; ++i) {
        at(i) = uint8_t((sum + span / 2) / span);
        const int out = i - radius, in = i + radius + 1;
        if (out >= 0) sum -= line[out];
        if (in < length) sum += line[in];
      }
    }
  }
}

}  // namespace

void DropShadow(cairo_t* cr, const PathBuilder& shape, double dx, double dy, double blur,
                double alpha) {
  cairo_surface_t* target = cairo_get_target(cr);
  const int width = cairo_image_surface_get_width(target);
  const int height = cairo_image_surface_get_height(target);
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
  cairo_t* m = cairo_create(mask);
  cairo_matrix_t matrix;
  cairo_get_matrix(cr, &matrix);
  cairo_set_matrix(m, &matrix);
  cairo_translate(m, dx, dy);
  shape(m);
  cairo_set_source_rgba(m, 0, 0, 0, alpha);
  cairo_fill(m);
  cairo_destroy(m);
  cairo_surface_flush(mask);
  // Three box passes approximate a Gaussian.
  const int radius = std::max(1, int(std::lround(blur * ContextScale(cr) / 2)));
  for (int i = 0; i < 3; ++i) {
    BoxBlur(cairo_image_surface_get_data(mask), width, height, cairo_image_surface_get_stride(mask),
            radius);
  }
  cairo_surface_mark_dirty(mask);
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_mask_surface(cr, mask, 0, 0);
  cairo_restore(cr);
  cairo_surface_destroy(mask);
}

void Engrave(cairo_t* cr, const PathBuilder& shape, Colour fill, double stroke) {
  cairo_save(cr);
  cairo_new_path(cr);
  shape(cr);
  cairo_path_t* path = cairo_copy_path(cr);
  cairo_new_path(cr);
  const auto paint = [&](double dx, double dy, Colour c) {
    cairo_save(cr);
    cairo_translate(cr, dx, dy);
    cairo_append_path(cr, path);
    cairo_restore(cr);
    SetColour(cr, c);
    if (stroke > 0) {
      cairo_set_line_width(cr, stroke);
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
      cairo_stroke(cr);
    } else {
      cairo_fill(cr);
    }
  };
  paint(-0.45, -0.5, {0.02, 0.03, 0.05, 0.55});
  paint(0.45, 0.55, {1, 1, 1, 0.16});
  paint(0, 0, fill);
  cairo_path_destroy(path);
  cairo_restore(cr);
}

void SelectFace(cairo_t* cr, Face face, double size) {
  const char* family = face == Face::kSerifBold       ? "DejaVu Serif"
                       : face == Face::kCondensedBold ? "DejaVu Sans Condensed"
                                                      : "DejaVu Sans";
  cairo_select_font_face(cr, family, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, size);
  // Unhinted outlines: the glyphs scale exactly with the drawing and do not depend on the
  // machine's hinting preferences.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

double TextWidth(cairo_t* cr, const std::string& text, double tracking) {
  double width = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    cairo_text_extents_t e;
    const char glyph[2] = {text[i], 0};
    cairo_text_extents(cr, glyph, &e);
    width += e.x_advance + (i + 1 < text.size() ? tracking : 0);
  }
  return width;
}

void CentredTextPath(cairo_t* cr, const std::string& text, double x, double y, double tracking) {
  cairo_matrix_t fm;
  cairo_get_font_matrix(cr, &fm);
  const double capital = 0.729 * fm.yy;  // DejaVu's capital height
  double pen = x - TextWidth(cr, text, tracking) / 2;
  for (char c : text) {
    const char glyph[2] = {c, 0};
    cairo_text_extents_t e;
    cairo_text_extents(cr, glyph, &e);
    cairo_move_to(cr, pen, y + capital / 2);
    cairo_text_path(cr, glyph);
    pen += e.x_advance + tracking;
  }
}

void EngraveText(cairo_t* cr, const std::string& text, double x, double y, Colour fill,
                 double tracking) {
  Engrave(
      cr, [&](cairo_t* c) { CentredTextPath(c, text, x, y, tracking); }, fill);
}

}  // namespace brimo::artwork
