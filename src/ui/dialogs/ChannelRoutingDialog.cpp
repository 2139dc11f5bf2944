#include "ui/dialogs/ChannelRoutingDialog.h"

#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/Appearance.h"
#include "ui/GuiHooks.h"
#include "ui/GuiHost.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/dialogs/DialogRunner.h"
#include "ui/panels/EffectCards.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv {

namespace {

// The plain names, as the cards of a simulator without the split suspension
// call the effects.
constexpr const char* kRowLabels[kEffectCount] = {"Road Texture", "Suspension",  "Kerb",      "Engine",
                                                  "ABS",          "Gear Change", "Wheel Slip"};
constexpr const char* kButtonLabels[kRoutingButtonCount] = {"Reset Routes", "Save As", "Load", "Close"};
constexpr const char* kHelpLine =
    "Drag sliders to set per-zone volume.  Right-click to toggle.  Scroll +/- 1%.  Double-click to reset.";

// Layout in 96-dpi units.
constexpr float kColumnLeft = 126.0f;
constexpr float kColumnPitch = 96.0f;
constexpr float kRowTop = 206.0f;
constexpr float kRowHeight = 46.0f;
constexpr float kFooterHeight = 50.0f;
constexpr float kWheelStep = 0.01f;

RectF scaled(float left, float top, float right, float bottom, float s) {
    return RectF{left * s, top * s, right * s, bottom * s};
}

// Like pointInRect, but the right and bottom edges count as inside.
bool pointInClosedRect(const RectF& r, float x, float y) {
    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

float columnCentre(int column) { return kColumnLeft + kColumnPitch * static_cast<float>(column) + 48.0f; }

bool validZone(int zone) { return zone >= 0 && zone < kMaxZones; }
bool validEffect(int effect) { return effect >= 0 && effect < kEffectCount; }

float clampUnit(float value) { return std::clamp(value, 0.0f, 1.0f); }

int configuredDevices(const HapticSettings& s) { return std::clamp(s.numDevices, 1, kMaxAudioDevices); }

// The zone's volume, written through at once.
void setZoneGain(int zone, float gain) {
    if (!validZone(zone) || !std::isfinite(gain))
        return;
    gSettings.edit([&](HapticSettings& s) { s.zones[zone].gain = clampUnit(gain); });
}

void startCapture() { setMouseCapture(currentDialogWindow()); }

void stopPreview(ChannelRoutingState& state) {
    if (state.previewedEffect < 0)
        return;
    const int effect = state.previewedEffect;
    state.previewedEffect = -1;
    if (state.host && state.host->effectPreviewFn)
        state.host->effectPreviewFn(effect, false);
}

void stopTone(ChannelRoutingState& state) {
    stopZoneTone(state.host, state.tone);
    state.soundingColumn = -1;
}

void forgetRemembered(ChannelRoutingState& state) {
    for (auto& row : state.remembered)
        std::fill(std::begin(row), std::end(row), 0.0f);
}

void close(ChannelRoutingState& state, int code) {
    state.closeCode = code;
    closeDialog(code);
}

// The cell under the point, rows in order and columns within a row.
bool cellAt(const ChannelRoutingState& state, float x, float y, int& row, int& column) {
    for (int e = 0; e < kEffectCount; ++e) {
        for (int c = 0; c < state.columnCount; ++c) {
            if (pointInRect(state.cells[e][c].rect, x, y)) {
                row = e;
                column = c;
                return true;
            }
        }
    }
    return false;
}

int knobAt(const ChannelRoutingState& state, float x, float y) {
    for (int c = 0; c < state.columnCount; ++c)
        if (state.knobs[c].enabled && knobHit(state.knobs[c].rect, x, y))
            return c;
    return -1;
}

bool handleButtonDown(ChannelRoutingState& state, float x, float y) {
    const auto hit = [&](int b) { return pointInClosedRect(state.buttons[b].rect, x, y); };
    if (hit(kRoutingReset)) {
        gSettings.edit([](HapticSettings& s) {
            if (isValidSimIndex(s.selectedSim))
                resetEffectGains(s.effectProfiles[s.selectedSim]);
        });
        forgetRemembered(state);
        loadRouteMatrix(state);
        return true;
    }
    if (hit(kRoutingSaveAs)) {
        if (auto open = dialogEntries().openSaveProfileAs)
            open(currentDialogWindow());
        loadRouteMatrix(state);
        return true;
    }
    if (hit(kRoutingLoad)) {
        if (auto open = dialogEntries().openLoadProfile) {
            open(currentDialogWindow());
            // The loaded profile's gains replace the ones a right-click put aside.
            forgetRemembered(state);
        }
        loadRouteMatrix(state);
        return true;
    }
    if (hit(kRoutingClose)) {
        close(state, 0);
        return true;
    }
    return false;
}

bool handleLeftDown(ChannelRoutingState& state, float x, float y) {
    if (handleButtonDown(state, x, y))
        return true;
    const HapticSettings snapshot = gSettings.snapshot();
    if (snapshot.numDevices > 1) {
        for (int c = 0; c < state.columnCount; ++c) {
            if (!pointInClosedRect(state.chipRects[c], x, y))
                continue;
            // The next configured device, round to the first; a device outside
            // the configured ones goes to the first.
            const int zone = state.columnZones[c];
            gSettings.edit([&](HapticSettings& s) {
                const int count = configuredDevices(s);
                const int device = s.zones[zone].device;
                s.zones[zone].device = device >= 0 && device < count ? (device + 1) % count : 0;
            });
            return true;
        }
    }
    for (int c = 0; c < state.columnCount; ++c) {
        if (!pointInClosedRect(state.headerRects[c], x, y))
            continue;
        stopTone(state);
        const ZoneConfig& zone = snapshot.zones[state.columnZones[c]];
        if (startZoneTone(state.host, state.tone, zone.channel, zone.device))
            state.soundingColumn = c;
        startCapture();
        return true;
    }
    for (int e = 0; e < kEffectCount; ++e) {
        if (!pointInClosedRect(state.playRects[e], x, y))
            continue;
        stopPreview(state);
        state.previewedEffect = e;
        if (state.host && state.host->effectPreviewFn)
            state.host->effectPreviewFn(e, true);
        startCapture();
        return true;
    }
    int row = -1;
    int column = -1;
    if (cellAt(state, x, y, row, column)) {
        UiFader& cell = state.cells[row][column];
        faderPress(cell, x, y);
        setRouteGain(state, row, state.columnZones[column], cell.value);
        state.dragRow = row;
        state.dragZone = state.columnZones[column];
        startCapture();
        return true;
    }
    for (int c = 0; c < state.columnCount; ++c) {
        knobPress(state.knobs[c], x, y);
        if (state.knobs[c].dragging) {
            state.draggedKnob = c;
            startCapture();
            return true;
        }
    }
    return false;
}

// The column of the dragged cell's zone, -1 when it has none.
int columnOfZone(const ChannelRoutingState& state, int zone) {
    for (int c = 0; c < state.columnCount; ++c)
        if (state.columnZones[c] == zone)
            return c;
    return -1;
}

bool handleMove(ChannelRoutingState& state, float x, float y) {
    if (state.draggedKnob >= 0) {
        UiKnob& knob = state.knobs[state.draggedKnob];
        if (knobDrag(knob, y) == kWidgetNone)
            return false;
        setZoneGain(state.columnZones[state.draggedKnob], knob.value);
        return true;
    }
    if (state.dragRow >= 0) {
        const int column = columnOfZone(state, state.dragZone);
        if (column < 0)
            return false;
        UiFader& cell = state.cells[state.dragRow][column];
        if (faderDrag(cell, x) == kWidgetNone)
            return false;
        setRouteGain(state, state.dragRow, state.dragZone, cell.value);
        return true;
    }
    // The footer's buttons act on the press (handleButtonDown).
    WidgetList widgets;
    for (UiButton& button : state.buttons)
        widgets.add(button, kNoWidget);
    bool changed = routeWidgetMouse(widgets, kWmMouseMove, x, y).repaint;
    const auto setFlag = [&](uint8_t& flag, bool on) {
        if (flag != static_cast<uint8_t>(on)) {
            flag = on;
            changed = true;
        }
    };
    const bool chipsWork = gSettings.snapshot().numDevices > 1;
    for (int c = 0; c < state.columnCount; ++c) {
        setFlag(state.headerHover[c], pointInClosedRect(state.headerRects[c], x, y));
        setFlag(state.chipHover[c], chipsWork && pointInClosedRect(state.chipRects[c], x, y));
    }
    for (int e = 0; e < kEffectCount; ++e)
        setFlag(state.playHover[e], pointInClosedRect(state.playRects[e], x, y));
    return changed;
}

bool handleLeftUp(ChannelRoutingState& state) {
    bool released = false;
    if (state.draggedKnob >= 0) {
        knobRelease(state.knobs[state.draggedKnob]);
        state.draggedKnob = -1;
        released = true;
    }
    if (state.dragRow >= 0) {
        const int column = columnOfZone(state, state.dragZone);
        if (column >= 0)
            faderRelease(state.cells[state.dragRow][column]);
        state.dragRow = -1;
        state.dragZone = -1;
        released = true;
    }
    if (state.previewedEffect >= 0) {
        stopPreview(state);
        released = true;
    }
    if (state.tone.sounding || state.soundingColumn >= 0) {
        stopTone(state);
        released = true;
    }
    // Every hold captured the mouse; a release ends them all.
    releaseMouseCapture();
    return released;
}

bool handleDoubleClick(ChannelRoutingState& state, float x, float y) {
    const int knob = knobAt(state, x, y);
    if (knob >= 0) {
        state.knobs[knob].value = 1.0f;
        setZoneGain(state.columnZones[knob], 1.0f);
        return true;
    }
    int row = -1;
    int column = -1;
    if (cellAt(state, x, y, row, column)) {
        setRouteGain(state, row, state.columnZones[column], 1.0f);
        return true;
    }
    return false;
}

bool handleRightDown(ChannelRoutingState& state, float x, float y) {
    int row = -1;
    int column = -1;
    if (!cellAt(state, x, y, row, column))
        return false;
    const int zone = state.columnZones[column];
    const float gain = state.routeCopy[row][zone];
    if (gain > 0.0f) {
        state.remembered[row][zone] = gain;
        setRouteGain(state, row, zone, 0.0f);
    } else {
        const float back = state.remembered[row][zone];
        setRouteGain(state, row, zone, back > 0.0f ? back : 1.0f);
    }
    return true;
}

bool handleWheel(ChannelRoutingState& state, float x, float y, uintptr_t wParam) {
    const int delta = wheelDelta(wParam);
    const float step = delta > 0 ? kWheelStep : -kWheelStep;
    const int knob = knobAt(state, x, y);
    if (knob >= 0) {
        UiKnob& k = state.knobs[knob];
        k.value = clampUnit(k.value + step);
        setZoneGain(state.columnZones[knob], k.value);
        return true;
    }
    int row = -1;
    int column = -1;
    if (cellAt(state, x, y, row, column)) {
        const int zone = state.columnZones[column];
        setRouteGain(state, row, zone, state.routeCopy[row][zone] + step);
        return true;
    }
    return false;
}

// --- painting ----------------------------------------------------------------

void drawLabel(DrawContext& context, int format, const char* text, const RectF& rect, const Brush& brush,
               TextAlignment alignment = TextAlignment::Leading,
               ParagraphAlignment paragraph = ParagraphAlignment::Center) {
    drawTextUtf8(&context, guiTextFormat(format), text, rect, brush, alignment, paragraph);
}

// A routing cell: a thin rail filled up to the value with a small thumb.
void drawRouteCell(DrawContext& context, const UiFader& cell) {
    const float s = dpiScale();
    const RectF& r = cell.rect;
    const float value = std::isfinite(cell.value) ? clampUnit(cell.value) : 0.0f;
    const float left = r.left + 4.0f * s;
    const float right = r.right - 4.0f * s;
    if (!(right > left))
        return;
    const float cy = r.centerY();
    const RectF rail{left, cy - 2.0f * s, right, cy + 2.0f * s};
    const float x = left + value * (right - left);
    context.pushLayer(cell.enabled ? 1.0f : 0.35f);
    context.fillRoundedRect(RectF{rail.left - 1.0f * s, rail.top - 1.0f * s, rail.right + 1.0f * s,
                                  rail.bottom + 1.0f * s},
                            1.5f * s, guiBrush(kBrushInk));
    context.fillRoundedRect(RectF{x, rail.top, rail.right, rail.bottom}, 1.5f * s, guiBrush(kBrushLineFaint));
    if (value > 0.0f) {
        context.fillRoundedRect(RectF{rail.left - 1.0f * s, rail.top - 1.0f * s, x + 1.0f * s, rail.bottom + 1.0f * s},
                                1.5f * s, withOpacity(guiBrush(kBrushAccentShade2), 0.35f));
        context.fillRoundedRect(RectF{rail.left, rail.top, x, rail.bottom}, 1.5f * s, guiBrush(kBrushAccent));
    }
    context.fillRect(RectF{x - 3.0f * s, cy - 7.2f * s, x + 3.0f * s, cy + 7.2f * s},
                     withOpacity(guiBrush(kBrushAccentShade2), 0.25f));
    context.fillRect(RectF{x - 2.0f * s, cy - 6.0f * s, x + 2.0f * s, cy + 6.0f * s}, guiBrush(kBrushAccent));
    context.drawLine(PointF{x, cy - 6.0f * s}, PointF{x, cy + 6.0f * s}, withOpacity(guiBrush(kBrushText), 0.55f),
                     0.6f * s);
    context.fillRect(RectF{x - 3.0f * s, cy - 6.0f * s, x + 3.0f * s, cy - 4.5f * s}, guiBrush(kBrushText));
    context.fillRect(RectF{x - 3.0f * s, cy + 4.5f * s, x + 3.0f * s, cy + 6.0f * s}, guiBrush(kBrushText));
    context.popLayer();
}

void drawFooterButton(DrawContext& context, const UiButton& button, bool primary) {
    const float s = dpiScale();
    const RectF& r = button.rect;
    const float radius = 6.0f * s;
    if (primary) {
        context.fillRoundedRect(r, radius, guiBrush(button.hovered ? kBrushAccent : kBrushAccentShade2));
        context.drawRoundedRect(r, radius, guiBrush(kBrushAccent), 1.0f * s);
        drawLabel(context, kFormatControl, button.label, r, guiBrush(kBrushText), TextAlignment::Center);
        return;
    }
    fillGradientRect(&context, r, radius, guiGradient(button.hovered ? kGradientG1 : kGradientG0));
    context.drawRoundedRect(r, radius, guiBrush(button.hovered ? kBrushLineStrong : kBrushLine), 1.0f * s);
    context.drawLine(PointF{r.left + 6.0f * s, r.top + 1.0f * s}, PointF{r.right - 6.0f * s, r.top + 1.0f * s},
                     guiBrush(kBrushLineFaint), 1.0f * s);
    context.drawLine(PointF{r.left + 6.0f * s, r.bottom - 1.0f * s},
                     PointF{r.right - 6.0f * s, r.bottom - 1.0f * s}, guiBrush(kBrushShadow), 1.0f * s);
    drawLabel(context, kFormatControl, button.label, r, guiBrush(button.hovered ? kBrushText : kBrushText78),
              TextAlignment::Center);
}

// Sets every rectangle the mouse handler tests, from the client size.
void layOut(ChannelRoutingState& state, float w, float h) {
    const float s = dpiScale();
    const float knobHalf = std::round(22.0f * s);
    for (int c = 0; c < state.columnCount; ++c) {
        const float centre = columnCentre(c);
        state.chipRects[c] = scaled(centre - 26, 72, centre + 26, 92, s);
        state.headerRects[c] = scaled(centre - 43, 176, centre + 43, 198, s);
        const float cx = centre * s;
        const float cy = 129 * s;
        state.knobs[c].rect = RectF{cx - knobHalf, cy - knobHalf, cx + knobHalf, cy + knobHalf};
        for (int e = 0; e < kEffectCount; ++e) {
            const float top = kRowTop + kRowHeight * static_cast<float>(e);
            state.cells[e][c].rect = scaled(centre - 39, top + 15, centre + 39, top + 31, s);
        }
    }
    for (int e = 0; e < kEffectCount; ++e) {
        const float top = kRowTop + kRowHeight * static_cast<float>(e);
        state.playRects[e] = scaled(102, top + 13, 122, top + 33, s);
    }
    const float top = h - 41.0f * s;
    const float bottom = top + 32.0f * s;
    state.buttons[kRoutingReset].rect = RectF{16 * s, top, (16 + 108) * s, bottom};
    state.buttons[kRoutingSaveAs].rect = RectF{132 * s, top, (132 + 78) * s, bottom};
    state.buttons[kRoutingLoad].rect = RectF{218 * s, top, (218 + 78) * s, bottom};
    state.buttons[kRoutingClose].rect = RectF{w - 124 * s, top, w - 16 * s, bottom};
}

}  // namespace

// --- state -------------------------------------------------------------------

void initChannelRouting(ChannelRoutingState& state, GuiHost* host) {
    state = ChannelRoutingState{};
    state.host = host;
    const HapticSettings s = gSettings.snapshot();
    const int limit = std::clamp(s.numActiveZones, 0, kMaxZones);
    for (int zone = 0; zone < limit; ++zone) {
        if (!s.zones[zone].active)
            continue;
        UiKnob& knob = state.knobs[state.columnCount];
        setWidgetText(knob.caption, s.zones[zone].name);
        knob.enabled = 1;
        knob.active = 1;
        state.columnZones[state.columnCount++] = zone;
    }
    for (int b = 0; b < kRoutingButtonCount; ++b) {
        setWidgetText(state.buttons[b].label, kButtonLabels[b]);
        state.buttons[b].style = b == kRoutingClose ? kButtonPrimary : kButtonPlain;
    }
    loadRouteMatrix(state);
}

void loadRouteMatrix(ChannelRoutingState& state) {
    const HapticSettings s = gSettings.snapshot();
    if (isValidSimIndex(s.selectedSim)) {
        const EffectProfile& profile = s.effectProfiles[s.selectedSim];
        for (int e = 0; e < kEffectCount; ++e)
            for (int z = 0; z < kMaxZones; ++z) {
                const float gain = profile.routeGain[e][z];
                state.routeCopy[e][z] = std::isfinite(gain) ? clampUnit(gain) : 0.0f;
            }
    }
    for (int c = 0; c < state.columnCount; ++c) {
        const float gain = s.zones[state.columnZones[c]].gain;
        state.knobs[c].value = std::isfinite(gain) ? clampUnit(gain) : 0.0f;
    }
}

void setRouteGain(ChannelRoutingState& state, int effect, int zone, float value) {
    if (!validEffect(effect) || !validZone(zone) || !std::isfinite(value))
        return;
    const float gain = clampUnit(value);
    gSettings.edit([&](HapticSettings& s) {
        if (isValidSimIndex(s.selectedSim))
            s.effectProfiles[s.selectedSim].routeGain[effect][zone] = gain;
    });
    state.routeCopy[effect][zone] = gain;
}

void releaseChannelRouting(ChannelRoutingState& state) {
    stopPreview(state);
    stopTone(state);
}

const char* routingRowLabel(int sim, int effect) {
    if (!validEffect(effect))
        return "";
    const EffectCardPanel& panel = effectCardPanel();
    if (panel.sim == sim) {
        for (int i = 0; i < std::clamp(panel.count, 0, kMaxCards); ++i) {
            const EffectCard& card = panel.cards[i];
            if (card.effect == effect && card.name && *card.name)
                return card.name;
        }
    }
    return kRowLabels[effect];
}

int channelRoutingWidth(int columnCount) {
    return std::max(std::max(columnCount, 1) * 96 + 142, kRoutingMinWidth);
}

DialogSpec channelRoutingSpec(ChannelRoutingState& state, WindowHandle parent) {
    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Channel Routing";
    spec.width = channelRoutingWidth(state.columnCount);
    spec.height = kRoutingHeight;
    spec.onPaint = channelRoutingPaint;
    spec.onMouse = channelRoutingMouse;
    spec.onKey = channelRoutingKey;
    spec.userData = &state;
    return spec;
}

// --- callbacks ---------------------------------------------------------------

void channelRoutingPaint(DrawContext& context, float w, float h, void* user) {
    auto& state = *static_cast<ChannelRoutingState*>(user);
    const float s = dpiScale();
    const HapticSettings settings = gSettings.snapshot();
    const bool chipsWork = settings.numDevices > 1;
    layOut(state, w, h);

    context.clear(rgb(10, 11, 13));
    context.fillRect(RectF{0, 0, w, 56 * s}, guiBrush(kBrushWindow));
    context.drawLine(PointF{0, 56 * s}, PointF{w, 56 * s}, guiBrush(kBrushLine), 1.0f * s);
    drawLabel(context, kFormatCardTitle, "Channel Routing", RectF{16 * s, 4 * s, w - 16 * s, 32 * s},
              guiBrush(kBrushText));
    drawLabel(context, kFormatSmall, kHelpLine, RectF{16 * s, 30 * s, w - 16 * s, 52 * s}, guiBrush(kBrushText38),
              TextAlignment::Leading, ParagraphAlignment::Near);

    for (int c = 0; c < state.columnCount; ++c) {
        const float centre = columnCentre(c);
        const ZoneConfig& zone = settings.zones[state.columnZones[c]];
        char name[sizeof zone.name];
        copyText(name, zone.name);
        drawLabel(context, kFormatCaption, name, scaled(centre - 40, 58, centre + 40, 72, s), guiBrush(kBrushText55),
                  TextAlignment::Center);
        const RectF& chip = state.chipRects[c];
        const bool second = zone.device != 0;
        context.fillRoundedRect(chip, 3 * s, second ? guiBrush(kBrushAccentShade2) : guiBrush(kBrushRaised));
        const int outline = state.chipHover[c] && chipsWork ? kBrushAccent : second ? kBrushAccentShade3 : kBrushLine;
        context.drawRoundedRect(chip, 3 * s, guiBrush(outline), 1.0f * s);
        char chipText[16];
        std::snprintf(chipText, sizeof chipText, "Dev %d", zone.device + 1);
        drawLabel(context, kFormatCaption, chipText, chip, guiBrush(second ? kBrushText : kBrushText38),
                  TextAlignment::Center);
        drawKnob(context, state.knobs[c]);
        const PlayButtonLook look = state.soundingColumn == c ? PlayButtonLook::Held
                                    : state.headerHover[c]    ? PlayButtonLook::Hovered
                                                              : PlayButtonLook::Rest;
        drawPlayButton(context, state.headerRects[c], look, 4 * s, 5 * s);
    }

    for (int e = 0; e < kEffectCount; ++e) {
        const float top = kRowTop + kRowHeight * static_cast<float>(e);
        if (e % 2 == 1)
            context.fillRect(RectF{16 * s, top * s, w - 16 * s, (top + kRowHeight) * s}, guiBrush(kBrushInk));
        drawLabel(context, kFormatControl, routingRowLabel(settings.selectedSim, e),
                  scaled(16, top, 98, top + kRowHeight, s),
                  guiBrush(kBrushText78));
        const PlayButtonLook look = state.previewedEffect == e ? PlayButtonLook::Held
                                    : state.playHover[e]       ? PlayButtonLook::Hovered
                                                               : PlayButtonLook::Rest;
        drawPlayButton(context, state.playRects[e], look, 3.5f * s, 4 * s);
        for (int c = 0; c < state.columnCount; ++c) {
            UiFader& cell = state.cells[e][c];
            cell.value = state.routeCopy[e][state.columnZones[c]];
            drawRouteCell(context, cell);
            if (cell.dragging) {
                char percent[16];
                std::snprintf(percent, sizeof percent, "%d%%", static_cast<int>(std::lround(cell.value * 100.0f)));
                const float cx = cell.rect.centerX();
                drawLabel(context, kFormatCaption, percent,
                          RectF{cx - 16 * s, cell.rect.top - 14 * s, cx + 16 * s, cell.rect.top - 1 * s},
                          guiBrush(kBrushText), TextAlignment::Center);
            }
        }
    }

    context.fillRect(RectF{0, h - kFooterHeight * s, w, h}, guiBrush(kBrushWindow));
    context.drawLine(PointF{0, h - kFooterHeight * s}, PointF{w, h - kFooterHeight * s}, guiBrush(kBrushLine),
                     1.0f * s);
    for (int b = 0; b < kRoutingButtonCount; ++b)
        drawFooterButton(context, state.buttons[b], b == kRoutingClose);
}

bool channelRoutingMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    auto& state = *static_cast<ChannelRoutingState*>(user);
    switch (message) {
    case kWmLButtonDown: return handleLeftDown(state, x, y);
    case kWmMouseMove: return handleMove(state, x, y);
    case kWmLButtonUp: return handleLeftUp(state);
    case kWmLButtonDblClk: return handleDoubleClick(state, x, y);
    case kWmRButtonDown: return handleRightDown(state, x, y);
    case kWmMouseWheel: return handleWheel(state, x, y, wParam);
    default: return false;
    }
}

bool channelRoutingKey(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto& state = *static_cast<ChannelRoutingState*>(user);
    if (message == kWmKeyDown && wParam == static_cast<uintptr_t>(kVkEscape)) {
        close(state, 0);
        return true;
    }
    return false;
}

void openChannelRouting(WindowHandle parent, GuiHost* host) {
    ChannelRoutingState state;
    initChannelRouting(state, host);
    runDialog(channelRoutingSpec(state, parent));
    releaseChannelRouting(state);
    releaseMouseCapture();
}

}  // namespace qv
