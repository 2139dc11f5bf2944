#include "ui/Appearance.h"
#include "ui/Dial.h"
#include "ui/Shapes.h"

#include "support/GraphicsFixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qv {
namespace {

TEST(Dial, TurnsLikeAKnob) {
    setDpi(kDefaultDpi);
    UiDial dial;
    dial.rect = RectF{0, 0, 200, 200};
    dial.value = 0.3f;
    EXPECT_EQ(dialPress(dial, 100, 100), 0);
    EXPECT_EQ(dial.dragging, 1);
    EXPECT_EQ(dialDrag(dial, 0), 2);
    EXPECT_NEAR(dial.value, 0.8f, 1e-6f);
    EXPECT_EQ(dialDrag(dial, -1000), 2);
    EXPECT_FLOAT_EQ(dial.value, 1.0f);
    EXPECT_EQ(dialDrag(dial, -1001), 0);
    EXPECT_EQ(dialRelease(dial), 0);
    EXPECT_EQ(dial.dragging, 0);
    EXPECT_EQ(dialDrag(dial, 500), 0);
    EXPECT_TRUE(dialHover(dial, 100, 100));
    EXPECT_FALSE(dialHover(dial, 101, 100));
    EXPECT_TRUE(dialHover(dial, 0, 0));  // the corner lies outside the circle
    dial.enabled = 0;
    dialPress(dial, 100, 100);
    EXPECT_EQ(dial.dragging, 0);
}

class DialPainterTest : public test::GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        createTextFormats();
        createBrushes(0);
    }
    void TearDown() override {
        releaseGuiResources();
        GraphicsFixture::TearDown();
    }
};

// The ring segments between 0.87 R and 0.95 R light up to the value.
TEST_F(DialPainterTest, TheRingIsLitUpToTheValue) {
    auto target = image(220, 220);
    target->context().clear(rgb(16, 18, 22));
    UiDial dial;
    dial.rect = RectF{10, 10, 210, 210};  // R = 98
    dial.value = 0.5f;
    drawDial(target->context(), dial);
    target->finish();
    const float radius = 0.91f * 98;
    int litBefore = 0;
    int litAfter = 0;
    for (int i = 0; i < 15; ++i) {
        const float centre = 135 + 270 * (i + 0.5f) / 30;
        const PointF p = polarPoint(110, 110, radius, centre);
        litBefore += target->pixel(static_cast<int>(p.x), static_cast<int>(p.y)).r > 120 ? 1 : 0;
        const PointF q = polarPoint(110, 110, radius, centre + 135);
        litAfter += target->pixel(static_cast<int>(q.x), static_cast<int>(q.y)).r > 120 ? 1 : 0;
    }
    EXPECT_EQ(litBefore, 15);
    EXPECT_EQ(litAfter, 0);
    EXPECT_TRUE(target->context().isHealthy());
}

TEST_F(DialPainterTest, DialsTooSmallForTheirScaleDrawNothing) {
    auto target = image(40, 40);
    target->context().clear(rgb(0, 0, 0));
    UiDial dial;
    dial.rect = RectF{0, 0, 30, 30};
    dial.value = NAN;
    drawDial(target->context(), dial);
    target->finish();
    EXPECT_EQ(test::inkedPixels(*target, 0, 0, 40, 40, {0, 0, 0, 255}), 0);
}

}  // namespace
}  // namespace qv
