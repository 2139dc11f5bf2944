#pragma once
// Circular drawing helpers of the painters. Angles are degrees clockwise
// from 12 o'clock.

#include "platform/graphics/DrawContext.h"

namespace qv {

// The point at `degrees` on the circle of `radius` around (cx, cy):
// (cx + r cos θ, cy + r sin θ) with θ = (degrees - 90) π / 180, y downwards.
PointF polarPoint(float cx, float cy, float radius, float degrees);

// Strokes the arc from startDegrees clockwise to endDegrees; nothing when
// start >= end.
void drawArc(DrawContext& context, PointF center, float radius, float startDegrees, float endDegrees,
             const Brush& brush, float strokeWidth);

// Fills the ring segment between the two radii and angles (outer arc from
// start to end, a line inwards, the inner arc back) and outlines it with the
// same brush when strokeWidth > 0.
void drawRingSegment(DrawContext& context, PointF center, float innerRadius, float outerRadius,
                     float startDegrees, float endDegrees, const Brush& brush, float strokeWidth = 0.0f);

// Starts a path of the parallelogram from x0 to x1 whose top edge is
// shifted right and bottom edge left by `slant` (the segments of the
// faders and slider tracks); fill or stroke it next.
void pathSlantedSegment(DrawContext& context, float x0, float x1, float top, float bottom, float slant);

}  // namespace qv
