// Per-pixel rules shared by the blit, the fill and glyph blending. Pixels are addressed as bytes
// B, G, R, A. Every division truncates toward zero; unclamped results keep their low 8 bits.
#pragma once

#include <cstdint>

namespace lice_ops {

inline int Clamp255(int v) {
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// Integer level of a weight (1.0 -> 256), truncated toward zero. Weights outside [0, 1] are held
// to +-8 so no product below can overflow (the fill's soft light squares the level); NaN is 0.
inline int WeightLevel(double weight) {
  const double v = weight * 256.0;
  if (v != v) return 0;
  if (v > 2048.0) return 2048;
  if (v < -2048.0) return -2048;
  return int(v);
}

inline std::uint8_t MixByte(int d, int s, int keep) {
  return std::uint8_t(s + ((d - s) * keep) / 256);
}
inline std::uint8_t AddByte(int d, int s, int ia) {
  return std::uint8_t(Clamp255(d + (s * ia) / 256));
}
inline std::uint8_t DodgeByte(int d, int s, int ia) {
  const int k = 256 - (s * ia) / 256;
  return std::uint8_t(Clamp255(k > 1 ? (d * 256) / k : d * 256));
}
inline std::uint8_t MultiplyByte(int d, int s, int ia) {
  return std::uint8_t(((ia * (s - 256) + 65536) * d) >> 16);
}
inline std::uint8_t SoftLightByte(int d, int s, int ia) {
  const int t = s * ia + (256 - ia) * 128;
  return std::uint8_t(Clamp255(((((32768 - t) * d) / 256 + t) * d) >> 15));
}

// Shifts the hue, saturation and value of pixel d by amounts taken from (sr, sg, sb) at level L,
// then writes the whole pixel with the given alpha.
void HueAdjust(std::uint8_t* d, int sr, int sg, int sb, int level, std::uint8_t alpha);

}  // namespace lice_ops
