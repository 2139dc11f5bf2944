#include "ui/Widgets.h"

#include "platform/graphics/Graphics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace qv {

namespace {

// 100 % of a knob's range per this many pixels of vertical travel, not scaled
// by the DPI.
constexpr float kKnobDragPixels = 200.0f;
constexpr float kSliderRailStart = 88.0f;  // from the left edge
constexpr float kSliderRailEnd = 68.0f;    // from the right edge
constexpr float kFaderInset = 4.0f;

bool changed(uint8_t& flag, bool value) {
    const uint8_t v = value ? 1 : 0;
    if (flag == v)
        return false;
    flag = v;
    return true;
}

int rowAt(float offset, float rowPixels) {
    if (!std::isfinite(offset) || offset < 0.0f || rowPixels <= 0.0f)
        return -1;
    const float row = std::floor(offset / rowPixels);
    return row > 1e6f ? -1 : static_cast<int>(row);
}

template <size_t Rows, size_t Width>
int setItems(char (&items)[Rows][Width], const char* const* source, int n) {
    const int count = source ? std::clamp(n, 0, static_cast<int>(Rows)) : 0;
    for (int i = 0; i < count; ++i)
        copyUtf8Truncated(items[i], Width, source[i]);
    return count;
}

}  // namespace

bool pointInRect(const RectF& rect, float x, float y) {
    return rect.left <= x && x < rect.right && rect.top <= y && y < rect.bottom;
}

bool pointInCircle(float cx, float cy, float radius, float x, float y) {
    const float dx = x - cx;
    const float dy = y - cy;
    return dx * dx + dy * dy <= radius * radius;
}

// --- buttons -----------------------------------------------------------------

int buttonPress(UiButton& button, float x, float y) {
    if (button.enabled && pointInRect(button.rect, x, y))
        button.pressed = 1;
    return kWidgetNone;
}

int buttonRelease(UiButton& button, float x, float y) {
    if (!button.pressed)
        return kWidgetNone;
    button.pressed = 0;
    return pointInRect(button.rect, x, y) ? kWidgetClicked : kWidgetNone;
}

bool buttonHover(UiButton& button, float x, float y) {
    return changed(button.hovered, button.enabled && pointInRect(button.rect, x, y));
}

// --- toggles -----------------------------------------------------------------

int toggleClick(UiToggle& toggle, float x, float y) {
    if (!toggle.enabled || !toggle.target || !pointInRect(toggle.rect, x, y))
        return kWidgetNone;
    *toggle.target = !*toggle.target;
    return kWidgetChanged;
}

bool toggleHover(UiToggle& toggle, float x, float y) {
    return changed(toggle.hovered, toggle.enabled && pointInRect(toggle.rect, x, y));
}

// --- sliders -----------------------------------------------------------------

RectF sliderRail(const UiSlider& slider) {
    const float s = dpiScale();
    const float cy = slider.rect.centerY();
    return RectF{slider.rect.left + kSliderRailStart * s, cy - 2.0f * s, slider.rect.right - kSliderRailEnd * s,
                 cy + 2.0f * s};
}

int sliderDrag(UiSlider& slider, float x) {
    if (!slider.dragging || !slider.target || !std::isfinite(x))
        return kWidgetNone;
    const RectF rail = sliderRail(slider);
    const float w = rail.width();
    if (!(w > 0.0f))
        return kWidgetNone;
    const float t = std::clamp((x - rail.left) / w, 0.0f, 1.0f);
    *slider.target = slider.min + t * (slider.max - slider.min);
    return kWidgetChanged;
}

int sliderPress(UiSlider& slider, float x, float y) {
    if (!slider.enabled || !slider.target || !pointInRect(slider.rect, x, y))
        return kWidgetNone;
    slider.dragging = 1;
    return sliderDrag(slider, x);
}

int sliderRelease(UiSlider& slider) {
    slider.dragging = 0;
    return kWidgetNone;
}

bool sliderHover(UiSlider& slider, float x, float y) {
    return changed(slider.hovered, slider.enabled && pointInRect(slider.rect, x, y));
}

// --- drop-downs --------------------------------------------------------------

float dropdownItemPixels(const UiDropdown& dropdown) {
    const float h = std::isfinite(dropdown.itemHeight) && dropdown.itemHeight > 0.0f ? dropdown.itemHeight
                                                                                      : kDefaultDropdownItemHeight;
    return h * dpiScale();
}

int dropdownItemCount(const UiDropdown& dropdown) { return std::clamp(dropdown.count, 0, kDropdownMaxItems); }

namespace {

void clampDropdownScroll(UiDropdown& dropdown) {
    const int most = std::max(dropdownItemCount(dropdown) - dropdownVisibleRows(dropdown), 0);
    dropdown.scroll = std::clamp(dropdown.scroll, 0, most);
}

// Scrolls so that the selected item is shown.
void showDropdownSelection(UiDropdown& dropdown) {
    const int visible = dropdownVisibleRows(dropdown);
    if (dropdown.selected < dropdown.scroll)
        dropdown.scroll = dropdown.selected;
    else if (dropdown.selected >= dropdown.scroll + visible)
        dropdown.scroll = dropdown.selected - visible + 1;
    clampDropdownScroll(dropdown);
}

}  // namespace

int dropdownVisibleRows(const UiDropdown& dropdown) {
    const int count = dropdownItemCount(dropdown);
    const float row = dropdownItemPixels(dropdown);
    const float top = dropdown.rect.bottom + 2.0f * dpiScale();
    if (count == 0 || !std::isfinite(dropdown.listLimit) || dropdown.listLimit <= 0.0f)
        return count;
    const float room = std::floor((dropdown.listLimit - top) / row);
    return std::clamp(std::isfinite(room) ? static_cast<int>(std::min(room, 1e6f)) : 1, 1, count);
}

void dropdownLayoutList(UiDropdown& dropdown) {
    const float s = dpiScale();
    const RectF& box = dropdown.rect;
    const float top = box.bottom + 2.0f * s;
    dropdown.listRect =
        RectF{box.left, top, box.right, top + static_cast<float>(dropdownVisibleRows(dropdown)) * dropdownItemPixels(dropdown)};
    showDropdownSelection(dropdown);
}

int dropdownKey(UiDropdown& dropdown, int virtualKey) {
    const int count = dropdownItemCount(dropdown);
    if (!dropdown.enabled || count == 0)
        return kWidgetNone;
    if (virtualKey == 38 || virtualKey == 40) {  // Up, Down
        const int moved = std::clamp(std::clamp(dropdown.selected, 0, count - 1) + (virtualKey == 40 ? 1 : -1), 0,
                                     count - 1);
        if (moved == dropdown.selected)
            return kWidgetNone;
        dropdown.selected = moved;
        showDropdownSelection(dropdown);
        return kWidgetChanged;
    }
    if ((virtualKey == 13 || virtualKey == 27) && dropdown.open) {  // Enter, Escape
        dropdownClose(dropdown);
        return kWidgetClicked;
    }
    return kWidgetNone;
}

bool dropdownWheel(UiDropdown& dropdown, float x, float y, int wheelDelta) {
    if (!dropdown.open || !pointInRect(dropdown.listRect, x, y))
        return false;
    const int before = dropdown.scroll;
    dropdown.scroll -= wheelDelta / 120;
    clampDropdownScroll(dropdown);
    return dropdown.scroll != before;
}

void dropdownClose(UiDropdown& dropdown) {
    dropdown.open = 0;
    dropdown.hoverIndex = -1;
}

namespace {

// The list row under the point, or -1.
int dropdownRowAt(const UiDropdown& dropdown, float x, float y) {
    if (!pointInRect(dropdown.listRect, x, y))
        return -1;
    const int row = rowAt(y - dropdown.listRect.top, dropdownItemPixels(dropdown));
    if (row < 0)
        return -1;
    return std::min(row + std::max(dropdown.scroll, 0), dropdownItemCount(dropdown) - 1);
}

}  // namespace

int dropdownClick(UiDropdown& dropdown, float x, float y) {
    if (!dropdown.enabled)
        return kWidgetNone;
    if (!dropdown.open) {
        if (pointInRect(dropdown.rect, x, y)) {
            dropdown.open = 1;
            dropdown.hoverIndex = -1;
            dropdownLayoutList(dropdown);
        }
        return kWidgetNone;
    }
    const int row = dropdownRowAt(dropdown, x, y);
    dropdownClose(dropdown);
    if (row < 0)
        return kWidgetNone;
    dropdown.selected = row;
    return kWidgetChanged;
}

bool dropdownHover(UiDropdown& dropdown, float x, float y) {
    bool any = changed(dropdown.hovered, dropdown.enabled && pointInRect(dropdown.rect, x, y));
    if (dropdown.open) {
        const int row = dropdownRowAt(dropdown, x, y);
        if (row != dropdown.hoverIndex) {
            dropdown.hoverIndex = row;
            any = true;
        }
    }
    return any;
}

void dropdownSetItems(UiDropdown& dropdown, const char* const* items, int n) {
    dropdown.count = setItems(dropdown.items, items, n);
}

// --- list boxes --------------------------------------------------------------

float listBoxRowPixels(const UiListBox& list) {
    const float h = std::isfinite(list.rowHeight) && list.rowHeight > 0.0f ? list.rowHeight : kDefaultListRowHeight;
    return h * dpiScale();
}

int listBoxItemCount(const UiListBox& list) { return std::clamp(list.count, 0, kListBoxMaxItems); }

float listBoxMaxScroll(const UiListBox& list) {
    const float content = static_cast<float>(listBoxItemCount(list)) * listBoxRowPixels(list);
    return std::max(0.0f, content - list.rect.height());
}

namespace {

float clampedScroll(const UiListBox& list) {
    if (!std::isfinite(list.scroll))
        return 0.0f;
    return std::clamp(list.scroll, 0.0f, listBoxMaxScroll(list));
}

int listBoxRowAt(const UiListBox& list, float x, float y) {
    if (!pointInRect(list.rect, x, y))
        return -1;
    const int row = rowAt(y - list.rect.top + clampedScroll(list), listBoxRowPixels(list));
    return row < listBoxItemCount(list) ? row : -1;
}

}  // namespace

int listBoxClick(UiListBox& list, float x, float y) {
    if (!list.enabled)
        return kWidgetNone;
    const int row = listBoxRowAt(list, x, y);
    if (row < 0)
        return kWidgetNone;
    list.selected = row;
    list.hoverRow = row;
    return kWidgetChanged;
}

bool listBoxHover(UiListBox& list, float x, float y) {
    bool any = changed(list.hovered, list.enabled && pointInRect(list.rect, x, y));
    const int row = listBoxRowAt(list, x, y);
    if (row != list.hoverRow) {
        list.hoverRow = row;
        any = true;
    }
    return any;
}

int listBoxScroll(UiListBox& list, int wheelDelta) {
    const float notches = static_cast<float>(wheelDelta) / 120.0f;
    list.scroll = clampedScroll(list) - listBoxRowPixels(list) * notches * 2.0f;
    list.scroll = clampedScroll(list);
    return kWidgetNone;
}

void listBoxSetItems(UiListBox& list, const char* const* items, int n) {
    list.count = setItems(list.items, items, n);
}

// --- knobs -------------------------------------------------------------------

bool knobHit(const RectF& rect, float x, float y) {
    return pointInCircle(rect.centerX(), rect.centerY(), rect.width() / 2.0f + 4.0f * dpiScale(), x, y);
}

int knobPress(UiKnob& knob, float x, float y) {
    if (knob.enabled && knobHit(knob.rect, x, y) && std::isfinite(y)) {
        knob.dragging = 1;
        knob.dragStartY = static_cast<int32_t>(std::clamp(y, -1e6f, 1e6f));
        knob.dragStartValue = std::isfinite(knob.value) ? std::clamp(knob.value, 0.0f, 1.0f) : 0.0f;
    }
    return kWidgetNone;
}

int knobDrag(UiKnob& knob, float y) {
    if (!knob.dragging || !std::isfinite(y))
        return kWidgetNone;
    const auto pointerY = static_cast<int32_t>(std::clamp(y, -1e6f, 1e6f));
    const float v = std::clamp(knob.dragStartValue + static_cast<float>(knob.dragStartY - pointerY) / kKnobDragPixels,
                               0.0f, 1.0f);
    if (v == knob.value)
        return kWidgetNone;
    knob.value = v;
    return kWidgetChanged;
}

int knobRelease(UiKnob& knob) {
    knob.dragging = 0;
    return kWidgetNone;
}

bool knobHover(UiKnob& knob, float x, float y) {
    return changed(knob.hovered, knob.enabled && knobHit(knob.rect, x, y));
}

// --- faders ------------------------------------------------------------------

namespace {

// The value at the pointer, or -1 when the fader has no width.
float faderValueAt(const UiFader& fader, float x) {
    const float s = dpiScale();
    const float a = fader.rect.left + kFaderInset * s;
    const float w = fader.rect.right - kFaderInset * s - a;
    if (!(w > 0.0f) || !std::isfinite(x))
        return -1.0f;
    return std::clamp((x - a) / w, 0.0f, 1.0f);
}

}  // namespace

int faderPress(UiFader& fader, float x, float y) {
    if (!fader.enabled || !pointInRect(fader.rect, x, y))
        return kWidgetNone;
    fader.dragging = 1;
    if (const float v = faderValueAt(fader, x); v >= 0.0f)
        fader.value = v;
    return kWidgetChanged;
}

int faderDrag(UiFader& fader, float x) {
    if (!fader.dragging)
        return kWidgetNone;
    const float v = faderValueAt(fader, x);
    if (v < 0.0f || v == fader.value)
        return kWidgetNone;
    fader.value = v;
    return kWidgetChanged;
}

int faderRelease(UiFader& fader) {
    fader.dragging = 0;
    return kWidgetNone;
}

bool faderHover(UiFader& fader, float x, float y) {
    return changed(fader.hovered, fader.enabled && pointInRect(fader.rect, x, y));
}

// --- segmented choices -------------------------------------------------------

int segmentedCount(const UiSegmented& segmented) { return std::clamp(segmented.count, 0, kSegmentedMaxLabels); }

namespace {

int segmentAt(const UiSegmented& segmented, float x, float y) {
    const int count = segmentedCount(segmented);
    const float width = segmented.rect.width();
    if (!segmented.enabled || count == 0 || !(width > 0.0f) || !pointInRect(segmented.rect, x, y))
        return -1;
    const int i = static_cast<int>(std::floor((x - segmented.rect.left) / (width / static_cast<float>(count))));
    return i >= 0 && i < count ? i : -1;
}

}  // namespace

int segmentedClick(UiSegmented& segmented, float x, float y) {
    const int i = segmentAt(segmented, x, y);
    if (i < 0 || i == segmented.selected)
        return kWidgetNone;
    segmented.selected = i;
    return kWidgetChanged;
}

bool segmentedHover(UiSegmented& segmented, float x, float y) {
    const int i = segmentAt(segmented, x, y);
    if (i == segmented.hoverIndex)
        return false;
    segmented.hoverIndex = i;
    return true;
}

void segmentedSetLabels(UiSegmented& segmented, const char* const* labels, int n) {
    segmented.count = setItems(segmented.labels, labels, n);
}

// --- text fields -------------------------------------------------------------

int textFieldLength(UiTextField& field) {
    field.text[kTextFieldSize - 1] = '\0';
    return static_cast<int>(std::strlen(field.text));
}

int textFieldCaret(const UiTextField& field) {
    const std::string_view text(field.text, ::strnlen(field.text, kTextFieldSize - 1));
    return std::clamp(field.caret, 0, utf8CharacterCount(text));
}

namespace {

std::string_view fieldText(UiTextField& field) {
    return std::string_view(field.text, static_cast<size_t>(textFieldLength(field)));
}

}  // namespace

int textFieldClick(UiTextField& field, float x, float y) {
    if (!field.enabled) {
        field.focused = 0;
        return kWidgetNone;
    }
    field.focused = pointInRect(field.rect, x, y) ? 1 : 0;
    if (field.focused) {
        field.caret = utf8CharacterCount(fieldText(field));
        field.selectionAnchor = -1;
    }
    return kWidgetNone;
}

int textFieldClickAt(UiTextField& field, float x, float y) {
    textFieldClick(field, x, y);
    field.clickPending = field.focused && std::isfinite(x) && std::isfinite(y) ? 1 : 0;
    field.clickX = x;
    field.clickY = y;
    return kWidgetNone;
}

int textFieldChar(UiTextField& field, int ch) {
    if (!field.focused || !field.enabled || ch < 32 || ch > 126)
        return kWidgetNone;
    const std::string_view text = fieldText(field);
    if (static_cast<int>(text.size()) >= kTextFieldMaxLength)
        return kWidgetNone;
    const int caret = textFieldCaret(field);
    const size_t at = utf8ByteOffset(text, caret);
    std::memmove(field.text + at + 1, field.text + at, text.size() - at + 1);  // with the terminator
    field.text[at] = static_cast<char>(ch);
    field.caret = caret + 1;
    return kWidgetChanged;
}

int textFieldKey(UiTextField& field, int virtualKey) {
    if (!field.focused || !field.enabled)
        return kWidgetNone;
    const std::string_view text = fieldText(field);
    const int characters = utf8CharacterCount(text);
    const int caret = textFieldCaret(field);
    field.caret = caret;
    // Removes the character [from, to) in bytes.
    const auto erase = [&](size_t from, size_t to) {
        std::memmove(field.text + from, field.text + to, text.size() - to + 1);
    };
    switch (virtualKey) {
    case kKeyBackspace:
        if (caret <= 0)
            return kWidgetNone;
        erase(utf8ByteOffset(text, caret - 1), utf8ByteOffset(text, caret));
        field.caret = caret - 1;
        return kWidgetChanged;
    case kKeyDelete:
        if (caret >= characters)
            return kWidgetNone;
        erase(utf8ByteOffset(text, caret), utf8ByteOffset(text, caret + 1));
        return kWidgetChanged;
    case kKeyHome:
        field.caret = 0;
        break;
    case kKeyEnd:
        field.caret = characters;
        break;
    case kKeyLeft:
        if (caret > 0)
            field.caret = caret - 1;
        break;
    case kKeyRight:
        if (caret < characters)
            field.caret = caret + 1;
        break;
    default:
        break;
    }
    return kWidgetNone;
}

bool textFieldHover(UiTextField& field, float x, float y) {
    return changed(field.hovered, field.enabled && pointInRect(field.rect, x, y));
}

}  // namespace qv
