#pragma once
// Test fixture for anything that draws: the drawing layer with the fonts
// beside the test program, laid out for 96 dpi, and offscreen images to draw
// into. Header-only, so tests that do not draw need not link the graphics.

#include "platform/graphics/Graphics.h"
#include "platform/graphics/ImageTarget.h"

#include <gtest/gtest.h>

#include <memory>

namespace qv::test {

class GraphicsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(graphicsInit(GraphicsConfig{{}, kDefaultDpi})) << lastGraphicsError();
    }
    void TearDown() override {
        graphicsShutdown();
        setDpi(kDefaultDpi);
    }

    static std::unique_ptr<ImageTarget> image(int width, int height) {
        auto target = ImageTarget::create(width, height);
        EXPECT_TRUE(target);
        return target;
    }
};

// Channels within `tolerance` of each other.
inline ::testing::AssertionResult colorNear(Rgba8 actual, Rgba8 expected, int tolerance = 2) {
    const auto near = [&](int a, int b) { return a - b <= tolerance && b - a <= tolerance; };
    if (near(actual.r, expected.r) && near(actual.g, expected.g) && near(actual.b, expected.b) &&
        near(actual.a, expected.a))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << int(actual.r) << ", " << int(actual.g) << ", "
                                         << int(actual.b) << ", " << int(actual.a) << ") expected ("
                                         << int(expected.r) << ", " << int(expected.g) << ", " << int(expected.b)
                                         << ", " << int(expected.a) << ")";
}

// Pixels in the rectangle [x0, x1) x [y0, y1) that differ from `background`.
inline int inkedPixels(const ImageTarget& target, int x0, int y0, int x1, int y1, Rgba8 background, int tolerance = 8) {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const Rgba8 p = target.pixel(x, y);
            const auto differs = [&](int a, int b) { return a - b > tolerance || b - a > tolerance; };
            if (differs(p.r, background.r) || differs(p.g, background.g) || differs(p.b, background.b) ||
                differs(p.a, background.a))
                ++count;
        }
    }
    return count;
}

}  // namespace qv::test
