#pragma once
// Painters of the widget kit: each draws one record as it stands (hover,
// press, focus, open) with the appearance's formats and brushes; none changes
// the record (layoutTextField, called before its painter, is the one that
// does). Lengths are 96-dpi units times dpiScale(). GUI thread only.

#include "platform/graphics/DrawContext.h"
#include "ui/Widgets.h"

namespace qv {

void drawButton(DrawContext& context, const UiButton& button);
void drawToggle(DrawContext& context, const UiToggle& toggle);
void drawSlider(DrawContext& context, const UiSlider& slider);
// The closed box; the open list is drawn by drawDropdownList, after
// everything else so that it lies on top.
void drawDropdown(DrawContext& context, const UiDropdown& dropdown);
void drawDropdownList(DrawContext& context, const UiDropdown& dropdown);
void drawListBox(DrawContext& context, const UiListBox& list);
// Draws the caption and the value below the rectangle.
void drawKnob(DrawContext& context, const UiKnob& knob);
// A segmented track of 20 lit segments up to the value with a handle.
void drawFader(DrawContext& context, const UiFader& fader);
void drawSegmented(DrawContext& context, const UiSegmented& segmented);
// A text field on one line, or line under line when `wrap` is set, shifted by
// the field's scroll offsets.
void drawTextField(DrawContext& context, const UiTextField& field);
// Before drawTextField: places the caret of a pending click
// (textFieldClickAt) and shifts the text so that the caret stays in view.
void layoutTextField(DrawContext& context, UiTextField& field);

}  // namespace qv
