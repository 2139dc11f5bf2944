#pragma once
// Small painting pieces the dialogs of this folder share. GUI thread only.

#include "platform/graphics/DrawContext.h"

namespace qv {

// Makes the appearance's formats and brushes when nothing made them yet (a
// dialog opened before the main window, or in a test).
void ensureDialogAppearance();

// The footer band from y = top to the bottom: surface fill and a line on top.
void paintDialogFooter(DrawContext& context, float width, float height, float top);

}  // namespace qv
