#pragma once
// What a band drew in an earlier frame, kept as an image and drawn again
// while nothing it depends on has changed. The painter describes everything
// its static part depends on in a CacheKey (sizes, DPI, accent, hover bytes,
// values, texts); when the key or the bounds change, the part is drawn again
// into the image. Only what moves every frame (scopes, pulsing dots) is drawn
// directly. GUI thread only; an idle frame allocates nothing.

#include "platform/graphics/DrawContext.h"
#include "platform/graphics/ImageTarget.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

namespace qv {

class CacheKey {
public:
    static constexpr size_t kCapacity = 1024;

    template <typename T>
    void add(const T& value) {
        static_assert(std::is_arithmetic_v<T> || std::is_pointer_v<T>);
        addBytes(&value, sizeof(T));
    }
    void addText(std::string_view text);
    // The scale, density and accent colour every band's drawing depends on.
    void addAppearance();

    bool operator==(const CacheKey& other) const {
        return m_size == other.m_size && std::memcmp(m_bytes, other.m_bytes, m_size) == 0;
    }

private:
    void addBytes(const void* data, size_t size);

    uint8_t m_bytes[kCapacity] = {};
    size_t m_size = 0;
};

class FrameDamage;

class LayerCache {
public:
    // Layout: this frame's key and bounds (window pixels), noted as a region
    // of the frame (FrameDamage.h) with the opacity it will be drawn at;
    // damage may be null.
    void prepare(const CacheKey& key, const RectF& bounds, FrameDamage* damage, float opacity = 1.0f);
    // Paint: places the drawing at the prepared bounds. When the prepared key
    // or size differs from the stored drawing's, clears the image (made anew
    // when its size changed) and returns its context with the origin moved so
    // the caller draws in window pixels at the bounds; call end() when done.
    // Returns null while the stored drawing is still good, and also when no
    // image can be made (then fallback() is true and the caller draws
    // directly).
    DrawContext* begin();
    void end();
    // Draws the stored image at its bounds.
    void drawOnto(DrawContext& target, float opacity = 1.0f);
    bool fallback() const { return m_fallback; }
    void reset();

private:
    std::unique_ptr<ImageTarget> m_image;
    CacheKey m_key;      // what the stored drawing shows
    CacheKey m_pending;  // this frame's, from prepare()
    RectF m_bounds;
    bool m_valid = false;
    bool m_fallback = false;
    float m_left = 0;  // whole-pixel corner of this frame's bounds
    float m_top = 0;
    float m_fractionX = -1;  // sub-pixel offset the drawing was made for
    float m_fractionY = -1;
    // The text boxes noted while the drawing was made (bands::textBoxLog),
    // clipped as the drawing is when it is drawn onto the frame.
    size_t m_textBoxFrom = 0;
    size_t m_textBoxTo = 0;
};

}  // namespace qv
