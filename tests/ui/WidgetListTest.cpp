// The one mouse routing of the dialogs (routeWidgetMouse), driven by tables of
// messages: each step is a message with what it reports and the state the
// buttons are left in.

#include "platform/graphics/Graphics.h"
#include "ui/WidgetList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace qv {
namespace {

constexpr float kOutside = 500;

class WidgetListTest : public ::testing::Test {
protected:
    void SetUp() override { setDpi(kDefaultDpi); }
    void TearDown() override { setDpi(kDefaultDpi); }
};

// --- two buttons: A (id 1) and B (id 2) side by side -------------------------

struct Step {
    uint32_t message;
    float x, y;
    bool aShown, aEnabled;  // A's state while this message comes
    bool repaint;
    int clicked;
    uint8_t aPressed, aHovered, bPressed;
};

constexpr uint32_t kMove = kWmMouseMove, kDown = kWmLButtonDown, kUp = kWmLButtonUp, kDouble = kWmLButtonDblClk;
constexpr bool Y = true, N = false;
constexpr int kNone = kNoWidget;

struct Case {
    const char* name;
    std::vector<Step> steps;
};

TEST_F(WidgetListTest, ButtonsHoverPressAndClickOnlyOnAReleaseInside) {
    const Case cases[] = {
        {"hover enters and leaves",
         {{kMove, 50, 20, Y, Y, Y, kNone, 0, 1, 0},
          {kMove, 60, 20, Y, Y, N, kNone, 0, 1, 0},
          {kMove, kOutside, 20, Y, Y, Y, kNone, 0, 0, 0}}},
        {"press then release inside clicks",
         {{kDown, 50, 20, Y, Y, Y, kNone, 1, 0, 0}, {kUp, 50, 20, Y, Y, Y, 1, 0, 0, 0}}},
        {"the second press of a double click presses too",
         {{kDouble, 50, 20, Y, Y, Y, kNone, 1, 0, 0}, {kUp, 50, 20, Y, Y, Y, 1, 0, 0, 0}}},
        {"a press that leaves and comes back still clicks",
         {{kDown, 50, 20, Y, Y, Y, kNone, 1, 0, 0},
          {kMove, kOutside, 20, Y, Y, N, kNone, 1, 0, 0},
          {kUp, 10, 10, Y, Y, Y, 1, 0, 0, 0}}},
        {"released outside: no click and the pressed look goes",
         {{kDown, 50, 20, Y, Y, Y, kNone, 1, 0, 0}, {kUp, kOutside, 20, Y, Y, Y, kNone, 0, 0, 0}}},
        {"pressed on A and released on B: neither clicks",
         {{kDown, 50, 20, Y, Y, Y, kNone, 1, 0, 0}, {kUp, 150, 20, Y, Y, Y, kNone, 0, 0, 0}}},
        {"released on B after a press on B clicks B",
         {{kDown, 150, 20, Y, Y, Y, kNone, 0, 0, 1}, {kUp, 150, 20, Y, Y, Y, 2, 0, 0, 0}}},
        {"a disabled button gets nothing",
         {{kMove, 50, 20, Y, N, N, kNone, 0, 0, 0},
          {kDown, 50, 20, Y, N, Y, kNone, 0, 0, 0},
          {kUp, 50, 20, Y, N, Y, kNone, 0, 0, 0}}},
        {"a hidden button gets nothing",
         {{kMove, 50, 20, N, Y, N, kNone, 0, 0, 0},
          {kDown, 50, 20, N, Y, Y, kNone, 0, 0, 0},
          {kUp, 50, 20, N, Y, Y, kNone, 0, 0, 0}}},
        {"hidden while pressed: the release clears it without a click",
         {{kDown, 50, 20, Y, Y, Y, kNone, 1, 0, 0}, {kUp, 50, 20, N, Y, Y, kNone, 0, 0, 0}}},
        // A hold whose release never comes (focus or capture lost) reaches
        // the dialog as a button-up where the pointer then is.
        {"a capture lost mid-press clears the pressed state",
         {{kDown, 50, 20, Y, Y, Y, kNone, 1, 0, 0},
          {kMove, kOutside, kOutside, Y, Y, N, kNone, 1, 0, 0},
          {kUp, kOutside, kOutside, Y, Y, Y, kNone, 0, 0, 0},
          {kUp, 50, 20, Y, Y, Y, kNone, 0, 0, 0}}},
        {"other messages do nothing",
         {{kDown, 50, 20, Y, Y, Y, kNone, 1, 0, 0},
          {kWmRButtonDown, 50, 20, Y, Y, N, kNone, 1, 0, 0},
          {kWmCaptureChanged, 50, 20, Y, Y, N, kNone, 1, 0, 0}}},
    };
    for (const Case& c : cases) {
        UiButton a, b;
        a.rect = RectF{0, 0, 100, 40};
        b.rect = RectF{120, 0, 220, 40};
        int i = 0;
        for (const Step& s : c.steps) {
            a.enabled = s.aEnabled;
            WidgetList widgets;
            widgets.add(a, 1, s.aShown);
            widgets.add(b, 2);
            const WidgetRoute route = routeWidgetMouse(widgets, s.message, s.x, s.y);
            EXPECT_EQ(route.repaint, s.repaint) << c.name << " step " << i;
            EXPECT_EQ(route.clicked, s.clicked) << c.name << " step " << i;
            EXPECT_EQ(route.changed, kNoWidget) << c.name << " step " << i;
            EXPECT_EQ(a.pressed, s.aPressed) << c.name << " step " << i;
            EXPECT_EQ(a.hovered, s.aHovered) << c.name << " step " << i;
            EXPECT_EQ(b.pressed, s.bPressed) << c.name << " step " << i;
            ++i;
        }
    }
}

// --- the other widgets of a dialog -------------------------------------------

// A drop-down over a toggle, a list box, a button and two groups of text
// fields, laid out top to bottom.
struct Form {
    UiDropdown dropdown;
    bool flag = false;
    UiToggle toggle;
    UiListBox list;
    UiButton button;
    UiTextField focusField;
    UiTextField caretA, caretB;

    enum { kDropdown = 10, kToggle, kList, kButton };

    Form() {
        dropdown.rect = RectF{0, 0, 200, 28};
        const char* items[] = {"one", "two", "three"};
        dropdownSetItems(dropdown, items, 3);
        toggle.rect = RectF{0, 40, 200, 60};
        toggle.target = &flag;
        list.rect = RectF{0, 100, 200, 200};
        const char* rows[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
        listBoxSetItems(list, rows, 10);
        button.rect = RectF{0, 210, 100, 240};
        focusField.rect = RectF{0, 250, 200, 280};
        caretA.rect = RectF{0, 290, 200, 320};
        caretB.rect = RectF{0, 330, 200, 360};
    }

    WidgetList widgets() {
        WidgetList list;
        list.add(dropdown, kDropdown);
        list.add(toggle, kToggle);
        list.add(this->list, kList);
        list.add(button, kButton);
        list.addFocusField(focusField, kNoWidget);
        list.addCaretField(caretA, kNoWidget);
        list.addCaretField(caretB, kNoWidget);
        return list;
    }
    WidgetRoute route(uint32_t message, float x, float y, uintptr_t wParam = 0) {
        WidgetList list = widgets();
        return routeWidgetMouse(list, message, x, y, wParam);
    }
};

TEST_F(WidgetListTest, AnOpenDropdownTakesThePressAloneAndReportsTheRowChosen) {
    Form form;
    EXPECT_EQ(form.route(kDown, 20, 10).changed, kNoWidget);
    ASSERT_TRUE(form.dropdown.open) << "the press opened the list";
    // The list lies over the toggle: a press on its second row selects it
    // and the toggle under it stays as it was.
    const float row = form.dropdown.listRect.top + dropdownItemPixels(form.dropdown) * 1.5f;
    form.route(kMove, 20, row);
    const WidgetRoute chosen = form.route(kDown, 20, row);
    EXPECT_EQ(chosen.changed, Form::kDropdown);
    EXPECT_EQ(form.dropdown.selected, 1);
    EXPECT_FALSE(form.dropdown.open);
    EXPECT_FALSE(form.flag);
    // Open again, a press on the button only closes the list.
    form.route(kDown, 20, 10);
    ASSERT_TRUE(form.dropdown.open);
    EXPECT_EQ(form.route(kDown, 50, 220).changed, kNoWidget);
    EXPECT_FALSE(form.dropdown.open);
    EXPECT_EQ(form.button.pressed, 0);
}

TEST_F(WidgetListTest, TogglesAndListBoxesReportTheirChangeAndTheWheelScrollsTheList) {
    Form form;
    EXPECT_EQ(form.route(kDown, 20, 50).changed, Form::kToggle);
    EXPECT_TRUE(form.flag);
    form.route(kMove, 20, 130);  // the second row (24 pixels each)
    EXPECT_EQ(form.route(kDown, 20, 130).changed, Form::kList);
    EXPECT_EQ(form.list.selected, 1);
    EXPECT_EQ(form.route(kDown, 20, 250).changed, kNoWidget) << "a press on no such widget";
    const WidgetRoute wheel = form.route(kWmMouseWheel, 20, 130, makeWheelParam(-120, 0));
    EXPECT_TRUE(wheel.repaint);
    EXPECT_GT(form.list.scroll, 0.0f);
}

// A dialog's onMouse hands its switch the id of each click and change, and
// only those.
TEST_F(WidgetListTest, ADialogsSwitchGetsTheClickedAndTheChangedIdsOnly) {
    struct DialogStep {
        const char* name;
        uint32_t message;
        float x, y;
        bool repaint;
        std::vector<int> ids;  // what the switch got
    } steps[] = {
        {"hover over the button", kMove, 50, 220, true, {}},
        {"a press on the toggle changes it", kDown, 20, 50, true, {Form::kToggle}},
        {"its release clicks nothing", kUp, 20, 50, true, {}},
        {"a press on the button", kDown, 50, 220, true, {}},
        {"its release inside clicks it", kUp, 50, 220, true, {Form::kButton}},
        {"hover over a list row", kMove, 20, 130, true, {}},
        {"a press on it selects it", kDown, 20, 130, true, {Form::kList}},
        {"a press in a text field reports nothing", kDown, 20, 260, true, {}},
        {"a released press outside the button clicks nothing", kDown, 50, 220, true, {}},
        {"(released outside)", kUp, 150, 380, true, {}},
    };
    Form form;
    WidgetList list = form.widgets();
    std::vector<int> ids;
    const WidgetAction record = [](int id, void* user) { static_cast<std::vector<int>*>(user)->push_back(id); };
    for (const DialogStep& s : steps) {
        ids.clear();
        EXPECT_EQ(routeDialogMouse(list, s.message, s.x, s.y, 0, record, &ids), s.repaint) << s.name;
        EXPECT_EQ(ids, s.ids) << s.name;
    }
    EXPECT_TRUE(form.flag);
    EXPECT_EQ(form.list.selected, 1);
}

TEST_F(WidgetListTest, TextFieldsTakeTheFocusByTheirKind) {
    struct FocusStep {
        const char* name;
        float x, y;
        uint8_t focus, caretA, caretB;
    } steps[] = {
        {"a press in the focus field focuses it", 20, 260, 1, 0, 0},
        {"a press on the first caret field focuses it alone", 20, 300, 0, 1, 0},
        {"a press on the second moves the group's focus", 20, 340, 0, 0, 1},
        {"a press elsewhere leaves the group as it is", 20, 225, 0, 0, 1},
        {"the focus field takes it again", 20, 260, 1, 0, 1},
    };
    Form form;
    for (const FocusStep& s : steps) {
        form.route(kDown, s.x, s.y);
        form.route(kUp, s.x, s.y);
        EXPECT_EQ(form.focusField.focused, s.focus) << s.name;
        EXPECT_EQ(form.caretA.focused, s.caretA) << s.name;
        EXPECT_EQ(form.caretB.focused, s.caretB) << s.name;
    }
}

}  // namespace
}  // namespace qv
