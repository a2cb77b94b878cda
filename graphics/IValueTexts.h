#pragma once

// What the editor shows of a parameter's value while the user touches its control (the readout)
// and how it reads a value the user types, both in the plug-in's own terms. The plug-in supplies
// one; the graphics core draws the readout and runs the typed entry with it.

#include <cstddef>
#include <cstdint>

struct IReadoutText {
  char name[32] = {};   // the control's name, as the panel shows it
  char value[32] = {};  // the value, as the panel's scale reads it
};

class IValueTexts {
public:
  virtual ~IValueTexts() = default;
  // The readout of paramIdx at a normalised value; false for a parameter without one.
  virtual bool Describe(int32_t paramIdx, double normalized, IReadoutText* out) const = 0;
  // Reads the first length bytes of text (not necessarily terminated) as paramIdx's normalised
  // value; false when the text says no value of it.
  virtual bool Parse(int32_t paramIdx, const char* text, size_t length,
                     double* normalized) const = 0;
};
