// The painters on offscreen images: shapes and colours, never exact glyphs
// (fonts render differently from machine to machine).

#include "ui/Appearance.h"
#include "ui/Shapes.h"
#include "ui/WidgetPainters.h"

#include "support/GraphicsFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qv {
namespace {

using test::inkedPixels;

constexpr Rgba8 kInk{10, 11, 13, 255};
constexpr Rgba8 kWindow{16, 18, 22, 255};

// Accent base colours of the two ends of the preset list.
Rgba8 accentOf(int preset) {
    const Color c = gAccentPresets[preset].base;
    return Rgba8{static_cast<uint8_t>(std::lround(c.r * 255)), static_cast<uint8_t>(std::lround(c.g * 255)),
                 static_cast<uint8_t>(std::lround(c.b * 255)), 255};
}

class PainterTest : public test::GraphicsFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        createTextFormats();
        createBrushes(GetParam());
        target = image(400, 300);
        target->context().clear(rgb(16, 18, 22));
    }
    void TearDown() override {
        target.reset();
        releaseGuiResources();
        GraphicsFixture::TearDown();
    }
    DrawContext& context() { return target->context(); }
    Rgba8 pixel(float x, float y) {
        target->finish();
        return target->pixel(static_cast<int>(x), static_cast<int>(y));
    }
    Rgba8 accent() const { return accentOf(GetParam()); }

    std::unique_ptr<ImageTarget> target;
};

TEST_P(PainterTest, ACheckedToggleShowsTheAccentColour) {
    bool on = true;
    bool off = false;
    UiToggle checked;
    checked.rect = RectF{20, 20, 200, 44};
    checked.target = &on;
    setWidgetText(checked.label, "Close to Tray");
    UiToggle unchecked = checked;
    unchecked.rect = RectF{20, 60, 200, 84};
    unchecked.target = &off;
    drawToggle(context(), checked);
    drawToggle(context(), unchecked);
    // Above the check mark, inside the 18 x 18 box centred at (29, 32).
    EXPECT_TRUE(test::colorNear(pixel(29, 26), accent(), 2));
    EXPECT_TRUE(test::colorNear(pixel(29, 66), {22, 25, 32, 255}, 2));
    // The check mark is drawn in the dark ink over the accent.
    EXPECT_GT(inkedPixels(*target, 20, 23, 38, 41, accent(), 40), 10);
}

TEST_P(PainterTest, AKnobAtHalfDrawsItsValueArcOverHalfItsSweep) {
    UiKnob knob;
    knob.rect = RectF{100, 50, 200, 150};  // R = 49, the arcs on radius 47
    knob.value = 0.5f;
    drawKnob(context(), knob);
    target->finish();
    const Rgba8 a = accent();
    int litBefore = 0;
    int litAfter = 0;
    for (float f = 0.04f; f < 0.47f; f += 0.04f) {
        const PointF p = polarPoint(150, 100, 47, 135 + 270 * f);
        litBefore += test::colorNear(pixel(p.x, p.y), a, 40) ? 1 : 0;
        const PointF q = polarPoint(150, 100, 47, 135 + 270 * (f + 0.5f));
        litAfter += test::colorNear(pixel(q.x, q.y), a, 40) ? 1 : 0;
    }
    EXPECT_GE(litBefore, 10);
    EXPECT_EQ(litAfter, 0);
}

TEST_P(PainterTest, AnInactiveKnobIsDimmed) {
    UiKnob knob;
    knob.rect = RectF{100, 50, 200, 150};
    knob.value = 1.0f;
    knob.active = 0;
    drawKnob(context(), knob);
    const PointF p = polarPoint(150, 100, 47, 135 + 270 * 0.25f);
    EXPECT_FALSE(test::colorNear(pixel(p.x, p.y), accent(), 40));
    EXPECT_GT(inkedPixels(*target, 100, 50, 200, 150, kWindow, 3), 0);
}

TEST_P(PainterTest, ButtonsFillByStyleAndState) {
    UiButton primary;
    primary.rect = RectF{20, 20, 120, 50};
    primary.style = kButtonPrimary;
    UiButton disabled = primary;
    disabled.rect = RectF{20, 70, 120, 100};
    disabled.enabled = 0;
    UiButton pressedPlain;
    pressedPlain.rect = RectF{20, 120, 120, 150};
    pressedPlain.pressed = 1;
    drawButton(context(), primary);
    drawButton(context(), disabled);
    drawButton(context(), pressedPlain);
    EXPECT_TRUE(test::colorNear(pixel(30, 25), accent(), 2));
    EXPECT_TRUE(test::colorNear(pixel(30, 75), {22, 25, 32, 255}, 2));
    EXPECT_TRUE(test::colorNear(pixel(30, 125), {22, 25, 32, 255}, 2));
}

TEST_P(PainterTest, DropdownListsAreDrawnOnlyWhileOpen) {
    const char* items[] = {"One", "Two", "Three"};
    UiDropdown d;
    d.rect = RectF{20, 40, 220, 72};
    dropdownSetItems(d, items, 3);
    drawDropdownList(context(), d);
    EXPECT_EQ(inkedPixels(*target, 0, 0, 400, 300, kWindow, 0), 0);
    dropdownClick(d, 30, 50);
    ASSERT_EQ(d.open, 1);
    drawDropdown(context(), d);
    drawDropdownList(context(), d);
    // The list: three rows of 28 from 74, filled (28, 32, 41).
    EXPECT_TRUE(test::colorNear(pixel(200, 80), {28, 32, 41, 255}, 2));
    EXPECT_TRUE(test::colorNear(pixel(200, 150), {28, 32, 41, 255}, 2));
    EXPECT_FALSE(test::colorNear(pixel(100, 170), {28, 32, 41, 255}, 2));
}

TEST_P(PainterTest, ListBoxesShowAScrollThumbOnlyWhenTheRowsOverflow) {
    const char* items[] = {"a", "b", "c", "d", "e", "f", "g", "h"};
    UiListBox list;
    list.rect = RectF{20, 40, 220, 140};
    list.rowHeight = 24;
    listBoxSetItems(list, items, 3);
    drawListBox(context(), list);
    EXPECT_EQ(inkedPixels(*target, 216, 44, 219, 136, {22, 25, 32, 255}, 3), 0);
    listBoxSetItems(list, items, 8);
    drawListBox(context(), list);
    EXPECT_GT(inkedPixels(*target, 216, 44, 219, 136, {22, 25, 32, 255}, 3), 20);
}

TEST_P(PainterTest, SelectedSegmentsAreOutlinedInTheAccent) {
    const char* labels[] = {"A", "B", "C"};
    UiSegmented seg;
    seg.rect = RectF{20, 20, 320, 50};
    segmentedSetLabels(seg, labels, 3);
    seg.selected = 1;
    drawSegmented(context(), seg);
    // The one-pixel outline on the top edge covers half of the pixel row
    // under it: at least halfway from the background to the accent.
    const auto halfAccent = [&](Rgba8 p) {
        const Rgba8 a = accent();
        return p.r >= (a.r + kWindow.r) / 2 - 10 && p.g >= (a.g + kWindow.g) / 2 - 10 &&
               p.b >= (a.b + kWindow.b) / 2 - 10;
    };
    EXPECT_TRUE(halfAccent(pixel(150, 20)));
    EXPECT_FALSE(halfAccent(pixel(50, 20)));
}

TEST_P(PainterTest, FadersLightTheirSegmentsUpToTheValue) {
    UiFader fader;
    fader.rect = RectF{20, 20, 228, 44};  // track 24..224, centre y 32
    fader.value = 0.5f;
    drawFader(context(), fader);
    EXPECT_TRUE(test::colorNear(pixel(70, 32), accent(), 140));
    EXPECT_FALSE(test::colorNear(pixel(180, 32), accent(), 140));
}

TEST_P(PainterTest, TheTextFieldCaretStaysInsideTheFieldWhateverItsIndex) {
    UiTextField field;
    field.rect = RectF{20, 20, 220, 52};
    setWidgetText(field.text, "abc");
    field.focused = 1;
    for (const int caret : {-5, 0, 3, 9999}) {
        field.caret = caret;
        drawTextField(context(), field);
    }
    // A long text puts the caret at the right limit, not beyond the box.
    std::memset(field.text, 'W', sizeof field.text);
    field.caret = 255;
    drawTextField(context(), field);
    EXPECT_TRUE(context().isHealthy());
    EXPECT_EQ(inkedPixels(*target, 221, 0, 400, 300, kWindow, 0), 0);
}

TEST_P(PainterTest, RecordsFullOfNonsenseAreDrawnWithoutHarm) {
    UiDropdown d;
    d.rect = RectF{10, 10, 200, 40};
    d.count = 999;
    d.selected = 12345;
    d.hoverIndex = -77;
    d.open = 1;
    std::memset(d.items, 'x', sizeof d.items);  // no terminators anywhere
    std::memset(d.label, 'y', sizeof d.label);
    dropdownLayoutList(d);
    drawDropdown(context(), d);
    drawDropdownList(context(), d);
    UiListBox list;
    list.rect = RectF{10, 50, 200, 150};
    list.count = -3;
    list.scroll = NAN;
    list.rowHeight = -10;
    drawListBox(context(), list);
    list.count = 5000;
    list.scroll = 1e30f;
    std::memset(list.items, 'z', sizeof list.items);
    drawListBox(context(), list);
    UiSegmented seg;
    seg.rect = RectF{10, 160, 200, 190};
    seg.count = 100;
    seg.selected = -4;
    drawSegmented(context(), seg);
    UiKnob knob;
    knob.rect = RectF{300, 10, 302, 12};  // too small for its rings
    knob.value = NAN;
    drawKnob(context(), knob);
    UiFader fader;
    fader.rect = RectF{10, 200, 200, 220};
    fader.value = INFINITY;
    drawFader(context(), fader);
    float value = NAN;
    UiSlider slider;
    slider.rect = RectF{10, 230, 390, 250};
    slider.target = &value;
    slider.min = 1;
    slider.max = 1;
    std::memset(slider.unit, 'u', sizeof slider.unit);
    drawSlider(context(), slider);
    UiButton button;
    button.rect = RectF{10, 260, 100, 290};
    button.style = 77;
    std::memset(button.label, '\xC3', sizeof button.label);  // lead bytes only
    drawButton(context(), button);
    target->finish();
    EXPECT_TRUE(context().isHealthy());
}

INSTANTIATE_TEST_SUITE_P(AccentExtremes, PainterTest, ::testing::Values(0, kAccentPresetCount - 1));

// Relative luminance of an sRGB pixel, for the contrast of two colours.
double luminanceOf(Rgba8 p) {
    const auto linear = [](int v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(p.r) + 0.7152 * linear(p.g) + 0.0722 * linear(p.b);
}

double contrastOf(Rgba8 a, Rgba8 b) {
    const double la = luminanceOf(a), lb = luminanceOf(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

class PrimaryButtonLabelTest : public test::GraphicsFixture {};

// The label of a primary button reads on every accent: the drawn label's
// strongest pixel against the drawn fill reaches 4.5 to 1.
TEST_F(PrimaryButtonLabelTest, TheLabelStandsOutFromEveryAccent) {
    createTextFormats();
    for (int preset = 0; preset < kAccentPresetCount; ++preset) {
        SCOPED_TRACE(gAccentPresets[preset].name);
        createBrushes(preset);
        auto target = image(200, 60);
        target->context().clear(rgb(16, 18, 22));
        UiButton button;
        button.rect = RectF{20, 10, 180, 50};
        button.style = kButtonPrimary;
        setWidgetText(button.label, "APPLY SETTINGS");
        drawButton(target->context(), button);
        target->finish();
        const Rgba8 fill = target->pixel(26, 30);  // left of the centred label
        ASSERT_TRUE(test::colorNear(fill, accentOf(preset), 2));
        double strongest = 1.0;
        for (int y = 12; y < 48; ++y) {
            for (int x = 28; x < 172; ++x)
                strongest = std::max(strongest, contrastOf(target->pixel(x, y), fill));
        }
        EXPECT_GE(strongest, 4.5);
    }
    releaseGuiResources();
}

TEST(Shapes, PolarPointsAreClockwiseFromTwelveOClock) {
    const PointF top = polarPoint(100, 100, 10, 0);
    EXPECT_NEAR(top.x, 100, 1e-4);
    EXPECT_NEAR(top.y, 90, 1e-4);
    const PointF right = polarPoint(100, 100, 10, 90);
    EXPECT_NEAR(right.x, 110, 1e-4);
    EXPECT_NEAR(right.y, 100, 1e-4);
    const PointF start = polarPoint(0, 0, 10, 135);  // a knob's zero: down and to the right
    EXPECT_GT(start.x, 0);
    EXPECT_GT(start.y, 0);
}

class ShapesTest : public test::GraphicsFixture {};

TEST_F(ShapesTest, ArcsAndRingSegmentsNeedAForwardSweep) {
    auto target = image(100, 100);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    const Brush white = solidBrush(rgb(255, 255, 255));
    drawArc(c, {50, 50}, 40, 90, 90, white, 3);
    drawArc(c, {50, 50}, 40, 180, 90, white, 3);
    drawRingSegment(c, {50, 50}, 20, 40, 90, 45, white);
    drawRingSegment(c, {50, 50}, 40, 20, 0, 90, white);
    target->finish();
    EXPECT_EQ(inkedPixels(*target, 0, 0, 100, 100, {0, 0, 0, 255}), 0);
    drawRingSegment(c, {50, 50}, 20, 40, 0, 90, white, 1);
    target->finish();
    const PointF mid = polarPoint(50, 50, 30, 45);
    EXPECT_TRUE(test::colorNear(target->pixel(static_cast<int>(mid.x), static_cast<int>(mid.y)), {255, 255, 255, 255}, 0));
    const PointF inner = polarPoint(50, 50, 10, 45);
    EXPECT_TRUE(test::colorNear(target->pixel(static_cast<int>(inner.x), static_cast<int>(inner.y)), {0, 0, 0, 255}, 0));
    const PointF opposite = polarPoint(50, 50, 30, 225);
    EXPECT_TRUE(test::colorNear(target->pixel(static_cast<int>(opposite.x), static_cast<int>(opposite.y)), {0, 0, 0, 255}, 0));
}

}  // namespace
}  // namespace qv
