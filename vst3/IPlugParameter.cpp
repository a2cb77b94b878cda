#include "IPlugParameter.h"

#include "base/source/fstring.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

using namespace Steinberg;
using namespace Steinberg::Vst;

void WidenToUtf16(const char* src, TChar* dst, int maxUnits) {
  int i = 0;
  if (src)
    for (; i < maxUnits && src[i]; ++i)
      dst[i] = static_cast<TChar>(static_cast<unsigned char>(src[i]));
  dst[i] = 0;
}

void NarrowFromUtf16(const TChar* src, char* dst, int maxChars) {
  int i = 0;
  if (src)
    for (; i < maxChars && src[i]; ++i) dst[i] = static_cast<char>(src[i] & 0xFF);
  dst[i] = 0;
}

IPlugParameter::IPlugParameter(IParamDef* def, ParamID id, UnitID unit) : def(def) {
  info.id = id;
  WidenToUtf16(def->Name(), info.title);
  info.shortTitle[0] = 0;
  WidenToUtf16(def->GetLabelForHost(), info.units);
  info.stepCount = def->Kind() == KindDouble ? 0 : TruncToInt32(def->Max() - def->Min());
  info.defaultNormalizedValue = def->ToNormalized(def->DefaultValue());
  info.unitId = unit;
  if (def->IsHidden())
    info.flags = ParameterInfo::kIsHidden | ParameterInfo::kIsReadOnly;
  else
    info.flags = def->IsAutomatable() ? ParameterInfo::kCanAutomate : 0;
  precision = def->Precision();
  valueNormalized = info.defaultNormalizedValue;
}

void IPlugParameter::FormatNormalized(const IParamDef& def, double valueNormalized,
                                      String128 string) {
  char text[IParamDisplaySize] = {};
  def.FormatValue(def.FromNormalized(valueNormalized), text);
  WidenToUtf16(text, string);
}

void IPlugParameter::toString(ParamValue value, String128 string) const {
  FormatNormalized(*def, value, string);
}

double IPlugParameter::ParseLeadingNumber(const char* text) {
  if (text == nullptr) return 0.0;
  const char* p = text;
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  const char* digits = p;
  bool any = false;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p, any = true;
  // A decimal comma is read like a point: hosts that set a decimal-comma locale show our
  // values with one, and a user types back what the host shows.
  const char* separator = nullptr;
  if (*p == '.' || *p == ',') {
    separator = p++;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p, any = true;
  }
  if (!any) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char* e = p + 1;
    if (*e == '+' || *e == '-') ++e;
    if (std::isdigit(static_cast<unsigned char>(*e))) {
      while (std::isdigit(static_cast<unsigned char>(*e))) ++e;
      p = e;
    }
  }
  // The text comes from a String128, so its number fits this buffer; a longer one is cut.
  char number[256] = {};
  const size_t length = std::min(static_cast<size_t>(p - digits), sizeof number);
  std::copy_n(digits, length, number);
  if (separator != nullptr && static_cast<size_t>(separator - digits) < length)
    number[separator - digits] = '.';
  double v = 0.0;
  const auto result = std::from_chars(number, number + length, v, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large saturates; too small is zero.
    const char* e = number;
    while (e < number + length && *e != 'e' && *e != 'E') ++e;
    const bool hugeExponent = !(e < number + length && e[1] == '-');
    v = hugeExponent ? HUGE_VAL : 0.0;
  } else if (result.ec != std::errc())
    return 0.0;
  return negative ? -v : v;
}

bool IPlugParameter::fromString(const TChar* string, ParamValue& value) const {
  String text(string);
  text.toMultiByte(kCP_Default);
  // A display text ("16x", "on") is read back as the value it stands for; anything else as a
  // number.
  double plain = 0.0;
  if (!def->FindDisplayText(text.text8(), &plain)) plain = ParseLeadingNumber(text.text8());
  value = def->ToNormalized(plain);
  return true;
}

ParamValue IPlugParameter::toPlain(ParamValue value) const {
  return def->FromNormalized(value);
}

ParamValue IPlugParameter::toNormalized(ParamValue plain) const {
  return def->ToNormalized(plain);
}
