// The master knob and the zone faders driven through their handlers after
// one offscreen paint.

#include "ui/panels/ControlPanel.h"

#include "platform/graphics/Graphics.h"

#include "BandsFixture.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using test::centreOf;

class ControlPanelTest : public test::BandsFixture {
protected:
    const ControlPanelState& state() { return controlPanelState(); }
    float master() { return gSettings.snapshot().masterGain; }
    float gain(int zone) { return gSettings.snapshot().zones[zone].gain; }
    // A fader row's point at fraction f, in client pixels.
    PointF onFader(int zone, float f) {
        const RectF& r = state().faderRects[zone];
        return PointF{r.left + f * r.width(), r.top + 30 - state().scroll};
    }
    void knobDrag(float from, float dy) {
        gSettings.edit([from](HapticSettings& s) { s.masterGain = from; });
        paintAll();
        const PointF knob = centreOf(state().knobHit);
        ASSERT_TRUE(controlPanelMouseDown(knob.x, knob.y - state().scroll));
        controlPanelDrag(knob.x, knob.y - state().scroll + dy);
        EXPECT_TRUE(controlPanelMouseUp(knob.x, knob.y));
    }
};

TEST_F(ControlPanelTest, TheKnobSpansItsRangeOverTwoHundredScaledPixels) {
    for (int dpi : {96, 144}) {
        setDpi(dpi);
        createTextFormats();
        const float s = dpiScale();
        knobDrag(0.8f, -100 * s);
        EXPECT_FLOAT_EQ(master(), 1.0f) << dpi;
        knobDrag(0.3f, 100 * s);
        EXPECT_FLOAT_EQ(master(), 0.0f) << dpi;
        knobDrag(0.5f, -50 * s);
        EXPECT_NEAR(master(), 0.75f, 1e-5f) << dpi;
        EXPECT_TRUE(gSettings.isDirty());
    }
}

TEST_F(ControlPanelTest, FadersFollowThePointerAndClamp) {
    paintAll();
    PointF p = onFader(2, 0.25f);
    ASSERT_TRUE(controlPanelMouseDown(p.x, p.y));
    EXPECT_NEAR(gain(2), 0.25f, 0.01f);
    for (float f : {-0.5f, 1.7f, 0.6f}) {
        p = onFader(2, f);
        controlPanelDrag(p.x, p.y + 300);
        EXPECT_NEAR(gain(2), std::clamp(f, 0.0f, 1.0f), 0.01f) << f;
    }
    EXPECT_TRUE(controlPanelMouseUp(p.x, p.y));
    EXPECT_FALSE(controlPanelMouseUp(p.x, p.y));
    EXPECT_NEAR(gain(1), 1.0f, 1e-6f);  // the others are untouched
}

TEST_F(ControlPanelTest, OnlyShownZonesHaveRowsAndTheRestMoveUp) {
    gSettings.edit([](HapticSettings& s) {
        s.numActiveZones = 4;
        s.zones[1].active = 0;
        for (int i = 4; i < kMaxZones; ++i)
            s.zones[i].active = 1;  // beyond numActiveZones: never shown
    });
    paintAll();
    EXPECT_GT(state().faderRects[0].width(), 0.0f);
    EXPECT_EQ(state().faderRects[1].width(), 0.0f);
    EXPECT_FLOAT_EQ(state().faderRects[2].top, state().faderRects[0].bottom);
    for (int i = 4; i < kMaxZones; ++i)
        EXPECT_EQ(state().faderRects[i].width(), 0.0f) << i;

    // The space below the last row holds no hidden zone: a click there takes nothing.
    const RectF last = state().faderRects[3];
    const float below = last.bottom + 30 - state().scroll;
    if (below < state().visible.bottom) {
        EXPECT_FALSE(controlPanelMouseDown(last.centerX(), below));
    }

    // Fewer zones after a rebuild of the settings: the old rows are gone.
    gSettings.edit([](HapticSettings& s) { s.numActiveZones = 1; });
    paintAll();
    EXPECT_EQ(state().faderRects[2].width(), 0.0f);
    const PointF old = PointF{last.centerX(), last.top + 30 - state().scroll};
    const float before = gain(2);
    controlPanelMouseDown(old.x, old.y);
    controlPanelMouseUp(old.x, old.y);
    EXPECT_FLOAT_EQ(gain(2), before);
}

TEST_F(ControlPanelTest, TheWheelScrollsSixtyScaledPixelsPerNotchWithinTheContent) {
    target = test::GraphicsFixture::image(1500, 700);
    gSettings.edit([](HapticSettings& s) {
        s.numActiveZones = 8;
        for (ZoneConfig& zone : s.zones)
            zone.active = 1;
    });
    paintAll();
    const float maximum = state().maxScroll;
    ASSERT_GT(maximum, 60.0f);
    EXPECT_FALSE(controlPanelScroll(120));
    EXPECT_TRUE(controlPanelScroll(-120));
    EXPECT_FLOAT_EQ(state().scroll, 60.0f);
    controlPanelScroll(-120 * 100);
    EXPECT_FLOAT_EQ(state().scroll, maximum);
    // A scrolled fader is still hit where it is drawn.
    paintAll();
    const PointF p = onFader(7, 0.5f);
    ASSERT_LT(p.y, state().visible.bottom);
    ASSERT_TRUE(controlPanelMouseDown(p.x, p.y));
    EXPECT_NEAR(gain(7), 0.5f, 0.01f);
    controlPanelMouseUp(p.x, p.y);
    // A click above the panel's scrolling part never reaches the scrolled knob.
    EXPECT_FALSE(controlPanelMouseDown(state().visible.centerX(), state().visible.top - 3));
}

TEST_F(ControlPanelTest, ANarrowWindowHasNoPanel) {
    target = test::GraphicsFixture::image(300, 200);
    paintAll();
    EXPECT_EQ(state().knobHit.width(), 0.0f);
    EXPECT_FALSE(controlPanelMouseDown(150, 150));
}

}  // namespace
}  // namespace qv
