#include "PanelLayout.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace brimo::artwork {
namespace {

// A stepped switch: one labelled major mark per position.
Knob Selector(std::string file, Box box, double sweep, std::string label, std::string unit,
              std::vector<std::string> legends) {
  Knob knob{std::move(file),
            box,
            static_cast<int>(legends.size()),
            sweep,
            KnobStyle::kChickenHead,
            std::move(label),
            std::move(unit),
            {}};
  for (size_t i = 0; i < legends.size(); ++i) knob.marks.push_back({double(i), legends[i], true});
  return knob;
}

// A 61-frame pot over 300 degrees, numbered 0..10 with half-step ticks.
Knob Pot(std::string file, Box box, std::string label) {
  Knob knob{std::move(file), box, 61, 300, KnobStyle::kFluted, std::move(label), "", {}};
  for (int i = 0; i <= 20; ++i) {
    const bool major = i % 2 == 0;
    knob.marks.push_back({i * 3.0, major ? std::to_string(i / 2) : "", major});
  }
  return knob;
}

// The output trim: -15..+15 dB, two frames per dB, 0 dB straight up.
Knob OutputPot() {
  Knob knob{"OUT", {665, 82, 747, 175}, 61, 300, KnobStyle::kFluted, "dB", "", {}};
  for (int db = -15; db <= 15; ++db) {
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
      Selector("LC", {44, 84, 127, 169}, 200, "CUT", "Hz",
               {"OFF", "68", "100", "144", "205", "307"}),
      Pot("LB", {161, 18, 244, 110}, "BOOST"),
      Selector("LF", {160, 120, 249, 203}, 135, "FREQ", "Hz", {"60", "100", "200", "290"}),
      Pot("MC", {283, 18, 373, 110}, "CUT"),
      Selector("MCF", {283, 122, 372, 215}, 210, "FREQ", "kHz",
               {"0.7", "1.0", "1.3", "2.0", "2.8", "3.4", "4.5", "5.9"}),
      Pot("MB", {405, 18, 497, 110}, "BOOST"),
      Selector("MBF", {404, 122, 497, 215}, 210, "FREQ", "kHz",
               {"0.7", "1.0", "1.4", "2.0", "2.8", "3.5", "4.4", "5.9"}),
      Selector("HB", {530, 18, 625, 110}, 240, "BOOST", "dB",
               {"OFF", "2", "3", "6", "8", "11", "12", "14", "15"}),
      Selector("HC", {530, 122, 625, 215}, 90, "CUT", "kHz", {"OFF", "13", "7.2"}),
      OutputPot(),
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
