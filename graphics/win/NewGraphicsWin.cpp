// The platform's graphics object on Windows. Apart from the class, so that a program can use
// IGraphicsWin beside another platform's NewPlatformGraphics (tests with a headless reference).
#include "IGraphicsWin.h"

#include <new>

IGraphics* NewPlatformGraphics(IPlugBase* plugin, int32_t width, int32_t height,
                               int32_t framesPerSecond) {
  return new (std::nothrow) IGraphicsWin(plugin, width, height, framesPerSecond, OwnModuleHandle());
}
