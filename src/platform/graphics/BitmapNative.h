#pragma once
// The Cairo side of a Bitmap, for the drawing layer's own sources.

#include "platform/graphics/Bitmap.h"

#include <cairo.h>

namespace qv {

struct Bitmap::Native {
    cairo_surface_t* surface = nullptr;
    ~Native();
};

}  // namespace qv
