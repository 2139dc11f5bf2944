#pragma once
// Painting pieces the profile dialogs share: the section caption with its
// rule, the status line and the footer band. GUI thread only; lengths are
// 96-dpi units times dpiScale().

#include "platform/graphics/DrawContext.h"

#include <string>

namespace qv {

// Styles of a dialog's status line.
enum StatusStyle : int { kStatusNone = 0, kStatusNormal = 1, kStatusSuccess = 2, kStatusError = 3 };

// Makes the appearance's formats and brushes when nothing made them yet (a
// dialog opened before the main window, or in a test).
void ensureProfileDialogAppearance();

// The caption in the section format and accent colour in a box 18 high from
// (x, y), then a 1-pixel rule 20 below its top across the same width.
void drawSectionLabel(DrawContext& context, const char* text, float x, float y, float width);

// Nothing for an empty text; style 1 in the normal text colour, 2 in the
// second text colour, 3 in an error red; any other style draws nothing. A
// text of one line is centred in the line's box. One that wraps takes
// `room` (when given) instead: from its top down when the room reaches below
// the line's box, else upwards from its bottom; without a room it starts at
// the line's top. So the first line always shows.
void drawStatusLine(DrawContext& context, const std::string& text, int style, const RectF& lineBox,
                    const RectF& room = RectF{});

// The footer band from y = top to the bottom with its line on top.
void drawProfileDialogFooter(DrawContext& context, float width, float height, float top);

// Timer id of the text fields' caret blink, and its period.
inline constexpr uint32_t kCaretBlinkTimer = 101;
inline constexpr uint32_t kCaretBlinkMs = 530;

}  // namespace qv
