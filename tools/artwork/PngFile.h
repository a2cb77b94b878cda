// Writes a cairo image surface as an 8-bit RGBA PNG, reproducibly.
#pragma once

#include <cairo.h>

#include <string>

namespace brimo::artwork {

// Converts cairo's premultiplied ARGB32 to straight alpha (rounded to nearest) and writes it with
// fixed compression settings and no time stamp, so the same pixels give the same bytes. Returns
// false with a message in `error` on failure.
bool WritePng(cairo_surface_t* surface, const std::string& path, std::string& error);

}  // namespace brimo::artwork
