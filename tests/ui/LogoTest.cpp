// The logo painter and its icons: where the colours land, never glyph shapes.

#include "ui/Logo.h"

#include "ui/Appearance.h"

#include "support/GraphicsFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace qv {
namespace {

using test::inkedPixels;

constexpr Rgba8 kWindow{16, 18, 22, 255};
constexpr Rgba8 kText{245, 247, 250, 255};

Rgba8 accentOf(int preset) {
    const Color c = gAccentPresets[preset].base;
    return Rgba8{static_cast<uint8_t>(std::lround(c.r * 255)), static_cast<uint8_t>(std::lround(c.g * 255)),
                 static_cast<uint8_t>(std::lround(c.b * 255)), 255};
}

bool near(Rgba8 a, Rgba8 b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance &&
           std::abs(a.a - b.a) <= tolerance;
}

Rgba8 unpack(uint32_t argb) {
    return Rgba8{static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb),
                 static_cast<uint8_t>(argb >> 24)};
}

// Pixels of the icon's rows [y0, y1) within `tolerance` of the colour.
int iconPixelsNear(const TrayIconImage& icon, int y0, int y1, Rgba8 colour, int tolerance) {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = 0; x < icon.size; ++x)
            count += near(unpack(icon.argb[static_cast<size_t>(y) * icon.size + x]), colour, tolerance);
    }
    return count;
}

// Runs for the first accent preset and for one far from it.
class LogoTest : public test::GraphicsFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        createTextFormats();
        createBrushes(GetParam());
    }
    void TearDown() override {
        releaseGuiResources();
        GraphicsFixture::TearDown();
    }
    Rgba8 accent() const { return accentOf(GetParam()); }
};

TEST_P(LogoTest, TheHeaderLogoPutsTheFirstWordInTextColourAndTheSecondInTheAccent) {
    auto target = image(180, 44);
    target->context().clear(rgb(16, 18, 22));
    paintLogo(target->context(), kLogoBox);
    target->finish();

    int textLeft = 0, textRight = 0, accentLeft = 0, accentRight = 0;
    for (int y = 13; y < 28; ++y) {
        for (int x = 18; x < 142; ++x) {
            const Rgba8 p = target->pixel(x, y);
            const bool left = x < 70;
            if (near(p, kText, 40))
                ++(left ? textLeft : textRight);
            if (near(p, accent(), 40))
                ++(left ? accentLeft : accentRight);
        }
    }
    EXPECT_GT(textLeft, 10);
    EXPECT_EQ(textRight, 0);
    EXPECT_GT(accentRight, 10);
    EXPECT_EQ(accentLeft, 0);
    // Nothing outside the box.
    EXPECT_EQ(inkedPixels(*target, 0, 0, 180, 13, kWindow), 0);
    EXPECT_EQ(inkedPixels(*target, 0, 28, 180, 44, kWindow), 0);
    EXPECT_EQ(inkedPixels(*target, 0, 13, 18, 28, kWindow), 0);
    EXPECT_EQ(inkedPixels(*target, 142, 13, 180, 28, kWindow), 0);
}

TEST_P(LogoTest, IconsAreTilesWithTheTextColourAboveTheAccent) {
    for (int size : {16, 22, 24, 32, 48, 64, 128}) {
        SCOPED_TRACE(size);
        const TrayIconImage icon = renderLogoIcon(size);
        ASSERT_EQ(icon.size, size);
        ASSERT_EQ(icon.argb.size(), static_cast<size_t>(size) * size);
        // The rounded corners are (nearly) transparent, the tile's inside is the window colour.
        EXPECT_LT(icon.argb[0] >> 24, 32u);
        EXPECT_LT(icon.argb[static_cast<size_t>(size) * size - 1] >> 24, 32u);
        if (size >= 32) {
            EXPECT_TRUE(near(unpack(icon.argb[static_cast<size_t>(size / 2) * size + 3 * size / 64 + 2]), kWindow, 3));
        }
        // Text-coloured ink only in the upper half, accent only in the lower half.
        const int tolerance = size < 32 ? 90 : 50;
        EXPECT_GT(iconPixelsNear(icon, 0, size / 2, kText, tolerance), 0);
        EXPECT_EQ(iconPixelsNear(icon, size / 2, size, kText, tolerance / 2), 0);
        EXPECT_GT(iconPixelsNear(icon, size / 2, size, accent(), tolerance), 0);
        EXPECT_EQ(iconPixelsNear(icon, 0, size / 2, accent(), tolerance / 2), 0);
    }
}

// The logo beside its icons at every tray size, kept for review: each icon
// covers a good share of its square and leaves its corners clear.
TEST_P(LogoTest, IconsAtEveryTraySizeFillTheirSquare) {
    const std::string folder = QV_RENDERS_DIR;
    std::filesystem::create_directories(folder);
    auto target = image(360, 140);
    target->context().clear(rgb(16, 18, 22));
    paintLogo(target->context(), kLogoBox);
    float x = 10;
    for (int size : {16, 22, 32, 48, 64}) {
        const TrayIconImage icon = renderLogoIcon(size);
        ASSERT_EQ(icon.argb.size(), static_cast<size_t>(size) * size);
        int opaque = 0;
        for (uint32_t p : icon.argb)
            opaque += (p >> 24) > 128 ? 1 : 0;
        EXPECT_GT(opaque, size * size / 4) << size;
        EXPECT_LT(opaque, size * size) << size;
        // Each icon pixel as a one-pixel rectangle.
        for (int py = 0; py < size; ++py) {
            for (int px = 0; px < size; ++px) {
                const uint32_t p = icon.argb[static_cast<size_t>(py) * size + px];
                Color c = rgb((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF, (p >> 24) / 255.0f);
                target->context().fillRect(RectF{x + px, 50.0f + py, x + px + 1, 51.0f + py}, solidBrush(c));
            }
        }
        x += size + 12;
    }
    const std::string path = folder + "/logo-accent" + std::to_string(GetParam()) + ".png";
    std::string error;
    ASSERT_TRUE(target->savePng(path, &error)) << error;
    // The logo itself: text and accent ink in its box.
    EXPECT_GT(inkedPixels(*target, 0, 0, 360, 48, kWindow), 200);
}

INSTANTIATE_TEST_SUITE_P(Accents, LogoTest, ::testing::Values(0, 3));

TEST(LogoIconTest, NoIconForASizeOutOfRangeOrBeforeTheAppearanceExists) {
    releaseGuiResources();
    EXPECT_EQ(renderLogoIcon(32).size, 0);
    createBrushes(0);
    for (int size : {0, -4, 257})
        EXPECT_EQ(renderLogoIcon(size).size, 0) << size;
    releaseGuiResources();
}

}  // namespace
}  // namespace qv
