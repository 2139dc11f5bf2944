#include "ui/Shapes.h"

#include <cmath>

namespace qv {

PointF polarPoint(float cx, float cy, float radius, float degrees) {
    const double theta = (static_cast<double>(degrees) - 90.0) * 3.14159265358979323846 / 180.0;
    return PointF{cx + static_cast<float>(radius * std::cos(theta)), cy + static_cast<float>(radius * std::sin(theta))};
}

void drawArc(DrawContext& context, PointF center, float radius, float startDegrees, float endDegrees,
             const Brush& brush, float strokeWidth) {
    if (!(startDegrees < endDegrees))
        return;
    context.beginPath();
    context.moveTo(polarPoint(center.x, center.y, radius, startDegrees));
    context.arcTo(center, radius, startDegrees, endDegrees);
    context.strokePath(brush, strokeWidth);
    context.beginPath();
}

void drawRingSegment(DrawContext& context, PointF center, float innerRadius, float outerRadius,
                     float startDegrees, float endDegrees, const Brush& brush, float strokeWidth) {
    if (!(startDegrees < endDegrees) || !(innerRadius >= 0.0f) || !(outerRadius > innerRadius))
        return;
    context.beginPath();
    context.moveTo(polarPoint(center.x, center.y, outerRadius, startDegrees));
    context.arcTo(center, outerRadius, startDegrees, endDegrees);
    context.lineTo(polarPoint(center.x, center.y, innerRadius, endDegrees));
    if (innerRadius > 0.0f)
        context.arcTo(center, innerRadius, endDegrees, startDegrees);
    context.closePath();
    context.fillPath(brush);
    if (strokeWidth > 0.0f)
        context.strokePath(brush, strokeWidth);
    context.beginPath();
}

void pathSlantedSegment(DrawContext& context, float x0, float x1, float top, float bottom, float slant) {
    context.beginPath();
    context.moveTo(PointF{x0 + slant, top});
    context.lineTo(PointF{x1 + slant, top});
    context.lineTo(PointF{x1 - slant, bottom});
    context.lineTo(PointF{x0 - slant, bottom});
    context.closePath();
}

}  // namespace qv
