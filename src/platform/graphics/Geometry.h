#pragma once
// Plain geometry and colour values shared by the drawing layer and the
// painters. Coordinates are floats in window pixels, y growing downwards.

#include <cstdint>

namespace qv {

struct PointF {
    float x = 0;
    float y = 0;
};

// A rectangle by its edges. A point is inside when left <= x < right and
// top <= y < bottom.
struct RectF {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;

    float width() const { return right - left; }
    float height() const { return bottom - top; }
    float centerX() const { return (left + right) * 0.5f; }
    float centerY() const { return (top + bottom) * 0.5f; }
};

// A rectangle of whole pixels: x, y its top left corner, then its size.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
};

// Straight (not premultiplied) RGBA, each channel 0..1.
struct Color {
    float r = 0;
    float g = 0;
    float b = 0;
    float a = 1;
};

// An 8-bit RGB triple with an alpha: rgb(16, 18, 22) is the window background.
constexpr Color rgb(int red, int green, int blue, float alpha = 1.0f) {
    return Color{red / 255.0f, green / 255.0f, blue / 255.0f, alpha};
}

// A colour from an integer 0x00BBGGRR (red in the low byte) and an alpha:
// 0x161210 is RGB 16, 18, 22.
constexpr Color colorFromRgb(uint32_t bgr, float alpha) {
    return Color{(bgr & 0xFF) / 255.0f, ((bgr >> 8) & 0xFF) / 255.0f, ((bgr >> 16) & 0xFF) / 255.0f, alpha};
}

}  // namespace qv
