// The effect cards driven through their handlers after one offscreen paint.

#include "ui/panels/EffectCards.h"

#include "BandsFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qv {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;
using test::centreOf;

class EffectCardsTest : public test::BandsFixture {
protected:
    const EffectCardPanel& panel() { return effectCardPanel(); }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (int i = 0; i < panel().count; ++i)
            out.push_back(panel().cards[i].name);
        return out;
    }
    int cardOf(int effect) {
        for (int i = 0; i < panel().count; ++i)
            if (panel().cards[i].effect == effect)
                return i;
        return -1;
    }
    bool down(float x, float y) { return cardMouseDown( &host, x, y); }
    bool up(float x, float y) { return cardMouseUp(&host, x, y); }
    bool drag(float x, float y) { return cardDrag(x, y); }
    EffectProfile block(int sim) { return gSettings.snapshot().effectProfiles[sim]; }
    // The point at fraction f of a slider's track, on its row.
    PointF onTrack(const CardSlider& slider, float f) {
        return PointF{slider.trackLeft + f * slider.trackWidth, slider.rect.top + 35};
    }
};

TEST_F(EffectCardsTest, CardSetsFollowTheSimulatorAndTheSplitSwitch) {
    const std::vector<std::string> seven = {"Road Texture", "Suspension", "Kerb", "Engine", "ABS", "Gear Change",
                                            "Wheel Slip"};
    const std::vector<std::string> six = {"Road Texture", "Suspension", "Engine", "ABS", "Gear Change", "Wheel Slip"};
    const std::vector<std::string> dual = {"Road Texture", "Slow Suspension", "Fast Suspension", "Engine",
                                           "ABS",          "Gear Change",     "Wheel Slip"};
    for (int sim = 0; sim < kSimCount; ++sim) {
        for (uint8_t dualBand : {uint8_t{0}, uint8_t{1}}) {
            gSettings.edit([&](HapticSettings& s) { s.effectProfiles[sim].suspDualBand = dualBand; });
            const int n = buildEffectCards(sim);
            const bool split = sim != kIRacing && sim != kRF2;
            const std::vector<std::string>& expected = !split ? seven : (dualBand ? dual : six);
            EXPECT_EQ(n, static_cast<int>(expected.size()));
            EXPECT_EQ(names(), expected) << sim << " " << int(dualBand);
            EXPECT_EQ(panel().cards[1].splitShown, split ? 1 : 0);
            const int kerb = cardOf(kKerbRumble);
            if (kerb >= 0) {
                EXPECT_STREQ(panel().cards[kerb].subtitle, split ? "HIGH-FREQ SUSPENSION" : "CURB STRIKE INTENSITY");
            }
        }
    }
}

TEST_F(EffectCardsTest, TheSplitSwitchTurnsSixCardsIntoSevenAndBack) {
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kAC].suspDualBand = 0; });
    selectSim(kAC);
    paintAll();
    ASSERT_EQ(panel().count, 6);
    const PointF split = centreOf(panel().cards[1].splitRect);
    EXPECT_TRUE(down(split.x, split.y));
    EXPECT_EQ(panel().count, 7);
    EXPECT_STREQ(panel().cards[2].name, "Fast Suspension");
    EXPECT_EQ(block(kAC).suspDualBand, 1);
    EXPECT_TRUE(gSettings.isDirty());
    up(split.x, split.y);
    paintAll();
    EXPECT_TRUE(down(split.x, split.y));
    EXPECT_EQ(panel().count, 6);
    EXPECT_EQ(block(kAC).suspDualBand, 0);
}

TEST_F(EffectCardsTest, TheEnableButtonFlipsTheEffect) {
    paintAll();
    const int abs = cardOf(kAbsLock);
    const PointF enable = centreOf(panel().cards[abs].enableRect);
    EXPECT_TRUE(down(enable.x, enable.y));
    EXPECT_EQ(block(kIRacing).effectEnabled[kAbsLock], 0);
    EXPECT_TRUE(gSettings.isDirty());
    paintAll();
    // A card that is off still answers.
    EXPECT_TRUE(down(enable.x, enable.y));
    EXPECT_EQ(block(kIRacing).effectEnabled[kAbsLock], 1);
}

TEST_F(EffectCardsTest, SlidersStoreClampedValuesAndMarkThemOnRelease) {
    paintAll();
    cardScroll(-12000);  // the last card into view
    paintAll();
    const EffectCard& slip = panel().cards[cardOf(kWheelSlip)];
    ASSERT_EQ(slip.sliderCount, 3);
    const CardSlider& sensitivity = slip.sliders[1];
    const struct {
        float f;
        int stored;
    } cases[] = {{0.496f, 50}, {0.0f, 1}, {1.0f, 100}, {-0.5f, 1}, {2.0f, 100}};
    PointF p = onTrack(sensitivity, 0.3f);
    EXPECT_TRUE(down(p.x, p.y));
    EXPECT_FALSE(gSettings.isDirty());
    for (const auto& c : cases) {
        p = onTrack(sensitivity, c.f);
        EXPECT_TRUE(drag(p.x, p.y + 200));  // the pointer may leave the card while it drags
        EXPECT_EQ(block(kIRacing).wheelSlipThreshold, c.stored) << c.f;
    }
    EXPECT_FALSE(gSettings.isDirty());
    EXPECT_TRUE(up(p.x, p.y));
    EXPECT_TRUE(gSettings.isDirty());

    // A frequency slider: 10..80 Hz, the value jumps to the pointer on press.
    const CardSlider& frequency = slip.sliders[2];
    p = onTrack(frequency, 0.5f);
    EXPECT_TRUE(down(p.x, p.y));
    EXPECT_NEAR(block(kIRacing).freqWheelSlip, 45.0f, 0.5f);
    p = onTrack(frequency, 1.4f);
    drag(p.x, p.y);
    EXPECT_FLOAT_EQ(block(kIRacing).freqWheelSlip, 80.0f);
    up(p.x, p.y);
    const CardSlider& volume = slip.sliders[0];
    p = onTrack(volume, -1.0f);
    EXPECT_FALSE(down(p.x - 40, p.y));  // left of the slider: not on it
}

TEST_F(EffectCardsTest, SlidersOfACardThatIsOffStillRespond) {
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].effectEnabled[kEngineRumble] = 0; });
    paintAll();
    const CardSlider& frequency = panel().cards[cardOf(kEngineRumble)].sliders[1];
    const PointF p = onTrack(frequency, 0.0f);
    EXPECT_TRUE(down(p.x, p.y));
    EXPECT_FLOAT_EQ(block(kIRacing).freqEngine, 10.0f);
    EXPECT_TRUE(up(p.x, p.y));
}

TEST_F(EffectCardsTest, ARebuildEndsADragSoItNeverWritesAnotherCardsField) {
    selectSim(kACC);
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kACC].suspDualBand = 1; });
    buildEffectCards(kACC);
    paintAll();
    ASSERT_EQ(panel().count, 7);
    // Drag the Engine card's volume (slot 3) ...
    const CardSlider& engine = panel().cards[3].sliders[0];
    PointF p = onTrack(engine, 0.25f);
    ASSERT_TRUE(down(p.x, p.y));
    const EffectProfile before = block(kACC);
    gSettings.takeDirty();
    // ... while the cards are rebuilt as six: slot 3 is now ABS.
    gSettings.edit([](HapticSettings& s) { s.effectProfiles[kACC].suspDualBand = 0; }, false);
    buildEffectCards(kACC);
    EXPECT_TRUE(gSettings.isDirty());  // the Engine edit is still saved
    EXPECT_EQ(panel().dragCard, -1);
    p = onTrack(engine, 0.9f);
    EXPECT_FALSE(drag(p.x, p.y));
    EXPECT_FLOAT_EQ(block(kACC).absLock, before.absLock);
    EXPECT_NEAR(block(kACC).engineRumble, 0.25f, 0.01f);
}

TEST_F(EffectCardsTest, TestPreviewsWhileHeldAndStopsOnAnyRelease) {
    paintAll();
    const PointF test = centreOf(panel().cards[cardOf(kEngineRumble)].testRect);
    EXPECT_TRUE(down(test.x, test.y));
    EXPECT_TRUE(down(test.x, test.y));  // already held: no second start
    EXPECT_THAT(previewCalls, ElementsAre(Pair(kEngineRumble, true)));
    EXPECT_TRUE(up(5, 5));  // released far outside the card
    EXPECT_THAT(previewCalls, ElementsAre(Pair(kEngineRumble, true), Pair(kEngineRumble, false)));
    EXPECT_FALSE(up(5, 5));
    // Without a host (or its callable) nothing is called, and the hold still ends.
    EXPECT_TRUE(cardMouseDown( nullptr, test.x, test.y));
    EXPECT_TRUE(cardMouseUp(nullptr, test.x, test.y));
    EXPECT_EQ(previewCalls.size(), 2u);
}

TEST_F(EffectCardsTest, TheWheelScrollsByThreeCardHeightsWithinTheContent) {
    paintAll();
    const float step = 3 * densityMetrics().cardHeight;
    const float maximum = panel().maxScroll;
    ASSERT_GT(maximum, 0.0f);  // seven cards do not fit into 1500 x 860
    EXPECT_FALSE(cardScroll(120));  // already at the top
    EXPECT_TRUE(cardScroll(-60));
    EXPECT_FLOAT_EQ(panel().scroll, std::min(step / 2, maximum));
    cardScroll(-1200);
    EXPECT_FLOAT_EQ(panel().scroll, maximum);
    paintAll();
    // The first card scrolled out of the area cannot be hit.
    EXPECT_EQ(panel().cards[0].cardRect.width(), 0.0f);
    cardScroll(120);
    EXPECT_FLOAT_EQ(panel().scroll, std::max(0.0f, maximum - step));
    // On a tall window everything fits and the maximum is 0.
    target = test::GraphicsFixture::image(1500, 1400);
    paintAll();
    EXPECT_FLOAT_EQ(panel().maxScroll, 0.0f);
    EXPECT_FLOAT_EQ(panel().scroll, 0.0f);
}

TEST_F(EffectCardsTest, TheWheelStepFollowsTheDpi) {
    setDpi(144);
    createTextFormats();
    paintAll();
    ASSERT_GT(panel().maxScroll, 1.5f * densityMetrics().cardHeight);
    cardScroll(-40);  // a third of a notch
    EXPECT_FLOAT_EQ(panel().scroll, 1.5f * densityMetrics().cardHeight);
}

TEST_F(EffectCardsTest, ClicksOutsideTheVisibleAreaMissPartlyHiddenCards) {
    paintAll();
    cardScroll(-30);  // the first card now starts above the area
    paintAll();
    const RectF area = panel().area;
    const RectF first = panel().cards[0].cardRect;
    ASSERT_LT(first.top, area.top);
    EXPECT_FALSE(down(first.centerX(), area.top - 2));
    EXPECT_FALSE(down(area.right + 5, area.centerY()));
}

TEST_F(EffectCardsTest, PeaksFallByFourHundredthsAndMetersIgnoreBadValues) {
    gEffectMeters[kRoadVibration] = 1.0f;
    updateLevelMeters();
    EXPECT_TRUE(anyMeterActive());
    gEffectMeters[kRoadVibration] = 0.0f;
    int ticks = 0;
    while (levelMeters().peak[kRoadVibration] > 0.0f && ticks < 100) {
        updateLevelMeters();
        ++ticks;
    }
    EXPECT_EQ(ticks, 25);
    EXPECT_FALSE(anyMeterActive());

    // The peak never falls below the level.
    gEffectMeters[kEngineRumble] = 0.5f;
    for (int i = 0; i < 30; ++i)
        updateLevelMeters();
    EXPECT_FLOAT_EQ(levelMeters().peak[kEngineRumble], 0.5f);

    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), -3.0f, 7.0f};
    const float expected[] = {0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    for (int i = 0; i < 5; ++i) {
        resetLevelMeters();
        gEffectMeters[kAbsLock] = bad[i];
        updateLevelMeters();
        EXPECT_EQ(levelMeters().level[kAbsLock], expected[i]) << i;
        EXPECT_TRUE(std::isfinite(levelMeters().peak[kAbsLock]));
        EXPECT_EQ(levelMeters().history[kAbsLock][0], expected[i]);
    }
    resetAppGlobals();
}

TEST_F(EffectCardsTest, ANarrowWindowDrawsNoCardsAndHitsNothing) {
    target = test::GraphicsFixture::image(300, 200);
    paintAll();
    for (const EffectCard& card : panel().cards)
        EXPECT_EQ(card.cardRect.width(), 0.0f);
    EXPECT_FALSE(down(50, 150));
}

}  // namespace
}  // namespace qv
