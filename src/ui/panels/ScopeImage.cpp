#include "ui/panels/ScopeImage.h"

#include "ui/Appearance.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

constexpr int kLastPoint = kScopePoints - 1;
// More new samples than this redraw the image whole: little of it is kept.
constexpr uint32_t kMostStepsAdvanced = 48;
// How far the curve's stroke reaches beyond its points, in pixels at scale
// s: half the miter of the sharpest join Cairo's default miter limit (10)
// still mitres, 10 * 1.2 * s / 2, plus room for antialiasing.
float strokeReach(float s) { return 6.0f * s + 2.0f; }

// The point's value, smoothed with its neighbours (the ends with themselves).
float smoothed(const float (&samples)[kScopePoints], int j) {
    const float older = samples[j > 0 ? j - 1 : j];
    const float newer = samples[j < kLastPoint ? j + 1 : j];
    return 0.25f * older + 0.5f * samples[j] + 0.25f * newer;
}

bool sameSamples(const float* a, const float* b, int count) {
    for (int j = 0; j < count; ++j)
        if (a[j] != b[j])
            return false;
    return true;
}

}  // namespace

void paintScopeCurve(DrawContext& context, const RectF& r, const float (&samples)[kScopePoints], float s) {
    if (!(r.width() > 0) || !(r.height() > 0))
        return;
    PointF points[kScopePoints];
    for (int j = 0; j < kScopePoints; ++j) {
        const float v = smoothed(samples, j);
        points[j] = PointF{r.left + j * r.width() / kLastPoint, r.bottom - v * 0.82f * r.height()};
    }
    context.pushClip(r);
    Brush area = guiGradient(kGradientG2);
    area.start = PointF{r.left, r.top};
    area.end = PointF{r.left, r.bottom};
    context.beginPath();
    context.moveTo(PointF{r.left, r.bottom});
    for (const PointF& p : points)
        context.lineTo(p);
    context.lineTo(PointF{r.right, r.bottom});
    context.closePath();
    context.fillPath(area);
    context.beginPath();
    context.moveTo(points[0]);
    for (int j = 1; j < kScopePoints; ++j)
        context.lineTo(points[j]);
    context.strokePath(guiBrush(kBrushAccent), 1.2f * s);
    context.beginPath();
    context.popClip();
}

// The scope's rectangle in the image's pixels. The image covers the whole
// pixels r touches, so the curve keeps r's sub-pixel place.
struct ScopeImage::Geometry {
    int left = 0;  // the image's top left corner, window pixels
    int top = 0;
    int width = 0;
    int height = 0;
    float x = 0;       // r.left in the image
    float upper = 0;   // r.top in the image
    float bottom = 0;  // r.bottom in the image
    float span = 0;    // r's width
    float rise = 0;    // the height a sample of 1 reaches
    float s = 1;
};

ScopeImage::Geometry ScopeImage::geometry(const RectF& r, float s) const {
    Geometry g;
    g.left = static_cast<int>(std::floor(r.left));
    g.top = static_cast<int>(std::floor(r.top));
    g.width = static_cast<int>(std::ceil(r.right)) - g.left;
    g.height = static_cast<int>(std::ceil(r.bottom)) - g.top;
    g.x = r.left - g.left;
    g.upper = r.top - g.top;
    g.bottom = r.bottom - g.top;
    g.span = r.width();
    g.rise = 0.82f * r.height();
    g.s = s;
    return g;
}

void ScopeImage::reset() {
    m_image.reset();
    m_valid = false;
}

void ScopeImage::paint(DrawContext& context, const RectF& r, const float (&samples)[kScopePoints],
                       uint32_t writeIndex, uint32_t historySize, float s, float opacity) {
    if (!(r.width() > 0) || !(r.height() > 0) || !std::isfinite(r.left) || !std::isfinite(r.top) ||
        !std::isfinite(r.right) || !std::isfinite(r.bottom) || !(s > 0))
        return;
    const Geometry g = geometry(r, s);
    CacheKey key;
    key.addAppearance();
    key.add(g.x);
    key.add(g.upper);
    key.add(g.span);
    key.add(r.height());
    key.add(s);
    if (!m_image || m_image->width() != g.width || m_image->height() != g.height ||
        !m_image->context().isHealthy()) {
        m_image = ImageTarget::create(g.width, g.height);
        m_valid = false;
    }
    if (!m_image) {
        // No image (out of memory, an absurd size): the whole curve, directly.
        context.pushClip(r);
        context.pushLayer(opacity);
        paintScopeCurve(context, r, samples, s);
        context.popLayer();
        context.popClip();
        m_lastUpdate = Update::Direct;
        return;
    }

    Update how = Update::Whole;
    uint32_t steps = 0;
    if (m_valid && key == m_key) {
        steps = (writeIndex - m_writeIndex) & (historySize - 1);
        if (steps == 0 && sameSamples(samples, m_samples, kScopePoints))
            how = Update::Unchanged;
        else if (steps > 0 && steps <= kMostStepsAdvanced &&
                 sameSamples(samples, m_samples + steps, kScopePoints - static_cast<int>(steps)))
            how = Update::Advanced;
    }
    if (how != Update::Unchanged) {
        std::copy(std::begin(samples), std::end(samples), m_samples);
        if (!(key == m_key))
            m_key = key;
        m_writeIndex = writeIndex;
        if (how == Update::Advanced && !advance(g, static_cast<int>(steps)))
            how = Update::Whole;
        if (how == Update::Whole)
            drawWhole(g);
        m_valid = true;
    }
    m_lastUpdate = how;
    // The image holds the curve already cut at r's edges: drawn at whole
    // pixels with no clip of its own, it is copied without a mask.
    m_image->drawOnto(context, PointF{static_cast<float>(g.left), static_cast<float>(g.top)}, opacity);
}

void ScopeImage::drawWhole(const Geometry& g) {
    m_offset = 0.0;
    drawSpan(g, 0, g.width);
}

// Scrolls the curve left by the whole pixels nearest to `steps` sample steps
// (the rest goes into the offset) and draws what the new samples changed: the
// newest segments, from the join before the old newest point (which now has a
// newer neighbour to be smoothed with), and the oldest segment (whose first
// point is smoothed against itself). False when nothing would be kept.
bool ScopeImage::advance(const Geometry& g, int steps) {
    const double step = static_cast<double>(g.span) / kLastPoint;
    const double shift = steps * step;
    // The kept curve moves by whole pixels; what the samples moved beyond
    // that stays in the offset.
    const int columns = static_cast<int>(std::floor(shift + m_offset + 0.5));
    if (columns < 0 || columns >= g.width)
        return false;
    m_offset += shift - columns;
    m_image->scrollLeft(columns);
    const float offset = static_cast<float>(m_offset);
    const int changed = kLastPoint - steps;
    const float joinX = g.x + offset + (changed - 1) * g.span / kLastPoint;
    const float secondX = g.x + offset + g.span / kLastPoint;
    const int rightFrom = std::min(g.width - columns, static_cast<int>(std::floor(joinX - strokeReach(g.s))));
    const int leftTo = static_cast<int>(std::ceil(secondX + strokeReach(g.s)));
    if (leftTo >= rightFrom) {
        drawSpan(g, 0, g.width);
    } else {
        drawSpan(g, 0, leftTo);
        drawSpan(g, rightFrom, g.width);
    }
    return true;
}

// Clears the image's columns [fromColumn, toColumn) and draws the curve there
// at the current offset, cut at the scope's rectangle as a whole stroke is
// (the columns r's sides cut through are always among those drawn again).
// Only the points whose strokes reach those columns are drawn (Cairo's cost
// follows the path's extent, so the two ends are drawn apart); the ends of
// the curve go on straight for a pixel and a half, so an offset never leaves
// a gap at the scope's edges.
void ScopeImage::drawSpan(const Geometry& g, int fromColumn, int toColumn) {
    DrawContext& image = m_image->context();
    image.pushClip(RectF{static_cast<float>(fromColumn), 0.0f, static_cast<float>(toColumn),
                         static_cast<float>(g.height)});
    image.clear(Color{0.0f, 0.0f, 0.0f, 0.0f});
    image.pushClip(RectF{g.x, g.upper, g.x + g.span, g.bottom});

    const float offset = static_cast<float>(m_offset);
    const float step = g.span / kLastPoint;
    const auto point = [&](int j) {
        return PointF{g.x + offset + j * g.span / kLastPoint, g.bottom - smoothed(m_samples, j) * g.rise};
    };
    const float reach = strokeReach(g.s) + step;
    const int first = std::clamp(static_cast<int>(std::floor((fromColumn - reach - g.x - offset) / step)), 0, kLastPoint);
    const int last = std::clamp(static_cast<int>(std::ceil((toColumn + reach - g.x - offset) / step)), 0, kLastPoint);
    constexpr float kRunOn = 1.5f;
    PointF points[kScopePoints + 2];
    int count = 0;
    if (first == 0) {
        const PointF a = point(0);
        const PointF b = point(1);
        points[count++] = PointF{a.x - kRunOn, a.y + (a.y - b.y) * kRunOn / step};
    }
    for (int j = first; j <= last; ++j)
        points[count++] = point(j);
    if (last == kLastPoint) {
        const PointF a = point(kLastPoint);
        const PointF b = point(kLastPoint - 1);
        points[count++] = PointF{a.x + kRunOn, a.y + (a.y - b.y) * kRunOn / step};
    }

    Brush area = guiGradient(kGradientG2);
    area.start = PointF{g.x, g.upper};
    area.end = PointF{g.x, g.bottom};
    image.beginPath();
    image.moveTo(PointF{points[0].x, g.bottom});
    for (int j = 0; j < count; ++j)
        image.lineTo(points[j]);
    image.lineTo(PointF{points[count - 1].x, g.bottom});
    image.closePath();
    image.fillPath(area);
    image.beginPath();
    image.moveTo(points[0]);
    for (int j = 1; j < count; ++j)
        image.lineTo(points[j]);
    image.strokePath(guiBrush(kBrushAccent), 1.2f * g.s);
    image.beginPath();
    image.popClip();
    image.popClip();
}

}  // namespace qv
