// The keys' focus on the effect cards as painted: an outline in the accent
// colour just inside the focused card's rounded edge, on no other card, and
// the focused card scrolled into view.

#include "ui/panels/EffectCards.h"

#include "BandsFixture.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

class EffectCardsFocusTest : public test::BandsFixture {
protected:
    const EffectCardPanel& panel() { return effectCardPanel(); }
    bool isAccent(float x, float y, Color accent) {
        const Rgba8 expected{static_cast<uint8_t>(accent.r * 255 + 0.5f), static_cast<uint8_t>(accent.g * 255 + 0.5f),
                             static_cast<uint8_t>(accent.b * 255 + 0.5f), 255};
        return test::colorNear(pixelAt(x, y), expected, 6);
    }
};

TEST_F(EffectCardsFocusTest, TheFocusedCardAloneCarriesARoundedAccentOutline) {
    for (int accent : {0, 3}) {
        createBrushes(accent);
        const Color colour = guiBrush(kBrushAccent).color;
        resetMainWindowBands();
        paintAll();
        const RectF first = panel().cards[0].cardRect;
        ASSERT_GT(first.width(), 0.0f);
        EXPECT_FALSE(isAccent(first.left + 1, first.centerY(), colour)) << "no focus before the first key";

        ASSERT_TRUE(moveCardFocus(1));
        paintAll();
        const RectF r = panel().cards[0].cardRect;
        // Along all four sides, 1 pixel inside the edge.
        EXPECT_TRUE(isAccent(r.left + 1, r.centerY(), colour)) << accent;
        EXPECT_TRUE(isAccent(r.right - 2, r.centerY(), colour)) << accent;
        EXPECT_TRUE(isAccent(r.centerX(), r.top + 1, colour)) << accent;
        EXPECT_TRUE(isAccent(r.centerX(), r.bottom - 2, colour)) << accent;
        // Rounded: the very corner stays outside the outline.
        EXPECT_FALSE(isAccent(r.left + 1, r.top + 1, colour)) << accent;
        // Inside the outline the card is as before.
        EXPECT_FALSE(isAccent(r.left + 6, r.centerY(), colour)) << accent;
        const RectF second = panel().cards[1].cardRect;
        EXPECT_FALSE(isAccent(second.left + 1, second.centerY(), colour)) << "only the focused card";

        // A card that is off is drawn faded; its outline is not.
        gSettings.edit([](HapticSettings& s) { s.effectProfiles[kIRacing].effectEnabled[kRoadVibration] = 0; });
        paintAll();
        EXPECT_TRUE(isAccent(r.left + 1, r.centerY(), colour)) << accent;
        gSettings.replace(HapticSettings());
    }
}

TEST_F(EffectCardsFocusTest, FocusingACardBelowTheAreaScrollsItIntoView) {
    paintAll();
    ASSERT_GT(panel().maxScroll, 0.0f);  // seven cards do not fit into 1500 x 860
    moveCardFocus(-1);    // from no focus: the last card
    EXPECT_EQ(panel().focusCard, 6);
    paintAll();
    const RectF last = panel().cards[6].cardRect;
    ASSERT_GT(last.width(), 0.0f);
    EXPECT_LE(last.bottom, panel().area.bottom + 0.5f);
    EXPECT_TRUE(isAccent(last.left + 1, last.centerY(), guiBrush(kBrushAccent).color));
    moveCardFocus(1);  // wraps to the first, scrolled back to the top
    EXPECT_FLOAT_EQ(panel().scroll, 0.0f);
}

}  // namespace
}  // namespace qv
