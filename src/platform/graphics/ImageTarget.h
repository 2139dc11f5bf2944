#pragma once
// An offscreen drawing target: a 32-bit image in memory with its DrawContext.
// Needs no display; the tests and the widget gallery draw into it.

#include "platform/graphics/DrawContext.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qv {

struct Rgba8 {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 0;
};

class ImageTarget {
public:
    // Null when the size is not positive, above 16384 a side, or memory is short.
    static std::unique_ptr<ImageTarget> create(int width, int height);
    ~ImageTarget();
    ImageTarget(const ImageTarget&) = delete;
    ImageTarget& operator=(const ImageTarget&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }
    DrawContext& context() { return *m_context; }

    // Ends whatever is still pushed and writes the drawing out to the pixels.
    void finish();
    // The pixel (straight alpha); transparent black outside the image.
    // Call finish() first.
    Rgba8 pixel(int x, int y) const;
    // Draws the image onto another target with its top left corner at the
    // point (rounded to whole pixels, so it is copied without blurring),
    // blended over what is there. Ends what is still pushed on the image first.
    void drawOnto(DrawContext& destination, PointF topLeft, float opacity = 1.0f);
    // Clears the image to transparent and resets its context for a new drawing.
    void clearTransparent();
    // Moves every pixel `columns` to the left (what leaves the image is gone)
    // and clears the columns that come free on the right to transparent.
    // Ends what is still pushed on the image first.
    void scrollLeft(int columns);
    // Writes the image as a PNG; false (with `error` set) on failure.
    bool savePng(const std::string& path, std::string* error = nullptr);

private:
    ImageTarget() = default;
    int m_width = 0;
    int m_height = 0;
    void* m_surface = nullptr;  // cairo_surface_t, owned
    std::unique_ptr<DrawContext> m_context;
};

}  // namespace qv
