// The panel background: the painted faceplate with every legend, scale and badge engraved.
#pragma once

#include <cairo.h>

namespace brimo::artwork {

cairo_surface_t* DrawPanel(double scale);

}  // namespace brimo::artwork
