#pragma once

// The small records the whole editor shares: rectangles, colours, text styles, bitmap handles,
// mouse modifiers, blends, popup menus and key codes. Plain values; nothing here draws.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LiceBitmap.h"

class LICE_CachedFont;

// Integer rectangle; right and bottom are exclusive. Only 0,0,0,0 counts as empty.
struct IBox {
  int32_t L = 0;
  int32_t T = 0;
  int32_t R = 0;
  int32_t B = 0;

  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  int32_t W() const { return R - L; }
  int32_t H() const { return B - T; }
  bool Contains(int32_t x, int32_t y) const {
    return !Empty() && L <= x && x < R && T <= y && y < B;
  }
  // a overlaps b, touching b's right or bottom edge included. Callers say which box is a.
  static bool Overlaps(const IBox& a, const IBox& b) {
    return a.R >= b.L && a.L < b.R && a.B >= b.T && a.T < b.B;
  }
  static IBox Union(const IBox& a, const IBox& b);
  // The part of a inside d, or the empty box when either is empty or they do not overlap.
  static IBox Clip(const IBox& a, const IBox& d);
  bool operator==(const IBox&) const = default;
};

struct IArgb {
  int32_t A = 255;
  int32_t R = 0;
  int32_t G = 0;
  int32_t B = 0;

  LICE_PixelWord ToPixel() const {
    return (LICE_PixelWord(A) << 24) + (LICE_PixelWord(R) << 16) + (LICE_PixelWord(G) << 8) +
           LICE_PixelWord(B);
  }
  // The Windows colour value (0x00BBGGRR).
  uint32_t ToColorRef() const { return uint32_t(R) + (uint32_t(G) << 8) + (uint32_t(B) << 16); }
  bool operator==(const IArgb&) const = default;
};

inline constexpr IArgb ArgbGray{255, 127, 127, 127};
inline constexpr IArgb ArgbBlack{255, 0, 0, 0};
inline constexpr IArgb ArgbOrange{255, 255, 127, 0};
inline constexpr IArgb ArgbRed{255, 255, 0, 0};
inline constexpr IArgb ArgbWhite{255, 255, 255, 255};
inline constexpr IArgb ArgbGreen{255, 0, 255, 0};
inline constexpr IArgb ArgbYellow{255, 255, 255, 0};
inline constexpr IArgb ArgbBlue{255, 0, 0, 255};

// How a control's text is drawn and how its text entry box looks. The font reference is filled
// from the process-wide font cache on first use and never owned.
struct ITextStyle {
  char face[32] = "Verdana";
  int32_t size = 12;
  IArgb color = ArgbBlack;
  IArgb entryBackground = ArgbWhite;
  IArgb entryColor = ArgbBlack;
  IArgb entryWarningColor = ArgbRed;  // a typed text that was refused
  int32_t style = 0;                  // 0 normal, 1 bold, 2 italic
  int32_t align = 1;                  // 0 left, 1 centre, 2 right
  int32_t orientation = 0;            // degrees
  int32_t quality = 0;  // 0 system default, 2 antialiased, 3 subpixel, others non-antialiased
  LICE_CachedFont* font = nullptr;
};

// A bitmap as controls see it: the cache owns the pixels. width and height are those of the whole
// image, all frames together. A handle without a bitmap draws nothing.
struct IBitmapHandle {
  LICE_IBitmap* bitmap = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t frames = 1;
  bool framesHorizontal = false;
  // The image's resource, from which the graphics object finds the same image at other scales
  // (0: a bitmap made in memory, drawn at its own size whatever the scale).
  int32_t resourceId = 0;
};

struct IMouseMods {
  bool left = false;
  bool right = false;
  bool shift = false;
  bool control = false;
  bool alt = false;
};

enum IBlendMethod : int32_t { BlendDefault = 0, BlendOpaque = 1, BlendAdd = 2, BlendDodge = 3 };

struct IBlend {
  int32_t method = BlendDefault;
  float weight = 1.0f;
  // The compose mode of the raster library this blend draws with.
  int32_t ComposeMode() const;
};

struct IPopupMenu;

struct IPopupItem {
  enum Flags : int32_t { Greyed = 1, Disabled = 2, Ticked = 4, Separator = 8 };
  std::string text;
  std::unique_ptr<IPopupMenu> submenu;
  int32_t flags = 0;
};

struct IPopupMenu {
  int32_t numbering = 0;  // 0 none, 1 "%1d: %s", 2 "%02d: %s", 3 "%03d: %s"
  int32_t chosen = -1;
  std::vector<IPopupItem> items;
};

// Key codes delivered to controls.
enum IKeyCode : int32_t {
  KeySpace = 0,
  KeyUp = 1,
  KeyDown = 2,
  KeyLeft = 3,
  KeyRight = 4,
  KeyDigit0 = 5,   // .. KeyDigit0 + 9
  KeyLetterA = 15  // .. KeyLetterA + 25
};

// The key code of a Windows virtual-key number, or -1 for a key the editor does not map. The
// numeric keypad's 1-9 and operators and F1-F11 share the letters' codes, as Windows numbers them
// 0x61-0x7A. The X11 window translates key symbols to these numbers first, so both platforms
// deliver the same codes.
int32_t KeyCodeFromVirtualKey(int32_t virtualKey);
