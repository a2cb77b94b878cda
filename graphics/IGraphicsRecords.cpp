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

int32_t KeyCodeFromVirtualKey(int32_t virtualKey) {
  switch (virtualKey) {
    case 0x20:
      return KeySpace;
    case 0x26:
      return KeyUp;
    case 0x28:
      return KeyDown;
    case 0x25:
      return KeyLeft;
    case 0x27:
      return KeyRight;
    default:
      break;
  }
  if (virtualKey >= 0x30 && virtualKey <= 0x39) return virtualKey - 43;
  if (virtualKey >= 0x41 && virtualKey <= 0x5A) return virtualKey - 50;
  if (virtualKey >= 0x61 && virtualKey <= 0x7A) return virtualKey - 82;
  return -1;
}
