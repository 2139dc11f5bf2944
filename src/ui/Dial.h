#pragma once
// The larger dial: a knob record with a scale of ticks and numbers, a ring of
// lit segments, a pointer and the value in the centre. It is operated like
// UiKnob (press in the hit circle, 200 pixels of vertical travel for the full
// range). GUI thread only.

#include "platform/graphics/DrawContext.h"
#include "platform/graphics/Geometry.h"

#include <cstdint>

namespace qv {

struct UiDial {
    RectF rect;
    float value = 0;  // 0..1
    char caption[16] = {};
    uint8_t enabled = 1;
    uint8_t active = 1;
    uint8_t hovered = 0;
    uint8_t dragging = 0;
    int32_t dragStartY = 0;
    float dragStartValue = 0;
};

int dialPress(UiDial& dial, float x, float y);
int dialDrag(UiDial& dial, float y);
int dialRelease(UiDial& dial);
bool dialHover(UiDial& dial, float x, float y);

void drawDial(DrawContext& context, const UiDial& dial);

}  // namespace qv
