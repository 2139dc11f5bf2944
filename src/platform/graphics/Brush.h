#pragma once
// What a shape or a text is filled with: a solid colour or a two- or
// three-stop gradient, with an opacity that multiplies every stop. Brushes are
// plain values: a painter copies one, sets its geometry (the gradient's start
// and end points, a radial gradient's centre) and draws with the copy.

#include "platform/graphics/Geometry.h"

namespace qv {

enum class BrushKind : uint8_t {
    None,            // draws nothing (a slot that was released or never made)
    Solid,
    LinearGradient,  // from `start` to `end`
    RadialGradient,  // circle of `radius` around `center`, focus at center + originOffset
};

struct GradientStop {
    float position = 0;  // 0..1
    Color color;
};

struct Brush {
    static constexpr int kMaxStops = 3;

    BrushKind kind = BrushKind::None;
    Color color;         // solid brushes
    float opacity = 1;   // multiplies the alpha of the colour or of every stop
    GradientStop stops[kMaxStops];
    int stopCount = 0;
    PointF start;        // linear gradients
    PointF end;
    PointF center;       // radial gradients
    PointF originOffset;
    float radius = 0;

    bool isSet() const { return kind != BrushKind::None; }
};

Brush solidBrush(Color color);
// A vertical two-stop gradient; its points are set before each use.
Brush linearGradientBrush(Color stop0, Color stop1);
Brush radialGradientBrush(PointF center, PointF originOffset, float radius,
                          const GradientStop* stops, int stopCount);
// A copy of the brush at the given opacity (times its own).
Brush withOpacity(const Brush& brush, float opacity);

}  // namespace qv
