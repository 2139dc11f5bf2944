#pragma once
// The widgets a dialog shows, as one list, and the one function that hands
// them the dialog's mouse messages. A dialog keeps its list in its state
// record and fills it where it lays out (in the order a press should try
// them); its onMouse is routeDialogMouse over that list, and the dialog keeps
// only its own switch over what it reports: the button a click completed, the
// widget whose value changed. (routeWidgetMouse is the routing alone, for the
// dialogs whose buttons act on the press and route only the hover.)
//
// The rules, the same for every dialog:
// - Move: every shown widget follows the pointer (hover).
// - Press (button-down or the second press of a double click): an open
//   drop-down takes the press alone (a row selects and closes, anything else
//   closes). Otherwise each shown widget in list order: a drop-down the press
//   opened ends the press; a toggle, list box or segmented choice that
//   changed ends it and is reported; buttons take the press (pressed look);
//   text fields take or lose the keyboard focus (below).
// - Release: every button of the list lets go (hidden ones too, so none keeps
//   its pressed look); the first shown one released inside is the click.
// - Wheel: shown list boxes scroll, an open drop-down scrolls its rows.
// - Disabled widgets do nothing (the kit's handlers check), hidden widgets
//   (added with shown = false) get nothing but the release.
// Knobs get the hover only: the dialogs that have them drag them with the
// mouse captured, in their own handlers.
// Text fields: kTextFieldFocus fields take the focus on a press inside and
// lose it on a press anywhere else (caret at the end); kTextFieldCaret fields
// form a group that only a press on one of them changes (that one takes the
// focus with the caret at the press).
//
// The entries point into the record the list was filled from, so a copied
// record takes mouse messages only after its own layout has filled its list
// again. GUI thread only.

#include "platform/Window.h"
#include "ui/Widgets.h"

#include <cstdint>

namespace qv {

enum class WidgetKind : uint8_t {
    kButton,
    kToggle,
    kDropdown,
    kListBox,
    kKnob,
    kSegmented,
    kTextFieldFocus,
    kTextFieldCaret,
};

struct WidgetEntry {
    WidgetKind kind = WidgetKind::kButton;
    void* widget = nullptr;
    int id = 0;
    bool shown = true;
};

inline constexpr int kWidgetListCapacity = 48;
inline constexpr int kNoWidget = -1;

struct WidgetList {
    WidgetEntry entries[kWidgetListCapacity];
    int count = 0;

    // Empties the list (a layout fills it again from the start).
    void clear() { count = 0; }
    // Past the capacity an entry is dropped (asserted in debug builds:
    // raise kWidgetListCapacity).
    void add(WidgetKind kind, void* widget, int id, bool shown);
    void add(UiButton& button, int id, bool shown = true) { add(WidgetKind::kButton, &button, id, shown); }
    void add(UiToggle& toggle, int id, bool shown = true) { add(WidgetKind::kToggle, &toggle, id, shown); }
    void add(UiDropdown& dropdown, int id, bool shown = true) { add(WidgetKind::kDropdown, &dropdown, id, shown); }
    void add(UiListBox& list, int id, bool shown = true) { add(WidgetKind::kListBox, &list, id, shown); }
    void add(UiKnob& knob, int id, bool shown = true) { add(WidgetKind::kKnob, &knob, id, shown); }
    void add(UiSegmented& segmented, int id, bool shown = true) { add(WidgetKind::kSegmented, &segmented, id, shown); }
    // Focus follows every press (see above).
    void addFocusField(UiTextField& field, int id, bool shown = true) {
        add(WidgetKind::kTextFieldFocus, &field, id, shown);
    }
    // One of a group whose focus only a press on a member changes.
    void addCaretField(UiTextField& field, int id, bool shown = true) {
        add(WidgetKind::kTextFieldCaret, &field, id, shown);
    }
};

// What one mouse message did.
struct WidgetRoute {
    bool repaint = false;     // something visible changed
    int clicked = kNoWidget;  // the button a press and release inside completed
    int changed = kNoWidget;  // the widget whose value or selection changed
};

// kWmMouseMove, kWmLButtonDown, kWmLButtonDblClk, kWmLButtonUp and
// kWmMouseWheel (wheelDelta from wParam); other messages do nothing.
WidgetRoute routeWidgetMouse(WidgetList& list, uint32_t message, float x, float y, uintptr_t wParam = 0);

// A dialog's answer to a click or a change: `id` is the listed id of the
// button a click completed or of the widget whose value or selection changed
// (one message never does both).
using WidgetAction = void (*)(int id, void* user);

// The whole of a dialog's onMouse: routes the message through the dialog's
// list, calls onWidget(id, user) when a listed button was clicked or a listed
// widget changed (not for kNoWidget ids) and returns whether to repaint.
bool routeDialogMouse(WidgetList& list, uint32_t message, float x, float y, uintptr_t wParam, WidgetAction onWidget,
                      void* user);

}  // namespace qv
