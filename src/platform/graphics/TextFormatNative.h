#pragma once
// The Pango side of a TextFormat, for the drawing layer's own sources.

#include "platform/graphics/TextFormat.h"

#include <pango/pango.h>

namespace qv {

struct TextFormat::Native {
    PangoFontDescription* description = nullptr;
    // A grid format: its font features (ligatures off) as layout attributes,
    // and glyph positions left unrounded.
    PangoAttrList* attributes = nullptr;
    bool exactPositions = false;
    ~Native();
};

}  // namespace qv
