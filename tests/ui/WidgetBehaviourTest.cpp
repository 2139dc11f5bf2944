// The widget handlers, driven by tables of synthetic events: each step is an
// event with its expected result and the state it leaves behind.

#include "platform/graphics/Graphics.h"
#include "ui/Widgets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace qv {
namespace {

enum class Ev { Press, Release, Hover, Click, Drag, Scroll };

class WidgetTest : public ::testing::Test {
protected:
    void SetUp() override { setDpi(kDefaultDpi); }
    void TearDown() override { setDpi(kDefaultDpi); }
};

// --- hit tests -------------------------------------------------------------

TEST_F(WidgetTest, RectanglesIncludeTheirLeftAndTopEdgesOnly) {
    const RectF r{10, 20, 30, 40};
    EXPECT_TRUE(pointInRect(r, 10, 20));
    EXPECT_TRUE(pointInRect(r, 29.9f, 39.9f));
    EXPECT_FALSE(pointInRect(r, 30, 25));
    EXPECT_FALSE(pointInRect(r, 15, 40));
    EXPECT_FALSE(pointInRect(r, NAN, 25));
    EXPECT_TRUE(pointInCircle(0, 0, 5, 3, 4));
    EXPECT_FALSE(pointInCircle(0, 0, 5, 3.1f, 4));
}

// --- buttons ---------------------------------------------------------------

struct ButtonStep {
    Ev event;
    float x;
    float y;
    int result;  // for Hover: 1 when the hover state changed
    uint8_t pressed;
    uint8_t hovered;
};

void runButton(UiButton button, const std::vector<ButtonStep>& steps, const char* name) {
    int i = 0;
    for (const ButtonStep& s : steps) {
        int result = 0;
        if (s.event == Ev::Press)
            result = buttonPress(button, s.x, s.y);
        else if (s.event == Ev::Release)
            result = buttonRelease(button, s.x, s.y);
        else
            result = buttonHover(button, s.x, s.y) ? 1 : 0;
        EXPECT_EQ(result, s.result) << name << " step " << i;
        EXPECT_EQ(button.pressed, s.pressed) << name << " step " << i;
        EXPECT_EQ(button.hovered, s.hovered) << name << " step " << i;
        ++i;
    }
}

TEST_F(WidgetTest, ButtonsClickOnlyWhenPressedAndReleasedInside) {
    UiButton button;
    button.rect = RectF{10, 10, 110, 40};
    runButton(button, {{Ev::Press, 50, 20, 0, 1, 0}, {Ev::Release, 50, 20, kWidgetClicked, 0, 0}}, "inside");
    runButton(button, {{Ev::Press, 50, 20, 0, 1, 0}, {Ev::Release, 200, 20, 0, 0, 0}}, "released outside");
    runButton(button,
              {{Ev::Press, 50, 20, 0, 1, 0},
               {Ev::Hover, 200, 20, 0, 1, 0},
               {Ev::Hover, 60, 20, 1, 1, 1},
               {Ev::Release, 60, 20, kWidgetClicked, 0, 1}},
              "left and came back");
    runButton(button, {{Ev::Release, 50, 20, 0, 0, 0}}, "release without press");
    runButton(button, {{Ev::Press, 5, 20, 0, 0, 0}, {Ev::Release, 50, 20, 0, 0, 0}}, "pressed outside");
    runButton(button, {{Ev::Press, 110, 20, 0, 0, 0}}, "right edge is outside");
    runButton(button,
              {{Ev::Hover, 50, 20, 1, 0, 1}, {Ev::Hover, 51, 21, 0, 0, 1}, {Ev::Hover, 500, 20, 1, 0, 0}},
              "hover in and out");
}

TEST_F(WidgetTest, DisabledButtonsIgnoreEverything) {
    UiButton button;
    button.rect = RectF{10, 10, 110, 40};
    button.enabled = 0;
    runButton(button,
              {{Ev::Hover, 50, 20, 0, 0, 0}, {Ev::Press, 50, 20, 0, 0, 0}, {Ev::Release, 50, 20, 0, 0, 0}},
              "disabled");
}

// --- toggles ---------------------------------------------------------------

TEST_F(WidgetTest, TogglesFlipTheirTargetOnAClickInside) {
    bool flag = false;
    UiToggle toggle;
    toggle.rect = RectF{0, 0, 100, 24};
    toggle.target = &flag;
    struct Step {
        float x;
        int result;
        bool flag;
    } steps[] = {{50, kWidgetChanged, true}, {50, kWidgetChanged, false}, {150, 0, false}, {99, kWidgetChanged, true}};
    for (const Step& s : steps) {
        EXPECT_EQ(toggleClick(toggle, s.x, 10), s.result);
        EXPECT_EQ(flag, s.flag);
    }
    toggle.enabled = 0;
    EXPECT_EQ(toggleClick(toggle, 50, 10), 0);
    EXPECT_FALSE(toggleHover(toggle, 50, 10));
    EXPECT_TRUE(flag);
    toggle.enabled = 1;
    toggle.target = nullptr;
    EXPECT_EQ(toggleClick(toggle, 50, 10), 0);
    EXPECT_TRUE(toggleHover(toggle, 50, 10));
    EXPECT_EQ(toggle.hovered, 1);
}

// --- sliders ---------------------------------------------------------------

TEST_F(WidgetTest, SlidersMapThePointerAlongTheirRail) {
    float value = 0;
    UiSlider slider;
    slider.rect = RectF{0, 0, 356, 24};  // rail 88..288
    slider.target = &value;
    slider.min = 10;
    slider.max = 20;
    const RectF rail = sliderRail(slider);
    EXPECT_FLOAT_EQ(rail.left, 88.0f);
    EXPECT_FLOAT_EQ(rail.right, 288.0f);
    struct Step {
        Ev event;
        float x;
        int result;
        float value;
        uint8_t dragging;
    } steps[] = {
        {Ev::Press, 188, kWidgetChanged, 15, 1},   // the middle of the rail
        {Ev::Drag, 238, kWidgetChanged, 17.5f, 1},
        {Ev::Drag, -100, kWidgetChanged, 10, 1},   // clamped at the start
        {Ev::Drag, 1000, kWidgetChanged, 20, 1},   // and at the end
        {Ev::Release, 0, 0, 20, 0},
        {Ev::Drag, 100, 0, 20, 0},                 // no longer dragging
        {Ev::Press, 400, 0, 20, 0},                // outside
    };
    for (const Step& s : steps) {
        int result = 0;
        if (s.event == Ev::Press)
            result = sliderPress(slider, s.x, 10);
        else if (s.event == Ev::Drag)
            result = sliderDrag(slider, s.x);
        else
            result = sliderRelease(slider);
        EXPECT_EQ(result, s.result);
        EXPECT_FLOAT_EQ(value, s.value);
        EXPECT_EQ(slider.dragging, s.dragging);
    }
}

TEST_F(WidgetTest, SlidersWithoutTargetOrRailOrWhenDisabledChangeNothing) {
    float value = 0.25f;
    UiSlider narrow;
    narrow.rect = RectF{0, 0, 100, 24};  // the rail would run backwards
    narrow.target = &value;
    EXPECT_EQ(sliderPress(narrow, 50, 10), 0);
    EXPECT_EQ(narrow.dragging, 1);
    EXPECT_EQ(sliderDrag(narrow, 60), 0);
    EXPECT_FLOAT_EQ(value, 0.25f);

    UiSlider untargeted;
    untargeted.rect = RectF{0, 0, 356, 24};
    EXPECT_EQ(sliderPress(untargeted, 188, 10), 0);
    EXPECT_EQ(untargeted.dragging, 0);

    UiSlider disabled;
    disabled.rect = RectF{0, 0, 356, 24};
    disabled.target = &value;
    disabled.enabled = 0;
    EXPECT_EQ(sliderPress(disabled, 188, 10), 0);
    EXPECT_FALSE(sliderHover(disabled, 188, 10));
    EXPECT_FLOAT_EQ(value, 0.25f);
}

// --- drop-downs ------------------------------------------------------------

UiDropdown fiveItems() {
    static const char* const kItems[] = {"QV Rosso", "Hemi Plum", "Ruf Yellow", "Estoril Blue", "British Racing Green"};
    UiDropdown d;
    d.rect = RectF{10, 10, 210, 42};
    dropdownSetItems(d, kItems, 5);
    return d;
}

struct DropdownStep {
    Ev event;
    float x;
    float y;
    int result;  // for Hover: 1 when something changed
    uint8_t open;
    int selected;
    int hoverIndex;
};

void runDropdown(UiDropdown& d, const std::vector<DropdownStep>& steps, const char* name) {
    int i = 0;
    for (const DropdownStep& s : steps) {
        const int result = s.event == Ev::Click ? dropdownClick(d, s.x, s.y) : (dropdownHover(d, s.x, s.y) ? 1 : 0);
        EXPECT_EQ(result, s.result) << name << " step " << i;
        EXPECT_EQ(d.open, s.open) << name << " step " << i;
        EXPECT_EQ(d.selected, s.selected) << name << " step " << i;
        EXPECT_EQ(d.hoverIndex, s.hoverIndex) << name << " step " << i;
        ++i;
    }
}

TEST_F(WidgetTest, DropdownsOpenHoverSelectAndClose) {
    // Item height 0 falls back to 28: the list starts at 44 with rows of 28.
    UiDropdown d = fiveItems();
    runDropdown(d,
                {{Ev::Click, 50, 20, 0, 1, 0, -1},
                 {Ev::Hover, 50, 44 + 28 + 3, 1, 1, 0, 1},
                 {Ev::Hover, 50, 44 + 28 + 9, 0, 1, 0, 1},
                 {Ev::Hover, 50, 44 + 4 * 28 + 27, 1, 1, 0, 4},
                 {Ev::Hover, 50, 44 + 5 * 28 + 1, 1, 1, 0, -1},  // below the list
                 {Ev::Click, 50, 44 + 3 * 28 + 1, kWidgetChanged, 0, 3, -1}},
                "hover then click");
    EXPECT_FLOAT_EQ(d.listRect.top, 44.0f);
    EXPECT_FLOAT_EQ(d.listRect.bottom, 44.0f + 5 * 28);

    // A click with no mouse move before it picks the row under the click.
    UiDropdown fresh = fiveItems();
    runDropdown(fresh,
                {{Ev::Click, 50, 20, 0, 1, 0, -1}, {Ev::Click, 100, 44 + 2 * 28 + 5, kWidgetChanged, 0, 2, -1}},
                "click without hover");

    UiDropdown boxClick = fiveItems();
    boxClick.selected = 4;
    runDropdown(boxClick,
                {{Ev::Click, 50, 20, 0, 1, 4, -1},
                 {Ev::Hover, 50, 44 + 5, 1, 1, 4, 0},
                 {Ev::Click, 50, 20, 0, 0, 4, -1}},  // the box closes without selecting
                "box click while open");

    UiDropdown outside = fiveItems();
    runDropdown(outside, {{Ev::Click, 50, 20, 0, 1, 0, -1}, {Ev::Click, 400, 100, 0, 0, 0, -1}}, "click outside");
    runDropdown(outside, {{Ev::Click, 400, 20, 0, 0, 0, -1}}, "closed, click beside the box");
}

TEST_F(WidgetTest, DropdownHoverTracksTheBox) {
    UiDropdown d = fiveItems();
    EXPECT_TRUE(dropdownHover(d, 50, 20));
    EXPECT_EQ(d.hovered, 1);
    EXPECT_FALSE(dropdownHover(d, 60, 20));
    EXPECT_TRUE(dropdownHover(d, 50, 100));
    EXPECT_EQ(d.hovered, 0);
    EXPECT_EQ(d.hoverIndex, -1);  // closed lists track no row
}

TEST_F(WidgetTest, DisabledDropdownsStayClosed) {
    UiDropdown d = fiveItems();
    d.enabled = 0;
    runDropdown(d, {{Ev::Click, 50, 20, 0, 0, 0, -1}, {Ev::Hover, 50, 20, 0, 0, 0, -1}}, "disabled");
}

TEST_F(WidgetTest, DropdownRowsScaleWithTheDpiAndTheirHeight) {
    setDpi(144);
    UiDropdown d = fiveItems();
    d.itemHeight = 32;
    ASSERT_EQ(dropdownClick(d, 50, 20), 0);
    EXPECT_FLOAT_EQ(d.listRect.top, 42 + 3.0f);
    EXPECT_FLOAT_EQ(d.listRect.bottom, 45 + 5 * 48.0f);
    EXPECT_EQ(dropdownClick(d, 50, 45 + 48 + 47), kWidgetChanged);
    EXPECT_EQ(d.selected, 1);
}

TEST_F(WidgetTest, DropdownItemListsAreCappedAndCountsFromOutsideClamped) {
    std::vector<std::string> names;
    std::vector<const char*> items;
    for (int i = 0; i < 40; ++i)
        names.push_back("item " + std::to_string(i));
    for (const std::string& n : names)
        items.push_back(n.c_str());
    UiDropdown d;
    dropdownSetItems(d, items.data(), 40);
    EXPECT_EQ(d.count, 32);
    EXPECT_STREQ(d.items[31], "item 31");
    dropdownSetItems(d, items.data(), -3);
    EXPECT_EQ(d.count, 0);
    dropdownSetItems(d, nullptr, 5);
    EXPECT_EQ(d.count, 0);

    d.rect = RectF{0, 0, 100, 20};
    d.count = -7;
    EXPECT_EQ(dropdownItemCount(d), 0);
    ASSERT_EQ(dropdownClick(d, 5, 5), 0);
    EXPECT_FLOAT_EQ(d.listRect.bottom, d.listRect.top);  // an empty list
    EXPECT_EQ(dropdownClick(d, 5, 30), 0);
    EXPECT_EQ(d.open, 0);
    d.count = 500;
    EXPECT_EQ(dropdownItemCount(d), 32);
    dropdownLayoutList(d);
    EXPECT_FLOAT_EQ(d.listRect.bottom - d.listRect.top, 32 * 28.0f);
}

TEST_F(WidgetTest, LongDropdownItemsAreCutAtACharacter) {
    std::string name(62, 'x');
    name += "\xC3\xA9";  // é would need bytes 62 and 63
    const char* items[] = {name.c_str()};
    UiDropdown d;
    dropdownSetItems(d, items, 1);
    EXPECT_EQ(std::strlen(d.items[0]), 62u);
}

// --- list boxes ------------------------------------------------------------

UiListBox listOf(int n) {
    static std::vector<std::string> names;
    static std::vector<const char*> items;
    if (names.empty()) {
        for (int i = 0; i < 70; ++i)
            names.push_back("profile " + std::to_string(i));
        for (const std::string& s : names)
            items.push_back(s.c_str());
    }
    UiListBox list;
    list.rect = RectF{0, 0, 200, 100};
    list.rowHeight = 24;
    listBoxSetItems(list, items.data(), n);
    return list;
}

TEST_F(WidgetTest, ListBoxesScrollTwoRowsANotchWithinTheirContent) {
    UiListBox list = listOf(10);  // 240 high in a 100 high box: at most 140
    struct Step {
        int delta;
        float scroll;
    } steps[] = {{-120, 48}, {-120, 96}, {-120, 140}, {-600, 140}, {120, 92}, {240, 0}, {120, 0}, {-60, 24}};
    for (const Step& s : steps) {
        EXPECT_EQ(listBoxScroll(list, s.delta), 0);
        EXPECT_FLOAT_EQ(list.scroll, s.scroll) << s.delta;
    }
    UiListBox shortList = listOf(3);  // 72 high: never scrolls
    listBoxScroll(shortList, -120);
    EXPECT_FLOAT_EQ(shortList.scroll, 0.0f);
    UiListBox broken = listOf(10);
    broken.scroll = NAN;
    listBoxScroll(broken, -120);
    EXPECT_FLOAT_EQ(broken.scroll, 48.0f);
}

TEST_F(WidgetTest, ListBoxClicksSelectTheRowUnderTheClick) {
    UiListBox list = listOf(10);
    list.scroll = 48;
    struct Step {
        Ev event;
        float x;
        float y;
        int result;
        int selected;
        int hoverRow;
        uint8_t hovered;
    } steps[] = {
        {Ev::Click, 50, 30, kWidgetChanged, 3, 3, 0},  // (30 + 48) / 24 = row 3, no hover first
        {Ev::Hover, 50, 5, 1, 3, 2, 1},
        {Ev::Hover, 50, 99, 1, 3, 6, 1},
        {Ev::Hover, 250, 50, 1, 3, -1, 0},
        {Ev::Click, 250, 50, 0, 3, -1, 0},
        {Ev::Click, 50, 0, kWidgetChanged, 2, 2, 0},
    };
    for (const Step& s : steps) {
        const int result = s.event == Ev::Click ? listBoxClick(list, s.x, s.y) : (listBoxHover(list, s.x, s.y) ? 1 : 0);
        EXPECT_EQ(result, s.result);
        EXPECT_EQ(list.selected, s.selected);
        EXPECT_EQ(list.hoverRow, s.hoverRow);
        EXPECT_EQ(list.hovered, s.hovered);
    }
}

TEST_F(WidgetTest, ListBoxClicksBelowTheLastRowOrWhenDisabledSelectNothing) {
    UiListBox list = listOf(3);
    EXPECT_EQ(listBoxClick(list, 50, 90), 0);
    EXPECT_EQ(list.selected, -1);
    EXPECT_TRUE(listBoxHover(list, 50, 90));
    EXPECT_EQ(list.hoverRow, -1);
    list.enabled = 0;
    EXPECT_EQ(listBoxClick(list, 50, 10), 0);
    EXPECT_EQ(list.selected, -1);
}

TEST_F(WidgetTest, ListBoxRowHeightZeroFallsBackAndCountsAreClamped) {
    UiListBox list = listOf(70);
    EXPECT_EQ(list.count, 64);
    list.rowHeight = 0;
    EXPECT_FLOAT_EQ(listBoxRowPixels(list), 24.0f);
    EXPECT_EQ(listBoxClick(list, 50, 30), kWidgetChanged);
    EXPECT_EQ(list.selected, 1);
    list.count = -4;
    EXPECT_EQ(listBoxItemCount(list), 0);
    EXPECT_EQ(listBoxClick(list, 50, 10), 0);
    list.count = 1000;
    EXPECT_FLOAT_EQ(listBoxMaxScroll(list), 64 * 24.0f - 100);
}

// --- knobs -----------------------------------------------------------------

TEST_F(WidgetTest, KnobsTurnTwoHundredPixelsForTheirWholeRange) {
    UiKnob knob;
    knob.rect = RectF{0, 0, 40, 40};  // hit circle: centre (20, 20), radius 24
    knob.value = 0.3f;
    struct Step {
        Ev event;
        float y;
        int result;
        float value;
        uint8_t dragging;
    } steps[] = {
        {Ev::Press, 20, 0, 0.3f, 1},
        {Ev::Drag, -80, kWidgetChanged, 0.8f, 1},   // 100 up
        {Ev::Drag, -80.4f, 0, 0.8f, 1},              // the same whole pixel
        {Ev::Drag, -280, kWidgetChanged, 1.0f, 1},  // 300 up
        {Ev::Drag, 500, kWidgetChanged, 0.0f, 1},
        {Ev::Drag, 520, 0, 0.0f, 1},
        {Ev::Release, 0, 0, 0.0f, 0},
        {Ev::Drag, -500, 0, 0.0f, 0},
    };
    for (const Step& s : steps) {
        int result = 0;
        if (s.event == Ev::Press)
            result = knobPress(knob, 20, s.y);
        else if (s.event == Ev::Drag)
            result = knobDrag(knob, s.y);
        else
            result = knobRelease(knob);
        EXPECT_EQ(result, s.result);
        EXPECT_NEAR(knob.value, s.value, 1e-6f);
        EXPECT_EQ(knob.dragging, s.dragging);
    }
}

TEST_F(WidgetTest, KnobsAreHitInsideTheirCircleOnlyAndTravelIsNotScaledByDpi) {
    setDpi(144);  // hit radius 20 + 6
    UiKnob knob;
    knob.rect = RectF{0, 0, 40, 40};
    knob.value = 0.5f;
    knobPress(knob, 0, 0);  // the corner is 28.3 from the centre
    EXPECT_EQ(knob.dragging, 0);
    EXPECT_TRUE(knobHover(knob, 20, 45));
    EXPECT_EQ(knob.hovered, 1);
    EXPECT_TRUE(knobHover(knob, 20, 47));
    EXPECT_EQ(knob.hovered, 0);
    knobPress(knob, 20, 45);
    EXPECT_EQ(knob.dragging, 1);
    EXPECT_EQ(knobDrag(knob, 5), kWidgetChanged);
    EXPECT_NEAR(knob.value, 0.7f, 1e-6f);
    knob.enabled = 0;
    knobRelease(knob);
    knobPress(knob, 20, 20);
    EXPECT_EQ(knob.dragging, 0);
}

// --- faders ----------------------------------------------------------------

TEST_F(WidgetTest, FadersJumpToThePointerAndFollowIt) {
    UiFader fader;
    fader.rect = RectF{0, 0, 208, 20};  // travel 4..204
    struct Step {
        Ev event;
        float x;
        int result;
        float value;
        uint8_t dragging;
    } steps[] = {
        {Ev::Press, 104, kWidgetChanged, 0.5f, 1},
        {Ev::Drag, 154, kWidgetChanged, 0.75f, 1},
        {Ev::Drag, 154, 0, 0.75f, 1},
        {Ev::Drag, 1000, kWidgetChanged, 1.0f, 1},
        {Ev::Drag, -50, kWidgetChanged, 0.0f, 1},
        {Ev::Release, 0, 0, 0.0f, 0},
        {Ev::Drag, 100, 0, 0.0f, 0},
        {Ev::Press, 300, 0, 0.0f, 0},
    };
    for (const Step& s : steps) {
        int result = 0;
        if (s.event == Ev::Press)
            result = faderPress(fader, s.x, 10);
        else if (s.event == Ev::Drag)
            result = faderDrag(fader, s.x);
        else
            result = faderRelease(fader);
        EXPECT_EQ(result, s.result);
        EXPECT_NEAR(fader.value, s.value, 1e-6f);
        EXPECT_EQ(fader.dragging, s.dragging);
    }
    fader.enabled = 0;
    EXPECT_EQ(faderPress(fader, 104, 10), 0);
    EXPECT_FALSE(faderHover(fader, 104, 10));
    UiFader thin;
    thin.rect = RectF{0, 0, 6, 20};
    thin.value = 0.4f;
    EXPECT_EQ(faderPress(thin, 3, 10), kWidgetChanged);
    EXPECT_FLOAT_EQ(thin.value, 0.4f);
    EXPECT_EQ(faderDrag(thin, 5), 0);
}

// --- segmented choices -----------------------------------------------------

TEST_F(WidgetTest, SegmentedChoicesSelectTheSegmentUnderTheClick) {
    const char* labels[] = {"Compact", "Normal", "Roomy"};
    UiSegmented seg;
    seg.rect = RectF{0, 0, 300, 30};
    segmentedSetLabels(seg, labels, 3);
    struct Step {
        Ev event;
        float x;
        int result;  // for Hover: 1 when the hover index changed
        int selected;
        int hoverIndex;
    } steps[] = {
        {Ev::Click, 150, kWidgetChanged, 1, -1},
        {Ev::Click, 199, 0, 1, -1},  // already selected
        {Ev::Click, 200, kWidgetChanged, 2, -1},
        {Ev::Click, 300, 0, 2, -1},  // outside
        {Ev::Hover, 10, 1, 2, 0},
        {Ev::Hover, 20, 0, 2, 0},
        {Ev::Hover, 10, 1, 2, -1},  // y below (see the loop)
    };
    int i = 0;
    for (const Step& s : steps) {
        const float y = i == 6 ? 40.0f : 10.0f;
        const int result = s.event == Ev::Click ? segmentedClick(seg, s.x, y) : (segmentedHover(seg, s.x, y) ? 1 : 0);
        EXPECT_EQ(result, s.result) << i;
        EXPECT_EQ(seg.selected, s.selected) << i;
        EXPECT_EQ(seg.hoverIndex, s.hoverIndex) << i;
        ++i;
    }
    seg.enabled = 0;
    EXPECT_EQ(segmentedClick(seg, 10, 10), 0);
    EXPECT_FALSE(segmentedHover(seg, 10, 10));
    EXPECT_EQ(seg.hoverIndex, -1);
}

TEST_F(WidgetTest, SegmentedChoicesWithoutLabelsOrWidthDoNothing) {
    const char* labels[9] = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    UiSegmented seg;
    segmentedSetLabels(seg, labels, 9);
    EXPECT_EQ(seg.count, 8);
    seg.rect = RectF{0, 0, 0, 30};
    EXPECT_EQ(segmentedClick(seg, 0, 10), 0);
    seg.rect = RectF{0, 0, 80, 30};
    seg.count = 0;
    EXPECT_EQ(segmentedClick(seg, 40, 10), 0);
    seg.count = 99;
    EXPECT_EQ(segmentedClick(seg, 79, 10), kWidgetChanged);
    EXPECT_EQ(seg.selected, 7);
}

// --- text fields -----------------------------------------------------------

UiTextField fieldWith(const char* text) {
    UiTextField f;
    f.rect = RectF{0, 0, 200, 30};
    setWidgetText(f.text, text);
    textFieldClick(f, 10, 10);
    return f;
}

TEST_F(WidgetTest, TextFieldsTakeFocusAndPutTheCaretAtTheEnd) {
    UiTextField f;
    f.rect = RectF{0, 0, 200, 30};
    setWidgetText(f.text, "abc");
    EXPECT_EQ(textFieldClick(f, 10, 10), 0);
    EXPECT_EQ(f.focused, 1);
    EXPECT_EQ(f.caret, 3);
    EXPECT_EQ(f.selectionAnchor, -1);
    EXPECT_EQ(textFieldClick(f, 300, 10), 0);
    EXPECT_EQ(f.focused, 0);
    EXPECT_EQ(textFieldChar(f, 'x'), 0);  // unfocused
    f.focused = 1;
    f.enabled = 0;
    EXPECT_EQ(textFieldClick(f, 10, 10), 0);
    EXPECT_EQ(f.focused, 0);
}

TEST_F(WidgetTest, TextFieldsEditWithEveryKey) {
    UiTextField f = fieldWith("stint");
    struct Step {
        int key;   // virtual key, or -ch for a typed character
        int result;
        const char* text;
        int caret;
    } steps[] = {
        {kKeyHome, 0, "stint", 0},
        {kKeyLeft, 0, "stint", 0},
        {kKeyBackspace, 0, "stint", 0},
        {kKeyDelete, kWidgetChanged, "tint", 0},
        {-'S', kWidgetChanged, "Stint", 1},
        {kKeyRight, 0, "Stint", 2},
        {kKeyRight, 0, "Stint", 3},
        {kKeyBackspace, kWidgetChanged, "Stnt", 2},
        {-'i', kWidgetChanged, "Stint", 3},
        {kKeyEnd, 0, "Stint", 5},
        {kKeyRight, 0, "Stint", 5},
        {kKeyDelete, 0, "Stint", 5},
        {-' ', kWidgetChanged, "Stint ", 6},
        {-'~', kWidgetChanged, "Stint ~", 7},
        {-31, 0, "Stint ~", 7},   // control characters are refused
        {-127, 0, "Stint ~", 7},
        {-200, 0, "Stint ~", 7},
        {kKeyLeft, 0, "Stint ~", 6},
        {65, 0, "Stint ~", 6},    // other keys do nothing
    };
    int i = 0;
    for (const Step& s : steps) {
        const int result = s.key < 0 ? textFieldChar(f, -s.key) : textFieldKey(f, s.key);
        EXPECT_EQ(result, s.result) << i;
        EXPECT_STREQ(f.text, s.text) << i;
        EXPECT_EQ(f.caret, s.caret) << i;
        ++i;
    }
}

TEST_F(WidgetTest, TextFieldsStopAt254Characters) {
    UiTextField f = fieldWith(std::string(253, 'a').c_str());
    EXPECT_EQ(textFieldChar(f, 'b'), kWidgetChanged);
    EXPECT_EQ(textFieldLength(f), 254);
    EXPECT_EQ(textFieldChar(f, 'c'), 0);
    EXPECT_EQ(textFieldLength(f), 254);
    EXPECT_EQ(f.text[253], 'b');
}

TEST_F(WidgetTest, CaretsSetFromOutsideAreClampedToTheText) {
    UiTextField f = fieldWith("abc");
    f.caret = 9999;
    EXPECT_EQ(textFieldCaret(f), 3);
    EXPECT_EQ(textFieldKey(f, kKeyBackspace), kWidgetChanged);
    EXPECT_STREQ(f.text, "ab");
    EXPECT_EQ(f.caret, 2);
    f.caret = 9999;
    EXPECT_EQ(textFieldChar(f, 'z'), kWidgetChanged);
    EXPECT_STREQ(f.text, "abz");
    f.caret = -5;
    EXPECT_EQ(textFieldKey(f, kKeyDelete), kWidgetChanged);
    EXPECT_STREQ(f.text, "bz");
    f.caret = -5;
    EXPECT_EQ(textFieldKey(f, kKeyLeft), 0);
    EXPECT_EQ(f.caret, 0);
}

TEST_F(WidgetTest, UnterminatedTextIsCutToTheField) {
    UiTextField f = fieldWith("");
    std::memset(f.text, 'a', sizeof f.text);  // no terminator at all
    f.caret = 300;
    EXPECT_EQ(textFieldChar(f, 'b'), 0);
    EXPECT_EQ(textFieldLength(f), 255);
    EXPECT_EQ(textFieldKey(f, kKeyBackspace), kWidgetChanged);
    EXPECT_EQ(textFieldLength(f), 254);
}

TEST_F(WidgetTest, MultiByteCharactersAreEditedWhole) {
    UiTextField f = fieldWith("caf\xC3\xA9");
    EXPECT_EQ(f.caret, 4);
    EXPECT_EQ(textFieldKey(f, kKeyLeft), 0);
    EXPECT_EQ(textFieldChar(f, 's'), kWidgetChanged);
    EXPECT_STREQ(f.text, "cafs\xC3\xA9");
    EXPECT_EQ(textFieldKey(f, kKeyDelete), kWidgetChanged);
    EXPECT_STREQ(f.text, "cafs");
}

TEST_F(WidgetTest, TextFieldHoverFollowsThePointerWhileEnabled) {
    UiTextField f = fieldWith("x");
    EXPECT_TRUE(textFieldHover(f, 10, 10));
    EXPECT_FALSE(textFieldHover(f, 11, 10));
    EXPECT_TRUE(textFieldHover(f, 10, 50));
    f.enabled = 0;
    EXPECT_FALSE(textFieldHover(f, 10, 10));
    EXPECT_EQ(f.hovered, 0);
}

}  // namespace
}  // namespace qv
