#include "ui/dialogs/ZoneSetupDialog.h"

#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/AppMessages.h"
#include "ui/Appearance.h"
#include "ui/GuiHost.h"
#include "ui/MessageBox.h"
#include "ui/WidgetList.h"
#include "ui/WidgetPainters.h"
#include "ui/dialogs/DialogRunner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qv {

namespace {

constexpr const char* kNoDeviceText = "Please run Setup Wizard first to configure your audio device.";
constexpr const char* kPedalRows[3] = {"Brake pedal", "Throttle pedal", "Clutch pedal"};
constexpr float kWheelStep = 0.01f;
constexpr int kDefaultChannels = 8;

// Layout in 96-dpi units.
constexpr float kRowsTop = 70.0f;
constexpr float kRowPitch = 34.0f;
constexpr float kVolumesTop = 352.0f;
constexpr float kKnobCentreY = 402.0f;
constexpr float kPedalsTop = 462.0f;

RectF scaled(float left, float top, float right, float bottom, float s) {
    return RectF{left * s, top * s, right * s, bottom * s};
}

float rowCentre(int zone) { return kRowsTop + kRowPitch * static_cast<float>(zone) + 17.0f; }

bool hasNameField(int zone) { return zone >= kMaxZones - kExtraZoneCount; }
int fieldOfZone(int zone) { return zone - (kMaxZones - kExtraZoneCount); }
int zoneOfField(int field) { return field + (kMaxZones - kExtraZoneCount); }

void drawLabel(DrawContext& context, int format, const char* text, const RectF& rect, const Brush& brush,
               TextAlignment alignment = TextAlignment::Leading) {
    drawTextUtf8(&context, guiTextFormat(format), text, rect, brush, alignment, ParagraphAlignment::Center);
}

void startCapture() { setMouseCapture(currentDialogWindow()); }

void close(ZoneSetupState& state, int code) {
    state.closeCode = code;
    closeDialog(code);
}

// Writes zone i as the dialog holds it (and its name for zones 4..7).
void writeZone(const ZoneSetupState& state, int zone) {
    const ZoneSetupZone& z = state.zones[zone];
    gSettings.edit([&](HapticSettings& s) {
        ZoneConfig& out = s.zones[zone];
        out.active = z.enabled ? 1 : 0;
        out.device = z.device;
        out.channel = z.channel;
        out.gain = std::clamp(z.gain, 0.0f, 1.0f);
        if (hasNameField(zone))
            copyText(out.name, z.name);
    });
}

void setGain(ZoneSetupState& state, int zone, float gain) {
    state.zones[zone].gain = std::clamp(gain, 0.0f, 1.0f);
    state.knobs[zone].value = state.zones[zone].gain;
    writeZone(state, zone);
}

void setEnabled(ZoneSetupState& state, int zone, bool enabled) {
    state.zones[zone].enabled = enabled;
    state.knobs[zone].enabled = enabled;
    if (hasNameField(zone)) {
        UiTextField& field = state.fields[fieldOfZone(zone)];
        field.enabled = enabled;
        if (!enabled && field.focused) {
            commitZoneName(state, fieldOfZone(zone));
            field.focused = 0;
            state.focusedField = -1;
        }
    }
}

void commitAllNames(ZoneSetupState& state) {
    for (int k = 0; k < kExtraZoneCount; ++k)
        commitZoneName(state, k);
}

void clearFocus(ZoneSetupState& state) {
    for (UiTextField& field : state.fields)
        field.focused = 0;
    state.focusedField = -1;
}

void focusField(ZoneSetupState& state, int k) {
    clearFocus(state);
    UiTextField& field = state.fields[k];
    field.focused = 1;
    field.caret = textFieldLength(field);
    field.selectionAnchor = -1;
    state.focusedField = k;
}

void stopTest(ZoneSetupState& state) {
    stopZoneTone(state.host, state.tone);
    state.testingZone = -1;
}

void stepChannel(ZoneSetupState& state, int zone, int direction) {
    ZoneSetupZone& z = state.zones[zone];
    const int n = zoneChannelCount(state, z.device);
    if (z.channel < 0 || z.channel >= n)
        z.channel = direction > 0 ? 0 : n - 1;  // from "none" to the first or the last
    else
        z.channel = (z.channel + (direction > 0 ? 1 : n - 1)) % n;
    writeZone(state, zone);
}

int knobAt(const ZoneSetupState& state, float x, float y) {
    for (int z = 0; z < kMaxZones; ++z)
        if (state.knobs[z].enabled && knobHit(state.knobs[z].rect, x, y))
            return z;
    return -1;
}

// Controls of an enabled zone's row; true when the press was taken.
bool pressRowControl(ZoneSetupState& state, int zone, float x, float y) {
    ZoneSetupRow& row = state.rows[zone];
    ZoneSetupZone& z = state.zones[zone];
    if (pointInRect(row.channelLeft, x, y)) {
        stepChannel(state, zone, -1);
        return true;
    }
    if (pointInRect(row.channelRight, x, y)) {
        stepChannel(state, zone, +1);
        return true;
    }
    if (state.numDevices > 1) {
        for (int d = 0; d < 2; ++d) {
            if (!pointInRect(row.deviceHalves[d], x, y))
                continue;
            if (z.device != d) {
                z.device = d;
                z.channel = 0;
                writeZone(state, zone);
            }
            return true;
        }
    }
    if (pointInRect(row.testButton, x, y)) {
        stopTest(state);
        if (startZoneTone(state.host, state.tone, z.channel, z.device))
            state.testingZone = zone;
        startCapture();
        return true;
    }
    return false;
}

bool handleLeftDown(ZoneSetupState& state, float x, float y) {
    if (pointInRect(state.apply.rect, x, y)) {
        applyZoneSetup(state);
        return true;
    }
    if (pointInRect(state.close.rect, x, y)) {
        if (state.focusedField >= 0)
            commitZoneName(state, state.focusedField);
        close(state, 0);
        return true;
    }
    for (int zone = 0; zone < kMaxZones; ++zone) {
        if (pointInRect(state.rows[zone].enableBox, x, y)) {
            setEnabled(state, zone, !state.zones[zone].enabled);
            writeZone(state, zone);
            return true;
        }
        if (state.zones[zone].enabled && pressRowControl(state, zone, x, y))
            return true;
    }
    for (int k = 0; k < kExtraZoneCount; ++k) {
        UiTextField& field = state.fields[k];
        if (!field.enabled || !pointInRect(field.rect, x, y))
            continue;
        if (state.focusedField >= 0 && state.focusedField != k)
            commitZoneName(state, state.focusedField);
        focusField(state, k);
        return true;
    }
    bool changed = false;
    if (state.focusedField >= 0) {
        commitAllNames(state);
        clearFocus(state);
        changed = true;
    }
    for (int zone = 0; zone < kMaxZones; ++zone) {
        knobPress(state.knobs[zone], x, y);
        if (state.knobs[zone].dragging) {
            state.draggedKnob = zone;
            startCapture();
            return true;
        }
    }
    return changed;
}

bool handleMove(ZoneSetupState& state, float x, float y) {
    if (state.draggedKnob >= 0) {
        UiKnob& knob = state.knobs[state.draggedKnob];
        if (knobDrag(knob, y) == kWidgetNone)
            return false;
        setGain(state, state.draggedKnob, knob.value);
        return true;
    }
    bool changed = false;
    const auto setFlag = [&](uint8_t& flag, bool on) {
        if (flag != static_cast<uint8_t>(on)) {
            flag = on;
            changed = true;
        }
    };
    for (int zone = 0; zone < kMaxZones; ++zone) {
        ZoneSetupRow& row = state.rows[zone];
        const bool live = state.zones[zone].enabled;
        setFlag(row.enableHover, pointInRect(row.enableBox, x, y));
        setFlag(row.leftHover, live && pointInRect(row.channelLeft, x, y));
        setFlag(row.rightHover, live && pointInRect(row.channelRight, x, y));
        for (int d = 0; d < 2; ++d)
            setFlag(row.deviceHover[d], live && state.numDevices > 1 && pointInRect(row.deviceHalves[d], x, y));
        setFlag(row.testHover, live && pointInRect(row.testButton, x, y));
    }
    // The kit's widgets; their presses act at once (handleLeftDown).
    WidgetList widgets;
    for (UiKnob& knob : state.knobs)
        widgets.add(knob, kNoWidget);
    for (UiTextField& field : state.fields)
        widgets.addFocusField(field, kNoWidget);
    widgets.add(state.apply, kNoWidget);
    widgets.add(state.close, kNoWidget);
    changed |= routeWidgetMouse(widgets, kWmMouseMove, x, y).repaint;
    return changed;
}

bool handleLeftUp(ZoneSetupState& state) {
    bool released = false;
    if (state.draggedKnob >= 0) {
        knobRelease(state.knobs[state.draggedKnob]);
        writeZone(state, state.draggedKnob);
        state.draggedKnob = -1;
        released = true;
    }
    if (state.tone.sounding || state.testingZone >= 0) {
        stopTest(state);
        released = true;
    }
    releaseMouseCapture();
    return released;
}

bool handleWheel(ZoneSetupState& state, float x, float y, uintptr_t wParam) {
    const int zone = knobAt(state, x, y);
    if (zone < 0)
        return false;
    const int delta = wheelDelta(wParam);
    setGain(state, zone, state.zones[zone].gain + (delta > 0 ? kWheelStep : -kWheelStep));
    return true;
}

bool handleResetGain(ZoneSetupState& state, float x, float y) {
    const int zone = knobAt(state, x, y);
    if (zone < 0)
        return false;
    setGain(state, zone, 1.0f);
    return true;
}

bool handleTab(ZoneSetupState& state) {
    const int current = state.focusedField;
    commitZoneName(state, current);
    for (int step = 1; step <= kExtraZoneCount; ++step) {
        const int next = (current + step) % kExtraZoneCount;
        if (state.fields[next].enabled) {
            focusField(state, next);
            return true;
        }
    }
    clearFocus(state);
    return true;
}

// --- painting ----------------------------------------------------------------

void drawCheckBox(DrawContext& context, const RectF& box, bool checked, bool hovered) {
    const float s = dpiScale();
    if (checked) {
        context.fillRoundedRect(box, 3 * s, guiBrush(kBrushAccent));
        const float cx = box.centerX();
        const float cy = box.centerY();
        const float k = 0.22f * box.width();
        context.beginPath();
        context.moveTo(PointF{cx - 1.2f * k, cy});
        context.lineTo(PointF{cx - 0.1f * k, cy + k});
        context.lineTo(PointF{cx + 1.4f * k, cy - 0.8f * k});
        context.strokePath(guiBrush(kBrushInk), 2 * s, LineCap::Round);
        return;
    }
    context.fillRoundedRect(box, 3 * s, guiBrush(kBrushSurface));
    context.drawRoundedRect(box, 3 * s, guiBrush(hovered ? kBrushLineBright : kBrushLineStrong), 1 * s);
}

void drawEmptyBox(DrawContext& context, const RectF& box) {
    const float s = dpiScale();
    context.drawRoundedRect(box, 4 * s, guiBrush(kBrushLineFaint), 1 * s);
}

void drawChannelSelector(DrawContext& context, const ZoneSetupRow& row, int channel) {
    const float s = dpiScale();
    context.fillRoundedRect(row.channelBox, 4 * s, guiBrush(kBrushRaised));
    context.drawRoundedRect(row.channelBox, 4 * s, guiBrush(kBrushLine), 1 * s);
    drawLabel(context, kFormatControl, "<", row.channelLeft, guiBrush(row.leftHover ? kBrushAccent : kBrushText55),
              TextAlignment::Center);
    drawLabel(context, kFormatControl, ">", row.channelRight, guiBrush(row.rightHover ? kBrushAccent : kBrushText55),
              TextAlignment::Center);
    char text[16];
    if (channel < 0)
        std::snprintf(text, sizeof text, "Ch --");
    else
        std::snprintf(text, sizeof text, "Ch %d", channel + 1);
    drawLabel(context, kFormatSmall, text, RectF{row.channelLeft.right, row.channelBox.top, row.channelRight.left,
                                                 row.channelBox.bottom},
              guiBrush(kBrushText), TextAlignment::Center);
}

void drawDeviceSelector(DrawContext& context, const ZoneSetupRow& row, int device) {
    const float s = dpiScale();
    static constexpr const char* kLabels[2] = {"Dev 1", "Dev 2"};
    for (int d = 0; d < 2; ++d) {
        const RectF& half = row.deviceHalves[d];
        const bool selected = device == d;
        const int fill = selected ? kBrushAccentShade2 : row.deviceHover[d] ? kBrushHover : kBrushRaised;
        context.fillRoundedRect(half, 4 * s, guiBrush(fill));
        context.drawRoundedRect(half, 4 * s, guiBrush(selected ? kBrushAccent : kBrushLine), 1 * s);
        drawLabel(context, kFormatSmall, kLabels[d], half, guiBrush(selected ? kBrushText : kBrushText55),
                  TextAlignment::Center);
    }
}

void drawTestButton(DrawContext& context, const ZoneSetupRow& row, bool testing) {
    const float s = dpiScale();
    const RectF& r = row.testButton;
    const float radius = 4 * s;
    if (testing) {
        context.fillRoundedRect(r, radius, guiBrush(kBrushAccentShade2));
        context.drawRoundedRect(r, radius, guiBrush(kBrushAccent), 1 * s);
    } else {
        context.fillRoundedRect(r, radius, guiBrush(row.testHover ? kBrushHover : kBrushRaised));
        context.drawRoundedRect(r, radius, guiBrush(row.testHover ? kBrushAccentShade3 : kBrushLine), 1 * s);
    }
    const float cy = r.centerY();
    drawPlayTriangle(context, r.left + 12 * s, cy, 4 * s,
                     guiBrush(testing || row.testHover ? kBrushAccent : kBrushText55));
    drawLabel(context, kFormatSmall, testing ? "TESTING" : "HOLD TEST",
              RectF{r.left + 20 * s, r.top, r.right - 4 * s, r.bottom},
              guiBrush(testing ? kBrushText : kBrushText78), TextAlignment::Center);
}

void drawSection(DrawContext& context, const char* title, float top, float w) {
    const float s = dpiScale();
    drawLabel(context, kFormatSectionTitle, title, RectF{20 * s, top * s, w - 20 * s, (top + 18) * s},
              guiBrush(kBrushText78));
}

void layOut(ZoneSetupState& state, float w, float h) {
    const float s = dpiScale();
    for (int zone = 0; zone < kMaxZones; ++zone) {
        const float cy = rowCentre(zone);
        ZoneSetupRow& row = state.rows[zone];
        row.enableBox = scaled(23, cy - 7, 37, cy + 7, s);
        row.channelBox = scaled(150, cy - 11, 218, cy + 11, s);
        row.channelLeft = scaled(150, cy - 11, 168, cy + 11, s);
        row.channelRight = scaled(200, cy - 11, 218, cy + 11, s);
        row.deviceHalves[0] = scaled(226, cy - 11, 270, cy + 11, s);
        row.deviceHalves[1] = scaled(270, cy - 11, 314, cy + 11, s);
        row.testButton = scaled(322, cy - 11, 410, cy + 11, s);
        if (hasNameField(zone))
            state.fields[fieldOfZone(zone)].rect = scaled(46, cy - 12, 142, cy + 12, s);
        const float kx = 52.5f + 65.0f * static_cast<float>(zone);
        state.knobs[zone].rect = scaled(kx - 22, kKnobCentreY - 22, kx + 22, kKnobCentreY + 22, s);
    }
    const float top = h - 44 * s;
    state.close.rect = RectF{w - 116 * s, top, w - 20 * s, top + 32 * s};
    state.apply.rect = RectF{w - 220 * s, top, w - 124 * s, top + 32 * s};
}

}  // namespace

// --- state -------------------------------------------------------------------

void initZoneSetup(ZoneSetupState& state, GuiHost* host) {
    state = ZoneSetupState{};
    state.host = host;
    const HapticSettings s = gSettings.snapshot();
    state.numDevices = std::clamp(s.numDevices, 0, kMaxAudioDevices);
    for (int d = 0; d < kMaxAudioDevices; ++d)
        state.deviceChannels[d] = s.devices[d].channels;
    for (int zone = 0; zone < kMaxZones; ++zone) {
        const ZoneConfig& in = s.zones[zone];
        ZoneSetupZone& z = state.zones[zone];
        z.device = in.device;
        z.channel = in.channel;
        z.gain = std::isfinite(in.gain) ? std::clamp(in.gain, 0.0f, 1.0f) : 1.0f;
        copyText(z.name, zone < kCornerCount ? kCornerNames[zone] : in.name);
        UiKnob& knob = state.knobs[zone];
        knob.value = z.gain;
        setWidgetText(knob.caption, z.name);
        if (hasNameField(zone)) {
            UiTextField& field = state.fields[fieldOfZone(zone)];
            setWidgetText(field.text, z.name);
            setWidgetText(field.placeholder, kExtraZoneNames[fieldOfZone(zone)]);
        }
        setEnabled(state, zone, in.active != 0);
    }
    setWidgetText(state.apply.label, "Apply");
    state.apply.style = kButtonPrimary;
    setWidgetText(state.close.label, "Close");
}

int zoneChannelCount(const ZoneSetupState& state, int device) {
    if (device < 0 || device >= kMaxAudioDevices)
        return kDefaultChannels;
    // The first device's count stands even when the count of devices says none.
    if (device > 0 && device >= state.numDevices)
        return kDefaultChannels;
    const int channels = state.deviceChannels[device];
    return channels >= 1 ? std::min(channels, kDefaultChannels) : kDefaultChannels;
}

void commitZoneName(ZoneSetupState& state, int k) {
    if (k < 0 || k >= kExtraZoneCount)
        return;
    UiTextField& field = state.fields[k];
    const int zone = zoneOfField(k);
    char name[kZoneNameMax + 1];
    // Only blanks count as empty too: a name must show something.
    const char* text = field.text;
    bool blank = true;
    for (const char* p = text; *p && p < field.text + sizeof field.text; ++p)
        blank = blank && *p == ' ';
    copyText(name, blank ? kExtraZoneNames[k] : text);
    // The field only takes printable characters, but a name read from the
    // file may hold anything: never let a line break into the file.
    for (char& c : name)
        if (c == '\r' || c == '\n')
            c = ' ';
    std::memcpy(state.zones[zone].name, name, sizeof name);
    setWidgetText(field.text, name);
    field.caret = std::min(field.caret, textFieldLength(field));
    setWidgetText(state.knobs[zone].caption, name);
    if (std::strncmp(name, gSettings.snapshot().zones[zone].name, sizeof name) != 0)
        writeZone(state, zone);
}

void applyZoneSetup(ZoneSetupState& state) {
    commitAllNames(state);
    clearFocus(state);
    gSettings.edit([&](HapticSettings& s) {
        for (int zone = 0; zone < kMaxZones; ++zone) {
            const ZoneSetupZone& z = state.zones[zone];
            ZoneConfig& out = s.zones[zone];
            out.active = z.enabled ? 1 : 0;
            out.channel = z.channel;
            out.device = z.device;
            out.gain = std::clamp(z.gain, 0.0f, 1.0f);
            if (hasNameField(zone))
                copyText(out.name, z.name);
        }
        s.numActiveZones = kMaxZones;
    });
    close(state, 1);
}

void releaseZoneSetup(ZoneSetupState& state) {
    stopTest(state);
    if (state.draggedKnob >= 0) {
        knobRelease(state.knobs[state.draggedKnob]);
        state.draggedKnob = -1;
    }
}

DialogSpec zoneSetupSpec(ZoneSetupState& state, WindowHandle parent) {
    DialogSpec spec;
    spec.parent = parent;
    spec.title = "Zone Setup";
    spec.width = kZoneSetupWidth;
    spec.height = kZoneSetupHeight;
    spec.onPaint = zoneSetupPaint;
    spec.onMouse = zoneSetupMouse;
    spec.onKey = zoneSetupKey;
    spec.userData = &state;
    return spec;
}

// --- callbacks ---------------------------------------------------------------

void zoneSetupPaint(DrawContext& context, float w, float h, void* user) {
    auto& state = *static_cast<ZoneSetupState*>(user);
    const float s = dpiScale();
    layOut(state, w, h);
    context.clear(rgb(16, 18, 22));
    drawLabel(context, kFormatCardTitle, "Zone Setup", RectF{20 * s, 8 * s, w - 20 * s, 30 * s}, guiBrush(kBrushText));
    drawLabel(context, kFormatSmall, "Enable zones, assign channels and set volume per shaker.",
              RectF{20 * s, 28 * s, w - 20 * s, 44 * s}, guiBrush(kBrushText38));
    const bool devices = state.numDevices > 1;
    const auto caption = [&](const char* text, float x) {
        drawLabel(context, kFormatCaption, text, scaled(x, 48, x + 90, 64, s), guiBrush(kBrushText38));
    };
    caption("Zone", 46);
    caption("Channel", 150);
    if (devices)
        caption("Device", 226);
    caption("Test", 322);
    context.drawLine(PointF{20 * s, kRowsTop * s}, PointF{w - 20 * s, kRowsTop * s}, guiBrush(kBrushLine), 1 * s);

    for (int zone = 0; zone < kMaxZones; ++zone) {
        const ZoneSetupZone& z = state.zones[zone];
        const ZoneSetupRow& row = state.rows[zone];
        const float top = kRowsTop + kRowPitch * static_cast<float>(zone);
        if (zone % 2 == 0)
            context.fillRect(scaled(20, top, w / s - 20, top + kRowPitch, s), guiBrush(kBrushLineFaint));
        drawCheckBox(context, row.enableBox, z.enabled, row.enableHover);
        if (hasNameField(zone)) {
            context.pushLayer(z.enabled ? 1.0f : 0.4f);
            drawTextField(context, state.fields[fieldOfZone(zone)]);
            context.popLayer();
        } else {
            const float cy = rowCentre(zone);
            drawLabel(context, kFormatControl, z.name, scaled(46, cy - 11, 142, cy + 11, s),
                      guiBrush(z.enabled ? kBrushText : kBrushText38));
        }
        if (!z.enabled) {
            drawEmptyBox(context, row.channelBox);
            if (devices)
                drawEmptyBox(context, RectF{row.deviceHalves[0].left, row.deviceHalves[0].top,
                                            row.deviceHalves[1].right, row.deviceHalves[1].bottom});
            drawEmptyBox(context, row.testButton);
            continue;
        }
        drawChannelSelector(context, row, z.channel);
        if (devices)
            drawDeviceSelector(context, row, z.device);
        drawTestButton(context, row, state.testingZone == zone);
    }

    drawSection(context, "Zone Volumes", kVolumesTop, w);
    context.drawLine(PointF{20 * s, (kVolumesTop + 20) * s}, PointF{w - 20 * s, (kVolumesTop + 20) * s},
                     guiBrush(kBrushLine), 1 * s);
    for (const UiKnob& knob : state.knobs)
        drawKnob(context, knob);

    drawSection(context, "Pedal Haptic Devices", kPedalsTop, w);
    drawLabel(context, kFormatCaption, "(Coming soon)", scaled(180, kPedalsTop, 400, kPedalsTop + 18, s),
              guiBrush(kBrushText22));
    context.drawLine(PointF{20 * s, (kPedalsTop + 20) * s}, PointF{w - 20 * s, (kPedalsTop + 20) * s},
                     guiBrush(kBrushLine), 1 * s);
    for (int p = 0; p < 3; ++p) {
        const float cy = kPedalsTop + 34 + 20 * static_cast<float>(p);
        context.fillRoundedRect(scaled(23, cy - 7, 37, cy + 7, s), 3 * s, guiBrush(kBrushSurface));
        context.drawRoundedRect(scaled(23, cy - 7, 37, cy + 7, s), 3 * s, guiBrush(kBrushLineFaint), 1 * s);
        drawLabel(context, kFormatControl, kPedalRows[p], scaled(46, cy - 9, 300, cy + 9, s), guiBrush(kBrushText22));
    }

    drawButton(context, state.apply);
    drawButton(context, state.close);
}

bool zoneSetupMouse(uint32_t message, float x, float y, uintptr_t wParam, void* user) {
    auto& state = *static_cast<ZoneSetupState*>(user);
    switch (message) {
    case kWmLButtonDown: return handleLeftDown(state, x, y);
    case kWmMouseMove: return handleMove(state, x, y);
    case kWmLButtonUp: return handleLeftUp(state);
    case kWmLButtonDblClk:
    case kWmRButtonDown: return handleResetGain(state, x, y);
    case kWmMouseWheel: return handleWheel(state, x, y, wParam);
    default: return false;
    }
}

bool zoneSetupKey(uint32_t message, uintptr_t wParam, intptr_t, void* user) {
    auto& state = *static_cast<ZoneSetupState*>(user);
    const int focused = state.focusedField;
    if (message == kWmKeyDown) {
        if (wParam == static_cast<uintptr_t>(kVkEscape)) {
            if (focused >= 0)
                commitZoneName(state, focused);
            close(state, 0);
            return true;
        }
        if (focused < 0)
            return false;
        if (wParam == static_cast<uintptr_t>(kVkTab))
            return handleTab(state);
        textFieldKey(state.fields[focused], static_cast<int>(wParam));
        return true;  // the caret may have moved
    }
    if (message == kWmChar && focused >= 0) {
        UiTextField& field = state.fields[focused];
        if (wParam < 32 || textFieldLength(field) < kZoneNameMax)
            return textFieldChar(field, static_cast<int>(wParam)) != kWidgetNone;
    }
    return false;
}

void openZoneSetup(WindowHandle parent, GuiHost* host) {
    if (gSettings.snapshot().audioDeviceIndex < 0) {
        messageBoxes().show(parent, "Zone Setup", kNoDeviceText, MessageKind::Info);
        return;
    }
    ZoneSetupState state;
    initZoneSetup(state, host);
    runDialog(zoneSetupSpec(state, parent));
    releaseZoneSetup(state);
    releaseMouseCapture();
    if (parent)
        postWindowMessage(parent, kMsgRefreshEffects, 0, 0);
}

}  // namespace qv
