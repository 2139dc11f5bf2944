#pragma once
// Shared objects of the drawing layer for its own sources; nothing outside
// src/platform/graphics includes this.

#include <pango/pango.h>

namespace qv::graphics_internal {

// The font map over the private font set; null before graphicsInit.
PangoFontMap* fontMap();

// A layout context of the font map for measuring without a surface.
PangoContext* measureContext();

void setLastError(const char* text);

}  // namespace qv::graphics_internal
