#include "platform/graphics/Bitmap.h"
#include "platform/graphics/DrawContext.h"
#include "platform/graphics/ImageTarget.h"
#include "support/GraphicsFixture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace qv {
namespace {

using test::colorNear;
using test::inkedPixels;

constexpr Rgba8 kBlack{0, 0, 0, 255};
constexpr Rgba8 kBackground{16, 18, 22, 255};

class DrawContextTest : public test::GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        format = createTextFormat("Inter Tight", 20.0f, 700, FontStyle::Normal);
        ASSERT_TRUE(format);
    }
    void TearDown() override {
        format.reset();
        GraphicsFixture::TearDown();
    }
    std::unique_ptr<TextFormat> format;
};

TEST_F(DrawContextTest, ClearFillsEveryPixelWithTheColour) {
    auto target = image(20, 10);
    target->context().clear(rgb(16, 18, 22));
    target->finish();
    EXPECT_TRUE(colorNear(target->pixel(0, 0), kBackground, 0));
    EXPECT_TRUE(colorNear(target->pixel(19, 9), kBackground, 0));
    EXPECT_EQ(inkedPixels(*target, 0, 0, 20, 10, kBackground, 0), 0);
}

TEST_F(DrawContextTest, LinearGradientRunsFromItsStartToItsEnd) {
    auto target = image(10, 100);
    Brush gradient = linearGradientBrush(rgb(255, 0, 0), rgb(0, 0, 255));
    gradient.start = {0, 0};
    gradient.end = {0, 100};
    target->context().fillRect(RectF{0, 0, 10, 100}, gradient);
    target->finish();
    EXPECT_TRUE(colorNear(target->pixel(5, 0), {253, 0, 2, 255}, 4));
    EXPECT_TRUE(colorNear(target->pixel(5, 99), {2, 0, 253, 255}, 4));
    EXPECT_TRUE(colorNear(target->pixel(5, 50), {126, 0, 129, 255}, 4));
}

TEST_F(DrawContextTest, RadialGradientIsBrightestAtItsFocus) {
    auto target = image(100, 100);
    const GradientStop stops[] = {{0.0f, rgb(255, 255, 255)}, {1.0f, rgb(0, 0, 0)}};
    const Brush brush = radialGradientBrush({50, 50}, {0, -20}, 50, stops, 2);
    target->context().fillRect(RectF{0, 0, 100, 100}, brush);
    target->finish();
    EXPECT_GT(target->pixel(50, 32).r, 240);
    EXPECT_LT(target->pixel(50, 98).r, 40);
}

TEST_F(DrawContextTest, AClippedLayerLeavesNoInkOutsideTheClip) {
    auto target = image(60, 60);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    c.pushClip(RectF{10, 10, 30, 30});
    c.pushLayer(0.8f);
    c.fillRect(RectF{0, 0, 60, 60}, solidBrush(rgb(255, 255, 255)));
    c.fillEllipse({20, 20}, 40, 40, solidBrush(rgb(0, 255, 0)));
    c.popLayer();
    c.popClip();
    target->finish();
    EXPECT_EQ(inkedPixels(*target, 10, 10, 30, 30, kBlack), 400);
    EXPECT_EQ(inkedPixels(*target, 0, 0, 60, 60, kBlack), 400);
}

TEST_F(DrawContextTest, AnOpacityLayerBlendsItsContentAsOne) {
    auto target = image(40, 20);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    c.pushLayer(0.5f);
    c.fillRect(RectF{0, 0, 30, 20}, solidBrush(rgb(255, 255, 255)));
    c.fillRect(RectF{10, 0, 40, 20}, solidBrush(rgb(255, 255, 255)));  // overlaps the first
    c.popLayer();
    target->finish();
    // Overlap and single cover look the same: the layer is blended once.
    EXPECT_TRUE(colorNear(target->pixel(5, 10), {128, 128, 128, 255}, 2));
    EXPECT_TRUE(colorNear(target->pixel(20, 10), {128, 128, 128, 255}, 2));
    EXPECT_TRUE(colorNear(target->pixel(35, 10), {128, 128, 128, 255}, 2));
}

TEST_F(DrawContextTest, BrushOpacityMultipliesTheColourAlpha) {
    auto target = image(10, 10);
    target->context().clear(rgb(0, 0, 0));
    target->context().fillRect(RectF{0, 0, 10, 10}, withOpacity(solidBrush(rgb(255, 255, 255, 0.5f)), 0.5f));
    target->finish();
    EXPECT_TRUE(colorNear(target->pixel(5, 5), {64, 64, 64, 255}, 2));
}

TEST_F(DrawContextTest, TextInksTheSideItIsAlignedTo) {
    struct Case {
        TextAlignment alignment;
        ParagraphAlignment paragraph;
        bool left;    // ink in the left half
        bool right;   // in the right half
        bool top;     // in the top third
        bool bottom;  // in the bottom third
    } cases[] = {
        {TextAlignment::Trailing, ParagraphAlignment::Center, false, true, false, false},
        {TextAlignment::Leading, ParagraphAlignment::Center, true, false, false, false},
        {TextAlignment::Leading, ParagraphAlignment::Near, true, false, true, false},
        {TextAlignment::Trailing, ParagraphAlignment::Far, false, true, false, true},
        {TextAlignment::Center, ParagraphAlignment::Near, true, true, true, false},
    };
    for (const TextWrap wrap : {TextWrap::Wrap, TextWrap::SingleLine}) {
        for (const Case& k : cases) {
            auto target = image(300, 100);
            target->context().clear(rgb(0, 0, 0));
            target->context().drawText(format.get(), "Mix", RectF{0, 0, 300, 100}, solidBrush(rgb(255, 255, 255)),
                                       k.alignment, k.paragraph, wrap);
            target->finish();
            EXPECT_EQ(inkedPixels(*target, 0, 0, 150, 100, kBlack) > 0, k.left);
            EXPECT_EQ(inkedPixels(*target, 150, 0, 300, 100, kBlack) > 0, k.right);
            EXPECT_EQ(inkedPixels(*target, 0, 0, 300, 34, kBlack) > 0, k.top);
            EXPECT_EQ(inkedPixels(*target, 0, 66, 300, 100, kBlack) > 0, k.bottom);
        }
    }
}

TEST_F(DrawContextTest, TextStaysInsideItsRectangle) {
    auto target = image(200, 100);
    target->context().clear(rgb(0, 0, 0));
    std::string longText;
    for (int i = 0; i < 120; ++i)
        longText += "wheel ";
    target->context().drawText(format.get(), longText, RectF{20, 20, 120, 60}, solidBrush(rgb(255, 255, 255)),
                               TextAlignment::Leading, ParagraphAlignment::Near);
    target->finish();
    EXPECT_GT(inkedPixels(*target, 20, 20, 120, 60, kBlack), 100);
    EXPECT_EQ(inkedPixels(*target, 0, 0, 200, 100, kBlack), inkedPixels(*target, 20, 20, 120, 60, kBlack));
}

TEST_F(DrawContextTest, BrokenUtf8IsDrawnInsteadOfDropped) {
    auto target = image(200, 40);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    c.drawText(format.get(), "ab\xC3\x28\xFF cut\xE2\x82", RectF{0, 0, 200, 40}, solidBrush(rgb(255, 255, 255)),
               TextAlignment::Leading, ParagraphAlignment::Center);
    target->finish();
    EXPECT_TRUE(c.isHealthy());
    EXPECT_GT(inkedPixels(*target, 0, 0, 200, 40, kBlack), 50);
}

TEST_F(DrawContextTest, NothingIsDrawnWithoutFormatBrushOrText) {
    auto target = image(100, 40);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    const RectF r{0, 0, 100, 40};
    c.drawText(nullptr, "text", r, solidBrush(rgb(255, 255, 255)), TextAlignment::Leading, ParagraphAlignment::Near);
    c.drawText(format.get(), "text", r, Brush{}, TextAlignment::Leading, ParagraphAlignment::Near);
    c.drawText(format.get(), "", r, solidBrush(rgb(255, 255, 255)), TextAlignment::Leading, ParagraphAlignment::Near);
    c.drawText(format.get(), "text", RectF{50, 0, 10, 40}, solidBrush(rgb(255, 255, 255)), TextAlignment::Leading,
               ParagraphAlignment::Near);
    target->finish();
    EXPECT_EQ(inkedPixels(*target, 0, 0, 100, 40, kBlack), 0);
}

TEST_F(DrawContextTest, BadNumbersDrawNothingAndLeaveTheTargetWorking) {
    auto target = image(50, 50);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    const Brush white = solidBrush(rgb(255, 255, 255));
    c.fillRect(RectF{NAN, 0, 10, 10}, white);
    c.fillRoundedRect(RectF{0, 0, INFINITY, 10}, 3, white);
    c.drawRoundedRect(RectF{0, 0, 10, 10}, NAN, white, 1);
    c.fillEllipse({5, 5}, -2, 3, white);
    c.drawEllipse({5, 5}, 3, 3, white, NAN);
    c.drawLine({0, 0}, {NAN, 5}, white, 1);
    c.beginPath();
    c.arcTo({10, 10}, -5, 0, 90);
    c.arcTo({10, 10}, 5, NAN, 90);
    c.fillPath(white);
    c.fillRect(RectF{0, 0, 10, 10}, withOpacity(white, NAN));
    c.pushTranslation(NAN, 0);
    c.popTranslation();
    c.drawText(format.get(), "x", RectF{0, NAN, 10, 10}, white, TextAlignment::Leading, ParagraphAlignment::Near);
    EXPECT_TRUE(c.isHealthy());
    target->finish();
    EXPECT_EQ(inkedPixels(*target, 0, 0, 50, 50, kBlack), 0);
    c.fillRect(RectF{0, 0, 50, 50}, white);
    target->finish();
    EXPECT_EQ(inkedPixels(*target, 0, 0, 50, 50, kBlack), 2500);
}

TEST_F(DrawContextTest, PopsThatDoNotMatchTheirPushAreIgnored) {
    auto target = image(40, 40);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    c.popClip();
    c.popLayer();
    c.pushClip(RectF{0, 0, 10, 10});
    c.popLayer();        // wrong kind: the clip stays
    c.popTranslation();  // wrong kind
    c.fillRect(RectF{0, 0, 40, 40}, solidBrush(rgb(255, 255, 255)));
    c.popClip();
    for (int i = 0; i < 50; ++i)  // deeper than the stack holds
        c.pushTranslation(1, 0);
    for (int i = 0; i < 50; ++i)
        c.popTranslation();
    c.fillRect(RectF{30, 30, 40, 40}, solidBrush(rgb(255, 255, 255)));
    EXPECT_TRUE(c.isHealthy());
    target->finish();
    EXPECT_EQ(inkedPixels(*target, 0, 0, 40, 40, kBlack), 100 + 100);
}

TEST_F(DrawContextTest, UnfinishedPushesAreUnwoundAtTheEndOfTheFrame) {
    auto target = image(20, 20);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    c.pushClip(RectF{0, 0, 10, 20});
    c.pushLayer(1.0f);
    c.fillRect(RectF{0, 0, 20, 20}, solidBrush(rgb(255, 255, 255)));
    target->finish();  // pops the layer into the image, then the clip
    EXPECT_EQ(inkedPixels(*target, 0, 0, 20, 20, kBlack), 200);
    c.fillRect(RectF{10, 0, 20, 20}, solidBrush(rgb(255, 255, 255)));
    target->finish();
    EXPECT_EQ(inkedPixels(*target, 0, 0, 20, 20, kBlack), 400);
}

TEST_F(DrawContextTest, TranslationShiftsDrawing) {
    auto target = image(40, 40);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    c.pushTranslation(20, 20);
    c.fillRect(RectF{0, 0, 10, 10}, solidBrush(rgb(255, 255, 255)));
    c.popTranslation();
    target->finish();
    EXPECT_EQ(inkedPixels(*target, 20, 20, 30, 30, kBlack), 100);
    EXPECT_EQ(inkedPixels(*target, 0, 0, 40, 40, kBlack), 100);
}

// Each column of the image has its own red value (10 * x); a scroll moves
// column x to x - columns and leaves the freed columns transparent, also
// after a drawing pushed on the image was left open.
TEST_F(DrawContextTest, ScrollingLeftMovesWholeColumnsAndClearsWhatComesFree) {
    constexpr int kWidth = 12;
    const int scrolls[] = {0, -2, 1, 5, kWidth - 1, kWidth, kWidth + 7};
    for (int columns : scrolls) {
        SCOPED_TRACE(columns);
        auto target = image(kWidth, 3);
        DrawContext& c = target->context();
        for (int x = 0; x < kWidth; ++x)
            c.fillRect(RectF{static_cast<float>(x), 0, x + 1.0f, 3}, solidBrush(rgb(10 * x, 0, 0)));
        c.pushClip(RectF{0, 0, 2, 2});
        target->scrollLeft(columns);
        target->finish();
        const int moved = std::max(columns, 0);
        for (int x = 0; x < kWidth; ++x) {
            const int from = x + moved;
            const Rgba8 expected = from < kWidth ? Rgba8{static_cast<uint8_t>(10 * from), 0, 0, 255} : Rgba8{};
            for (int y = 0; y < 3; ++y)
                EXPECT_TRUE(colorNear(target->pixel(x, y), expected, 0)) << "x " << x << " y " << y;
        }
    }
}

TEST_F(DrawContextTest, ArcsRunClockwiseFromTwelveOClock) {
    auto target = image(100, 100);
    DrawContext& c = target->context();
    c.clear(rgb(0, 0, 0));
    c.beginPath();
    c.moveTo({50, 10});
    c.arcTo({50, 50}, 40, 0, 90);  // top to right, through the upper right
    c.strokePath(solidBrush(rgb(255, 255, 255)), 4);
    target->finish();
    EXPECT_GT(inkedPixels(*target, 70, 15, 85, 30, kBlack), 0);   // 45°
    EXPECT_EQ(inkedPixels(*target, 15, 15, 30, 30, kBlack), 0);   // 315°
    EXPECT_EQ(inkedPixels(*target, 40, 80, 60, 100, kBlack), 0);  // 180°
}

TEST_F(DrawContextTest, CaretOffsetsGrowWithTheIndexAndHitTestsFindThemAgain) {
    auto target = image(10, 10);
    DrawContext& c = target->context();
    const std::string text = "Night stint";
    EXPECT_FLOAT_EQ(c.caretOffset(format.get(), text, 0), 0.0f);
    float previous = 0;
    for (int i = 1; i <= static_cast<int>(text.size()); ++i) {
        const float x = c.caretOffset(format.get(), text, i);
        EXPECT_GT(x, previous);
        EXPECT_EQ(c.hitTestText(format.get(), text, x), i);
        previous = x;
    }
    EXPECT_FLOAT_EQ(c.caretOffset(format.get(), text, 999), previous);
    EXPECT_EQ(c.hitTestText(format.get(), text, 1e6f), static_cast<int>(text.size()));
    // Beyond what the layout's integer units hold: still past the end.
    EXPECT_EQ(c.hitTestText(format.get(), text, 1e7f), static_cast<int>(text.size()));
    EXPECT_EQ(c.hitTestText(format.get(), text, -50), 0);
    EXPECT_EQ(c.hitTestText(format.get(), text, -1e30f), 0);
    EXPECT_NEAR(c.measureText(format.get(), text, 0).width, previous, 0.5f);
}

TEST_F(DrawContextTest, MeasuringWrapsAtTheGivenWidth) {
    auto target = image(10, 10);
    DrawContext& c = target->context();
    const TextMetrics one = c.measureText(format.get(), "wheel slip", 0);
    EXPECT_EQ(one.lineCount, 1);
    EXPECT_GT(one.height, 15.0f);
    const TextMetrics wrapped = c.measureText(format.get(), "wheel slip", one.width * 0.7f);
    EXPECT_EQ(wrapped.lineCount, 2);
    EXPECT_NEAR(wrapped.height, 2 * one.height, 2.0f);
    EXPECT_EQ(c.measureText(format.get(), "", 100).lineCount, 0);
    EXPECT_EQ(c.measureText(format.get(), "wheel slip", 1e30f).lineCount, 1);
}

TEST_F(DrawContextTest, BitmapsLoadFromPngAndDrawScaled) {
    test::TempDir dir;
    {
        auto source = image(2, 1);
        source->context().fillRect(RectF{0, 0, 1, 1}, solidBrush(rgb(255, 0, 0)));
        source->context().fillRect(RectF{1, 0, 2, 1}, solidBrush(rgb(0, 0, 255)));
        ASSERT_TRUE(source->savePng(dir.file("two.png")));
    }
    std::string error;
    auto bitmap = loadBitmapFile(dir.file("two.png"), &error);
    ASSERT_TRUE(bitmap) << error;
    EXPECT_EQ(bitmap->width(), 2);
    EXPECT_EQ(bitmap->height(), 1);
    auto target = image(40, 20);
    target->context().clear(rgb(0, 0, 0));
    target->context().drawBitmap(*bitmap, RectF{0, 0, 40, 20});
    target->finish();
    EXPECT_TRUE(colorNear(target->pixel(2, 10), {255, 0, 0, 255}, 8));
    EXPECT_TRUE(colorNear(target->pixel(37, 10), {0, 0, 255, 255}, 8));
}

TEST(Bitmaps, MissingAndBrokenFilesReportWhy) {
    test::TempDir dir;
    std::string error;
    EXPECT_FALSE(loadBitmapFile(dir.file("none.png"), &error));
    EXPECT_EQ(error, "loadBitmapFile " + dir.file("none.png") + ": file not found");
    ASSERT_TRUE(test::writeFile(dir.file("bad.png"), "\x89PNG\r\n\x1a\n garbage"));
    EXPECT_FALSE(loadBitmapFile(dir.file("bad.png"), &error));
    EXPECT_EQ(error, "loadBitmapFile " + dir.file("bad.png") + ": not a readable PNG image");
    EXPECT_FALSE(loadBitmapFile(dir.file("bad.png")));
}

TEST(ImageTargets, SizesMustBePositiveAndBounded) {
    EXPECT_FALSE(ImageTarget::create(0, 10));
    EXPECT_FALSE(ImageTarget::create(10, -1));
    EXPECT_FALSE(ImageTarget::create(100000, 10));
    auto target = ImageTarget::create(3, 2);
    ASSERT_TRUE(target);
    EXPECT_FLOAT_EQ(target->context().width(), 3.0f);
    EXPECT_FLOAT_EQ(target->context().height(), 2.0f);
    EXPECT_EQ(target->pixel(-1, 0).a, 0);
    EXPECT_EQ(target->pixel(3, 0).a, 0);
}

}  // namespace
}  // namespace qv
