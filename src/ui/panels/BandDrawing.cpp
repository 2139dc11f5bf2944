#include "ui/panels/BandDrawing.h"

#include "ui/panels/FrameDamage.h"
#include "ui/panels/MainWindowBands.h"

#include <algorithm>
#include <cmath>

namespace qv::bands {

void setTextBoxLog(std::vector<TextBox>* log) { mainWindowBands().connections.textBoxLog = log; }

std::vector<TextBox>* textBoxLog() { return mainWindowBands().connections.textBoxLog; }

void logTextBox(DrawContext& context, const TextFormat* format, std::string_view value, const RectF& box,
                TextAlignment alignment, ParagraphAlignment paragraph, TextWrap wrap) {
    std::vector<TextBox>* log = textBoxLog();
    if (!log || !format || value.empty())
        return;
    const TextMetrics m = context.measureText(format, value, wrap == TextWrap::Wrap ? box.width() : 0.0f);
    RectF r;
    switch (alignment) {
    case TextAlignment::Leading: r.left = box.left; break;
    case TextAlignment::Trailing: r.left = box.right - m.width; break;
    default: r.left = box.centerX() - m.width / 2; break;
    }
    switch (paragraph) {
    case ParagraphAlignment::Near: r.top = box.top; break;
    case ParagraphAlignment::Far: r.top = box.bottom - m.height; break;
    default: r.top = box.centerY() - m.height / 2; break;
    }
    r.right = r.left + m.width;
    r.bottom = r.top + m.height;
    // What is drawn is clipped to the box and to the context's clips.
    const RectF clip = context.clipExtents();
    r = RectF{std::max({r.left, box.left, clip.left}), std::max({r.top, box.top, clip.top}),
              std::min({r.right, box.right, clip.right}), std::min({r.bottom, box.bottom, clip.bottom})};
    if (r.right > r.left && r.bottom > r.top)
        log->push_back(TextBox{r, std::string(value)});
}

void drawRaisedFace(DrawContext& context, const RectF& rect, bool hovered, float s) {
    const float radius = 6.0f * s;
    fillGradientRect(&context, rect, radius, guiGradient(hovered ? kGradientG1 : kGradientG0));
    context.drawRoundedRect(rect, radius, guiBrush(hovered ? kBrushLineStrong : kBrushLine), 1.0f);
    hline(context, rect.left + 6.0f * s, rect.right - 6.0f * s, rect.top + 1.0f, kBrushLineFaint);
    hline(context, rect.left + 6.0f * s, rect.right - 6.0f * s, rect.bottom - 2.0f, kBrushShadow);
}

void markStatusDot(FrameDamage* damage, const void* regionId, PointF centre, bool connected, float time,
                   float haloBase, float haloSwing, float s) {
    if (!damage)
        return;
    CacheKey key;
    key.addAppearance();
    key.add(connected);
    if (connected) {
        key.add(time);  // the halo pulses
        key.add(haloBase);
        key.add(haloSwing);
    }
    const float r = 5.0f * s + 1.0f;
    damage->add(regionId, RectF{centre.x - r, centre.y - r, centre.x + r, centre.y + r}, key);
}

void drawStatusDot(DrawContext& context, PointF centre, bool connected, float time, float haloBase, float haloSwing,
                   float s) {
    if (connected) {
        const float v = std::sin(2.0f * 3.14159265f * time / 1.6f);
        const float radius = (3.0f + 2.0f * (0.5f + 0.5f * v)) * s;
        context.fillEllipse(centre, radius, radius, withOpacity(guiBrush(kBrushAccent), haloBase + haloSwing * v));
    }
    context.fillEllipse(centre, 3.0f * s, 3.0f * s, guiBrush(connected ? kBrushAccent : kBrushText22));
}

}  // namespace qv::bands
