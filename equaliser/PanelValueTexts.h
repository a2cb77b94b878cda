// The editor's readout and typed values for BRIMO's controls, in the panel's own terms (see
// PanelLegends.h): "LOW BOOST  4.3", "OUTPUT  +3.2 dB", "LOW FREQ  100 Hz".
#pragma once

#include "IValueTexts.h"

class PanelValueTexts : public IValueTexts {
public:
  bool Describe(int32_t paramIdx, double normalized, IReadoutText* out) const override;
  // Accepts what the readout shows and plain numbers in the same terms ("4.3", "+3.2 dB", "-3,2",
  // "100 Hz", "100", "off", "16x"), case and surrounding blanks aside: numbers are clamped to the
  // control's range and a stepped control takes its nearest step. Refuses anything else, numbers
  // of more than 12 digits and texts longer than 31 bytes.
  bool Parse(int32_t paramIdx, const char* text, size_t length, double* normalized) const override;
};
