#include "PanelLayout.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "PanelLegends.h"

namespace brimo::artwork {
namespace {

// A stepped switch: one labelled major mark per position, legends and unit from the panel's
// table.
Knob Selector(std::string file, Box box, double sweep, int paramIndex) {
  const panel::ControlLegend& legend = *panel::FindControl(paramIndex);
  Knob knob{std::move(file),
            box,
            static_cast<int>(legend.steps.size()),
            sweep,
            KnobStyle::kChickenHead,
            panel::EngravedLabel(legend),
            legend.unit,
            {}};
  for (size_t i = 0; i < legend.steps.size(); ++i)
    knob.marks.push_back({double(i), legend.steps[i].legend, true});
  return knob;
}

// A 61-frame pot over 300 degrees, numbered 0..10 with half-step ticks.
Knob Pot(std::string file, Box box, int paramIndex) {
  Knob knob{std::move(file),
            box,
            61,
            300,
            KnobStyle::kFluted,
            panel::EngravedLabel(*panel::FindControl(paramIndex)),
            "",
            {}};
  for (int i = 0; i <= 20; ++i) {
    const bool major = i % 2 == 0;
    knob.marks.push_back({i * 3.0, major ? std::to_string(i / 2) : "", major});
  }
  return knob;
}

// The output trim: -15..+15 dB, two frames per dB, 0 dB straight up; its unit is its label.
Knob OutputPot() {
  Knob knob{
      "OUT", {665, 82, 747, 175}, 61, 300, KnobStyle::kFluted, panel::FindControl(4)->unit, "", {}};
  for (int db = int(panel::kOutputMinimumDb); db <= int(panel::kOutputMaximumDb); ++db) {
    const bool major = db % 5 == 0;
    char text[8] = "";
    if (major) std::snprintf(text, sizeof text, db == 0 ? "%d" : "%+d", db);
    knob.marks.push_back({(db + 15) * 2.0, text, major});
  }
  return knob;
}

std::vector<Knob> MakeKnobs() {
  // Legends are the signal path's network values rounded for reading: low-boost centres
  // 61/101/197/291 Hz, low-cut corners 68..307 Hz, mid centres in kHz, high-boost lift in dB,
  // high-cut corners 12.9 and 7.2 kHz.
  return {
      Selector("LC", {44, 84, 127, 169}, 200, 7),     Pot("LB", {161, 18, 244, 110}, 1),
      Selector("LF", {160, 120, 249, 203}, 135, 8),   Pot("MC", {283, 18, 373, 110}, 3),
      Selector("MCF", {283, 122, 372, 215}, 210, 10), Pot("MB", {405, 18, 497, 110}, 2),
      Selector("MBF", {404, 122, 497, 215}, 210, 9),  Selector("HB", {530, 18, 625, 110}, 240, 5),
      Selector("HC", {530, 122, 625, 215}, 90, 6),    OutputPot(),
  };
}

}  // namespace

const std::vector<Knob>& Knobs() {
  static const std::vector<Knob> knobs = MakeKnobs();
  return knobs;
}

double PointerAngle(const Knob& knob, double position) {
  const double degrees = -knob.sweep / 2 + knob.sweep * position / (knob.frames - 1);
  return degrees * std::numbers::pi / 180;
}

}  // namespace brimo::artwork
