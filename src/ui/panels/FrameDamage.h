#pragma once
// Which parts of the main window changed since the frame on the screen.
//
// Every part of a frame that can change is a region: a rectangle and a key
// that holds everything its pixels depend on. The bands note their regions
// while they lay out, from their own records (a stored drawing's key, the
// samples a scope shows, the clock a pulsing dot follows, a hover byte); the
// main window notes the background, which depends on the size and the
// appearance only. A region that is new, gone, moved, or has another key
// than on the screen is damaged, and the frame is then painted once, clipped
// to the damaged rectangles, which are all that is presented. The painters
// draw only from what the layout left in the records, so what is drawn is
// what the keys describe.
//
// GUI thread only.

#include "platform/graphics/Geometry.h"
#include "ui/panels/LayerCache.h"

#include <vector>

namespace qv {

class FrameDamage {
public:
    // A new frame: its regions follow.
    void beginFrame();
    // A region of this frame: `bounds` in window pixels (everything it draws
    // lies inside them), `key` and `extra` what its pixels depend on. `id`
    // names the part (the record that holds it); the n-th region of an id
    // matches the n-th of the frame on the screen.
    void add(const void* id, const RectF& bounds, const CacheKey& key, float extra = 0.0f);
    // A region whose drawing cannot be compared: damaged in every frame.
    void addUncomparable(const void* id, const RectF& bounds);
    // Ends the frame's regions: the damaged rectangles of a window of the
    // size, all of it when `whole` (the target holds no earlier frame). Empty
    // when nothing changed. The frame's regions are then what the screen
    // shows once the caller painted the rectangles.
    const std::vector<PixelRect>& endFrame(bool whole, int width, int height);
    // Forgets the frame on the screen (the next frame damages every region).
    void reset();

    const std::vector<PixelRect>& damage() const { return m_damage; }

    // How many regions this frame noted so far: taken before and after a
    // part of the layout (one band), it names that part's regions.
    size_t regionCount() const { return m_plannedCount; }
    // After endFrame: whether a region from `first` to before `last` of the
    // frame it ended reaches into one of its rectangles (its antialiased
    // edge included):
    // a part none of whose regions does draws nothing in the damage, so its
    // painting can be left out.
    bool touchesDamage(size_t first, size_t last) const;

private:
    struct Region {
        const void* id = nullptr;
        int occurrence = 0;  // the n-th region of this id in the frame
        RectF bounds;
        CacheKey key;
        float extra = 0.0f;
        bool comparable = true;
    };
    void record(const void* id, const RectF& bounds, const CacheKey* key, float extra);
    static bool sameDrawing(const Region& a, const Region& b);
    void damageRect(const RectF& bounds, int width, int height);

    // What the frame on the screen was made of, and this frame's regions:
    // the first m_shownCount and m_plannedCount entries (the vectors are
    // reused from frame to frame).
    std::vector<Region> m_shown;
    std::vector<Region> m_planned;
    size_t m_shownCount = 0;
    size_t m_plannedCount = 0;
    std::vector<PixelRect> m_damage;
    std::vector<bool> m_matched;  // scratch of endFrame
};

// Notes a region when there is a frame to note it in (damage not null).
inline void markRegion(FrameDamage* damage, const void* id, const RectF& bounds, const CacheKey& key,
                       float extra = 0.0f) {
    if (damage)
        damage->add(id, bounds, key, extra);
}

}  // namespace qv
