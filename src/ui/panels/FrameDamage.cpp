#include "ui/panels/FrameDamage.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace qv {

namespace {

FrameDamage* gCurrent = nullptr;

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

FrameDamage* currentFrameDamage() { return gCurrent; }
void setCurrentFrameDamage(FrameDamage* damage) { gCurrent = damage; }

void FrameDamage::beginPlan() {
    m_pass = Pass::Plan;
    m_planned.clear();
    m_damage.clear();
}

void FrameDamage::add(const void* id, const RectF& bounds, const CacheKey& key, float extra) {
    record(id, bounds, &key, extra);
}

void FrameDamage::addUncomparable(const void* id, const RectF& bounds) { record(id, bounds, nullptr, 0.0f); }

void FrameDamage::record(const void* id, const RectF& bounds, const CacheKey* key, float extra) {
    if (m_pass == Pass::Plan) {
        Region& r = m_planned.emplace_back();
        r.id = id;
        r.occurrence = 0;
        for (size_t i = 0; i + 1 < m_planned.size(); ++i)
            r.occurrence += m_planned[i].id == id ? 1 : 0;
        r.bounds = bounds;
        if (key)
            r.key = *key;
        else
            r.key = CacheKey{};
        r.extra = extra;
        r.comparable = key != nullptr;
    } else if (m_pass == Pass::Draw) {
        // The same painters on the same state give the same regions in the
        // same order; one that differs was drawn from a value that changed in
        // between, and is drawn again in the next frame.
        if (m_drawIndex >= m_planned.size()) {
            ++m_drawIndex;
            return;
        }
        Region& planned = m_planned[m_drawIndex++];
        const bool same = planned.id == id && key && planned.comparable && planned.key == *key &&
                          planned.extra == extra && planned.bounds.left == bounds.left &&
                          planned.bounds.top == bounds.top && planned.bounds.right == bounds.right &&
                          planned.bounds.bottom == bounds.bottom;
        if (!same)
            planned.comparable = false;
    }
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

const std::vector<PixelRect>& FrameDamage::endPlan(bool whole, int width, int height) {
    m_damage.clear();
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (whole) {
        if (width > 0 && height > 0)
            m_damage.push_back(PixelRect{0, 0, width, height});
    } else {
        std::vector<bool>& matched = m_matched;
        matched.assign(m_shown.size(), false);
        for (const Region& p : m_planned) {
            const Region* shown = nullptr;
            for (size_t i = 0; i < m_shown.size() && !shown; ++i) {
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
        for (size_t i = 0; i < m_shown.size(); ++i)
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
    if (m_damage.empty()) {
        std::swap(m_shown, m_planned);
        m_pass = Pass::None;
    }
    return m_damage;
}

void FrameDamage::beginDraw() {
    m_pass = Pass::Draw;
    m_drawIndex = 0;
}

void FrameDamage::endDraw() {
    if (m_drawIndex != m_planned.size()) {
        // Not the same regions at all: nothing of the plan can be trusted.
        for (Region& r : m_planned)
            r.comparable = false;
    }
    std::swap(m_shown, m_planned);
    m_pass = Pass::None;
}

void FrameDamage::reset() {
    m_shown.clear();
    m_planned.clear();
    m_damage.clear();
    m_pass = Pass::None;
}

}  // namespace qv
