// Shapes and colours of the painted bands (never glyphs), and the PNG
// renders of the whole main window for a reviewer.

#include "ui/panels/ControlPanel.h"
#include "ui/panels/EffectCards.h"
#include "ui/panels/HeaderBand.h"
#include "ui/panels/StatusBar.h"

#include "BandsFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace qv {
namespace {

int brightness(Rgba8 p) { return p.r + p.g + p.b; }

constexpr float kClientWidthF = static_cast<float>(test::kClientWidth);

Rgba8 accentOf(int preset) {
    const Color c = gAccentPresets[preset].base;
    return Rgba8{static_cast<uint8_t>(std::lround(c.r * 255)), static_cast<uint8_t>(std::lround(c.g * 255)),
                 static_cast<uint8_t>(std::lround(c.b * 255)), 255};
}

// Close to the accent colour, or at least far nearer it than to grey.
bool accentLike(Rgba8 p, Rgba8 accent, int tolerance = 60) {
    return std::abs(p.r - accent.r) + std::abs(p.g - accent.g) + std::abs(p.b - accent.b) <= tolerance;
}

class BandPixelTest : public test::BandsFixture {};

TEST_F(BandPixelTest, ACardThatIsOffIsDarker) {
    paintAll();
    const EffectCard& road = effectCardPanel().cards[0];
    const RectF body = road.cardRect;
    // A spot of the body between the scope and the title, free of text.
    const float x = road.testRect.left - 8;
    const float y = body.bottom - 6;
    const int on = brightness(pixelAt(x, y));
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].effectEnabled[kRoadVibration] = 0; });
    paintAll();
    const int off = brightness(pixelAt(x, y));
    EXPECT_LT(off, on);
    EXPECT_GE(off, brightness(Rgba8{16, 18, 22, 255}) - 3);  // blended towards the window background
}

TEST_F(BandPixelTest, TheKnobAtHalfLightsHalfItsRing) {
    gSettings.edit([](HapticSettings& s) { s.masterGain = 0.5f; });
    paintAll();
    const RectF hit = controlPanelState().knobHit;
    const float scroll = controlPanelState().scroll;
    const float cx = hit.centerX();
    const float cy = hit.top + 160 - scroll;
    const Rgba8 accent = accentOf(0);
    int lit = 0;
    for (int i = 0; i < 30; ++i) {
        const float degrees = 135.0f + 270.0f * (i + 0.5f) / 30.0f;
        const double theta = (degrees - 90.0) * 3.14159265358979 / 180.0;
        const Rgba8 p = pixelAt(static_cast<float>(cx + 130 * std::cos(theta)), static_cast<float>(cy + 130 * std::sin(theta)));
        const bool isLit = p.r > 120 && p.r > p.g + 40;
        lit += isLit ? 1 : 0;
        EXPECT_EQ(isLit, i < 15) << "segment " << i << " (" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ")";
    }
    EXPECT_EQ(lit, 15);
    (void)accent;
}

TEST_F(BandPixelTest, TheKnobNumberTurnsToTheAccentAtEightyFive) {
    const Rgba8 accent = accentOf(0);
    const auto accentPixelsInNumber = [&](float value) {
        gSettings.edit([value](HapticSettings& s) { s.masterGain = value; });
        paintAll();
        const RectF hit = controlPanelState().knobHit;
        const float cx = hit.centerX();
        const float cy = hit.top + 160 - controlPanelState().scroll;
        int count = 0;
        for (int y = static_cast<int>(cy + 37); y < static_cast<int>(cy + 63); ++y)
            for (int x = static_cast<int>(cx - 38); x < static_cast<int>(cx + 38); ++x)
                count += accentLike(target->pixel(x, y), accent, 40) ? 1 : 0;
        return count;
    };
    EXPECT_GT(accentPixelsInNumber(0.85f), 20);
    EXPECT_EQ(accentPixelsInNumber(0.84f), 0);
}

TEST_F(BandPixelTest, TheStatusDotFollowsTheConnection) {
    const float dotX = 21;
    const float dotY = 860 - 22;
    gSimConnected = 0;
    paintAll(0.4f);  // the halo's pulse at its widest
    const Rgba8 offline = pixelAt(dotX, dotY);
    EXPECT_FALSE(accentLike(offline, accentOf(0)));
    gSimConnected = 1;
    paintAll(0.4f);
    EXPECT_TRUE(accentLike(pixelAt(dotX, dotY), accentOf(0), 30));
    // The header's strip dot too: its cell is the fourth of the strip.
    createBrushes(5);
    paintAll(0.4f);
    EXPECT_TRUE(accentLike(pixelAt(dotX, dotY), accentOf(5), 30));
    gSimConnected = 0;
}

TEST_F(BandPixelTest, CaptionButtonsLightWhenHovered) {
    paintAll();
    const RectF close = headerLayout().captionButtons[kCaptionClose];
    const int plain = brightness(pixelAt(close.left + 3, close.top + 3));
    captionButtonHover(close.centerX(), close.centerY());
    paintAll();
    EXPECT_GT(brightness(pixelAt(close.left + 3, close.top + 3)), plain);
}

// How many pixels of the rectangle differ from the header's background, and
// how many of them are accent-coloured; the brightest one.
struct RegionInk {
    int ink = 0;
    int accent = 0;
    int brightest = 0;
};

RegionInk inkIn(const ImageTarget& image, const RectF& r, Rgba8 background, Rgba8 accent) {
    RegionInk out;
    for (int y = static_cast<int>(r.top); y < static_cast<int>(r.bottom); ++y)
        for (int x = static_cast<int>(r.left); x < static_cast<int>(r.right); ++x) {
            const Rgba8 p = image.pixel(x, y);
            if (std::abs(brightness(p) - brightness(background)) > 24)
                ++out.ink;
            if (accentLike(p, accent, 40))
                ++out.accent;
            out.brightest = std::max(out.brightest, brightness(p));
        }
    return out;
}

TEST_F(BandPixelTest, TheHeaderSaysWhyAudioIsMissingAndGreysADeviceThatWasNotFound) {
    const float s = 1.0f;
    const Rgba8 background = Rgba8{16, 18, 22, 255};
    // The DEVICE cell's value: the first quarter of the centred strip, below its caption.
    const float stripLeft = (kClientWidthF - 384.0f) / 2.0f;
    const RectF deviceValue{stripLeft + 4, 10 + 0.46f * 36 + 2, stripLeft + 92, 10 + 36 - 2};

    paintAll();
    ASSERT_GT(audioNoticeRect(kClientWidthF, s).width(), 200.0f);
    EXPECT_EQ(inkIn(*target, audioNoticeRect(kClientWidthF, s), background, accentOf(0)).ink, 0)
        << "nothing is said while nothing is wrong";

    publishAudioNotice(makeAudioNotice(AudioProblem::HostUnavailable,
                                       "Audio init failed: Cannot start the audio host: No such file or directory"));
    paintAll();
    EXPECT_EQ(headerLayout().wizardNotice.width(), 0.0f) << "only a missing device offers the wizard";
    const RegionInk hostLine = inkIn(*target, audioNoticeRect(kClientWidthF, s), background, accentOf(0));
    EXPECT_GT(hostLine.ink, 100) << "the line is drawn";
    EXPECT_GT(hostLine.accent, 10) << "with its accent mark";

    // A running device's name is white; the saved name of one not found is grey.
    gAudioReady = 1;
    gAudioStreamCount = 1;
    DeviceStatusTable table;
    copyText(table.rows[0].deviceName, "Scarlett");
    publishDeviceStatus(table);
    paintAll();
    const int running = inkIn(*target, deviceValue, background, accentOf(0)).brightest;
    EXPECT_EQ(inkIn(*target, audioNoticeRect(kClientWidthF, s), background, accentOf(0)).ink, 0)
        << "streams that run outrank an old notice";
    resetAudioStatus();
    publishAudioNotice(makeAudioNotice(AudioProblem::DeviceNotFound,
                                       "Saved device 'Scarlett' not found in current device list", "Scarlett"));
    paintAll();
    const RegionInk missing = inkIn(*target, deviceValue, background, accentOf(0));
    EXPECT_GT(missing.ink, 20) << "the saved name is shown";
    EXPECT_LT(missing.brightest, running - 150) << "and greyed";
    EXPECT_GT(inkIn(*target, audioNoticeRect(kClientWidthF, s), background, accentOf(0)).ink, 100);
    // The notice offers the wizard: a click on it asks for it.
    gGuiHost.store(&host);
    const PointF offer = test::centreOf(headerLayout().wizardNotice);
    EXPECT_TRUE(captionButtonClick(nullptr, offer.x, offer.y));
    EXPECT_TRUE(host.takeDeviceSetupRequest());
    gGuiHost.store(nullptr);

    const std::string folder = std::string(QV_RENDER_FOLDER) + "/renders";
    std::filesystem::create_directories(folder);
    std::string error;
    EXPECT_TRUE(target->savePng(folder + "/main_window_device_not_found.png", &error)) << error;
    resetAudioStatus();
}

TEST_F(BandPixelTest, EveryBandCopesWithAnySizeAndHitsOnlyWhatItDrew) {
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {120, 40}, {400, 90}, {700, 300}, {1000, 600}, {3000, 2000}};
    for (const auto& size : sizes) {
        target = test::GraphicsFixture::image(size.width, size.height);
        ASSERT_TRUE(target);
        paintAll(1.0f);
        EXPECT_TRUE(target->context().isHealthy()) << size.width;
        const RectF area = effectCardPanel().area;
        for (const EffectCard& card : effectCardPanel().cards) {
            if (card.cardRect.width() > 0.0f) {
                EXPECT_GE(card.cardRect.top, area.top - 1000.0f);
                EXPECT_LE(card.cardRect.right, static_cast<float>(size.width));
            }
        }
        const RectF knob = controlPanelState().knobHit;
        if (knob.width() > 0.0f) {
            EXPECT_GE(controlPanelState().visible.left, 0.0f) << size.width;
        }
        // A click in the middle of a tiny window finds nothing to drag.
        cardMouseDown( &host, size.width / 2.0f, size.height / 2.0f);
        cardMouseUp(&host, 0, 0);
    }
}

// Renders of the whole window into <build>/renders/.
class MainWindowRenders : public test::BandsFixture,
                          public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(MainWindowRenders, WriteTheWholeWindow) {
    const auto [sim, accent] = GetParam();
    createBrushes(accent);
    resetAudioStatus();
    gAudioReady = 1;
    gAudioStreamCount = 1;
    DeviceStatusTable table;
    copyText(table.rows[0].deviceName, "Speakers (Realtek High Definition Audio)");
    copyText(table.rows[0].hostApi, "JACK");
    table.rows[0].latencyMs = 5.3f;
    publishDeviceStatus(table);
    gSimConnected = 1;
    gSettings.edit([&](HapticSettings& s) {
        s.effectProfiles[sim].suspDualBand = sim == kAC ? 1 : 0;
        s.effectProfiles[sim].effectEnabled[kAbsLock] = 0;
        s.masterGain = 0.72f;
    });
    selectSim(sim);
    // Live meters: a few seconds of moving levels in every effect.
    for (int tick = 0; tick < 90; ++tick) {
        for (int e = 0; e < kEffectCount; ++e)
            gEffectMeters[e] = 0.5f + 0.45f * std::sin(0.21f * tick + e);
        updateLevelMeters();
    }
    const EffectCard& engine = effectCardPanel().cards[3];
    paintAll(0.3f);
    cardMouseDown( &host, engine.testRect.centerX(), engine.testRect.centerY());
    paintAll(0.3f);
    const std::string folder = std::string(QV_RENDER_FOLDER) + "/renders";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/main_window_" + kSimKeys[sim] + "_accent" + std::to_string(accent) + ".png";
    std::string error;
    EXPECT_TRUE(target->savePng(path, &error)) << error;
    cardMouseUp(&host, 0, 0);
    resetAudioStatus();
    resetAppGlobals();
}

INSTANTIATE_TEST_SUITE_P(SimulatorsAndAccents, MainWindowRenders,
                         ::testing::Values(std::make_tuple(int(kIRacing), 0), std::make_tuple(int(kAC), 5),
                                           std::make_tuple(int(kACC), 0), std::make_tuple(int(kIRacing), 5)));

}  // namespace
}  // namespace qv
