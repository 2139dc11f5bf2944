#pragma once
// Small drawing helpers shared by the main window's bands (header, profile
// bar, status bar, effect cards, control panel). GUI thread only.

#include "platform/graphics/DrawContext.h"
#include "ui/Appearance.h"

#include <string_view>

namespace qv::bands {

// A rectangle in 96-dpi units scaled by s.
inline RectF scaled(float left, float top, float right, float bottom, float s) {
    return RectF{left * s, top * s, right * s, bottom * s};
}

inline RectF inset(const RectF& r, float dx, float dy) {
    return RectF{r.left + dx, r.top + dy, r.right - dx, r.bottom - dy};
}

// One line of text in a numbered format and brush, aligned in the box.
inline void text(DrawContext& context, int format, std::string_view value, const RectF& box, int brush,
                 TextAlignment alignment = TextAlignment::Center,
                 ParagraphAlignment paragraph = ParagraphAlignment::Center) {
    if (!value.empty())
        context.drawText(guiTextFormat(format), value, box, guiBrush(brush), alignment, paragraph,
                         TextWrap::SingleLine);
}

inline void textWith(DrawContext& context, int format, std::string_view value, const RectF& box, const Brush& brush,
                     TextAlignment alignment = TextAlignment::Center,
                     ParagraphAlignment paragraph = ParagraphAlignment::Center) {
    if (!value.empty())
        context.drawText(guiTextFormat(format), value, box, brush, alignment, paragraph, TextWrap::SingleLine);
}

// A horizontal line of one pixel's height across [x0, x1) at y.
inline void hline(DrawContext& context, float x0, float x1, float y, int brush) {
    if (x1 > x0)
        context.fillRect(RectF{x0, y, x1, y + 1.0f}, guiBrush(brush));
}

// The raised button face of the profile bar: gradient G0 (G1 hovered),
// outline brush 6 (brush 7 hovered), a highlight line one pixel below the
// top (inset 6) and a shadow line one pixel above the bottom.
void drawRaisedFace(DrawContext& context, const RectF& rect, bool hovered, float s);

// The status dot of radius 3 with its pulsing halo while connected.
// haloBase and haloSwing give the halo's opacity: base + swing * v. The dot
// is a region of the frame (FrameDamage.h) under `regionId`.
void drawStatusDot(DrawContext& context, const void* regionId, PointF centre, bool connected, float time,
                   float haloBase, float haloSwing, float s);

}  // namespace qv::bands
