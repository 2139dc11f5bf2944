#pragma once
// An effect card's scope: the newest 64 meter samples as a smoothed, filled
// curve. Stroking that curve whole in every frame costs Cairo more than the
// rest of a card, so the curve is kept as an image and advanced by the new
// samples: what is there is scrolled left by whole pixels and only the ends
// that changed are drawn again (the newest segments, and the oldest point,
// which is smoothed against itself). The image is drawn whole only when the
// scope's size, the DPI or the appearance changes, or when its samples do not
// follow on from the last ones.
//
// A sample step is rarely a whole number of pixels, so the kept curve lies up
// to half a pixel left or right of where a whole stroke would put it (the
// difference between the two is antialiasing along the curve); the image
// carries that offset and draws new segments where the scrolled ones are.
//
// GUI thread only; a frame allocates nothing once the image exists.

#include "platform/graphics/DrawContext.h"
#include "platform/graphics/ImageTarget.h"
#include "ui/panels/LayerCache.h"

#include <cstdint>
#include <memory>

namespace qv {

inline constexpr int kScopePoints = 64;

// The whole curve of the samples (each within 0..1, oldest first) stroked at
// once into r, clipped to it: the filled area under the smoothed curve in the
// accent gradient and the curve in the accent, 1.2 * s wide. The scope image
// draws the same; this is what it falls back to when it has no image.
void paintScopeCurve(DrawContext& context, const RectF& r, const float (&samples)[kScopePoints], float s);

class ScopeImage {
public:
    // How the last paint brought the image up to date.
    enum class Update : uint8_t { Unchanged, Advanced, Whole, Direct };

    // Draws the curve of `samples` (each within 0..1, oldest first) into r at
    // the opacity. `writeIndex` is the history's next slot (it counts the
    // samples modulo `historySize`, a power of two): when it moved on by a few
    // samples and the samples that stayed are the ones drawn last time, the
    // image is advanced, else drawn whole. Painting the same samples again
    // (the frame's planning and drawing passes) changes nothing.
    void paint(DrawContext& context, const RectF& r, const float (&samples)[kScopePoints], uint32_t writeIndex,
               uint32_t historySize, float s, float opacity);
    // Forgets the image (the next paint draws it whole).
    void reset();
    Update lastUpdate() const { return m_lastUpdate; }
    // How far right of the whole stroke's place the kept curve lies, pixels.
    double offset() const { return m_offset; }

private:
    struct Geometry;
    Geometry geometry(const RectF& r, float s) const;
    void drawWhole(const Geometry& g);
    bool advance(const Geometry& g, int steps);
    void drawSpan(const Geometry& g, int fromColumn, int toColumn);

    std::unique_ptr<ImageTarget> m_image;
    CacheKey m_key;  // size, sub-pixel place, DPI and appearance of the image
    bool m_valid = false;
    float m_samples[kScopePoints] = {};
    uint32_t m_writeIndex = 0;
    // Where the kept curve lies right of the whole stroke's place, in pixels
    // (-0.5 to 0.5).
    double m_offset = 0.0;
    Update m_lastUpdate = Update::Whole;
};

}  // namespace qv
