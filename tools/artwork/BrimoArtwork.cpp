// brimo-artwork: draws the editor's images (panel background, knob strips, switches) as PNGs.
// Usage: brimo-artwork OUTDIR [--scale S]
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "KnobDrawing.h"
#include "PanelDrawing.h"
#include "PanelLayout.h"
#include "PngFile.h"

int main(int argc, char** argv) {
  using namespace brimo::artwork;
  std::string outDir;
  double scale = 1;
  bool ok = true;
  for (int i = 1; i < argc && ok; ++i) {
    const std::string arg = argv[i];
    if (arg == "--scale" && i + 1 < argc) {
      char* end = nullptr;
      scale = std::strtod(argv[++i], &end);
      ok = *end == 0 && scale > 0 && scale <= 16;
    } else {
      ok = outDir.empty() && !arg.starts_with("-");
      outDir = arg;
    }
  }
  if (!ok || outDir.empty()) {
    std::fputs("usage: brimo-artwork OUTDIR [--scale S]   (S in (0, 16], default 1)\n", stderr);
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);  // a failure shows when writing

  std::vector<std::pair<std::string, cairo_surface_t*>> images;
  images.emplace_back("BG", DrawPanel(scale));
  for (const Knob& knob : Knobs()) images.emplace_back(knob.file, DrawKnobStrip(knob, scale));
  images.emplace_back("OVER", DrawOversamplingSwitch(scale));
  images.emplace_back("BY", DrawBypassSwitch(scale));

  int status = 0;
  for (auto& [name, surface] : images) {
    std::string error;
    if (!WritePng(surface, outDir + "/" + name + ".png", error)) {
      std::fprintf(stderr, "brimo-artwork: %s\n", error.c_str());
      status = 1;
    }
    cairo_surface_destroy(surface);
  }
  // Let cairo and fontconfig release their caches, so leak checkers see a clean exit.
  cairo_debug_reset_static_data();
  FcFini();
  return status;
}
