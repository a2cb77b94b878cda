#include "IGraphicsRecords.h"

#include <algorithm>

#include "LiceBlit.h"

IBox IBox::Union(const IBox& a, const IBox& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return {std::min(a.L, b.L), std::min(a.T, b.T), std::max(a.R, b.R), std::max(a.B, b.B)};
}

IBox IBox::Clip(const IBox& a, const IBox& d) {
  if (a.Empty() || d.Empty() || !Overlaps(a, d)) return {};
  return {std::max(a.L, d.L), std::max(a.T, d.T), std::min(a.R, d.R), std::min(a.B, d.B)};
}

int32_t IBlend::ComposeMode() const {
  switch (method) {
    case BlendOpaque:
      return ComposeCopy;
    case BlendAdd:
      return ComposeAdd | ComposeUseSourceAlpha;
    case BlendDodge:
      return ComposeDodge | ComposeUseSourceAlpha;
    default:
      return ComposeCopy | ComposeUseSourceAlpha;
  }
}
