#include "ui/WidgetPainters.h"

#include "platform/graphics/Graphics.h"
#include "ui/Appearance.h"
#include "ui/Shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace qv {

namespace {

constexpr float kKnobStartDegrees = 135.0f;
constexpr float kKnobSweepDegrees = 270.0f;
constexpr int kFaderSegments = 20;

template <size_t N>
std::string_view fieldView(const char (&field)[N]) {
    return std::string_view(field, ::strnlen(field, N));
}

void text(DrawContext& context, int format, std::string_view value, const RectF& rect, const Brush& brush,
          TextAlignment alignment, ParagraphAlignment paragraph, TextWrap wrap = TextWrap::SingleLine) {
    if (value.empty())
        return;
    context.drawText(guiTextFormat(format), value, rect, brush, alignment, paragraph, wrap);
}

void centredText(DrawContext& context, int format, std::string_view value, const RectF& rect, const Brush& brush) {
    text(context, format, value, rect, brush, TextAlignment::Center, ParagraphAlignment::Center);
}

void outline(DrawContext& context, const RectF& rect, float radius, const Brush& brush) {
    context.drawRoundedRect(rect, radius, brush, 1.0f);
}

RectF inset(const RectF& r, float dx, float dy) { return RectF{r.left + dx, r.top + dy, r.right - dx, r.bottom - dy}; }

// The caption above a box, bottom-aligned in the 16 pixels over it.
void labelAbove(DrawContext& context, std::string_view label, const RectF& box, float s) {
    text(context, kFormatCaption, label, RectF{box.left, box.top - 18.0f * s, box.right, box.top - 2.0f * s},
         guiBrush(kBrushText38), TextAlignment::Leading, ParagraphAlignment::Far);
}

const Brush& accent(int which) { return guiBrush(kBrushAccent + which); }

}  // namespace

// --- button ----------------------------------------------------------------

void drawButton(DrawContext& context, const UiButton& button) {
    const float s = dpiScale();
    const float radius = 6.0f * s;
    const RectF& r = button.rect;
    const std::string_view label = fieldView(button.label);
    const Brush* labelBrush = &guiBrush(kBrushText78);
    if (!button.enabled) {
        context.fillRoundedRect(r, radius, guiBrush(kBrushSurface));
        outline(context, r, radius, guiBrush(kBrushLineFaint));
        labelBrush = &guiBrush(kBrushText22);
    } else if (button.style == kButtonPrimary) {
        context.fillRoundedRect(r, radius, button.pressed ? accent(2) : accent(0));
        if (button.hovered && !button.pressed)
            outline(context, r, radius, accent(1));
        labelBrush = button.pressed ? &guiBrush(kBrushText55) : &guiBrush(accentLabelBrush());
    } else if (button.style == kButtonDestructive) {
        context.fillRoundedRect(r, radius, guiBrush(kBrushRaised));
        outline(context, r, radius, guiBrush(button.hovered ? kBrushLineBright : kBrushLineStrong));
        labelBrush = &guiBrush(kBrushText);
    } else {
        if (button.pressed)
            context.fillRoundedRect(r, radius, guiBrush(kBrushSurface));
        else
            fillGradientRect(&context, r, radius, guiGradient(button.hovered ? kGradientG1 : kGradientG0));
        outline(context, r, radius, guiBrush(kBrushLine));
    }
    centredText(context, kFormatControl, label, r, *labelBrush);
}

// --- toggle ----------------------------------------------------------------

void drawToggle(DrawContext& context, const UiToggle& toggle) {
    const float s = dpiScale();
    const RectF& r = toggle.rect;
    const float side = 18.0f * s;
    const RectF box{r.left, r.centerY() - side / 2.0f, r.left + side, r.centerY() + side / 2.0f};
    const float radius = 4.0f * s;
    if (toggle.target && *toggle.target) {
        context.fillRoundedRect(box, radius, accent(0));
        const float k = 0.22f * side;
        const float cx = box.centerX();
        const float cy = box.centerY();
        const PointF a{cx - 1.2f * k, cy};
        const PointF b{cx - 0.1f * k, cy + k};
        const PointF c{cx + 1.4f * k, cy - 0.8f * k};
        context.drawLine(a, b, guiBrush(accentLabelBrush()), 2.0f * s, LineCap::Round);
        context.drawLine(b, c, guiBrush(accentLabelBrush()), 2.0f * s, LineCap::Round);
    } else {
        context.fillRoundedRect(box, radius, guiBrush(kBrushSurface));
        outline(context, box, radius, guiBrush(toggle.hovered ? kBrushLineBright : kBrushLineStrong));
    }
    text(context, kFormatControl, fieldView(toggle.label), RectF{box.right + 8.0f * s, r.top, r.right, r.bottom},
         guiBrush(toggle.enabled ? kBrushText78 : kBrushText22), TextAlignment::Leading, ParagraphAlignment::Center);
}

// --- slider ----------------------------------------------------------------

void drawSlider(DrawContext& context, const UiSlider& slider) {
    const float s = dpiScale();
    const RectF& r = slider.rect;
    float value = slider.target ? *slider.target : 0.0f;
    if (!std::isfinite(value))
        value = 0.0f;
    text(context, kFormatCaption, fieldView(slider.label), RectF{r.left, r.top, r.left + 80.0f * s, r.bottom},
         guiBrush(kBrushText38), TextAlignment::Leading, ParagraphAlignment::Center);
    char unit[sizeof slider.unit + 1] = {};
    std::memcpy(unit, slider.unit, sizeof slider.unit);
    char valueText[64];
    if (slider.percentDisplay)
        std::snprintf(valueText, sizeof valueText, "%d%s",
                      static_cast<int>(std::lround(std::clamp(value * 100.0f, -1e6f, 1e6f))), unit);
    else
        std::snprintf(valueText, sizeof valueText, "%.1f%s", static_cast<double>(value), unit);
    text(context, kFormatControl, valueText, RectF{r.right - 60.0f * s, r.top, r.right, r.bottom},
         guiBrush(kBrushText78), TextAlignment::Trailing, ParagraphAlignment::Center);

    const RectF rail = sliderRail(slider);
    if (!(rail.width() > 0.0f))
        return;
    context.fillRoundedRect(rail, 2.0f * s, guiBrush(kBrushHover));
    const float range = slider.max - slider.min;
    const float t = range != 0.0f && std::isfinite(range) ? std::clamp((value - slider.min) / range, 0.0f, 1.0f) : 0.0f;
    const float x = rail.left + t * rail.width();
    if (x > rail.left + 2.0f * s) {
        Brush fill = guiGradient(kGradientG3);
        fill.start = PointF{rail.left, rail.centerY()};
        fill.end = PointF{rail.right, rail.centerY()};
        context.fillRoundedRect(RectF{rail.left, rail.top, x, rail.bottom}, 2.0f * s, fill);
    }
    const PointF thumb{x, rail.centerY()};
    if (slider.hovered || slider.dragging)
        context.fillEllipse(thumb, 10.0f * s, 10.0f * s, accent(2));
    context.fillEllipse(thumb, 7.0f * s, 7.0f * s, guiBrush(kBrushText));
}

// --- drop-down -------------------------------------------------------------

void drawDropdown(DrawContext& context, const UiDropdown& dropdown) {
    const float s = dpiScale();
    const RectF& r = dropdown.rect;
    const float radius = 6.0f * s;
    labelAbove(context, fieldView(dropdown.label), r, s);
    if (dropdown.enabled && (dropdown.hovered || dropdown.open)) {
        fillGradientRect(&context, r, radius, guiGradient(kGradientG1));
        outline(context, r, radius, dropdown.open ? accent(3) : guiBrush(kBrushLineStrong));
    } else if (dropdown.enabled) {
        fillGradientRect(&context, r, radius, guiGradient(kGradientG0));
        outline(context, r, radius, guiBrush(kBrushLine));
    } else {
        context.fillRoundedRect(r, radius, guiBrush(kBrushSurface));
        outline(context, r, radius, guiBrush(kBrushLineFaint));
    }
    const int count = dropdownItemCount(dropdown);
    if (dropdown.selected >= 0 && dropdown.selected < count)
        text(context, kFormatControl, fieldView(dropdown.items[dropdown.selected]),
             RectF{r.left + 10.0f * s, r.top, r.right - 24.0f * s, r.bottom},
             guiBrush(dropdown.enabled ? kBrushText78 : kBrushText22), TextAlignment::Leading,
             ParagraphAlignment::Center);
    const float cx = r.right - 14.0f * s;
    const float cy = r.centerY();
    const float half = 4.0f * s;
    const float rise = (dropdown.open ? -2.0f : 2.0f) * s;  // tip above the centre when open
    context.beginPath();
    context.moveTo(PointF{cx - half, cy - rise});
    context.lineTo(PointF{cx + half, cy - rise});
    context.lineTo(PointF{cx, cy + rise});
    context.closePath();
    context.fillPath(guiBrush(kBrushText38));
    context.beginPath();
}

void drawDropdownList(DrawContext& context, const UiDropdown& dropdown) {
    const int count = dropdownItemCount(dropdown);
    if (!dropdown.open || count < 1)
        return;
    const float s = dpiScale();
    const float radius = 6.0f * s;
    const RectF& list = dropdown.listRect;
    const RectF shadow{list.left + 2.0f * s, list.top + 2.0f * s, list.right + 2.0f * s, list.bottom + 2.0f * s};
    context.fillRoundedRect(shadow, radius, guiBrush(kBrushShadow));
    context.fillRoundedRect(list, radius, guiBrush(kBrushRaised));
    outline(context, list, radius, guiBrush(kBrushLineStrong));
    const float row = dropdownItemPixels(dropdown);
    const float rows = list.height() / row;
    const int visible = std::isfinite(rows) ? std::clamp(static_cast<int>(std::lround(std::min(rows, 1e6f))), 1, count) : count;
    const int first = std::clamp(dropdown.scroll, 0, std::max(count - visible, 0));
    context.pushClip(list);
    for (int i = first; i < count; ++i) {
        const float top = list.top + static_cast<float>(i - first) * row;
        if (top >= list.bottom)
            break;
        const RectF rowRect{list.left, top, list.right, top + row};
        const bool hovered = i == dropdown.hoverIndex;
        if (hovered)
            context.fillRect(RectF{rowRect.left + 1.0f * s, rowRect.top, rowRect.right - 1.0f * s, rowRect.bottom},
                             guiBrush(kBrushHover));
        const Brush& brush = i == dropdown.selected ? accent(0) : guiBrush(hovered ? kBrushText : kBrushText55);
        text(context, kFormatControl, fieldView(dropdown.items[i]), inset(rowRect, 10.0f * s, 0.0f), brush,
             TextAlignment::Leading, ParagraphAlignment::Center);
        if (i < count - 1)
            context.drawLine(PointF{rowRect.left + 8.0f * s, rowRect.bottom}, PointF{rowRect.right - 8.0f * s, rowRect.bottom},
                             guiBrush(kBrushLineFaint), 1.0f);
    }
    if (count > visible) {
        // A scroll bar at the right edge: the thumb shows which rows are in view.
        const float track = list.height() - 8.0f * s;
        const float thumb = std::max(track * static_cast<float>(visible) / static_cast<float>(count), 12.0f * s);
        const float offset = (track - thumb) * static_cast<float>(first) / static_cast<float>(count - visible);
        context.fillRoundedRect(RectF{list.right - 7.0f * s, list.top + 4.0f * s + offset, list.right - 3.0f * s,
                                      list.top + 4.0f * s + offset + thumb},
                                2.0f * s, guiBrush(kBrushLineStrong));
    }
    context.popClip();
}

// --- list box --------------------------------------------------------------

void drawListBox(DrawContext& context, const UiListBox& list) {
    const float s = dpiScale();
    const RectF& r = list.rect;
    const float radius = 6.0f * s;
    labelAbove(context, fieldView(list.label), r, s);
    context.fillRoundedRect(r, radius, guiBrush(kBrushSurface));
    outline(context, r, radius, guiBrush(kBrushLine));
    const int count = listBoxItemCount(list);
    const float row = listBoxRowPixels(list);
    const float scroll = std::isfinite(list.scroll) ? std::clamp(list.scroll, 0.0f, listBoxMaxScroll(list)) : 0.0f;
    context.pushClip(r);
    for (int i = 0; i < count; ++i) {
        const float top = r.top - scroll + static_cast<float>(i) * row;
        if (top + row <= r.top)
            continue;
        if (top >= r.bottom)
            break;
        const RectF rowRect{r.left, top, r.right, top + row};
        const RectF fill{rowRect.left + 1.0f * s, rowRect.top, rowRect.right - 1.0f * s, rowRect.bottom};
        const bool selected = i == list.selected;
        const bool hovered = i == list.hoverRow;
        if (selected)
            context.fillRect(fill, accent(2));
        else if (hovered)
            context.fillRect(fill, guiBrush(kBrushHover));
        text(context, kFormatControl, fieldView(list.items[i]), inset(rowRect, 10.0f * s, 0.0f),
             guiBrush(selected || hovered ? kBrushText : kBrushText55), TextAlignment::Leading,
             ParagraphAlignment::Center);
    }
    context.popClip();
    const float boxHeight = r.height();
    const float content = static_cast<float>(count) * row;
    if (content > boxHeight && boxHeight > 0.0f) {
        const float thumb = std::max(20.0f * s, boxHeight / content * (boxHeight - 4.0f * s));
        const float top = r.top + 2.0f * s + scroll / (content - boxHeight) * (boxHeight - 4.0f * s - thumb);
        context.fillRoundedRect(RectF{r.right - 4.0f * s, top, r.right - 1.0f * s, top + thumb}, 1.5f * s,
                                guiBrush(kBrushText22));
    }
}

// --- knob ------------------------------------------------------------------

void drawKnob(DrawContext& context, const UiKnob& knob) {
    const float s = dpiScale();
    const RectF& r = knob.rect;
    const float value = std::isfinite(knob.value) ? std::clamp(knob.value, 0.0f, 1.0f) : 0.0f;
    const PointF c{r.centerX(), r.centerY()};
    const float R = r.width() / 2.0f - 1.0f * s;
    if (!(R > 0.0f))
        return;
    context.pushLayer(knob.enabled && knob.active ? 1.0f : 0.35f);
    const Brush faint = withOpacity(guiBrush(kBrushLineFaint), 0.08f);
    context.fillEllipse(c, R, R, guiBrush(kBrushInk));
    context.drawEllipse(c, R, R, faint, 0.6f * s);
    const float arcRadius = R - 2.0f * s;
    drawArc(context, c, arcRadius, kKnobStartDegrees, kKnobStartDegrees + kKnobSweepDegrees, faint, 2.0f * s);
    const float valueDegrees = kKnobStartDegrees + kKnobSweepDegrees * value;
    if (value > 0.01f) {
        drawArc(context, c, arcRadius, kKnobStartDegrees, valueDegrees, withOpacity(accent(2), 0.35f), 3.0f * s);
        drawArc(context, c, arcRadius, kKnobStartDegrees, valueDegrees, accent(0), 2.0f * s);
    }
    const float body = R - 6.0f * s;
    if (body > 0.0f) {
        context.fillEllipse(c, body, body, guiBrush(kBrushWindow));
        context.drawEllipse(c, body, body, withOpacity(guiBrush(kBrushLineFaint), 0.1f), 0.5f * s);
    }
    const float dotRadius = R - 7.0f * s;
    if (dotRadius > 0.0f) {
        const PointF dot = polarPoint(c.x, c.y, dotRadius, valueDegrees);
        context.fillEllipse(dot, 2.4f * s, 2.4f * s, withOpacity(accent(2), 0.5f));
        context.fillEllipse(dot, 1.4f * s, 1.4f * s, accent(0));
        context.fillEllipse(dot, 0.5f * s, 0.5f * s, withOpacity(guiBrush(kBrushText), 0.8f));
    }
    centredText(context, kFormatCaption, fieldView(knob.caption),
                RectF{c.x - 28.0f * s, r.bottom + 2.0f * s, c.x + 28.0f * s, r.bottom + 14.0f * s},
                guiBrush(kBrushText38));
    char valueText[16];
    std::snprintf(valueText, sizeof valueText, "%d%%", static_cast<int>(std::lround(value * 100.0f)));
    centredText(context, kFormatCaption, valueText,
                RectF{c.x - 20.0f * s, r.bottom + 14.0f * s, c.x + 20.0f * s, r.bottom + 26.0f * s},
                guiBrush(kBrushText55));
    context.popLayer();
}

// --- fader -----------------------------------------------------------------

void drawFader(DrawContext& context, const UiFader& fader) {
    const float s = dpiScale();
    const RectF& r = fader.rect;
    const float value = std::isfinite(fader.value) ? std::clamp(fader.value, 0.0f, 1.0f) : 0.0f;
    const float left = r.left + 4.0f * s;
    const float width = r.right - 4.0f * s - left;
    if (!(width > 0.0f))
        return;
    const float cy = r.centerY();
    const RectF track{left, cy - 5.0f * s, left + width, cy + 5.0f * s};
    context.pushLayer(fader.enabled ? 1.0f : 0.35f);
    context.fillRoundedRect(RectF{track.left - 2.0f * s, track.top - 1.5f * s, track.right + 2.0f * s,
                                  track.bottom + 1.5f * s},
                            2.0f * s, guiBrush(kBrushInk));
    const float x = left + value * width;
    if (value > 0.01f) {
        context.fillRoundedRect(RectF{track.left, track.top - 3.0f * s, x, track.bottom + 3.0f * s}, 3.0f * s,
                                withOpacity(accent(0), 0.06f));
        context.fillRoundedRect(RectF{track.left, track.top - 1.0f * s, x, track.bottom + 1.0f * s}, 2.0f * s,
                                withOpacity(accent(0), 0.12f));
    }
    const float segment = width / static_cast<float>(kFaderSegments);
    const float slant = 1.8f * s;
    for (int j = 0; j < kFaderSegments; ++j) {
        const float x0 = left + static_cast<float>(j) * segment + 1.0f * s;
        const float x1 = left + static_cast<float>(j + 1) * segment - 1.0f * s;
        if (!(x1 > x0))
            continue;
        pathSlantedSegment(context, x0, x1, track.top, track.bottom, slant);
        const bool lit = value >= static_cast<float>(j + 1) / kFaderSegments;
        if (lit) {
            context.fillPath(withOpacity(accent(0), 0.55f + 0.45f * static_cast<float>(j) / kFaderSegments));
        } else {
            context.fillPath(withOpacity(guiBrush(kBrushText), 0.04f));
            context.strokePath(guiBrush(kBrushLineFaint), 1.0f);
        }
    }
    context.beginPath();
    context.drawLine(PointF{left + 0.85f * width, track.top - 3.0f * s}, PointF{left + width, track.top - 3.0f * s},
                     withOpacity(accent(0), 0.7f), 1.0f * s);
    const RectF handle{x - 3.0f * s, cy - 10.0f * s, x + 3.0f * s, cy + 10.0f * s};
    if (fader.dragging)
        context.fillRoundedRect(inset(handle, -3.0f * s, -3.0f * s), 3.0f * s, accent(1));
    context.fillRoundedRect(handle, 1.5f * s, accent(0));
    context.popLayer();
}

// --- segmented -------------------------------------------------------------

void drawSegmented(DrawContext& context, const UiSegmented& segmented) {
    const int count = segmentedCount(segmented);
    const RectF& r = segmented.rect;
    if (count == 0 || !(r.width() > 0.0f))
        return;
    context.pushLayer(segmented.enabled ? 1.0f : 0.4f);
    const float width = r.width() / static_cast<float>(count);
    for (int i = 0; i < count; ++i) {
        const RectF seg{r.left + static_cast<float>(i) * width, r.top, r.left + static_cast<float>(i + 1) * width,
                        r.bottom};
        const std::string_view label = fieldView(segmented.labels[i]);
        if (i == segmented.selected) {
            context.fillRect(seg, accent(2));
            context.drawRoundedRect(seg, 0.0f, accent(0), 1.0f);
            centredText(context, kFormatSectionTitle, label, seg, guiBrush(kBrushText));
        } else {
            const bool hovered = i == segmented.hoverIndex;
            context.fillRect(seg, guiBrush(hovered ? kBrushHover : kBrushRaised));
            context.drawRoundedRect(seg, 0.0f, guiBrush(hovered ? kBrushLineStrong : kBrushLine), 1.0f);
            centredText(context, kFormatControl, label, seg, guiBrush(hovered ? kBrushText78 : kBrushText38));
        }
    }
    context.popLayer();
}

// --- text field ------------------------------------------------------------

namespace {

// Where a field's text lies: one line between the side margins, or a wrapped
// block inside all four margins.
RectF textFieldInner(const UiTextField& field, float s) {
    const RectF& r = field.rect;
    if (field.wrap)
        return RectF{r.left + 10.0f * s, r.top + 8.0f * s, r.right - 10.0f * s, r.bottom - 8.0f * s};
    return RectF{r.left + 10.0f * s, r.top, r.right - 10.0f * s, r.bottom};
}

std::string_view textFieldValue(const UiTextField& field) {
    return std::string_view(field.text, ::strnlen(field.text, kTextFieldSize - 1));
}

}  // namespace

void layoutTextField(DrawContext& context, UiTextField& field) {
    const float s = dpiScale();
    const RectF inner = textFieldInner(field, s);
    const std::string_view value = textFieldValue(field);
    const TextFormat* format = guiTextFormat(kFormatControl);
    if (!std::isfinite(field.scrollX) || !std::isfinite(field.scrollY))
        field.scrollX = field.scrollY = 0;
    if (field.wrap) {
        field.scrollX = 0;
        const float width = std::max(inner.width(), 1.0f);
        if (field.clickPending) {
            field.caret = context.hitTestText(format, value, width, field.clickX - inner.left,
                                              field.clickY - inner.top + field.scrollY);
        }
        const RectF caret = context.caretRect(format, value, width, textFieldCaret(field));
        const float textHeight = std::max(value.empty() ? 0.0f : context.measureText(format, value, width).height,
                                          caret.bottom);
        if (caret.top < field.scrollY)
            field.scrollY = caret.top;
        if (caret.bottom > field.scrollY + inner.height())
            field.scrollY = caret.bottom - inner.height();
        field.scrollY = std::clamp(field.scrollY, 0.0f, std::max(textHeight - inner.height(), 0.0f));
    } else {
        field.scrollY = 0;
        if (field.clickPending)
            field.caret = context.hitTestText(format, value, field.clickX - inner.left + field.scrollX);
        // Room for the caret's own width at the right edge.
        const float visible = std::max(inner.width() - 2.0f * s, 1.0f);
        const float offset = context.caretOffset(format, value, textFieldCaret(field));
        const float textWidth = value.empty() ? 0.0f : context.caretOffset(format, value, kTextFieldSize);
        if (offset < field.scrollX)
            field.scrollX = offset;
        if (offset > field.scrollX + visible)
            field.scrollX = offset - visible;
        field.scrollX = std::clamp(field.scrollX, 0.0f, std::max(textWidth - visible, 0.0f));
    }
    field.clickPending = 0;
}

void drawTextField(DrawContext& context, const UiTextField& field) {
    const float s = dpiScale();
    const RectF& r = field.rect;
    const float radius = 6.0f * s;
    labelAbove(context, fieldView(field.label), r, s);
    context.fillRoundedRect(r, radius, guiBrush(kBrushSurface));
    outline(context, r, radius,
            field.focused ? accent(3) : guiBrush(field.hovered ? kBrushLineStrong : kBrushLine));
    const std::string_view value = textFieldValue(field);
    const RectF inner = textFieldInner(field, s);
    const float scrollX = std::isfinite(field.scrollX) ? std::max(field.scrollX, 0.0f) : 0.0f;
    const float scrollY = std::isfinite(field.scrollY) ? std::max(field.scrollY, 0.0f) : 0.0f;
    const bool showCaret = field.focused && field.enabled;
    const TextFormat* format = guiTextFormat(kFormatControl);
    if (field.wrap) {
        context.pushClip(inner);
        const RectF block{inner.left, inner.top - scrollY, inner.right, inner.bottom + scrollY};
        if (!value.empty())
            text(context, kFormatControl, value, block, guiBrush(kBrushText), TextAlignment::Leading,
                 ParagraphAlignment::Near, TextWrap::Wrap);
        else
            text(context, kFormatControl, fieldView(field.placeholder), inner, guiBrush(kBrushText22),
                 TextAlignment::Leading, ParagraphAlignment::Near, TextWrap::Wrap);
        if (showCaret) {
            const RectF caret = context.caretRect(format, value, inner.width(), textFieldCaret(field));
            const float x = std::min(inner.left + caret.left, inner.right - 1.0f * s);
            context.drawLine(PointF{x, block.top + caret.top}, PointF{x, block.top + caret.bottom},
                             guiBrush(kBrushText), 1.0f);
        }
        context.popClip();
        return;
    }
    if (!value.empty()) {
        // Clipped to the margins; shifted left when the caret lies past the right one.
        context.pushClip(inner);
        text(context, kFormatControl, value, RectF{inner.left - scrollX, r.top, inner.right, r.bottom},
             guiBrush(kBrushText), TextAlignment::Leading, ParagraphAlignment::Center);
        context.popClip();
    } else {
        text(context, kFormatControl, fieldView(field.placeholder), inner, guiBrush(kBrushText22),
             TextAlignment::Leading, ParagraphAlignment::Center);
    }
    if (showCaret) {
        const float offset = context.caretOffset(format, value, textFieldCaret(field)) - scrollX;
        const float x = std::min(r.left + 10.0f * s + offset, r.right - 12.0f * s);
        context.drawLine(PointF{x, r.top + 6.0f * s}, PointF{x, r.bottom - 6.0f * s}, guiBrush(kBrushText), 1.0f);
    }
}

}  // namespace qv
