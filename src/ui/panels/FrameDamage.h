#pragma once
// Which parts of the main window changed since the frame on the screen.
//
// Every part of a frame that can change is a region: a rectangle and a key
// that holds everything its pixels depend on. The bands' stored drawings
// (LayerCache) register themselves when they are drawn; the painters register
// what they draw directly in every frame (the scopes' curves, the pulsing
// dots, the knob's glow); the main window registers the background, which
// depends on the size and the appearance only.
//
// A frame is painted in two passes over the same painters: a planning pass
// with all drawing clipped away collects the frame's regions (and lets the
// stored drawings draw themselves again where their keys changed); a region
// that is new, gone, moved, or has another key than on the screen is damaged;
// the drawing pass then draws clipped to the damaged rectangles, and only
// those are presented. A region whose key changed between the two passes (a
// value another thread writes) is drawn again in the next frame.
//
// GUI thread only.

#include "platform/graphics/Geometry.h"
#include "ui/panels/LayerCache.h"

#include <vector>

namespace qv {

class FrameDamage {
public:
    // The planning pass.
    void beginPlan();
    // A region of this frame: `bounds` in window pixels (everything it draws
    // lies inside them), `key` and `extra` what its pixels depend on.
    void add(const void* id, const RectF& bounds, const CacheKey& key, float extra = 0.0f);
    // A region whose drawing cannot be compared: damaged in every frame.
    void addUncomparable(const void* id, const RectF& bounds);
    // Ends the planning pass: the damaged rectangles of a window of the size,
    // all of it when `whole` (the target holds no earlier frame). Empty when
    // nothing changed.
    const std::vector<PixelRect>& endPlan(bool whole, int width, int height);
    // The drawing pass: regions are checked against the plan.
    void beginDraw();
    void endDraw();
    // Forgets the frame on the screen (the next plan damages every region).
    void reset();

    bool planning() const { return m_pass == Pass::Plan; }
    const std::vector<PixelRect>& damage() const { return m_damage; }

private:
    enum class Pass : uint8_t { None, Plan, Draw };
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

    Pass m_pass = Pass::None;
    std::vector<Region> m_shown;    // what the frame on the screen was made of
    std::vector<Region> m_planned;  // this frame's regions
    size_t m_drawIndex = 0;         // the drawing pass's position in m_planned
    std::vector<PixelRect> m_damage;
    std::vector<bool> m_matched;  // scratch of endPlan
};

// The tracker of the main-window frame being painted, or null (other drawing:
// dialogs, offscreen renders).
FrameDamage* currentFrameDamage();
void setCurrentFrameDamage(FrameDamage* damage);

// Registers a region with the current tracker, if there is one.
inline void markRegion(const void* id, const RectF& bounds, const CacheKey& key, float extra = 0.0f) {
    if (FrameDamage* damage = currentFrameDamage())
        damage->add(id, bounds, key, extra);
}

}  // namespace qv
