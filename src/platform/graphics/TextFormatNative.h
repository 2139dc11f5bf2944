#pragma once
// The Pango side of a TextFormat, for the drawing layer's own sources.

#include "platform/graphics/TextFormat.h"

#include <pango/pango.h>

namespace qv {

struct TextFormat::Native {
    PangoFontDescription* description = nullptr;
    ~Native();
};

}  // namespace qv
