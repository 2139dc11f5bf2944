#include "platform/graphics/Brush.h"

#include <algorithm>

namespace qv {

Brush solidBrush(Color color) {
    Brush brush;
    brush.kind = BrushKind::Solid;
    brush.color = color;
    return brush;
}

Brush linearGradientBrush(Color stop0, Color stop1) {
    Brush brush;
    brush.kind = BrushKind::LinearGradient;
    brush.stops[0] = {0.0f, stop0};
    brush.stops[1] = {1.0f, stop1};
    brush.stopCount = 2;
    return brush;
}

Brush radialGradientBrush(PointF center, PointF originOffset, float radius,
                          const GradientStop* stops, int stopCount) {
    Brush brush;
    brush.kind = BrushKind::RadialGradient;
    brush.center = center;
    brush.originOffset = originOffset;
    brush.radius = radius;
    brush.stopCount = std::clamp(stopCount, 0, Brush::kMaxStops);
    for (int i = 0; i < brush.stopCount; ++i)
        brush.stops[i] = stops[i];
    return brush;
}

Brush withOpacity(const Brush& brush, float opacity) {
    Brush copy = brush;
    copy.opacity = brush.opacity * opacity;
    return copy;
}

}  // namespace qv
