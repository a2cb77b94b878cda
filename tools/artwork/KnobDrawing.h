// The control images: knob strips and the two switches, one frame per value stacked vertically,
// transparent around the control so the engraved panel shows through.
#pragma once

#include <cairo.h>

#include "PanelLayout.h"

namespace brimo::artwork {

cairo_surface_t* DrawKnobStrip(const Knob& knob, double scale);
// Frame 0: the slide at 4x; frame 1: at 16x.
cairo_surface_t* DrawOversamplingSwitch(double scale);
// Frame 0: lamp dark (effect in); frame 1: lamp lit (bypassed).
cairo_surface_t* DrawBypassSwitch(double scale);

// The switches' geometry in panel units, for the legends engraved around them.
inline constexpr double kSlideCentreX = 116;  // in the oversampling box
inline constexpr double kSlideTravel = 4.5;   // thumb offset from the centre either way

}  // namespace brimo::artwork
