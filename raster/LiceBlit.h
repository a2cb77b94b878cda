// Blit and fill: copy or blend a rectangle of one bitmap into another 1:1 at a point, or blend a
// colour over a rectangle. Integer arithmetic only; divisions by 256 truncate toward zero.
// Both functions keep no state; the caller keeps other threads off the destination meanwhile.
#pragma once

#include "LiceBitmap.h"

using ComposeMode = int;

enum : int {
  ComposeCopy = 0,
  ComposeAdd = 1,
  ComposeDodge = 2,
  ComposeMultiply = 3,
  ComposeSoftLight = 4,
  ComposeHueAdjust = 5,
  // 0xF0-0xFF: copy source byte lane (bits 0-1) into destination byte lane (bits 2-3); blit only.
  ComposeChannelCopy = 0xF0,
  // With modes 0-5: each source pixel's alpha scales the blit; the colour's alpha scales a fill.
  ComposeUseSourceAlpha = 0x10000,
};

// Blends sourceRect of source (null = all of it) into dest with its top-left corner at
// (destX, destY). Source and destination areas must not overlap. Absent or empty bitmaps, weight
// 0, unknown modes and windows clipped away draw nothing.
void LICE_ComposeRect(LICE_IBitmap* dest, LICE_IBitmap* source, int destX, int destY,
                      const LICE_RECT* sourceRect, float weight, ComposeMode mode);

// Blends colour over the rectangle (x, y, width, height) of dest, clipped to dest.
void LICE_FillArea(LICE_IBitmap* dest, int x, int y, int width, int height, LICE_PixelWord colour,
                   float weight, ComposeMode mode);
