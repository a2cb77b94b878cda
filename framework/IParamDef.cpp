#include "IParamDef.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

void CopyTruncated(char* dst, const char* src, int dstSize) {
  if (!dst || dstSize <= 0) return;
  int n = 0;
  if (src)
    while (n < dstSize - 1 && src[n]) ++n;
  if (n > 0) std::memcpy(dst, src, size_t(n));
  dst[n] = '\0';
}

int32_t TruncToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return int32_t(v);
}

int32_t IParamDef::PrecisionFromStep(double step) {
  // Counted in binary floating point on purpose: a step such as 0.07 never lands on an integer
  // and runs to the limit of 6, which is what stored displays were made with.
  int32_t precision = 0;
  double d = step;
  while (d != std::floor(d) && precision < 6) {
    ++precision;
    d *= 10.0;
  }
  return precision;
}

void IParamDef::DefineDouble(const char* name, double defaultValue, double min, double max,
                             double step, const char* label, const char* group, double shape) {
  if (kind == KindNone) kind = KindDouble;
  CopyTruncated(this->name, name, sizeof this->name);
  CopyTruncated(this->label, label, sizeof this->label);
  CopyTruncated(this->group, group, sizeof this->group);
  this->min = min;
  this->step = step;
  this->defaultValue = defaultValue;
  value.store(defaultValue, std::memory_order_relaxed);
  this->max = std::max(min + step, max);
  precision = PrecisionFromStep(step);
  if (shape != 0.0) SetShape(shape);
}

void IParamDef::DefineInt(const char* name, int32_t defaultValue, int32_t min, int32_t max,
                          const char* label, const char* group) {
  if (kind == KindNone) kind = KindInt;
  DefineDouble(name, defaultValue, min, max, 1.0, label, group, 1.0);
}

void IParamDef::SetShape(double newShape) {
  if (std::isfinite(newShape) && newShape > 0.0) shape = newShape;
}

void IParamDef::SetName(const char* newName) {
  CopyTruncated(name, newName, sizeof name);
}

void IParamDef::SetDisplayText(int32_t value, const char* text) {
  IDisplayText entry;
  entry.value = value;
  CopyTruncated(entry.text, text, sizeof entry.text);
  displayTexts.push_back(entry);
}

void IParamDef::SetPlain(double plain) {
  if (std::isnan(plain)) return;
  value.store(plain < min ? min : std::min(plain, max), std::memory_order_relaxed);
}

void IParamDef::SetNormalized(double normalized) {
  double v = FromNormalized(normalized);
  // A non-positive step has nothing to round to (it would give NaN or infinity).
  if (kind != KindDouble && step > 0.0) v = std::floor(v / step + 0.5) * step;
  if (std::isnan(v)) return;
  // Inputs outside [0, 1] are a caller's fault; keep the value in range all the same.
  value.store(std::max(min, std::min(v, max)), std::memory_order_relaxed);
}

double IParamDef::ToNormalized(double plain) const {
  if (std::isnan(plain) || !(max > min)) return 0.0;
  const double c = std::max(min, std::min(plain, max));
  const double x = std::pow((c - min) / (max - min), 1.0 / shape);
  return std::isnan(x) ? 0.0 : std::max(0.0, std::min(x, 1.0));
}

double IParamDef::FromNormalized(double normalized) const {
  return std::pow(normalized, shape) * (max - min) + min;
}

const char* IParamDef::GetDisplayText(double plain) const {
  const int32_t key = TruncToInt32(plain);
  for (const IDisplayText& entry : displayTexts)
    if (entry.value == key) return entry.text;
  return "";
}

bool IParamDef::FindDisplayText(const char* text, double* plain) const {
  if (!text) return false;
  auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (isSpace(*text)) ++text;
  size_t length = std::strlen(text);
  while (length > 0 && isSpace(text[length - 1])) --length;
  for (const IDisplayText& entry : displayTexts) {
    if (entry.text[0] == '\0' || std::strlen(entry.text) != length) continue;
    bool same = true;
    for (size_t i = 0; i < length && same; ++i)
      same = std::tolower(static_cast<unsigned char>(entry.text[i])) ==
             std::tolower(static_cast<unsigned char>(text[i]));
    if (!same) continue;
    if (plain) *plain = entry.value;
    return true;
  }
  return false;
}

void IParamDef::FormatValue(double plain, char* out) const {
  if (!out) return;
  const char* text = GetDisplayText(plain);
  if (text[0]) {
    CopyTruncated(out, text, IParamDisplaySize);
    return;
  }
  const double v = negateDisplay ? -plain : plain;
  if (precision > 0)
    std::snprintf(out, IParamDisplaySize, "%.*f", int(precision), v);
  else
    std::snprintf(out, IParamDisplaySize, "%d", int(TruncToInt32(v)));
}

const char* IParamDef::GetLabelForHost() const {
  return GetDisplayText(Value())[0] ? "" : label;
}

const IDisplayText* IParamDef::GetDisplayTextEntry(int32_t position) const {
  return position >= 0 && position < NDisplayTexts() ? &displayTexts[size_t(position)] : nullptr;
}
