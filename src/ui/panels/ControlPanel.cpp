#include "ui/panels/ControlPanel.h"

#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/Appearance.h"
#include "ui/Shapes.h"
#include "ui/WidgetPainters.h"
#include "ui/Widgets.h"
#include "ui/panels/BandDrawing.h"
#include "ui/panels/FrameDamage.h"
#include "ui/panels/LayerCache.h"
#include "ui/panels/MainWindowBands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace qv {

using namespace bands;

namespace {

constexpr float kPanelWidth = 360.0f;
constexpr float kHighRange = 0.85f;
constexpr int kRingSegments = 30;

ControlPanelState& state() { return mainWindowBands().panel; }

void ensureKnobFormats(float s) {
    ControlPanelState& panel = state();
    if (panel.formatScale == s && panel.smallFormat && panel.largeFormat)
        return;
    panel.formatScale = s;
    panel.smallFormat = createTextFormat("Inter Tight", 12.0f * s, 700, FontStyle::Normal);
    panel.largeFormat = createTextFormat("Inter Tight", 28.0f * s, 700, FontStyle::Normal);
}

const TextFormat* knobFormat(bool large) {
    const ControlPanelState& panel = state();
    const TextFormat* own = large ? panel.largeFormat.get() : panel.smallFormat.get();
    return own ? own : guiTextFormat(large ? kFormatSliderValue : kFormatCaption);
}

void sectionHeader(DrawContext& context, float x, float y, float r, const char* number, const char* title, float s) {
    text(context, kFormatSectionNumber, number, RectF{x, y, x + 22 * s, y + 16 * s}, kBrushAccent,
         TextAlignment::Leading);
    text(context, kFormatSectionTitle, title, RectF{x + 28 * s, y, r, y + 16 * s}, kBrushText, TextAlignment::Leading);
}

// A zone row's parts that do not follow the gain: name, unit and scale.
void paintZoneRowBase(DrawContext& context, const ZoneConfig& zone, float x, float y, float r, float s) {
    text(context, kFormatSliderLabel, textOf(zone.name), RectF{x, y, x + 55 * s, y + 20 * s}, kBrushText55,
         TextAlignment::Leading);
    text(context, kFormatUnit, "%", RectF{r - 10 * s, y, r, y + 20 * s}, kBrushText38, TextAlignment::Trailing);
    const float width = r - x;
    const Brush dim = withOpacity(guiBrush(kBrushText), 0.3f);
    for (int tick = 0; tick <= 100; tick += 25) {
        const float f = tick / 100.0f;
        const float tx = x + f * width;
        const Brush& brush = f >= kHighRange ? guiBrush(kBrushAccent) : dim;
        context.fillRect(RectF{tx, y + 37 * s, tx + 1.0f, y + 41 * s}, brush);
        char label[8];
        std::snprintf(label, sizeof(label), "%d", tick);
        textWith(context, kFormatCaption, label, RectF{tx - 14 * s, y + 41 * s, tx + 14 * s, y + 52 * s}, brush);
    }
}

// The gain as a number and as the fader.
void paintZoneRowValue(DrawContext& context, float gain, bool dragging, float x, float y, float r, float s) {
    char value[16];
    std::snprintf(value, sizeof(value), "%.0f", gain * 100.0f);
    text(context, kFormatSliderValue, value, RectF{r - 50 * s, y, r - 10 * s, y + 20 * s}, kBrushAccent,
         TextAlignment::Trailing);
    UiFader fader;
    fader.rect = RectF{x - 4 * s, y + 20 * s, r + 4 * s, y + 40 * s};
    fader.value = gain;
    fader.dragging = dragging ? 1 : 0;
    drawFader(context, fader);
}

float zoneGain(const ZoneConfig& zone) { return std::isfinite(zone.gain) ? std::clamp(zone.gain, 0.0f, 1.0f) : 0.0f; }

}  // namespace

const ControlPanelState& controlPanelState() { return state(); }

void resetControlPanel() { state() = ControlPanelState{}; }

RectF controlPanelRect(float width, float height) {
    const float s = dpiScale();
    const float right = width - 22.0f * s;
    const float top = (18.0f + 56.0f + 52.0f) * s;
    return RectF{right - kPanelWidth * s, top, right, std::max(top, height - (44.0f + 18.0f) * s)};
}

namespace {

float knobValue(float value) { return std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f; }

int litSegments(float v) {
    return std::clamp(static_cast<int>(std::floor(v * kRingSegments + 1e-4f)), 0, kRingSegments);
}

bool isHighSegment(int i) { return static_cast<float>(i) / kRingSegments >= kHighRange; }

void ringSegment(DrawContext& context, PointF c, int i, const Brush& brush, float s) {
    const float a0 = 135.0f + 270.0f * i / kRingSegments + 0.5f;
    const float a1 = 135.0f + 270.0f * (i + 1) / kRingSegments - 0.5f;
    drawRingSegment(context, c, 124.4f * s, 135.6f * s, a0, a1, brush);
}

// What of the knob pulses with the glow: the arc over the top of the range,
// the lit segments of the top 15 % and the halo at the pointer's tip.
void paintKnobPulse(DrawContext& context, float cx, float cy, float v, float time, float s) {
    const float g = 0.5f + 0.5f * std::sin(4.0f * time);
    const PointF c{cx, cy};
    const Brush& accent = guiBrush(kBrushAccent);
    drawArc(context, c, 153 * s, 364.5f, 405.0f, withOpacity(accent, 0.7f + 0.3f * g), 3 * s);
    const int lit = litSegments(v);
    for (int i = 0; i < lit; ++i)
        if (isHighSegment(i))
            ringSegment(context, c, i, withOpacity(accent, 0.85f + 0.15f * g), s);
    const PointF tip = polarPoint(cx, cy, 114 * s, 135.0f + 270.0f * v);
    context.fillEllipse(tip, 6 * s, 6 * s, withOpacity(accent, 0.5f + 0.4f * g));
    context.fillEllipse(tip, 4 * s, 4 * s, guiBrush(kBrushText));
}

// The knob's face: what does not change with its value (discs, outer ring,
// scale and numbers).
void paintKnobFace(DrawContext& context, float cx, float cy, float s) {
    const PointF c{cx, cy};
    const Brush& accent = guiBrush(kBrushAccent);
    const GradientStop haloStops[3] = {{0.0f, rgb(44, 48, 56)}, {0.4f, rgb(22, 25, 31)}, {1.0f, rgb(0, 0, 0)}};
    const GradientStop faceStops[2] = {{0.0f, rgb(10, 12, 17)}, {1.0f, rgb(2, 3, 8)}};
    context.fillEllipse(c, 155 * s, 155 * s, radialGradientBrush(c, PointF{0, -35 * s}, 155 * s, haloStops, 3));
    context.fillEllipse(c, 148 * s, 148 * s, radialGradientBrush(c, PointF{0, -26 * s}, 148 * s, faceStops, 2));
    context.drawEllipse(c, 148 * s, 148 * s, guiBrush(kBrushText), 1.0f);

    for (int j = 0; j <= 40; ++j) {
        const float degrees = 135.0f + 6.75f * j;
        const bool major = j % 4 == 0;
        const bool high = j / 40.0f >= kHighRange;
        const Brush& brush = high ? accent : guiBrush(kBrushText);
        context.drawLine(polarPoint(cx, cy, (major ? 108.0f : 114.0f) * s, degrees), polarPoint(cx, cy, 121 * s, degrees),
                         brush, (major ? 1.8f : 0.9f) * s);
        if (major) {
            char label[8];
            std::snprintf(label, sizeof(label), "%d", j * 100 / 40);
            const PointF p = polarPoint(cx, cy, 92 * s, degrees);
            const RectF box{p.x - 18 * s, p.y - 10 * s, p.x + 18 * s, p.y + 10 * s};
            drawBandText(context, knobFormat(false), label, box, brush, TextAlignment::Center,
                         ParagraphAlignment::Center, TextWrap::SingleLine);
        }
    }

}

// What follows the value: the ring of lit segments (but the pulsing top 15 %),
// the pointer, the hub and the number.
void paintKnobValue(DrawContext& context, float cx, float cy, float v, float s) {
    const float angle = 135.0f + 270.0f * v;
    const PointF c{cx, cy};
    const Brush& accent = guiBrush(kBrushAccent);
    const int lit = litSegments(v);
    if (lit > 0) {
        const float end = 135.0f + 270.0f * lit / kRingSegments;
        drawArc(context, c, 130 * s, 135.0f, end, withOpacity(accent, 0.05f), 22 * s);
        drawArc(context, c, 130 * s, 135.0f, end, withOpacity(accent, 0.09f), 15 * s);
    }
    const Brush dim = withOpacity(guiBrush(kBrushText), 0.06f);
    for (int i = 0; i < kRingSegments; ++i) {
        if (i >= lit)
            ringSegment(context, c, i, dim, s);
        else if (!isHighSegment(i))
            ringSegment(context, c, i, withOpacity(accent, 0.55f + 0.45f * static_cast<float>(i) / kRingSegments), s);
    }

    const PointF tail = polarPoint(cx, cy, 8 * s, angle + 180.0f);
    const PointF tip = polarPoint(cx, cy, 114 * s, angle);
    context.drawLine(tail, tip, withOpacity(accent, 0.18f), 9 * s, LineCap::Round);
    context.drawLine(tail, tip, accent, 4 * s, LineCap::Round);
    context.drawLine(tail, tip, guiBrush(kBrushText), 1.0f * s, LineCap::Round);

    context.fillEllipse(c, 29 * s, 29 * s, guiBrush(kBrushInk));
    context.fillEllipse(c, 25 * s, 25 * s, guiBrush(kBrushRaised));
    context.drawEllipse(c, 25 * s, 25 * s, guiBrush(kBrushAccentShade3), 1.0f * s);
    context.fillEllipse(c, 7 * s, 7 * s, accent);
    context.fillEllipse(c, 3 * s, 3 * s, guiBrush(kBrushText));

    char number[8];
    std::snprintf(number, sizeof(number), "%.0f", v * 100.0f);
    drawBandText(context, knobFormat(true), number, RectF{cx - 40 * s, cy + 35 * s, cx + 40 * s, cy + 65 * s},
                 guiBrush(v >= kHighRange ? kBrushAccent : kBrushText), TextAlignment::Center,
                 ParagraphAlignment::Center, TextWrap::SingleLine);
}

}  // namespace

// The box of the ring sector between two radii from startDegrees to
// endDegrees (clockwise from straight up), grown by `pad`.
RectF sectorBounds(float cx, float cy, float inner, float outer, float startDegrees, float endDegrees, float pad) {
    RectF box{cx, cy, cx, cy};
    bool first = true;
    for (float degrees = startDegrees;; degrees = std::min(degrees + 1.0f, endDegrees)) {
        for (float radius : {inner, outer}) {
            const PointF p = polarPoint(cx, cy, radius, degrees);
            box = first ? RectF{p.x, p.y, p.x, p.y}
                        : RectF{std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x),
                                std::max(box.bottom, p.y)};
            first = false;
        }
        if (degrees >= endDegrees)
            break;
    }
    return RectF{box.left - pad, box.top - pad, box.right + pad, box.bottom + pad};
}

// The glow's two regions; both change with the time, the tip also with the value.
void markKnobGlow(FrameDamage* damage, float cx, float cy, float v, float time, float s) {
    if (!damage)
        return;
    CacheKey key;
    key.addAppearance();
    key.add(time);
    key.add(litSegments(v));
    // The arc of radius 153 (3 wide) over 364.5..405 degrees and the lit
    // segments of 124.4..135.6 from 369 degrees on.
    damage->add(&state().knobX, sectorBounds(cx, cy, 124.4f * s, 154.5f * s, 364.5f, 405.0f, 2.0f * s), key);
    key.add(v);
    const PointF tip = polarPoint(cx, cy, 114 * s, 135.0f + 270.0f * v);
    const float r = 6.0f * s + 2.0f;
    damage->add(&state().knobY, RectF{tip.x - r, tip.y - r, tip.x + r, tip.y + r}, key);
}

void paintMasterKnob(DrawContext& context, float cx, float cy, float value, float time) {
    const float s = dpiScale();
    const float v = knobValue(value);
    paintKnobFace(context, cx, cy, s);
    paintKnobValue(context, cx, cy, v, s);
    paintKnobPulse(context, cx, cy, v, time, s);
}

void layoutControlPanel(const BandFrame& frame) {
    ControlPanelState& p = state();
    const float width = frame.width, height = frame.height;
    p.knobHit = RectF{};
    for (RectF& rect : p.faderRects)
        rect = RectF{};
    p.visible = RectF{};
    p.width = width;
    p.height = height;
    const float s = dpiScale();
    const RectF panel = controlPanelRect(width, height);
    p.panel = panel;
    if (!(panel.left >= 0.0f) || !(panel.height() > 54 * s))
        return;
    ensureKnobFormats(s);
    const float x = panel.left + 18 * s;
    const float r = panel.right - 18 * s;
    const float top = panel.top;
    const HapticSettings& settings = gSettings.snapshot();
    p.visible = RectF{panel.left, top + 54 * s, panel.right, panel.bottom};

    // In content coordinates.
    const float y0 = top + 68 * s;
    p.masterSection = y0;
    p.knobX = (panel.left + panel.right) / 2.0f;
    p.knobY = y0 + (28 + 160) * s;
    p.knobHit = RectF{p.knobX - 165 * s, y0 + 28 * s, p.knobX + 165 * s, p.knobY + 170 * s};
    p.zoneSection = p.knobY + (182 + 14) * s;
    float y = p.zoneSection + 28 * s;
    p.zoneCount = std::clamp(settings.numActiveZones, 0, kMaxZones);
    for (int i = 0; i < kMaxZones; ++i) {
        p.zones[i] = i < p.zoneCount ? settings.zones[i] : ZoneConfig{};
        if (i >= p.zoneCount || !settings.zones[i].active)
            continue;
        p.faderRects[i] = RectF{x, y, r, y + 54 * s};
        y += 54 * s;
    }
    p.rowsEnd = y;
    const float contentEnd = p.rowsEnd + 14 * s;
    p.maxScroll = std::max(0.0f, contentEnd - (top + 68 * s) - (panel.bottom - (top + 54 * s)));
    p.scroll = std::clamp(p.scroll, 0.0f, p.maxScroll);
    p.master = knobValue(settings.masterGain);
    if (!frame.context)
        return;  // input: nothing is drawn

    // The stored drawings and the knob's glow, all in window pixels.
    CacheKey key;
    key.addAppearance();
    key.add(width);
    key.add(height);
    key.add(p.scroll);
    key.add(p.smallFormat.get());
    for (int i = 0; i < p.zoneCount; ++i) {
        const ZoneConfig& zone = p.zones[i];
        key.add(zone.active);
        if (zone.active)
            key.addText(textOf(zone.name));
    }
    p.panelCache.prepare(key, panel, frame.damage);
    const float cyWindow = p.knobY - p.scroll;
    CacheKey knobKey;
    knobKey.addAppearance();
    knobKey.add(p.master);
    knobKey.add(p.largeFormat.get());
    p.knobCache.prepare(knobKey, RectF{p.knobX - 140 * s, cyWindow - 140 * s, p.knobX + 140 * s, cyWindow + 140 * s},
                        frame.damage);
    for (int i = 0; i < kMaxZones; ++i) {
        const RectF& row = p.faderRects[i];
        if (!(row.width() > 0.0f))
            continue;
        const float yWindow = row.top - p.scroll;
        CacheKey rowKey;
        rowKey.addAppearance();
        rowKey.add(row.width());
        rowKey.add(zoneGain(p.zones[i]));
        rowKey.add(p.dragFader == i);
        p.zoneCaches[i].prepare(rowKey, RectF{x - 10 * s, yWindow - 2 * s, r + 10 * s, yWindow + 46 * s},
                                frame.damage);
    }
    markKnobGlow(frame.damage, p.knobX, cyWindow, p.master, frame.time, s);
}

void paintControlPanel(DrawContext& context, float width, float height, float time) {
    ControlPanelState& p = state();
    (void)width;
    (void)height;
    const float s = dpiScale();
    const RectF panel = p.panel;
    if (!(p.visible.height() > 0.0f))
        return;
    const float x = panel.left + 18 * s;
    const float r = panel.right - 18 * s;
    const float top = panel.top;
    const float y0 = p.masterSection;
    const float cx = p.knobX;
    const float cy = p.knobY;
    const float y1 = p.zoneSection;
    const float rowsEnd = p.rowsEnd;
    const float v = p.master;

    DrawContext* layer = p.panelCache.begin();
    if (layer || p.panelCache.fallback()) {
        DrawContext& target = layer ? *layer : context;
        target.fillRoundedRect(panel, 10 * s, guiBrush(kBrushSurface));
        target.drawRoundedRect(panel, 10 * s, guiBrush(kBrushLine), 1.0f);
        hline(target, x, r, top + 1.0f, kBrushLineFaint);
        text(target, kFormatSectionTitle, "CONTROL", RectF{x, top + 16 * s, r, top + 32 * s}, kBrushText,
             TextAlignment::Leading);
        text(target, kFormatCaption, "OUTPUT CHANNEL MATRIX", RectF{x, top + 32 * s, r, top + 42 * s}, kBrushText38,
             TextAlignment::Leading);
        hline(target, x, r, top + 54 * s, kBrushLine);
        target.pushClip(p.visible);
        target.pushTranslation(0, -p.scroll);
        sectionHeader(target, x, y0, r, "01", "Master Volume", s);
        paintKnobFace(target, cx, cy, s);
        hline(target, x, r, cy + 182 * s, kBrushLine);
        sectionHeader(target, x, y1, r, "02", "Zone Volumes", s);
        for (int i = 0; i < kMaxZones; ++i)
            if (p.faderRects[i].width() > 0.0f)
                paintZoneRowBase(target, p.zones[i], x, p.faderRects[i].top, r, s);
        hline(target, x, r, rowsEnd, kBrushLine);
        target.popTranslation();
        target.popClip();
    }
    if (layer)
        p.panelCache.end();
    p.panelCache.drawOnto(context);

    // The value parts, each kept apart so that a drag redraws only its own;
    // they are drawn in window pixels at their scrolled place.
    context.pushClip(p.visible);
    const float cyWindow = cy - p.scroll;
    if (DrawContext* knob = p.knobCache.begin()) {
        paintKnobValue(*knob, cx, cyWindow, v, s);
        p.knobCache.end();
    } else if (p.knobCache.fallback()) {
        paintKnobValue(context, cx, cyWindow, v, s);
    }
    p.knobCache.drawOnto(context);
    for (int i = 0; i < kMaxZones; ++i) {
        const RectF& row = p.faderRects[i];
        if (!(row.width() > 0.0f))
            continue;
        const float yWindow = row.top - p.scroll;
        const float gain = zoneGain(p.zones[i]);
        const bool dragging = p.dragFader == i;
        if (DrawContext* rowLayer = p.zoneCaches[i].begin()) {
            paintZoneRowValue(*rowLayer, gain, dragging, x, yWindow, r, s);
            p.zoneCaches[i].end();
        } else if (p.zoneCaches[i].fallback()) {
            paintZoneRowValue(context, gain, dragging, x, yWindow, r, s);
        }
        p.zoneCaches[i].drawOnto(context);
    }
    paintKnobPulse(context, cx, cyWindow, v, time, s);
    context.popClip();
}

bool controlPanelMouseDown(float x, float y) {
    ControlPanelState& panel = state();
    if (!pointInRect(panel.visible, x, y))
        return false;
    const float yc = y + panel.scroll;
    if (pointInRect(panel.knobHit, x, yc)) {
        panel.knobDragging = 1;
        panel.dragStartY = y;
        panel.dragStartValue = gSettings.snapshot().masterGain;
        return true;
    }
    const HapticSettings settings = gSettings.snapshot();
    for (int i = 0; i < kMaxZones; ++i) {
        if (settings.zones[i].active && pointInRect(panel.faderRects[i], x, yc)) {
            panel.dragFader = i;
            controlPanelDrag(x, y);
            return true;
        }
    }
    return false;
}

bool controlPanelDrag(float x, float y) {
    ControlPanelState& panel = state();
    if (panel.knobDragging) {
        const float s = dpiScale();
        const float start = std::isfinite(panel.dragStartValue) ? panel.dragStartValue : 0.0f;
        const float value = std::clamp(start + (panel.dragStartY - y) / (200.0f * s), 0.0f, 1.0f);
        if (std::isfinite(value))
            gSettings.edit([value](HapticSettings& st) { st.masterGain = value; });
        return true;
    }
    const int i = panel.dragFader;
    if (i < 0 || i >= kMaxZones)
        return false;
    const RectF& rect = panel.faderRects[i];
    if (rect.width() > 0.0f && std::isfinite(x)) {
        const float gain = std::clamp((x - rect.left) / rect.width(), 0.0f, 1.0f);
        gSettings.edit([i, gain](HapticSettings& st) { st.zones[i].gain = gain; });
    }
    return true;
}

bool controlPanelMouseUp(float x, float y) {
    ControlPanelState& panel = state();
    (void)x;
    (void)y;
    const bool active = panel.knobDragging || panel.dragFader >= 0;
    panel.knobDragging = 0;
    panel.dragFader = -1;
    return active;
}

bool controlPanelScroll(int wheelDelta) {
    ControlPanelState& panel = state();
    const float s = dpiScale();
    const float before = panel.scroll;
    panel.scroll = std::clamp(before - (static_cast<float>(wheelDelta) / 120.0f) * 60.0f * s, 0.0f,
                               std::max(0.0f, panel.maxScroll));
    return panel.scroll != before;
}

const Band kControlPanelBand = {
    "control panel",
    layoutControlPanel,
    [](DrawContext& context, const BandFrame& frame) {
        paintControlPanel(context, frame.width, frame.height, frame.time);
    },
    [](const BandEvent& event) { return controlPanelDrag(event.x, event.y); },
    [](const BandEvent& event) { return controlPanelMouseDown(event.x, event.y); },
    [](const BandEvent& event) { return controlPanelMouseUp(event.x, event.y); },
    // The wheel over the panel's column (and the gap right of it) scrolls the
    // panel; it is taken there even when the panel cannot move.
    [](const BandEvent& event) {
        if (event.x < event.width - (22.0f + 360.0f) * dpiScale())
            return false;
        controlPanelScroll(event.wheelDelta);
        return true;
    },
    resetControlPanel,
};

}  // namespace qv
