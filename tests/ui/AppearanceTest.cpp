#include "ui/Appearance.h"

#include "support/GraphicsFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

using test::colorNear;
using test::inkedPixels;

void expectColor(const Color& c, int r, int g, int b, float a) {
    EXPECT_FLOAT_EQ(c.r, r / 255.0f);
    EXPECT_FLOAT_EQ(c.g, g / 255.0f);
    EXPECT_FLOAT_EQ(c.b, b / 255.0f);
    EXPECT_FLOAT_EQ(c.a, a);
}

class AppearanceTest : public test::GraphicsFixture {
protected:
    void TearDown() override {
        releaseGuiResources();
        applyDensity(1);
        GraphicsFixture::TearDown();
    }
};

TEST(Density, StartsWithTheMiddleDensityAndIgnoresUnknownOnes) {
    EXPECT_FLOAT_EQ(densityMetrics().cardHeight, 116.0f);
    EXPECT_FLOAT_EQ(densityMetrics().testWidth, 90.0f);
    applyDensity(0);
    EXPECT_FLOAT_EQ(densityMetrics().cardHeight, 98.0f);
    EXPECT_FLOAT_EQ(densityMetrics().cardGap, 6.0f);
    applyDensity(3);
    applyDensity(-1);
    EXPECT_FLOAT_EQ(densityMetrics().cardHeight, 98.0f);
    applyDensity(2);
    EXPECT_FLOAT_EQ(densityMetrics().scopeWidth, 180.0f);
    EXPECT_STREQ(kDensityNames[2], "BMW M5");
    applyDensity(1);
}

TEST_F(AppearanceTest, OutOfRangeAccentsShowTheFirstPreset) {
    for (const int accent : {6, -1, 1000}) {
        createBrushes(accent);
        EXPECT_STREQ(currentAccent().name, "QV Rosso");
        expectColor(guiBrush(kBrushAccent).color, 255, 74, 74, 1.0f);
    }
}

TEST_F(AppearanceTest, AccentBrushesFollowThePreset) {
    createBrushes(0);
    applyAccentTheme(5);
    EXPECT_STREQ(currentAccent().name, "Championship White");
    expectColor(guiBrush(kBrushAccent).color, 232, 237, 243, 1.0f);
    expectColor(guiBrush(kBrushAccentShade1).color, 232, 237, 243, 0.45f);
    expectColor(guiBrush(kBrushAccentShade2).color, 232, 237, 243, 0.06f);
    expectColor(guiBrush(kBrushAccentShade3).color, 232, 237, 243, 0.22f);
    const Brush& g2 = guiGradient(kGradientG2);
    expectColor(g2.stops[0].color, 232, 237, 243, 0.45f);
    expectColor(g2.stops[1].color, 232, 237, 243, 0.0f);
    const Brush& g3 = guiGradient(kGradientG3);
    expectColor(g3.stops[0].color, 232, 237, 243, 0.06f);
    expectColor(g3.stops[1].color, 232, 237, 243, 1.0f);
    applyAccentTheme(3);
    expectColor(guiBrush(kBrushAccentShade2).color, 30, 77, 140, 0.10f);
    // The neutral brushes stay as they were.
    expectColor(guiBrush(kBrushText).color, 245, 247, 250, 1.0f);
    expectColor(guiBrush(kBrushShadow).color, 0, 0, 0, 0.4f);
}

TEST_F(AppearanceTest, ReleasingClearsEveryFormatBrushAndGradient) {
    createTextFormats();
    createBrushes(2);
    for (int i = 0; i < kTextFormatCount; ++i)
        EXPECT_NE(guiTextFormat(i), nullptr) << i;
    for (int i = 0; i < kBrushCount; ++i)
        EXPECT_TRUE(guiBrush(i).isSet()) << i;
    releaseGuiResources();
    for (int i = 0; i < kTextFormatCount; ++i)
        EXPECT_EQ(guiTextFormat(i), nullptr);
    for (int i = 0; i < kBrushCount; ++i)
        EXPECT_FALSE(guiBrush(i).isSet());
    for (int i = 0; i < kGradientCount; ++i)
        EXPECT_FALSE(guiGradient(i).isSet());
    EXPECT_FALSE(guiBrush(-1).isSet());
    EXPECT_FALSE(guiBrush(kBrushCount).isSet());
    EXPECT_EQ(guiTextFormat(kTextFormatCount), nullptr);
}

TEST_F(AppearanceTest, FormatsAreSizedForTheCurrentDpi) {
    setDpi(144);
    createTextFormats();
    EXPECT_FLOAT_EQ(guiTextFormat(kFormatLogo)->size(), 19.5f);
    EXPECT_EQ(guiTextFormat(kFormatLogo)->weight(), 700);
    EXPECT_EQ(guiTextFormat(kFormatSliderValue)->style(), FontStyle::Italic);
    EXPECT_EQ(guiTextFormat(kFormatCaption)->family(), "JetBrains Mono");
    EXPECT_FLOAT_EQ(guiTextFormat(kFormatVersion)->size(), 14.25f);
}

TEST_F(AppearanceTest, GradientRectsRunFromTheirTopToTheirBottom) {
    createBrushes(0);
    auto target = image(20, 120);
    target->context().clear(rgb(0, 0, 0));
    fillGradientRect(&target->context(), RectF{0, 20, 20, 120}, 0, guiGradient(kGradientG0));
    target->finish();
    EXPECT_TRUE(colorNear(target->pixel(10, 20), {28, 32, 41, 255}, 1));
    EXPECT_TRUE(colorNear(target->pixel(10, 119), {22, 25, 32, 255}, 1));
    EXPECT_TRUE(colorNear(target->pixel(10, 10), {0, 0, 0, 255}, 0));
}

TEST_F(AppearanceTest, LongTextIsDrawnWholeButClippedAndEmptyTextDrawsNothing) {
    createTextFormats();
    createBrushes(0);
    std::string shortcuts;
    while (shortcuts.size() < 948)
        shortcuts += "F1 opens the settings. Alt+Shift+T minimises. ";
    shortcuts.resize(948);
    auto target = image(400, 200);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    const RectF rect{50, 50, 250, 120};
    drawTextUtf8(&c, guiTextFormat(kFormatSmall), shortcuts.c_str(), rect, guiBrush(kBrushText),
                 TextAlignment::Leading, ParagraphAlignment::Near);
    target->finish();
    const int inside = inkedPixels(*target, 50, 50, 250, 120, {0, 0, 0, 255});
    EXPECT_GT(inside, 1000);
    EXPECT_EQ(inkedPixels(*target, 0, 0, 400, 200, {0, 0, 0, 255}), inside);

    auto blank = image(100, 40);
    blank->context().clear(rgb(0, 0, 0));
    drawTextUtf8(&blank->context(), guiTextFormat(kFormatSmall), "", RectF{0, 0, 100, 40}, guiBrush(kBrushText),
                 TextAlignment::Leading, ParagraphAlignment::Near);
    drawTextUtf8(&blank->context(), guiTextFormat(kFormatSmall), nullptr, RectF{0, 0, 100, 40},
                 guiBrush(kBrushText), TextAlignment::Leading, ParagraphAlignment::Near);
    drawTextUtf8(nullptr, guiTextFormat(kFormatSmall), "x", RectF{0, 0, 100, 40}, guiBrush(kBrushText),
                 TextAlignment::Leading, ParagraphAlignment::Near);
    blank->finish();
    EXPECT_EQ(inkedPixels(*blank, 0, 0, 100, 40, {0, 0, 0, 255}), 0);
}

}  // namespace
}  // namespace qv
