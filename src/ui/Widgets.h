#pragma once
// The immediate-mode widget kit of the dialogs. Each widget is a plain record
// that the dialog keeps in its own state: the dialog sets its rectangle,
// paints it with the painter of WidgetPainters.h and feeds it the mouse and
// key events of the dialog host. There is no widget tree, focus chain or
// event queue: a dialog calls the handlers of its widgets one after the other
// and repaints when any of them reports a change.
//
// The handlers here only change the record (and a toggle's or slider's
// target); they draw nothing. Coordinates are window pixels; layout constants
// are 96-dpi units times dpiScale(). GUI thread only.
//
// Records may be filled by dialog code from any source, so every handler and
// painter takes counts, selections and carets as untrusted: counts are
// clamped to 0..capacity, a caret to the text, and a zero item height falls
// back to a default.

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Utf8.h"

#include <cstddef>
#include <cstdint>

namespace qv {

// What a handler reports; the caller repaints on anything but kWidgetNone.
enum WidgetResult : int {
    kWidgetNone = 0,
    kWidgetClicked = 1,  // buttons only: a press and release inside
    kWidgetChanged = 2,  // value or selection changed
};

enum ButtonStyle : uint8_t { kButtonPlain = 0, kButtonPrimary = 1, kButtonDestructive = 2 };

inline constexpr int kDropdownMaxItems = 32;
inline constexpr int kListBoxMaxItems = 64;
inline constexpr int kSegmentedMaxLabels = 8;
inline constexpr int kTextFieldSize = 256;
// Text fields accept typed characters while the text is shorter than this.
inline constexpr int kTextFieldMaxLength = 254;
// Row heights used when a record leaves its height at 0 (96-dpi units).
inline constexpr float kDefaultDropdownItemHeight = 28.0f;
inline constexpr float kDefaultListRowHeight = 24.0f;

struct UiButton {
    RectF rect;
    char label[64] = {};
    int32_t userValue = 0;  // for the owner's use
    uint8_t style = kButtonPlain;
    uint8_t enabled = 1;
    uint8_t hovered = 0;
    uint8_t pressed = 0;
};

struct UiToggle {
    RectF rect;
    char label[64] = {};
    bool* target = nullptr;  // the flag it flips
    uint8_t enabled = 1;
    uint8_t hovered = 0;
};

struct UiSlider {
    RectF rect;
    char label[64] = {};
    char unit[16] = {};
    float* target = nullptr;
    float min = 0;
    float max = 1;
    uint8_t percentDisplay = 0;  // show round(value * 100) instead of one decimal
    uint8_t enabled = 1;
    uint8_t hovered = 0;
    uint8_t dragging = 0;
};

struct UiDropdown {
    RectF rect;  // the closed box
    char label[64] = {};
    char items[kDropdownMaxItems][64] = {};
    int32_t count = 0;
    int32_t selected = 0;
    int32_t hoverIndex = -1;
    uint8_t open = 0;
    uint8_t enabled = 1;
    uint8_t hovered = 0;
    RectF listRect;          // laid out when the list opens
    float itemHeight = 0;    // 96-dpi units; 0 means the default
    float listLimit = 0;     // pixels: the open list ends above this y (0: no limit)
    int32_t scroll = 0;      // first row shown when the list holds fewer rows than items
};

struct UiListBox {
    RectF rect;
    char label[64] = {};
    char items[kListBoxMaxItems][128] = {};
    int32_t count = 0;
    int32_t selected = -1;
    int32_t hoverRow = -1;
    float scroll = 0;      // pixels
    float rowHeight = 0;   // 96-dpi units; 0 means the default
    uint8_t enabled = 1;
    uint8_t hovered = 0;
};

struct UiKnob {
    RectF rect;
    float value = 0;  // 0..1
    char caption[16] = {};
    uint8_t enabled = 1;
    uint8_t active = 1;
    uint8_t hovered = 0;
    uint8_t dragging = 0;
    int32_t dragStartY = 0;
    float dragStartValue = 0;
};

struct UiFader {
    RectF rect;
    float value = 0;  // 0..1
    uint8_t enabled = 1;
    uint8_t hovered = 0;
    uint8_t dragging = 0;
};

struct UiSegmented {
    RectF rect;
    char labels[kSegmentedMaxLabels][32] = {};
    int32_t count = 0;
    int32_t selected = 0;
    int32_t hoverIndex = -1;
    uint8_t enabled = 1;
};

struct UiTextField {
    RectF rect;
    char label[64] = {};
    char text[kTextFieldSize] = {};
    char placeholder[64] = {};
    int32_t caret = 0;            // character index
    int32_t selectionAnchor = -1; // always -1: no selection
    uint8_t enabled = 1;
    uint8_t focused = 0;
    uint8_t hovered = 0;
    uint8_t wrap = 0;             // the text wraps inside the box, line under line
    // A click whose caret position layoutTextField places (textFieldClickAt).
    uint8_t clickPending = 0;
    float clickX = 0, clickY = 0;
    // How far the text is shifted so that the caret stays in view
    // (layoutTextField; 0 for fields it never lays out).
    float scrollX = 0, scrollY = 0;
};

// --- text fields of the records -------------------------------------------

// Copies text into a fixed field, cut at a character boundary to fit.
template <size_t N>
void setWidgetText(char (&field)[N], const char* text) {
    copyUtf8Truncated(field, N, text);
}

// --- hit tests ---------------------------------------------------------------

// left <= x < right and top <= y < bottom.
bool pointInRect(const RectF& rect, float x, float y);
// Squared distance from the centre at most the squared radius.
bool pointInCircle(float cx, float cy, float radius, float x, float y);

// --- buttons -----------------------------------------------------------------

// Enabled and inside: pressed. A press is not yet a click: returns 0.
int buttonPress(UiButton& button, float x, float y);
// Not pressed: 0. Otherwise releases and returns 1 when the point is inside
// (a press that left the button and came back still clicks).
int buttonRelease(UiButton& button, float x, float y);
// hovered := enabled and inside; true when that changed.
bool buttonHover(UiButton& button, float x, float y);

// --- toggles -----------------------------------------------------------------

// Enabled, with a target and inside: flips the target, returns 2.
int toggleClick(UiToggle& toggle, float x, float y);
bool toggleHover(UiToggle& toggle, float x, float y);

// --- sliders -----------------------------------------------------------------

// The rail the slider's value runs along: the painter draws it and the
// handlers map the pointer over it, so the thumb stays under the pointer.
RectF sliderRail(const UiSlider& slider);
// Enabled, with a target and inside: starts dragging and moves the value to
// the pointer; returns 2, or 0 when the rail has no width.
int sliderPress(UiSlider& slider, float x, float y);
// While dragging: value := min + t * (max - min), t the pointer's position
// along the rail clamped to 0..1; returns 2.
int sliderDrag(UiSlider& slider, float x);
int sliderRelease(UiSlider& slider);
bool sliderHover(UiSlider& slider, float x, float y);

// --- drop-downs --------------------------------------------------------------

// Closed: a click in the box opens the list (returns 0). Open: a click on a
// row of the list selects it and closes (returns 2); any other click closes
// (returns 0). The row is taken from the click's own position.
int dropdownClick(UiDropdown& dropdown, float x, float y);
// hovered := enabled and inside the box; while open the hover index follows
// the row under the pointer (-1 outside the list). True when either changed.
bool dropdownHover(UiDropdown& dropdown, float x, float y);
void dropdownClose(UiDropdown& dropdown);
// Keeps the first min(n, 32) items (n < 0 counts as 0).
void dropdownSetItems(UiDropdown& dropdown, const char* const* items, int n);
// The list below the box: one row of the item height per item, as many as
// fit above `listLimit` (at least one); the rows scroll (the wheel, the arrow
// keys) and the selected row is scrolled into view when the list opens.
void dropdownLayoutList(UiDropdown& dropdown);
// Rows the open list shows at once.
int dropdownVisibleRows(const UiDropdown& dropdown);
// Up and Down move the selection by one item (open or closed; returns 2 when
// it moved, keeping it in view); Enter and Escape close an open list
// (returns 1 when one was closed); other keys return 0.
int dropdownKey(UiDropdown& dropdown, int virtualKey);
// The wheel over the open list scrolls it by one row per notch (delta 120);
// true when it moved.
bool dropdownWheel(UiDropdown& dropdown, float x, float y, int wheelDelta);
// Item height in pixels (the default when the record's is not positive).
float dropdownItemPixels(const UiDropdown& dropdown);
int dropdownItemCount(const UiDropdown& dropdown);

// --- list boxes --------------------------------------------------------------

// Enabled, inside and on a row: selects that row, returns 2.
int listBoxClick(UiListBox& list, float x, float y);
// hovered := enabled and inside; the hover row follows the pointer (-1 past
// the last row or outside). True when either changed.
bool listBoxHover(UiListBox& list, float x, float y);
// Two rows per wheel notch of 120, kept between the top and the last row at
// the bottom. Returns 0.
int listBoxScroll(UiListBox& list, int wheelDelta);
// Keeps the first min(n, 64) items (n < 0 counts as 0).
void listBoxSetItems(UiListBox& list, const char* const* items, int n);
float listBoxRowPixels(const UiListBox& list);
int listBoxItemCount(const UiListBox& list);
// The scroll offset limited to what the rows allow.
float listBoxMaxScroll(const UiListBox& list);

// --- knobs -------------------------------------------------------------------

// The hit circle: centred in the rectangle, radius half its width + 4.
bool knobHit(const RectF& rect, float x, float y);
// Enabled and inside the hit circle: starts a drag. Returns 0.
int knobPress(UiKnob& knob, float x, float y);
// While dragging: value := start value + (start y - y) / 200, clamped to
// 0..1 (200 pixels upwards span the range, at any DPI); 2 when it changed.
int knobDrag(UiKnob& knob, float y);
int knobRelease(UiKnob& knob);
bool knobHover(UiKnob& knob, float x, float y);

// --- faders ------------------------------------------------------------------

// Enabled and inside: starts dragging, the value jumps to the pointer;
// returns 2.
int faderPress(UiFader& fader, float x, float y);
// While dragging: the value follows the pointer; 2 when it changed.
int faderDrag(UiFader& fader, float x);
int faderRelease(UiFader& fader);
bool faderHover(UiFader& fader, float x, float y);

// --- segmented choices -------------------------------------------------------

// Enabled, not empty and inside: selects the segment under the point; 2 when
// that is a different one.
int segmentedClick(UiSegmented& segmented, float x, float y);
// The hover index follows the segment under the point (-1 when disabled,
// empty or outside); true when it changed.
bool segmentedHover(UiSegmented& segmented, float x, float y);
// Keeps the first min(n, 8) labels (n < 0 counts as 0).
void segmentedSetLabels(UiSegmented& segmented, const char* const* labels, int n);
int segmentedCount(const UiSegmented& segmented);

// --- text fields -------------------------------------------------------------

// Virtual key codes the text field understands.
enum TextFieldKey : int {
    kKeyBackspace = 8,
    kKeyEnd = 35,
    kKeyHome = 36,
    kKeyLeft = 37,
    kKeyRight = 39,
    kKeyDelete = 46,
};

// Enabled: focused := inside, and a focused field puts the caret at the end.
// Disabled: loses the focus. Returns 0.
int textFieldClick(UiTextField& field, float x, float y);
// The same, except that a field that takes the focus puts the caret at the
// click position: the next layoutTextField (WidgetPainters.h) places it.
int textFieldClickAt(UiTextField& field, float x, float y);
// Focused and enabled, a printable character (32..126) while the text is
// shorter than 254 bytes: inserted at the caret; returns 2.
int textFieldChar(UiTextField& field, int ch);
// Focused and enabled: Backspace and Delete remove a character (returns 2);
// Home, End, Left and Right move the caret (returns 0).
int textFieldKey(UiTextField& field, int virtualKey);
bool textFieldHover(UiTextField& field, float x, float y);
// Length of the text in bytes (the field is terminated first if it was not).
int textFieldLength(UiTextField& field);
// The caret limited to the text (in characters).
int textFieldCaret(const UiTextField& field);

}  // namespace qv
