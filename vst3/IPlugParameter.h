// A plug-in parameter as the host sees it: an SDK Parameter that presents one IParamDef.
//
// The information reported to the host (title, units, step count, default, unit, flags,
// precision) is fixed at creation. Conversions and texts always go through the record's own rules,
// so the host, the editor and the stored state agree. The record is not owned.
#pragma once

#include "IParamDef.h"

#include "public.sdk/source/vst/vstparameters.h"

class IPlugParameter : public Steinberg::Vst::Parameter {
public:
  IPlugParameter(IParamDef* def, Steinberg::Vst::ParamID id, Steinberg::Vst::UnitID unit);

  void toString(Steinberg::Vst::ParamValue valueNormalized,
                Steinberg::Vst::String128 string) const SMTG_OVERRIDE;
  bool fromString(const Steinberg::Vst::TChar* string,
                  Steinberg::Vst::ParamValue& valueNormalized) const SMTG_OVERRIDE;
  Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue valueNormalized) const
      SMTG_OVERRIDE;
  Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plainValue) const
      SMTG_OVERRIDE;

  IParamDef* Def() const { return def; }

  // The record's display rule for a normalised value, widened byte for byte (at most 127 units).
  static void FormatNormalized(const IParamDef& def, double valueNormalized,
                               Steinberg::Vst::String128 string);
  // The decimal number at the start of text (after white space), independent of the C locale;
  // 0.0 when there is none.
  static double ParseLeadingNumber(const char* text);

  OBJ_METHODS(IPlugParameter, Parameter)

private:
  IParamDef* def;
};

// Widens an 8-bit string into a UTF-16 field, one code unit per byte, at most maxUnits units plus
// the terminator.
void WidenToUtf16(const char* src, Steinberg::Vst::TChar* dst, int maxUnits = 127);
// Narrows UTF-16 to 8 bits by keeping the low byte of each unit, at most maxChars characters plus
// the terminator.
void NarrowFromUtf16(const Steinberg::Vst::TChar* src, char* dst, int maxChars = 127);
