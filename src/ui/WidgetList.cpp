#include "ui/WidgetList.h"

#include <cassert>

namespace qv {

namespace {

bool hover(const WidgetEntry& e, float x, float y) {
    switch (e.kind) {
    case WidgetKind::kButton: return buttonHover(*static_cast<UiButton*>(e.widget), x, y);
    case WidgetKind::kToggle: return toggleHover(*static_cast<UiToggle*>(e.widget), x, y);
    case WidgetKind::kDropdown: return dropdownHover(*static_cast<UiDropdown*>(e.widget), x, y);
    case WidgetKind::kListBox: return listBoxHover(*static_cast<UiListBox*>(e.widget), x, y);
    case WidgetKind::kKnob: return knobHover(*static_cast<UiKnob*>(e.widget), x, y);
    case WidgetKind::kSegmented: return segmentedHover(*static_cast<UiSegmented*>(e.widget), x, y);
    case WidgetKind::kTextFieldFocus:
    case WidgetKind::kTextFieldCaret: return textFieldHover(*static_cast<UiTextField*>(e.widget), x, y);
    }
    return false;
}

// A press on a member of the caret group moves the group's focus; a press
// elsewhere leaves it.
void pressCaretGroup(WidgetList& list, float x, float y) {
    bool onMember = false;
    for (int i = 0; i < list.count; ++i) {
        const WidgetEntry& e = list.entries[i];
        if (e.shown && e.kind == WidgetKind::kTextFieldCaret &&
            pointInRect(static_cast<UiTextField*>(e.widget)->rect, x, y))
            onMember = true;
    }
    if (!onMember)
        return;
    for (int i = 0; i < list.count; ++i) {
        const WidgetEntry& e = list.entries[i];
        if (e.shown && e.kind == WidgetKind::kTextFieldCaret)
            textFieldClickAt(*static_cast<UiTextField*>(e.widget), x, y);
    }
}

void press(WidgetList& list, float x, float y, WidgetRoute& route) {
    route.repaint = true;
    // An open list lies over the widgets below it: it takes the press alone.
    for (int i = 0; i < list.count; ++i) {
        const WidgetEntry& e = list.entries[i];
        auto* dropdown = static_cast<UiDropdown*>(e.widget);
        if (e.shown && e.kind == WidgetKind::kDropdown && dropdown->open) {
            if (dropdownClick(*dropdown, x, y) == kWidgetChanged)
                route.changed = e.id;
            return;
        }
    }
    pressCaretGroup(list, x, y);
    for (int i = 0; i < list.count; ++i) {
        const WidgetEntry& e = list.entries[i];
        if (!e.shown)
            continue;
        int result = kWidgetNone;
        switch (e.kind) {
        case WidgetKind::kButton: buttonPress(*static_cast<UiButton*>(e.widget), x, y); break;
        case WidgetKind::kToggle: result = toggleClick(*static_cast<UiToggle*>(e.widget), x, y); break;
        case WidgetKind::kListBox: result = listBoxClick(*static_cast<UiListBox*>(e.widget), x, y); break;
        case WidgetKind::kSegmented: result = segmentedClick(*static_cast<UiSegmented*>(e.widget), x, y); break;
        case WidgetKind::kTextFieldFocus: textFieldClick(*static_cast<UiTextField*>(e.widget), x, y); break;
        case WidgetKind::kDropdown: {
            auto* dropdown = static_cast<UiDropdown*>(e.widget);
            dropdownClick(*dropdown, x, y);
            if (dropdown->open)
                return;
            break;
        }
        case WidgetKind::kKnob:
        case WidgetKind::kTextFieldCaret: break;
        }
        if (result == kWidgetChanged) {
            route.changed = e.id;
            return;
        }
    }
}

void release(WidgetList& list, float x, float y, WidgetRoute& route) {
    route.repaint = true;
    for (int i = 0; i < list.count; ++i) {
        const WidgetEntry& e = list.entries[i];
        if (e.kind != WidgetKind::kButton)
            continue;
        auto& button = *static_cast<UiButton*>(e.widget);
        if (!e.shown) {
            button.pressed = 0;
            continue;
        }
        if (buttonRelease(button, x, y) == kWidgetClicked && route.clicked == kNoWidget)
            route.clicked = e.id;
    }
}

void wheel(WidgetList& list, float x, float y, int delta, WidgetRoute& route) {
    for (int i = 0; i < list.count; ++i) {
        const WidgetEntry& e = list.entries[i];
        if (!e.shown)
            continue;
        if (e.kind == WidgetKind::kListBox) {
            listBoxScroll(*static_cast<UiListBox*>(e.widget), delta);
            route.repaint = true;
        } else if (e.kind == WidgetKind::kDropdown) {
            auto& dropdown = *static_cast<UiDropdown*>(e.widget);
            route.repaint |= dropdownWheel(dropdown, x, y, delta) || dropdownHover(dropdown, x, y);
        }
    }
}

}  // namespace

void WidgetList::add(WidgetKind kind, void* widget, int id, bool shown) {
    assert(count < kWidgetListCapacity && "a dialog lists more widgets than WidgetList holds: raise the capacity");
    if (count >= kWidgetListCapacity || !widget)
        return;
    entries[count++] = WidgetEntry{kind, widget, id, shown};
}

WidgetRoute routeWidgetMouse(WidgetList& list, uint32_t message, float x, float y, uintptr_t wParam) {
    WidgetRoute route;
    switch (message) {
    case kWmMouseMove:
        for (int i = 0; i < list.count; ++i)
            if (list.entries[i].shown)
                route.repaint |= hover(list.entries[i], x, y);
        break;
    case kWmLButtonDown:
    case kWmLButtonDblClk: press(list, x, y, route); break;
    case kWmLButtonUp: release(list, x, y, route); break;
    case kWmMouseWheel: wheel(list, x, y, wheelDelta(wParam), route); break;
    default: break;
    }
    return route;
}

bool routeDialogMouse(WidgetList& list, uint32_t message, float x, float y, uintptr_t wParam, WidgetAction onWidget,
                      void* user) {
    const WidgetRoute route = routeWidgetMouse(list, message, x, y, wParam);
    const int id = route.clicked != kNoWidget ? route.clicked : route.changed;
    if (id != kNoWidget && onWidget)
        onWidget(id, user);
    return route.repaint;
}

}  // namespace qv
