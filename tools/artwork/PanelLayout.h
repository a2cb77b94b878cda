// Where every control sits on the panel, what its scale says, and at which angle each frame of its
// image points. The background's legends and the knob strips both read this table, so the
// engraved scale and the drawn pointer always agree.
#pragma once

#include <string>
#include <vector>

namespace brimo::artwork {

// A rectangle in panel units (one unit is one pixel at scale 1); right and bottom exclusive.
struct Box {
  double left, top, right, bottom;
  double Width() const { return right - left; }
  double Height() const { return bottom - top; }
  double CentreX() const { return (left + right) / 2; }
  double CentreY() const { return (top + bottom) / 2; }
};

enum class KnobStyle { kFluted, kChickenHead };

// A tick on a knob's scale. Position is in frames (0 = first frame), fractional between frames.
struct ScaleMark {
  double position;
  std::string text;  // empty: an unlabelled tick
  bool major;
};

struct Knob {
  std::string file;  // image name without ".png"
  Box box;           // one frame; the knob turns about the box centre
  int frames;
  double sweep;  // degrees from the first frame's pointer to the last's, centred on straight up
  KnobStyle style;
  std::string label;  // engraved under the knob
  std::string unit;   // smaller, under the label; may be empty
  std::vector<ScaleMark> marks;
};

inline constexpr double kPanelWidth = 790;
inline constexpr double kPanelHeight = 249;
inline constexpr Box kOversamplingBox{0, 221, 150, 246};  // 2 frames: 4x, 16x
inline constexpr Box kBypassBox{375, 219, 415, 249};      // 2 frames: in, bypassed
inline constexpr Box kLinkBox{694, 221, 790, 249};        // opens the product page

const std::vector<Knob>& Knobs();

// Radians clockwise from straight up for a (fractional) frame position.
double PointerAngle(const Knob& knob, double position);

}  // namespace brimo::artwork
