// Drawing helpers shared by the panel and the knobs: our own seeded noise, soft shadows,
// engraved paths and text. Everything is drawn in panel units; the context's matrix carries the
// output scale.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>

namespace brimo::artwork {

// splitmix64: a small fixed-seed generator, so the artwork never depends on the C library's.
class Random {
public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  double Uniform() { return double(Next() >> 11) * 0x1.0p-53; }  // [0, 1)

private:
  uint64_t state_;
};

// Smooth value noise in [-1, 1] on a unit lattice, from a seeded table.
class ValueNoise {
public:
  explicit ValueNoise(uint64_t seed);
  double At(double x, double y) const;

private:
  double Lattice(int x, int y) const;
  uint8_t permutation_[512];
  double values_[256];
};

struct Colour {
  double r, g, b, a = 1;
};
void SetColour(cairo_t* cr, Colour c);

// Builds a path in the current user space.
using PathBuilder = std::function<void(cairo_t*)>;

// Panel-unit to pixel factor of a context (its matrix is a plain scale).
double ContextScale(cairo_t* cr);

// Paints a blurred, offset silhouette of `shape` in black with the given alpha, under whatever is
// drawn next. `blur` is the box radius in panel units.
void DropShadow(cairo_t* cr, const PathBuilder& shape, double dx, double dy, double blur,
                double alpha);

// Paint-filled engraving: a dark lip above-left, a faint highlight below-right, then the fill.
// A positive `stroke` strokes the path with that width instead of filling it.
void Engrave(cairo_t* cr, const PathBuilder& shape, Colour fill, double stroke = 0);

enum class Face { kSansBold, kCondensedBold, kSerifBold };  // all bold: legends read at 6 px
void SelectFace(cairo_t* cr, Face face, double size);

// Advance width of `text` with extra `tracking` between letters, in the current face.
double TextWidth(cairo_t* cr, const std::string& text, double tracking = 0);
// Adds `text` centred on (x, y): horizontally on its advance, vertically on the capital height,
// so rows of labels share a baseline.
void CentredTextPath(cairo_t* cr, const std::string& text, double x, double y, double tracking = 0);
void EngraveText(cairo_t* cr, const std::string& text, double x, double y, Colour fill,
                 double tracking = 0);

}  // namespace brimo::artwork
