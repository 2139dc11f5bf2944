#include "ui/panels/LayerCache.h"

#include "platform/graphics/Graphics.h"
#include "ui/Appearance.h"
#include "ui/panels/BandDrawing.h"
#include "ui/panels/FrameDamage.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace qv {

void CacheKey::addBytes(const void* data, size_t size) {
    if (m_size + size > kCapacity) {
        // Too much to compare: a key that never matches keeps the drawing live.
        static uint32_t counter = 0;
        ++counter;
        std::memcpy(m_bytes, &counter, sizeof(counter));
        return;
    }
    std::memcpy(m_bytes + m_size, data, size);
    m_size += size;
}

void CacheKey::addText(std::string_view text) {
    const uint32_t length = static_cast<uint32_t>(text.size());
    add(length);
    addBytes(text.data(), text.size());
}

void CacheKey::addAppearance() {
    add(dpiScale());
    const Color accent = currentAccent().base;
    add(accent.r);
    add(accent.g);
    add(accent.b);
    add(guiTextFormat(kFormatCaption));
    const DensityMetrics& m = densityMetrics();
    add(m.cardHeight);
    add(m.vPad);
    add(m.hPad);
    add(m.scopeWidth);
    add(m.testWidth);
}

void LayerCache::prepare(const CacheKey& key, const RectF& bounds, FrameDamage* damage, float opacity) {
    m_pending = key;
    m_bounds = bounds;
    if (!damage)
        return;
    const float left = std::floor(bounds.left);
    const float top = std::floor(bounds.top);
    const int width = static_cast<int>(std::ceil(bounds.right - left));
    const int height = static_cast<int>(std::ceil(bounds.bottom - top));
    if (!(width > 0) || !(height > 0) || !std::isfinite(left) || !std::isfinite(top)) {
        damage->addUncomparable(this, bounds);
        return;
    }
    // What will be on the screen here is this drawing: its key, the sub-pixel
    // offset it is drawn for, its place and its opacity.
    CacheKey shown = key;
    shown.add(bounds.left - left);
    shown.add(bounds.top - top);
    damage->add(this, RectF{left, top, left + static_cast<float>(width), top + static_cast<float>(height)}, shown,
                opacity);
}

DrawContext* LayerCache::begin() {
    const RectF& bounds = m_bounds;
    const float left = std::floor(bounds.left);
    const float top = std::floor(bounds.top);
    const int width = static_cast<int>(std::ceil(bounds.right - left));
    const int height = static_cast<int>(std::ceil(bounds.bottom - top));
    m_fallback = false;
    if (!(width > 0) || !(height > 0) || !std::isfinite(left) || !std::isfinite(top)) {
        m_fallback = true;
        m_valid = false;
        return nullptr;
    }
    const bool sameSize = m_image && m_image->width() == width && m_image->height() == height;
    // The drawing follows its bounds when they move by whole pixels (a
    // scrolled card); a move by a fraction of a pixel draws it again.
    const bool sameFraction = bounds.left - left == m_fractionX && bounds.top - top == m_fractionY;
    m_left = left;
    m_top = top;
    if (m_valid && sameSize && sameFraction && m_pending == m_key)
        return nullptr;
    m_fractionX = bounds.left - left;
    m_fractionY = bounds.top - top;
    if (!sameSize) {
        m_image = ImageTarget::create(width, height);
        if (!m_image) {
            m_fallback = true;
            m_valid = false;
            return nullptr;
        }
    }
    m_image->clearTransparent();
    m_key = m_pending;
    m_valid = true;
    DrawContext& context = m_image->context();
    context.pushTranslation(-left, -top);
    m_textBoxFrom = m_textBoxTo = bands::textBoxLog() ? bands::textBoxLog()->size() : 0;
    return &context;
}

void LayerCache::end() {
    if (m_image)
        m_image->finish();
    if (bands::textBoxLog())
        m_textBoxTo = bands::textBoxLog()->size();
}

void LayerCache::drawOnto(DrawContext& target, float opacity) {
    if (!m_image || !m_valid)
        return;
    m_image->drawOnto(target, PointF{m_left, m_top}, opacity);
    if (std::vector<bands::TextBox>* log = bands::textBoxLog()) {
        // Only what the target's clips let through is seen.
        const RectF clip = target.clipExtents();
        for (size_t i = m_textBoxFrom; i < m_textBoxTo && i < log->size(); ++i) {
            RectF& r = (*log)[i].rect;
            r = RectF{std::max(r.left, clip.left), std::max(r.top, clip.top), std::min(r.right, clip.right),
                      std::min(r.bottom, clip.bottom)};
        }
        m_textBoxFrom = m_textBoxTo = 0;
    }
}

void LayerCache::reset() {
    m_image.reset();
    m_valid = false;
    m_fallback = false;
}

}  // namespace qv
