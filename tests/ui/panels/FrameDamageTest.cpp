// Painting only what changed: a target that keeps its frame and is painted
// with paintMainWindowChanges must hold, after every change, exactly the
// pixels of a whole frame painted from scratch; and a frame in which nothing
// changed paints nothing.

#include "BandsFixture.h"

#include "ui/AppMessages.h"
#include "ui/panels/ControlPanel.h"
#include "ui/panels/EffectCards.h"
#include "ui/panels/HeaderBand.h"
#include "ui/panels/ProfileBar.h"
#include "ui/panels/StatusBar.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

namespace qv::test {
namespace {

class FrameDamageTest : public BandsFixture {
protected:
    void SetUp() override {
        BandsFixture::SetUp();
        kept = image(kClientWidth, kClientHeight);
    }
    void TearDown() override {
        kept.reset();
        BandsFixture::TearDown();
    }

    // One frame onto the kept target; the rectangles it painted.
    std::vector<PixelRect> paintChanges(float time, bool whole = false) {
        std::vector<PixelRect> rects = paintMainWindowChanges(kept->context(), kClientWidth, kClientHeight, time, whole);
        kept->finish();
        return rects;
    }

    // The kept target against a whole frame painted now. When the status
    // bar's clock turned a second between the two, the kept target paints
    // that change and they are compared once more.
    ::testing::AssertionResult sameAsWholeFrame(float time) {
        ::testing::AssertionResult result = compareWithWholeFrame(time);
        if (result)
            return result;
        paintChanges(time);
        return compareWithWholeFrame(time);
    }

    ::testing::AssertionResult compareWithWholeFrame(float time) {
        paintAll(time);
        for (int y = 0; y < kClientHeight; ++y) {
            for (int x = 0; x < kClientWidth; ++x) {
                const Rgba8 a = kept->pixel(x, y), b = target->pixel(x, y);
                if (a.r != b.r || a.g != b.g || a.b != b.b)
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") is " << int(a.r) << "," << int(a.g) << "," << int(a.b)
                           << " but a whole frame has " << int(b.r) << "," << int(b.g) << "," << int(b.b);
            }
        }
        return ::testing::AssertionSuccess();
    }

    static long area(const std::vector<PixelRect>& rects) {
        long total = 0;
        for (const PixelRect& r : rects)
            total += long(r.width) * r.height;
        return total;
    }

    std::unique_ptr<ImageTarget> kept;
};

TEST_F(FrameDamageTest, OnlyWhatChangedIsPaintedAndTheFrameStaysTheSameAsAWholeOne) {
    float time = 1.0f;
    ASSERT_EQ(paintChanges(time, true).size(), 1u);
    EXPECT_TRUE(sameAsWholeFrame(time));

    // Nothing changed, meters silent: nothing is painted.
    updateLevelMeters();
    // (The status bar's clock may turn a second in between, once.)
    EXPECT_TRUE(paintChanges(time).empty() || paintChanges(time).empty());

    // Time alone moves the knob's glow, and nothing else while offline.
    time += 0.033f;
    std::vector<PixelRect> rects = paintChanges(time);
    ASSERT_FALSE(rects.empty());
    EXPECT_LT(area(rects), kClientWidth * kClientHeight / 50);
    EXPECT_TRUE(sameAsWholeFrame(time));

    // Moving meters redraw their scopes.
    for (int tick = 0; tick < 3; ++tick) {
        gEffectMeters[kRoadVibration].store(0.2f + 0.3f * tick);
        gEffectMeters[kEngineRumble].store(0.7f - 0.2f * tick);
        updateLevelMeters();
        rects = paintChanges(time);
        ASSERT_FALSE(rects.empty());
        EXPECT_LT(area(rects), kClientWidth * kClientHeight / 10);
        EXPECT_TRUE(sameAsWholeFrame(time)) << "meter tick " << tick;
    }

    // Connected: the strip, the status bar and both pulsing dots.
    gSimConnected.store(1);
    time += 0.4f;
    paintChanges(time);
    EXPECT_TRUE(sameAsWholeFrame(time));
    time += 0.033f;
    paintChanges(time);
    EXPECT_TRUE(sameAsWholeFrame(time));

    // Hovering a card's power button, then a caption button.
    const EffectCard& road = effectCardPanel().cards[0];
    cardDrag(road.enableRect.centerX(), road.enableRect.centerY());
    paintChanges(time);
    EXPECT_TRUE(sameAsWholeFrame(time));
    captionButtonHover(headerLayout().captionButtons[kCaptionClose].centerX(),
                       headerLayout().captionButtons[kCaptionClose].centerY());
    cardDrag(0, 0);
    paintChanges(time);
    EXPECT_TRUE(sameAsWholeFrame(time));

    // The master knob and a zone fader move (a drag), a card is switched off.
    gSettings.edit([](HapticSettings& s) {
        s.masterGain = 0.93f;
        s.zones[1].gain = 0.25f;
        s.effectProfiles[kIRacing].effectEnabled[kKerbRumble] = 0;
    });
    paintChanges(time);
    EXPECT_TRUE(sameAsWholeFrame(time));

    // TEST held: its dot pulses.
    const EffectCard& engine = effectCardPanel().cards[3];
    ASSERT_TRUE(cardMouseDown(&host, engine.testRect.centerX(), engine.testRect.centerY()));
    for (int i = 0; i < 2; ++i) {
        time += 0.05f;
        paintChanges(time);
        EXPECT_TRUE(sameAsWholeFrame(time));
    }
    cardMouseUp(&host, 0, 0);

    // Scrolling the cards and the panel, then another simulator's cards.
    cardScroll(-120);
    controlPanelScroll(-120);
    paintChanges(time);
    EXPECT_TRUE(sameAsWholeFrame(time));
    selectSim(kAC);
    paintChanges(time);
    EXPECT_TRUE(sameAsWholeFrame(time));
}

// The five bands, each counting its paints.
const Band* const kRealBands[] = {&kHeaderBand, &kProfileBarBand, &kEffectCardsBand, &kControlPanelBand,
                                  &kStatusBarBand};
int gBandPaints[5] = {};
template <int I>
Band countingBand() {
    Band band = *kRealBands[I];
    band.paint = [](DrawContext& context, const BandFrame& frame) {
        ++gBandPaints[I];
        kRealBands[I]->paint(context, frame);
    };
    return band;
}

// Waiting, only the knob's glow moves: the frame leaves the other bands out
// (the status bar's clock may turn a second in between, once) and still
// holds what a whole frame holds.
TEST_F(FrameDamageTest, AFrameInWhichOnlyTheKnobsGlowMovesPaintsOnlyTheControlPanel) {
    static const Band counting[] = {countingBand<0>(), countingBand<1>(), countingBand<2>(), countingBand<3>(),
                                    countingBand<4>()};
    static const Band* const order[] = {&counting[0], &counting[1], &counting[2], &counting[3], &counting[4]};
    setBandsInZOrder(order);
    float time = 1.0f;
    paintChanges(time, true);
    updateLevelMeters();
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::fill(std::begin(gBandPaints), std::end(gBandPaints), 0);
        time += 0.2f;
        paintChanges(time);
        if (gBandPaints[4] == 0)
            break;
    }
    EXPECT_EQ(std::vector<int>(std::begin(gBandPaints), std::end(gBandPaints)), (std::vector<int>{0, 0, 0, 1, 0}));
    EXPECT_TRUE(sameAsWholeFrame(time));
    setBandsInZOrder({});
}

// A change in one band damages only that band: the hover of each band's
// buttons, a value of the panel, a card's value.
TEST_F(FrameDamageTest, AChangeInOneBandPaintsOnlyInsideThatBand) {
    const float time = 1.0f;
    paintChanges(time, true);
    const float s = 1.0f;  // 96 dpi
    const RectF header{0, 0, kClientWidth, kHeaderHeight * s};
    const RectF profileBar{0, kHeaderHeight * s, kClientWidth, (kHeaderHeight + kProfileBarHeight) * s};
    const RectF statusBar{0, kClientHeight - kStatusBarHeight * s, kClientWidth, kClientHeight};
    const struct {
        const char* change;
        std::function<void()> apply;
        RectF band;
    } cases[] = {
        {"caption hover",
         [] {
             const RectF r = headerLayout().captionButtons[kCaptionMinimize];
             captionButtonHover(r.centerX(), r.centerY());
         },
         header},
        {"profile bar hover",
         [] {
             const RectF r = profileBarLayout().buttons[kButtonOptions];
             profileBarHover(r.centerX(), r.centerY());
         },
         profileBar},
        {"status bar hover",
         [] {
             const RectF r = statusBarLayout().buttons[kStatusDefaults];
             statusBarHover(r.centerX(), r.centerY());
         },
         statusBar},
        {"master volume", [] { gSettings.edit([](HapticSettings& st) { st.masterGain = 0.31f; }); },
         controlPanelRect(kClientWidth, kClientHeight)},
        {"a card's volume",
         [] { gSettings.edit([](HapticSettings& st) { st.effectProfiles[kIRacing].engineRumble = 0.12f; }); },
         effectCardPanel().cards[3].cardRect},
    };
    const auto inside = [](const std::vector<PixelRect>& rects, const RectF& band) {
        // One pixel more on each side for antialiased edges.
        for (const PixelRect& r : rects)
            if (r.x < band.left - 1 || r.y < band.top - 1 || r.x + r.width > band.right + 1 ||
                r.y + r.height > band.bottom + 1)
                return false;
        return !rects.empty();
    };
    for (const auto& c : cases) {
        // (The status bar's clock may turn a second in between, once: then
        // the change is made again.)
        bool confined = false;
        for (int attempt = 0; attempt < 2 && !confined; ++attempt) {
            // Every hover left and the frame settled first.
            captionButtonHover(-1, -1);
            profileBarHover(-1, -1);
            statusBarHover(-1, -1);
            gSettings.edit([](HapticSettings& st) {
                st.masterGain = 0.8f;
                st.effectProfiles[kIRacing].engineRumble = 0.5f;
            });
            paintChanges(time);
            c.apply();
            confined = inside(paintChanges(time), c.band);
        }
        EXPECT_TRUE(confined) << c.change;
        EXPECT_TRUE(sameAsWholeFrame(time)) << c.change;
    }
}

}  // namespace
}  // namespace qv::test
