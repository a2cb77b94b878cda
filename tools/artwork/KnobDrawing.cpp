#include "KnobDrawing.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>

#include "Painting.h"

namespace brimo::artwork {
namespace {

constexpr double kPi = std::numbers::pi;

// Light falls from the upper left; shading stays put while the knob turns.
constexpr double kLightX = -0.6, kLightY = -0.8;

// Renders each frame on its own surface (so shadows blur within the frame) and stacks them.
cairo_surface_t* Strip(const Box& box, int frames, double scale,
                       const std::function<void(cairo_t*, int)>& drawFrame) {
  const int width = int(std::lround(box.Width() * scale));
  const int height = int(std::lround(box.Height() * scale));
  cairo_surface_t* strip = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height * frames);
  const int stride = cairo_image_surface_get_stride(strip);
  cairo_surface_flush(strip);
  for (int k = 0; k < frames; ++k) {
    cairo_surface_t* frame = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(frame);
    cairo_scale(cr, scale, scale);
    drawFrame(cr, k);
    cairo_destroy(cr);
    cairo_surface_flush(frame);
    const int frameStride = cairo_image_surface_get_stride(frame);
    for (int y = 0; y < height; ++y) {
      std::memcpy(cairo_image_surface_get_data(strip) + (size_t(k) * height + y) * stride,
                  cairo_image_surface_get_data(frame) + size_t(y) * frameStride, size_t(width) * 4);
    }
    cairo_surface_destroy(frame);
  }
  cairo_surface_mark_dirty(strip);
  return strip;
}

void Circle(cairo_t* cr, double x, double y, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x, y, r, 0, 2 * kPi);
}

// A linear gradient across a disc along the light, from `lit` to `shaded`.
cairo_pattern_t* LitGradient(double x, double y, double r, Colour lit, Colour shaded) {
  cairo_pattern_t* p = cairo_pattern_create_linear(x + kLightX * r, y + kLightY * r,
                                                   x - kLightX * r, y - kLightY * r);
  cairo_pattern_add_color_stop_rgba(p, 0, lit.r, lit.g, lit.b, lit.a);
  cairo_pattern_add_color_stop_rgba(p, 1, shaded.r, shaded.g, shaded.b, shaded.a);
  return p;
}

void FillWith(cairo_t* cr, cairo_pattern_t* pattern) {
  cairo_set_source(cr, pattern);
  cairo_fill(cr);
  cairo_pattern_destroy(pattern);
}

// A rim lit on the light side and dark on the far side, stroked along the current path.
void StrokeRim(cairo_t* cr, double x, double y, double r, double width, double light, double dark) {
  cairo_pattern_t* p = cairo_pattern_create_linear(x + kLightX * r, y + kLightY * r,
                                                   x - kLightX * r, y - kLightY * r);
  cairo_pattern_add_color_stop_rgba(p, 0, 1, 1, 1, light);
  cairo_pattern_add_color_stop_rgba(p, 0.5, 1, 1, 1, 0);
  cairo_pattern_add_color_stop_rgba(p, 0.5, 0, 0, 0, 0);
  cairo_pattern_add_color_stop_rgba(p, 1, 0, 0, 0, dark);
  cairo_set_source(cr, p);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
  cairo_pattern_destroy(p);
}

// A soft specular spot, clipped to a shape.
void Highlight(cairo_t* cr, const PathBuilder& shape, double x, double y, double r, double alpha) {
  cairo_pattern_t* spot = cairo_pattern_create_radial(x, y, 0, x, y, r);
  cairo_pattern_add_color_stop_rgba(spot, 0, 1, 1, 1, alpha);
  cairo_pattern_add_color_stop_rgba(spot, 1, 1, 1, 1, 0);
  shape(cr);
  FillWith(cr, spot);
}

void PointerLine(cairo_t* cr, double x, double y, double angle, double from, double to,
                 double width) {
  const double dx = std::sin(angle), dy = -std::cos(angle);
  cairo_move_to(cr, x + dx * from, y + dy * from);
  cairo_line_to(cr, x + dx * to, y + dy * to);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, width);
  cairo_set_source_rgb(cr, 0.95, 0.94, 0.9);
  cairo_stroke(cr);
}

constexpr Colour kBakeliteLit{0.25, 0.24, 0.23}, kBakeliteDark{0.02, 0.02, 0.02};

// A round skirted knob with a fluted cap, for the continuous controls.
void FlutedKnob(cairo_t* cr, double x, double y, double angle) {
  constexpr double kSkirt = 24.5, kCap = 17, kFace = 12.6;
  constexpr int kFlutes = 24;
  DropShadow(
      cr, [&](cairo_t* c) { Circle(c, x, y, kSkirt); }, 1.3, 2.4, 3.2, 0.7);

  Circle(cr, x, y, kSkirt);
  FillWith(cr, LitGradient(x, y, kSkirt, {0.36, 0.35, 0.34}, kBakeliteDark));
  Highlight(
      cr, [&](cairo_t* c) { Circle(c, x, y, kSkirt); }, x - 12, y - 14, 12, 0.22);
  Circle(cr, x, y, kSkirt - 0.6);
  StrokeRim(cr, x, y, kSkirt, 1.0, 0.35, 0.6);
  PointerLine(cr, x, y, angle, kCap + 1.2, kSkirt - 1.6, 1.7);

  // The cap stands above the skirt and shades it.
  const auto capOutline = [&](cairo_t* c) {
    cairo_new_sub_path(c);
    for (int i = 0; i < 360; ++i) {
      const double phi = angle + 2 * kPi * i / 360;
      const double r = kCap - 1.5 * (0.5 - 0.5 * std::cos(kFlutes * (phi - angle)));
      cairo_line_to(c, x + r * std::sin(phi), y - r * std::cos(phi));
    }
    cairo_close_path(c);
  };
  DropShadow(cr, capOutline, 0.8, 1.5, 1.6, 0.6);
  capOutline(cr);
  FillWith(cr, LitGradient(x, y, kCap, kBakeliteLit, kBakeliteDark));
  // Each flute ridge catches the light according to which way it faces.
  cairo_set_line_width(cr, 0.9);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (int i = 0; i < kFlutes; ++i) {
    const double phi = angle + 2 * kPi * i / kFlutes;
    const double sx = std::sin(phi), sy = -std::cos(phi);
    const double facing = sx * kLightX + sy * kLightY;
    if (facing > 0) {
      cairo_set_source_rgba(cr, 1, 1, 1, 0.08 + 0.45 * facing);
    } else {
      cairo_set_source_rgba(cr, 0, 0, 0, -0.5 * facing);
    }
    cairo_move_to(cr, x + sx * (kFace + 0.6), y + sy * (kFace + 0.6));
    cairo_line_to(cr, x + sx * (kCap - 0.5), y + sy * (kCap - 0.5));
    cairo_stroke(cr);
  }
  capOutline(cr);
  StrokeRim(cr, x, y, kCap, 0.7, 0.25, 0.5);

  // The flat top of the cap, with a soft sheen towards the light.
  Circle(cr, x, y, kFace);
  cairo_pattern_t* face = cairo_pattern_create_radial(x - 4, y - 5, 0.5, x, y, kFace + 3);
  cairo_pattern_add_color_stop_rgb(face, 0, 0.36, 0.35, 0.34);
  cairo_pattern_add_color_stop_rgb(face, 0.6, 0.12, 0.12, 0.115);
  cairo_pattern_add_color_stop_rgb(face, 1, 0.04, 0.04, 0.04);
  FillWith(cr, face);
  Circle(cr, x, y, kFace);
  StrokeRim(cr, x, y, kFace, 0.8, 0.3, 0.6);
  PointerLine(cr, x, y, angle, 3.0, kFace - 1.6, 1.8);
}

void ChickenHeadPath(cairo_t* cr, double x, double y, double angle) {
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_rotate(cr, angle);  // clockwise on screen: (0, -1) turns to (sin, -cos)
  cairo_new_sub_path(cr);
  cairo_move_to(cr, -2.6, -25.2);
  cairo_curve_to(cr, -4.8, -16, -10.5, -9, -10.5, 0);
  cairo_curve_to(cr, -10.5, 6, -8.5, 11, -8.5, 15);
  cairo_arc_negative(cr, 0, 15, 8.5, kPi, 0);
  cairo_curve_to(cr, 8.5, 11, 10.5, 6, 10.5, 0);
  cairo_curve_to(cr, 10.5, -9, 4.8, -16, 2.6, -25.2);
  cairo_arc_negative(cr, 0, -25.2, 2.6, 0, -kPi);
  cairo_close_path(cr);
  cairo_restore(cr);
}

// A pointer knob for the stepped switches.
void ChickenHead(cairo_t* cr, double x, double y, double angle) {
  const auto body = [&](cairo_t* c) { ChickenHeadPath(c, x, y, angle); };
  DropShadow(cr, body, 1.4, 2.4, 3.0, 0.7);
  body(cr);
  FillWith(cr, LitGradient(x, y, 20, {0.28, 0.27, 0.26}, kBakeliteDark));
  // A bevel inside the edge: the outline stroked twice as wide, clipped to the body.
  cairo_save(cr);
  body(cr);
  cairo_clip_preserve(cr);
  StrokeRim(cr, x, y, 22, 3.2, 0.3, 0.7);
  cairo_restore(cr);
  Highlight(cr, body, x - 6, y - 8, 9, 0.2);
  // The raised hub.
  Circle(cr, x, y, 7.5);
  cairo_pattern_t* hub = cairo_pattern_create_radial(x - 2.5, y - 3, 0.5, x, y, 9);
  cairo_pattern_add_color_stop_rgb(hub, 0, 0.3, 0.29, 0.28);
  cairo_pattern_add_color_stop_rgb(hub, 1, 0.05, 0.05, 0.05);
  FillWith(cr, hub);
  Circle(cr, x, y, 7.5);
  StrokeRim(cr, x, y, 7.5, 0.8, 0.25, 0.6);
  PointerLine(cr, x, y, angle, 9.5, 24.0, 1.8);
}

}  // namespace

cairo_surface_t* DrawKnobStrip(const Knob& knob, double scale) {
  const double x = knob.box.Width() / 2, y = knob.box.Height() / 2;
  return Strip(knob.box, knob.frames, scale, [&](cairo_t* cr, int k) {
    const double angle = PointerAngle(knob, k);
    if (knob.style == KnobStyle::kFluted) {
      FlutedKnob(cr, x, y, angle);
    } else {
      ChickenHead(cr, x, y, angle);
    }
  });
}

cairo_surface_t* DrawOversamplingSwitch(double scale) {
  const double y = kOversamplingBox.Height() / 2;
  return Strip(kOversamplingBox, 2, scale, [&](cairo_t* cr, int k) {
    const double x = kSlideCentreX;
    // Chrome escutcheon with a dark slot.
    const auto plate = [&](cairo_t* c) {
      cairo_new_sub_path(c);
      cairo_arc(c, x - 8, y, 6.5, kPi / 2, 3 * kPi / 2);
      cairo_arc(c, x + 8, y, 6.5, -kPi / 2, kPi / 2);
      cairo_close_path(c);
    };
    DropShadow(cr, plate, 0.8, 1.4, 2.0, 0.6);
    plate(cr);
    cairo_pattern_t* chrome = cairo_pattern_create_linear(0, y - 6.5, 0, y + 6.5);
    cairo_pattern_add_color_stop_rgb(chrome, 0, 0.93, 0.94, 0.95);
    cairo_pattern_add_color_stop_rgb(chrome, 0.45, 0.62, 0.64, 0.66);
    cairo_pattern_add_color_stop_rgb(chrome, 0.55, 0.45, 0.47, 0.5);
    cairo_pattern_add_color_stop_rgb(chrome, 1, 0.78, 0.8, 0.82);
    FillWith(cr, chrome);
    plate(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_set_line_width(cr, 0.6);
    cairo_stroke(cr);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x - 7, y, 2.6, kPi / 2, 3 * kPi / 2);
    cairo_arc(cr, x + 7, y, 2.6, -kPi / 2, kPi / 2);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.03, 0.03, 0.04);
    cairo_fill(cr);
    // The thumb.
    const double tx = x + (k == 0 ? -kSlideTravel : kSlideTravel);
    const auto thumb = [&](cairo_t* c) {
      cairo_new_sub_path(c);
      cairo_arc(c, tx - 3.5, y - 4.5, 1.5, kPi, 3 * kPi / 2);
      cairo_arc(c, tx + 3.5, y - 4.5, 1.5, 3 * kPi / 2, 2 * kPi);
      cairo_arc(c, tx + 3.5, y + 4.5, 1.5, 0, kPi / 2);
      cairo_arc(c, tx - 3.5, y + 4.5, 1.5, kPi / 2, kPi);
      cairo_close_path(c);
    };
    DropShadow(cr, thumb, 0.8, 1.4, 1.6, 0.7);
    thumb(cr);
    FillWith(cr, LitGradient(tx, y, 6, {0.3, 0.29, 0.28}, kBakeliteDark));
    thumb(cr);
    StrokeRim(cr, tx, y, 6, 0.8, 0.35, 0.6);
    cairo_set_line_width(cr, 0.7);
    for (int i = -1; i <= 1; ++i) {
      cairo_move_to(cr, tx + 2.2 * i - 0.35, y - 4);
      cairo_line_to(cr, tx + 2.2 * i - 0.35, y + 4);
      cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
      cairo_stroke(cr);
      cairo_move_to(cr, tx + 2.2 * i + 0.35, y - 4);
      cairo_line_to(cr, tx + 2.2 * i + 0.35, y + 4);
      cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
      cairo_stroke(cr);
    }
  });
}

cairo_surface_t* DrawBypassSwitch(double scale) {
  const double x = kBypassBox.Width() / 2, y = kBypassBox.Height() / 2;
  constexpr double kBezel = 10.5, kLens = 7.6;
  return Strip(kBypassBox, 2, scale, [&](cairo_t* cr, int k) {
    const bool lit = k == 1;
    if (lit) {
      // The lamp's glow on the panel around the bezel.
      cairo_pattern_t* glow = cairo_pattern_create_radial(x, y, kBezel - 1, x, y, 15);
      cairo_pattern_add_color_stop_rgba(glow, 0, 1, 0.55, 0.1, 0.5);
      cairo_pattern_add_color_stop_rgba(glow, 1, 1, 0.45, 0.05, 0);
      cairo_rectangle(cr, 0, 0, kBypassBox.Width(), kBypassBox.Height());
      FillWith(cr, glow);
    }
    DropShadow(
        cr, [&](cairo_t* c) { Circle(c, x, y, kBezel); }, 1.0, 1.8, 2.4, 0.65);
    Circle(cr, x, y, kBezel);
    FillWith(cr, LitGradient(x, y, kBezel, {0.95, 0.96, 0.97}, {0.38, 0.4, 0.42}));
    Circle(cr, x, y, kLens + 1.1);
    FillWith(cr, LitGradient(x, y, kLens, {0.3, 0.31, 0.33}, {0.9, 0.91, 0.92}));
    Circle(cr, x, y, kLens);
    cairo_pattern_t* lens = cairo_pattern_create_radial(x - 1, y - 1.5, 0.5, x, y, kLens);
    if (lit) {
      cairo_pattern_add_color_stop_rgb(lens, 0, 1, 0.97, 0.8);
      cairo_pattern_add_color_stop_rgb(lens, 0.35, 1, 0.75, 0.25);
      cairo_pattern_add_color_stop_rgb(lens, 1, 0.85, 0.3, 0.03);
    } else {
      cairo_pattern_add_color_stop_rgb(lens, 0, 0.36, 0.16, 0.06);
      cairo_pattern_add_color_stop_rgb(lens, 1, 0.12, 0.04, 0.02);
    }
    FillWith(cr, lens);
    // Faceted jewel: the glass reflects the light in a small crescent.
    cairo_pattern_t* sheen =
        cairo_pattern_create_radial(x - 2.6, y - 3.2, 0.2, x - 2.6, y - 3.2, 3.2);
    cairo_pattern_add_color_stop_rgba(sheen, 0, 1, 1, 1, lit ? 0.75 : 0.55);
    cairo_pattern_add_color_stop_rgba(sheen, 1, 1, 1, 1, 0);
    Circle(cr, x, y, kLens);
    FillWith(cr, sheen);
  });
}

}  // namespace brimo::artwork
