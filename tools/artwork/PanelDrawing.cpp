#include "PanelDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>

#include "KnobDrawing.h"
#include "PanelLayout.h"
#include "PanelLegends.h"
#include "Painting.h"

namespace brimo::artwork {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr Colour kPaint{0.93, 0.9, 0.8};  // the cream the legends are filled with
constexpr uint64_t kSeed = 0x4B77696C6C6F77ull;

// Hammered paint: overlapping shallow dimples (a jittered cell grid, each cell's bowl round its
// own random centre) on a gently wavy surface, lit from the upper left with a little metallic
// sheen.
class Hammertone {
public:
  double Height(double x, double y) const {
    // Warp the grid so the dimples are not laid out in rows.
    x += 0.7 * warp_.At(x / 5, y / 5);
    y += 0.7 * warp_.At(x / 5 + 40, y / 5 + 40);
    const double cx = std::floor(x / kCell), cy = std::floor(y / kCell);
    double nearest = 1;
    for (int j = -1; j <= 1; ++j) {
      for (int i = -1; i <= 1; ++i) {
        Random cell(kSeed ^ uint64_t(int64_t(cx + i) * 73856093) ^
                    uint64_t(int64_t(cy + j) * 19349663) << 20);
        const double fx = (cx + i + 0.15 + 0.7 * cell.Uniform()) * kCell;
        const double fy = (cy + j + 0.15 + 0.7 * cell.Uniform()) * kCell;
        const double radius = kCell * (0.6 + 0.35 * cell.Uniform());
        const double d2 = ((x - fx) * (x - fx) + (y - fy) * (y - fy)) / (radius * radius);
        nearest = std::min(nearest, d2);
      }
    }
    return nearest + 0.25 * wave_.At(x / 9, y / 9);
  }

private:
  static constexpr double kCell = 5.2;
  ValueNoise warp_{kSeed + 1}, wave_{kSeed + 2};
};

void PaintHammertone(cairo_surface_t* surface, double scale) {
  const Hammertone hammer;
  const ValueNoise grain(kSeed + 3);
  const double lx = -0.45, ly = -0.6, lz = 0.66;   // unit light vector
  const double hx = -0.25, hy = -0.33, hz = 0.91;  // halfway between light and viewer
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int rows = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int py = 0; py < rows; ++py) {
    for (int px = 0; px < width; ++px) {
      const double x = (px + 0.5) / scale, y = (py + 0.5) / scale;
      constexpr double e = 0.3, depth = 0.45;
      const double nx = -depth * (hammer.Height(x + e, y) - hammer.Height(x - e, y)) / (2 * e);
      const double ny = -depth * (hammer.Height(x, y + e) - hammer.Height(x, y - e)) / (2 * e);
      const double length = std::sqrt(nx * nx + ny * ny + 1);
      const double diffuse = (nx * lx + ny * ly + lz) / (length * lz);
      const double specular = std::pow(std::max(0.0, (nx * hx + ny * hy + hz) / length), 40);
      // Slightly lighter towards the top, as a lit panel looks.
      const double sheen = 1.04 - 0.08 * y / kPanelHeight - 0.03 * std::abs(x / kPanelWidth - 0.5);
      const double level = sheen * (0.8 + 0.2 * diffuse) + 0.02 * grain.At(x * 1.7, y * 1.7);
      const auto channel = [&](double base) {
        return uint32_t(std::clamp((base * level + 0.12 * specular) * 255 + 0.5, 0.0, 255.0));
      };
      const uint32_t argb = 0xFF000000u | channel(0.28) << 16 | channel(0.35) << 8 | channel(0.405);
      std::memcpy(data + py * stride + px * 4, &argb, 4);
    }
  }
  cairo_surface_mark_dirty(surface);
}

// A bevelled edge all round, as on a folded steel panel.
void PanelEdge(cairo_t* cr) {
  const double w = kPanelWidth, h = kPanelHeight;
  cairo_set_line_width(cr, 1);
  cairo_move_to(cr, 0.5, h);
  cairo_line_to(cr, 0.5, 0.5);
  cairo_line_to(cr, w, 0.5);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.22);
  cairo_stroke(cr);
  cairo_move_to(cr, w - 0.5, 0);
  cairo_line_to(cr, w - 0.5, h - 0.5);
  cairo_line_to(cr, 0, h - 0.5);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
  cairo_stroke(cr);
}

void Screw(cairo_t* cr, double x, double y, double slot) {
  constexpr double r = 4.2;
  const auto head = [&](cairo_t* c) {
    cairo_new_sub_path(c);
    cairo_arc(c, x, y, r, 0, 2 * kPi);
  };
  DropShadow(cr, head, 0.6, 1.0, 1.2, 0.6);
  head(cr);
  cairo_pattern_t* metal = cairo_pattern_create_radial(x - 1.5, y - 1.8, 0.3, x, y, r + 1);
  cairo_pattern_add_color_stop_rgb(metal, 0, 0.92, 0.93, 0.94);
  cairo_pattern_add_color_stop_rgb(metal, 0.7, 0.58, 0.6, 0.62);
  cairo_pattern_add_color_stop_rgb(metal, 1, 0.35, 0.36, 0.38);
  cairo_set_source(cr, metal);
  cairo_fill(cr);
  cairo_pattern_destroy(metal);
  const double dx = std::cos(slot) * (r - 0.6), dy = std::sin(slot) * (r - 0.6);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_line_width(cr, 1.1);
  cairo_move_to(cr, x - dx, y - dy);
  cairo_line_to(cr, x + dx, y + dy);
  cairo_set_source_rgba(cr, 0.1, 0.1, 0.12, 0.9);
  cairo_stroke(cr);
  cairo_move_to(cr, x - dx + 0.4, y - dy + 0.5);
  cairo_line_to(cr, x + dx + 0.4, y + dy + 0.5);
  cairo_set_line_width(cr, 0.4);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
  cairo_stroke(cr);
}

// A section title centred on a rule: "——— LOW ———".
void SectionHeader(cairo_t* cr, const std::string& title, double left, double right, double y) {
  SelectFace(cr, Face::kSansBold, 8);
  constexpr double kTracking = 1.6;
  const double centre = (left + right) / 2;
  const double half = TextWidth(cr, title, kTracking) / 2 + 5;
  EngraveText(cr, title, centre, y, kPaint, kTracking);
  Engrave(
      cr,
      [&](cairo_t* c) {
        cairo_move_to(c, left, y + 4);
        cairo_line_to(c, left, y);
        cairo_line_to(c, centre - half, y);
        cairo_move_to(c, centre + half, y);
        cairo_line_to(c, right, y);
        cairo_line_to(c, right, y + 4);
      },
      kPaint, 0.8);
}

void KnobScale(cairo_t* cr, const Knob& knob) {
  const double cx = knob.box.CentreX(), cy = knob.box.CentreY();
  constexpr double kInner = 29.5, kMinor = 31.8, kMajor = 33.4, kText = 35.4;
  const bool pot = knob.style == KnobStyle::kFluted;
  Engrave(
      cr,
      [&](cairo_t* c) {
        if (pot) {
          cairo_new_sub_path(c);
          cairo_arc(c, cx, cy, kInner, PointerAngle(knob, 0) - kPi / 2,
                    PointerAngle(knob, knob.frames - 1) - kPi / 2);
        }
        for (const ScaleMark& mark : knob.marks) {
          const double a = PointerAngle(knob, mark.position);
          const double sx = std::sin(a), sy = -std::cos(a);
          const double outer = mark.major ? kMajor : kMinor;
          cairo_move_to(c, cx + sx * kInner, cy + sy * kInner);
          cairo_line_to(c, cx + sx * outer, cy + sy * outer);
        }
      },
      kPaint, pot ? 0.75 : 1.1);
  if (!pot) {
    Engrave(
        cr,
        [&](cairo_t* c) {
          cairo_arc(c, cx, cy, kInner, PointerAngle(knob, 0) - kPi / 2,
                    PointerAngle(knob, knob.frames - 1) - kPi / 2);
        },
        kPaint, 0.6);
  }

  SelectFace(cr, Face::kCondensedBold, 7);
  const double capital = 0.729 * 7;
  for (const ScaleMark& mark : knob.marks) {
    if (mark.text.empty()) continue;
    const double a = PointerAngle(knob, mark.position);
    const double sx = std::sin(a), sy = -std::cos(a);
    // Push the label out until its box clears the circle on the side facing the knob.
    const double w = TextWidth(cr, mark.text);
    const double r = kText + 0.5 * (w * std::abs(sx) + capital * std::abs(sy));
    EngraveText(cr, mark.text, cx + sx * r, cy + sy * r, kPaint);
  }

  const double labelY = cy + (pot ? 41.5 : 33.5);
  SelectFace(cr, Face::kSansBold, 6.6);
  EngraveText(cr, knob.label, cx, labelY, kPaint, 0.6);
  if (!knob.unit.empty()) {
    SelectFace(cr, Face::kCondensedBold, 6);
    EngraveText(cr, knob.unit, cx, labelY + 7.5, kPaint, 0.3);
  }
}

void Nameplate(cairo_t* cr, double left, double top, double right, double bottom) {
  const auto plate = [&](cairo_t* c) {
    constexpr double r = 3;
    cairo_new_sub_path(c);
    cairo_arc(c, left + r, top + r, r, kPi, 1.5 * kPi);
    cairo_arc(c, right - r, top + r, r, 1.5 * kPi, 2 * kPi);
    cairo_arc(c, right - r, bottom - r, r, 0, 0.5 * kPi);
    cairo_arc(c, left + r, bottom - r, r, 0.5 * kPi, kPi);
    cairo_close_path(c);
  };
  DropShadow(cr, plate, 1.0, 1.8, 2.4, 0.65);
  plate(cr);
  cairo_pattern_t* metal = cairo_pattern_create_linear(left, top, left + 12, bottom + 30);
  cairo_pattern_add_color_stop_rgb(metal, 0, 0.86, 0.87, 0.86);
  cairo_pattern_add_color_stop_rgb(metal, 0.5, 0.7, 0.71, 0.71);
  cairo_pattern_add_color_stop_rgb(metal, 1, 0.6, 0.61, 0.61);
  cairo_set_source(cr, metal);
  cairo_fill(cr);
  cairo_pattern_destroy(metal);

  // Brushed grain: short horizontal strokes of random brightness.
  cairo_save(cr);
  plate(cr);
  cairo_clip(cr);
  Random random(kSeed + 10);
  cairo_set_line_width(cr, 0.35);
  for (double y = top; y < bottom; y += 0.3) {
    double x = left - 20 * random.Uniform();
    while (x < right) {
      const double length = 8 + 30 * random.Uniform();
      const bool light = random.Uniform() < 0.5;
      const double a = 0.03 + 0.07 * random.Uniform();
      cairo_move_to(cr, x, y);
      cairo_line_to(cr, x + length, y);
      cairo_set_source_rgba(cr, light, light, light, a);
      cairo_stroke(cr);
      x += length + 4 * random.Uniform();
    }
  }
  cairo_restore(cr);

  plate(cr);
  cairo_set_line_width(cr, 1);
  cairo_pattern_t* rim = cairo_pattern_create_linear(left, top, right, bottom);
  cairo_pattern_add_color_stop_rgba(rim, 0, 1, 1, 1, 0.8);
  cairo_pattern_add_color_stop_rgba(rim, 1, 0, 0, 0, 0.5);
  cairo_set_source(cr, rim);
  cairo_stroke(cr);
  cairo_pattern_destroy(rim);

  // The name stamped into the plate: dark fill, a light lip below.
  const double cx = (left + right) / 2;
  const auto stamp = [&](const std::string& text, double y, double tracking, Colour ink) {
    cairo_save(cr);
    cairo_translate(cr, 0.5, 0.6);
    CentredTextPath(cr, text, cx, y, tracking);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
    cairo_fill(cr);
    cairo_restore(cr);
    CentredTextPath(cr, text, cx, y, tracking);
    SetColour(cr, ink);
    cairo_fill(cr);
  };
  SelectFace(cr, Face::kSerifBold, 21);
  stamp("BRIMO", top + (bottom - top) * 0.42, 3.2, {0.1, 0.12, 0.15});
  SelectFace(cr, Face::kCondensedBold, 6);
  stamp("PROGRAMME EQUALISER", bottom - 8, 1.1, {0.16, 0.19, 0.23});
}

}  // namespace

cairo_surface_t* DrawPanel(double scale) {
  const int width = int(std::lround(kPanelWidth * scale));
  const int height = int(std::lround(kPanelHeight * scale));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  PaintHammertone(surface, scale);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  PanelEdge(cr);

  Random random(kSeed + 20);
  for (const auto& [x, y] : {std::pair{9.0, 9.0}, {781.0, 9.0}, {9.0, 240.0}, {781.0, 240.0}}) {
    Screw(cr, x, y, random.Uniform() * kPi);
  }

  SectionHeader(cr, panel::FindControl(1)->section, 26, 260, 9);
  SectionHeader(cr, panel::FindControl(2)->section, 270, 508, 9);
  SectionHeader(cr, panel::FindControl(5)->section, 518, 638, 9);
  SectionHeader(cr, panel::FindControl(4)->section, 652, 760, 74);
  for (const double x : {265.0, 513.0, 646.5}) {
    Engrave(
        cr,
        [&](cairo_t* c) {
          cairo_move_to(c, x, 22);
          cairo_line_to(c, x, 206);
        },
        {0.05, 0.07, 0.09, 0.35}, 0.8);
  }
  for (const Knob& knob : Knobs()) KnobScale(cr, knob);

  // The switches' legends, beside the switch images.
  const double slideY = kOversamplingBox.CentreY();
  SelectFace(cr, Face::kSansBold, 6.3);
  const panel::ControlLegend& oversampling = *panel::FindControl(11);
  EngraveText(cr, oversampling.section, 52, slideY, kPaint, 0.4);
  SelectFace(cr, Face::kCondensedBold, 7);
  EngraveText(cr, panel::StepText(oversampling, oversampling.steps[0]).c_str(), kSlideCentreX - 23,
              slideY, kPaint);
  EngraveText(cr, panel::StepText(oversampling, oversampling.steps[1]).c_str(), kSlideCentreX + 25,
              slideY, kPaint);
  SelectFace(cr, Face::kSansBold, 6.6);
  EngraveText(cr, panel::FindControl(12)->section, kBypassBox.left - 18, kBypassBox.CentreY(),
              kPaint, 0.6);

  Nameplate(cr, 655, 16, 757, 60);
  SelectFace(cr, Face::kCondensedBold, 7);
  EngraveText(cr, "KwillowAudioLab", kLinkBox.CentreX() - 6, kLinkBox.CentreY() - 3, kPaint, 0.3);
  SelectFace(cr, Face::kSansBold, 5.5);
  EngraveText(cr, "www", kLinkBox.CentreX() - 6, kLinkBox.CentreY() + 5.5, kPaint, 0.8);

  cairo_destroy(cr);
  return surface;
}

}  // namespace brimo::artwork
