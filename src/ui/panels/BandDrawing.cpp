#include "ui/panels/BandDrawing.h"

#include "ui/panels/FrameDamage.h"

#include <cmath>

namespace qv::bands {

void drawRaisedFace(DrawContext& context, const RectF& rect, bool hovered, float s) {
    const float radius = 6.0f * s;
    fillGradientRect(&context, rect, radius, guiGradient(hovered ? kGradientG1 : kGradientG0));
    context.drawRoundedRect(rect, radius, guiBrush(hovered ? kBrushLineStrong : kBrushLine), 1.0f);
    hline(context, rect.left + 6.0f * s, rect.right - 6.0f * s, rect.top + 1.0f, kBrushLineFaint);
    hline(context, rect.left + 6.0f * s, rect.right - 6.0f * s, rect.bottom - 2.0f, kBrushShadow);
}

void drawStatusDot(DrawContext& context, const void* regionId, PointF centre, bool connected, float time,
                   float haloBase, float haloSwing, float s) {
    if (currentFrameDamage()) {
        CacheKey key;
        key.addAppearance();
        key.add(connected);
        if (connected) {
            key.add(time);  // the halo pulses
            key.add(haloBase);
            key.add(haloSwing);
        }
        const float r = 5.0f * s + 1.0f;
        markRegion(regionId, RectF{centre.x - r, centre.y - r, centre.x + r, centre.y + r}, key);
    }
    if (connected) {
        const float v = std::sin(2.0f * 3.14159265f * time / 1.6f);
        const float radius = (3.0f + 2.0f * (0.5f + 0.5f * v)) * s;
        context.fillEllipse(centre, radius, radius, withOpacity(guiBrush(kBrushAccent), haloBase + haloSwing * v));
    }
    context.fillEllipse(centre, 3.0f * s, 3.0f * s, guiBrush(connected ? kBrushAccent : kBrushText22));
}

}  // namespace qv::bands
