#include "platform/Folders.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Graphics.h"
#include "platform/graphics/TextFormat.h"
#include "support/GraphicsFixture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qv {
namespace {

TEST(Dpi, ZeroAndImplausibleValuesAreIgnored) {
    setDpi(120);
    setDpi(0);
    EXPECT_EQ(currentDpi(), 120);
    setDpi(-96);
    setDpi(100000);
    EXPECT_EQ(currentDpi(), 120);
    setDpi(144);
    EXPECT_FLOAT_EQ(dpiScale(), 1.5f);
    setDpi(kDefaultDpi);
    EXPECT_FLOAT_EQ(dpiScale(), 1.0f);
}

TEST(Colors, ColorFromRgbTakesRedFromTheLowByte) {
    const Color c = colorFromRgb(0x161210, 1.0f);
    EXPECT_FLOAT_EQ(c.r, 16 / 255.0f);
    EXPECT_FLOAT_EQ(c.g, 18 / 255.0f);
    EXPECT_FLOAT_EQ(c.b, 22 / 255.0f);
    EXPECT_FLOAT_EQ(c.a, 1.0f);
    EXPECT_FLOAT_EQ(colorFromRgb(0xFFFFFF, 0.25f).a, 0.25f);
}

using PrivateFonts = test::GraphicsFixture;


TEST_F(PrivateFonts, TheShippedFamiliesResolveToTheShippedFiles) {
    const std::string folder = executableFolder() + "fonts/";
    ASSERT_EQ(privateFontFiles().size(), 5u);
    struct Case {
        const char* family;
        int weight;
        FontStyle style;
        const char* file;
    } cases[] = {
        {"Inter Tight", 400, FontStyle::Normal, "InterTight-Regular.ttf"},
        {"Inter Tight", 600, FontStyle::Normal, "InterTight-SemiBold.ttf"},
        {"Inter Tight", 700, FontStyle::Normal, "InterTight-Bold.ttf"},
        {"Inter Tight", 700, FontStyle::Italic, "InterTight-BoldItalic.ttf"},
        {"JetBrains Mono", 400, FontStyle::Normal, "JetBrainsMono-Regular.ttf"},
    };
    for (const Case& c : cases) {
        auto format = createTextFormat(c.family, 12.0f, c.weight, c.style);
        ASSERT_TRUE(format);
        EXPECT_EQ(resolvedFontFile(*format), folder + c.file) << c.family << " " << c.weight;
    }
}

TEST_F(PrivateFonts, InitialisingAgainKeepsTheFontSet) {
    const auto files = privateFontFiles();
    EXPECT_TRUE(graphicsInit(GraphicsConfig{"/nonexistent/", 144}));
    EXPECT_EQ(privateFontFiles(), files);
    EXPECT_EQ(currentDpi(), 144);
}

TEST_F(PrivateFonts, FormatsNeedAFamilyAndAPositiveSize) {
    EXPECT_FALSE(createTextFormat("", 12.0f, 400, FontStyle::Normal));
    EXPECT_FALSE(createTextFormat("Inter Tight", 0.0f, 400, FontStyle::Normal));
    EXPECT_FALSE(createTextFormat("Inter Tight", -3.0f, 400, FontStyle::Normal));
    EXPECT_FALSE(createTextFormat("Inter Tight", NAN, 400, FontStyle::Normal));
    auto clamped = createTextFormat("Inter Tight", 9.5f, 5000, FontStyle::Normal);
    ASSERT_TRUE(clamped);
    EXPECT_EQ(clamped->weight(), 1000);
    EXPECT_FLOAT_EQ(clamped->size(), 9.5f);
}

TEST(PrivateFontsMissing, WithoutTheFolderTextUsesTheSystemFonts) {
    test::TempDir empty;
    ASSERT_TRUE(graphicsInit(GraphicsConfig{empty.file("fonts/"), kDefaultDpi}));
    EXPECT_TRUE(privateFontFiles().empty());
    auto format = createTextFormat("Inter Tight", 12.0f, 400, FontStyle::Normal);
    ASSERT_TRUE(format);
    EXPECT_EQ(resolvedFontFile(*format).find(empty.path()), std::string::npos);
    format.reset();
    graphicsShutdown();
}

TEST(GraphicsLifecycle, NoFormatsBeforeInitialisation) {
    EXPECT_FALSE(graphicsReady());
    EXPECT_FALSE(createTextFormat("Inter Tight", 12.0f, 400, FontStyle::Normal));
}

}  // namespace
}  // namespace qv
