#pragma once
// Small drawing helpers shared by the main window's bands (header, profile
// bar, status bar, effect cards, control panel). GUI thread only.

#include "platform/graphics/DrawContext.h"
#include "ui/Appearance.h"

#include <string>
#include <string_view>
#include <vector>

namespace qv {
class FrameDamage;
}

namespace qv::bands {

// A rectangle in 96-dpi units scaled by s.
inline RectF scaled(float left, float top, float right, float bottom, float s) {
    return RectF{left * s, top * s, right * s, bottom * s};
}

inline RectF inset(const RectF& r, float dx, float dy) {
    return RectF{r.left + dx, r.top + dy, r.right - dx, r.bottom - dy};
}

// The text boxes the bands laid out, for checks that no text of the window
// lies on another: while a log is set, every text the bands draw adds the
// rectangle its glyphs take (measured, aligned in its box and clipped to it,
// as drawn). Debugging and tests only; off, it costs one pointer test.
struct TextBox {
    RectF rect;
    std::string text;
};
void setTextBoxLog(std::vector<TextBox>* log);  // null: off
std::vector<TextBox>* textBoxLog();
void logTextBox(DrawContext& context, const TextFormat* format, std::string_view value, const RectF& box,
                TextAlignment alignment, ParagraphAlignment paragraph, TextWrap wrap);

// Draws text as the bands do, noting its box while a log is set.
inline void drawBandText(DrawContext& context, const TextFormat* format, std::string_view value, const RectF& box,
                         const Brush& brush, TextAlignment alignment, ParagraphAlignment paragraph,
                         TextWrap wrap = TextWrap::SingleLine) {
    if (value.empty())
        return;
    context.drawText(format, value, box, brush, alignment, paragraph, wrap);
    if (textBoxLog())
        logTextBox(context, format, value, box, alignment, paragraph, wrap);
}

// One line of text in a numbered format and brush, aligned in the box.
inline void text(DrawContext& context, int format, std::string_view value, const RectF& box, int brush,
                 TextAlignment alignment = TextAlignment::Center,
                 ParagraphAlignment paragraph = ParagraphAlignment::Center) {
    drawBandText(context, guiTextFormat(format), value, box, guiBrush(brush), alignment, paragraph);
}

inline void textWith(DrawContext& context, int format, std::string_view value, const RectF& box, const Brush& brush,
                     TextAlignment alignment = TextAlignment::Center,
                     ParagraphAlignment paragraph = ParagraphAlignment::Center) {
    drawBandText(context, guiTextFormat(format), value, box, brush, alignment, paragraph);
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
// haloBase and haloSwing give the halo's opacity: base + swing * v.
void drawStatusDot(DrawContext& context, PointF centre, bool connected, float time, float haloBase, float haloSwing,
                   float s);
// Notes the dot drawn with the same values as a region of the frame
// (FrameDamage.h) under `regionId`; damage may be null.
void markStatusDot(FrameDamage* damage, const void* regionId, PointF centre, bool connected, float time,
                   float haloBase, float haloSwing, float s);

}  // namespace qv::bands
