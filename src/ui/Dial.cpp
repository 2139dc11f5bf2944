#include "ui/Dial.h"

#include "platform/graphics/Graphics.h"
#include "ui/Appearance.h"
#include "ui/Shapes.h"
#include "ui/Widgets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace qv {

namespace {

constexpr float kStartDegrees = 135.0f;
constexpr float kSweepDegrees = 270.0f;
constexpr int kTicks = 21;
constexpr int kRingSegments = 30;
constexpr float kHighRange = 0.85f;  // ticks and numbers from here on are accented

// The dial shares the knob's record layout after the rectangle; the knob's
// handlers run on a copy so that the two never drift apart.
UiKnob asKnob(const UiDial& dial) {
    UiKnob knob;
    knob.rect = dial.rect;
    knob.value = dial.value;
    knob.enabled = dial.enabled;
    knob.active = dial.active;
    knob.hovered = dial.hovered;
    knob.dragging = dial.dragging;
    knob.dragStartY = dial.dragStartY;
    knob.dragStartValue = dial.dragStartValue;
    return knob;
}

void takeBack(UiDial& dial, const UiKnob& knob) {
    dial.value = knob.value;
    dial.hovered = knob.hovered;
    dial.dragging = knob.dragging;
    dial.dragStartY = knob.dragStartY;
    dial.dragStartValue = knob.dragStartValue;
}

template <typename Fn>
auto viaKnob(UiDial& dial, Fn&& handler) {
    UiKnob knob = asKnob(dial);
    const auto result = handler(knob);
    takeBack(dial, knob);
    return result;
}

}  // namespace

int dialPress(UiDial& dial, float x, float y) {
    return viaKnob(dial, [&](UiKnob& k) { return knobPress(k, x, y); });
}

int dialDrag(UiDial& dial, float y) {
    return viaKnob(dial, [&](UiKnob& k) { return knobDrag(k, y); });
}

int dialRelease(UiDial& dial) {
    return viaKnob(dial, [&](UiKnob& k) { return knobRelease(k); });
}

bool dialHover(UiDial& dial, float x, float y) {
    return viaKnob(dial, [&](UiKnob& k) { return knobHover(k, x, y); });
}

void drawDial(DrawContext& context, const UiDial& dial) {
    const float s = dpiScale();
    const RectF& r = dial.rect;
    const float value = std::isfinite(dial.value) ? std::clamp(dial.value, 0.0f, 1.0f) : 0.0f;
    const PointF c{r.centerX(), r.centerY()};
    const float R = std::min(r.width(), r.height()) / 2.0f - 2.0f * s;
    if (!(R > 20.0f * s))
        return;
    const bool lit = dial.enabled != 0;
    context.pushLayer(dial.enabled && dial.active ? 1.0f : 0.35f);
    const Brush& accent = guiBrush(kBrushAccent);
    const Brush& plain = guiBrush(kBrushText55);

    // Face.
    context.fillEllipse(c, R, R, guiBrush(kBrushInk));
    context.drawEllipse(c, R, R, guiBrush(kBrushLine), 1.0f * s);

    // Ring of segments lit up to the value.
    const float ringOuter = 0.95f * R;
    const float ringInner = 0.87f * R;
    for (int i = 0; i < kRingSegments; ++i) {
        const float a0 = kStartDegrees + kSweepDegrees * static_cast<float>(i) / kRingSegments + 0.5f;
        const float a1 = kStartDegrees + kSweepDegrees * static_cast<float>(i + 1) / kRingSegments - 0.5f;
        const bool on = static_cast<float>(i + 1) / kRingSegments <= value + 1e-6f;
        const Brush brush = on ? withOpacity(accent, 0.55f + 0.45f * static_cast<float>(i) / kRingSegments)
                               : guiBrush(kBrushLineFaint);
        drawRingSegment(context, c, ringInner, ringOuter, a0, a1, brush);
    }

    // Scale: 21 ticks, long ones every 10 %, and their numbers.
    const float tickOuter = 0.84f * R;
    char number[8];
    for (int j = 0; j < kTicks; ++j) {
        const float fraction = static_cast<float>(j) / (kTicks - 1);
        const float degrees = kStartDegrees + kSweepDegrees * fraction;
        const bool isLong = j % 2 == 0;
        const Brush& brush = lit && fraction >= kHighRange - 1e-6f ? accent : plain;
        context.drawLine(polarPoint(c.x, c.y, isLong ? 0.74f * R : 0.79f * R, degrees),
                         polarPoint(c.x, c.y, tickOuter, degrees), brush, (isLong ? 1.6f : 0.9f) * s);
        if (isLong) {
            std::snprintf(number, sizeof number, "%d", j * 5);
            const PointF at = polarPoint(c.x, c.y, 0.63f * R, degrees);
            context.drawText(guiTextFormat(kFormatCaption), number,
                             RectF{at.x - 14.0f * s, at.y - 8.0f * s, at.x + 14.0f * s, at.y + 8.0f * s}, brush,
                             TextAlignment::Center, ParagraphAlignment::Center, TextWrap::SingleLine);
        }
    }

    // Pointer at the value.
    const float pointerDegrees = kStartDegrees + kSweepDegrees * value;
    const PointF tip = polarPoint(c.x, c.y, 0.80f * R, pointerDegrees);
    const PointF tail = polarPoint(c.x, c.y, 0.10f * R, pointerDegrees + 180.0f);
    context.drawLine(tail, tip, accent, 3.5f * s, LineCap::Round);
    context.drawLine(tail, tip, solidBrush(rgb(245, 247, 250)), 0.8f * s, LineCap::Round);

    // Value and caption in the centre.
    char valueText[16];
    std::snprintf(valueText, sizeof valueText, "%03d", static_cast<int>(std::lround(value * 100.0f)));
    const float textTop = c.y + 0.16f * R;
    context.drawText(guiTextFormat(kFormatStripValue), valueText,
                     RectF{c.x - 30.0f * s, textTop, c.x + 30.0f * s, textTop + 16.0f * s},
                     guiBrush(kBrushText), TextAlignment::Center, ParagraphAlignment::Center, TextWrap::SingleLine);
    const std::string_view caption(dial.caption, ::strnlen(dial.caption, sizeof dial.caption));
    if (!caption.empty())
        context.drawText(guiTextFormat(kFormatCaption), caption,
                         RectF{c.x - 40.0f * s, textTop + 16.0f * s, c.x + 40.0f * s, textTop + 28.0f * s},
                         guiBrush(kBrushText38), TextAlignment::Center, ParagraphAlignment::Center,
                         TextWrap::SingleLine);
    context.popLayer();
}

}  // namespace qv
