#include "ui/panels/FrameDamage.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace qv {

namespace {

// More damaged rectangles than this are merged into their bounding box.
constexpr size_t kMaxRects = 24;

bool touches(const PixelRect& a, const PixelRect& b) {
    return a.x <= b.x + b.width && b.x <= a.x + a.width && a.y <= b.y + b.height && b.y <= a.y + a.height;
}

PixelRect unite(const PixelRect& a, const PixelRect& b) {
    const int left = std::min(a.x, b.x), top = std::min(a.y, b.y);
    const int right = std::max(a.x + a.width, b.x + b.width), bottom = std::max(a.y + a.height, b.y + b.height);
    return PixelRect{left, top, right - left, bottom - top};
}

}  // namespace

void FrameDamage::beginFrame() {
    m_plannedCount = 0;
    m_damage.clear();
}

void FrameDamage::add(const void* id, const RectF& bounds, const CacheKey& key, float extra) {
    record(id, bounds, &key, extra);
}

void FrameDamage::addUncomparable(const void* id, const RectF& bounds) { record(id, bounds, nullptr, 0.0f); }

void FrameDamage::record(const void* id, const RectF& bounds, const CacheKey* key, float extra) {
    // The entries (and their 1 KiB keys) are kept from frame to frame, so an
    // idle frame allocates nothing.
    if (m_plannedCount == m_planned.size())
        m_planned.emplace_back();
    Region& r = m_planned[m_plannedCount++];
    r.id = id;
    r.occurrence = 0;
    for (size_t i = 0; i + 1 < m_plannedCount; ++i)
        r.occurrence += m_planned[i].id == id ? 1 : 0;
    r.bounds = bounds;
    if (key)
        r.key = *key;
    else
        r.key = CacheKey{};
    r.extra = extra;
    r.comparable = key != nullptr;
}

bool FrameDamage::sameDrawing(const Region& a, const Region& b) {
    return a.comparable && b.comparable && a.extra == b.extra && a.bounds.left == b.bounds.left &&
           a.bounds.top == b.bounds.top && a.bounds.right == b.bounds.right && a.bounds.bottom == b.bounds.bottom &&
           a.key == b.key;
}

void FrameDamage::damageRect(const RectF& bounds, int width, int height) {
    if (!std::isfinite(bounds.left) || !std::isfinite(bounds.top) || !std::isfinite(bounds.right) ||
        !std::isfinite(bounds.bottom))
        return damageRect(RectF{0, 0, static_cast<float>(width), static_cast<float>(height)}, width, height);
    // One pixel more on every side for antialiased edges.
    const float left = std::max(std::floor(bounds.left) - 1.0f, 0.0f);
    const float top = std::max(std::floor(bounds.top) - 1.0f, 0.0f);
    const float right = std::min(std::ceil(bounds.right) + 1.0f, static_cast<float>(width));
    const float bottom = std::min(std::ceil(bounds.bottom) + 1.0f, static_cast<float>(height));
    if (!(right > left) || !(bottom > top))
        return;
    m_damage.push_back(PixelRect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                                 static_cast<int>(bottom - top)});
}

bool FrameDamage::touchesDamage(size_t first, size_t last) const {
    // endFrame made this frame's regions the shown ones.
    last = std::min(last, m_shownCount);
    for (size_t n = first; n < last; ++n) {
        const RectF& b = m_shown[n].bounds;
        if (!std::isfinite(b.left) || !std::isfinite(b.top) || !std::isfinite(b.right) || !std::isfinite(b.bottom))
            return !m_damage.empty();
        // As damageRect widens it: one pixel for antialiased edges.
        const float left = std::floor(b.left) - 1.0f, top = std::floor(b.top) - 1.0f;
        const float right = std::ceil(b.right) + 1.0f, bottom = std::ceil(b.bottom) + 1.0f;
        for (const PixelRect& d : m_damage)
            if (left < static_cast<float>(d.x + d.width) && right > static_cast<float>(d.x) &&
                top < static_cast<float>(d.y + d.height) && bottom > static_cast<float>(d.y))
                return true;
    }
    return false;
}

const std::vector<PixelRect>& FrameDamage::endFrame(bool whole, int width, int height) {
    m_damage.clear();
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (whole) {
        if (width > 0 && height > 0)
            m_damage.push_back(PixelRect{0, 0, width, height});
    } else {
        std::vector<bool>& matched = m_matched;
        matched.assign(m_shownCount, false);
        for (size_t n = 0; n < m_plannedCount; ++n) {
            const Region& p = m_planned[n];
            const Region* shown = nullptr;
            for (size_t i = 0; i < m_shownCount && !shown; ++i) {
                if (!matched[i] && m_shown[i].id == p.id && m_shown[i].occurrence == p.occurrence) {
                    matched[i] = true;
                    shown = &m_shown[i];
                }
            }
            if (shown && sameDrawing(*shown, p))
                continue;
            damageRect(p.bounds, width, height);
            if (shown)
                damageRect(shown->bounds, width, height);
        }
        for (size_t i = 0; i < m_shownCount; ++i)
            if (!matched[i])
                damageRect(m_shown[i].bounds, width, height);
        // Overlapping or touching rectangles become one; too many, their box.
        for (bool merged = true; merged;) {
            merged = false;
            for (size_t i = 0; i < m_damage.size() && !merged; ++i) {
                for (size_t j = i + 1; j < m_damage.size(); ++j) {
                    if (touches(m_damage[i], m_damage[j])) {
                        m_damage[i] = unite(m_damage[i], m_damage[j]);
                        m_damage.erase(m_damage.begin() + static_cast<std::ptrdiff_t>(j));
                        merged = true;
                        break;
                    }
                }
            }
        }
        if (m_damage.size() > kMaxRects) {
            PixelRect box = m_damage.front();
            for (const PixelRect& r : m_damage)
                box = unite(box, r);
            m_damage.assign(1, box);
        }
    }
    // What the screen shows once the damage is painted: this frame's regions.
    // The old entries are kept beyond the count, for the next frames.
    std::swap(m_shown, m_planned);
    m_shownCount = m_plannedCount;
    m_plannedCount = 0;
    return m_damage;
}

void FrameDamage::reset() {
    m_shown.clear();
    m_planned.clear();
    m_shownCount = m_plannedCount = 0;
    m_damage.clear();
}

}  // namespace qv
