// BRIMO's editor as a picture. The instance is built into this program with the headless
// graphics object rather than loaded from the bundle, whose editor needs a real window; its
// parameters are set by the same names and value texts as a render's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Options.h"

class LICE_IBitmap;

namespace brimo::render {

class PendingFile;

// Pixel words 0xAARRGGBB (straight alpha), row after row with no padding.
struct EditorPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// Copies a bitmap's visible pixels, leaving out the padding at the end of each row.
EditorPicture PictureOf(LICE_IBitmap& bitmap);

// Builds an instance, applies the settings (checked as for a render: an unknown or hidden
// parameter, or a value it cannot take, is refused before anything is drawn) and draws the
// whole editor.
// scale: device pixels per panel unit (1: the editor's own 790 x 249). touch: a control's name
// (its parameter's, or its readout's) whose readout the picture shows; empty for none.
bool RenderEditor(const std::vector<Assignment>& sets, EditorPicture& picture, std::string& error,
                  double scale = 1.0, const std::string& touch = "");

// Writes the picture into a pending file as an 8-bit RGBA PNG; the caller commits.
bool WritePng(PendingFile& file, const EditorPicture& picture, std::string& error);

}  // namespace brimo::render
