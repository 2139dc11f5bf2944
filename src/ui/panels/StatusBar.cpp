#include "ui/panels/StatusBar.h"

#include "app/AppGlobals.h"
#include "platform/Clock.h"
#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/AppMessages.h"
#include "ui/MessageBox.h"
#include "ui/Widgets.h"
#include "ui/panels/BandDrawing.h"
#include "ui/panels/FrameDamage.h"
#include "ui/panels/LayerCache.h"
#include "ui/panels/MainWindowBands.h"
#include "ui/panels/ProfileActions.h"
#include "ui/panels/StripText.h"

namespace qv {

using namespace bands;

namespace {

StatusBarState& state() { return mainWindowBands().status; }

constexpr const char* kButtonLabels[kStatusButtonCount] = {"Console - Open / Close", "Defaults"};
// The status dot's halo opacity: base + swing * the pulse.
constexpr float kDotHaloBase = 0.3f, kDotHaloSwing = 0.2f;

}  // namespace

void setConsoleToggle(ConsoleToggle toggle) { mainWindowBands().connections.consoleToggle = toggle; }

const StatusBarLayout& statusBarLayout() { return state().layout; }

void resetStatusBar() {
    StatusBarState& band = state();
    band.layout = StatusBarLayout{};
    band.connected = false;
    band.rate = ShortText{};
    band.clock = ShortText{};
    band.width = band.height = 0;
    band.cache.reset();
}

void layoutStatusBar(const BandFrame& frame) {
    StatusBarState& band = state();
    StatusBarLayout& layout = band.layout;
    const float width = frame.width, height = frame.height;
    const float s = dpiScale();
    band.width = width;
    band.height = height;
    const float top = height - kStatusBarHeight * s;
    if (!(width > 0.0f) || !(top >= 0.0f))
        return;
    const float centre = top + kStatusBarHeight * s / 2.0f;
    const float buttonTop = centre - 12.0f * s;
    const float defaultsRight = width - 14.0f * s;
    layout.buttons[kStatusDefaults] = RectF{defaultsRight - 80 * s, buttonTop, defaultsRight, buttonTop + 24 * s};
    const float consoleRight = layout.buttons[kStatusDefaults].left - 8.0f * s;
    layout.buttons[kStatusConsole] = RectF{consoleRight - 148 * s, buttonTop, consoleRight, buttonTop + 24 * s};

    band.connected = gSimConnected.load() != 0;
    band.rate = sampleRateText(gSettings.snapshot().audioSampleRate);
    const LocalTimeOfDay now = localTimeOfDay();
    band.clock = clockText(now.hour, now.minute, now.second);
    if (!frame.context)
        return;  // input: nothing is drawn

    CacheKey key;
    key.addAppearance();
    key.add(width);
    key.add(height);
    key.add(band.connected);
    key.addText(band.rate.view());
    key.addText(band.clock.view());
    key.add(layout.buttonHover[0]);
    key.add(layout.buttonHover[1]);
    band.cache.prepare(key, RectF{0, top, width, height}, frame.damage);
    markStatusDot(frame.damage, &band.connected, PointF{21.0f * s, centre}, band.connected, frame.time, kDotHaloBase,
                  kDotHaloSwing, s);
}

void paintStatusBar(DrawContext& context, float width, float height, float time) {
    StatusBarState& band = state();
    const StatusBarLayout& layout = band.layout;
    const float s = dpiScale();
    const float top = height - kStatusBarHeight * s;
    if (!(width > 0.0f) || !(top >= 0.0f))
        return;
    const float centre = top + kStatusBarHeight * s / 2.0f;
    const bool connected = band.connected;
    const RectF row{0, top, width, height};
    DrawContext* layer = band.cache.begin();
    if (layer || band.cache.fallback()) {
        DrawContext& target = layer ? *layer : context;
        target.fillRect(row, guiBrush(kBrushInk));
        hline(target, 0, width, top, kBrushLine);
        text(target, kFormatSmall, connected ? "SIGNAL OK" : "NO SIGNAL", RectF{30 * s, row.top, 98 * s, row.bottom},
             connected ? kBrushAccent : kBrushText38, TextAlignment::Leading);
        target.fillRect(RectF{108 * s, centre - 7 * s, 108 * s + 1.0f, centre + 7 * s}, guiBrush(kBrushLineStrong));
        text(target, kFormatSmall, band.rate.view(), RectF{118 * s, row.top, 208 * s, row.bottom}, kBrushText38,
             TextAlignment::Leading);
        text(target, kFormatSmall, band.clock.view(),
             RectF{width / 2 - 54 * s, row.top, width / 2 + 54 * s, row.bottom}, kBrushText38);
        for (int i = 0; i < kStatusButtonCount; ++i) {
            const bool hovered = layout.buttonHover[i] != 0;
            target.drawRoundedRect(inset(layout.buttons[i], 1.0f, 1.0f), 6.0f * s,
                                   guiBrush(hovered ? kBrushAccent : kBrushAccentShade3), 2.0f);
            text(target, kFormatSmall, kButtonLabels[i], layout.buttons[i], hovered ? kBrushText : kBrushText55);
        }
    }
    if (layer)
        band.cache.end();
    band.cache.drawOnto(context);
    drawStatusDot(context, PointF{21.0f * s, centre}, connected, time, kDotHaloBase, kDotHaloSwing, s);
}

bool statusBarHover(float x, float y) {
    StatusBarLayout& layout = state().layout;
    bool changed = false;
    for (int i = 0; i < kStatusButtonCount; ++i) {
        const uint8_t inside = pointInRect(layout.buttons[i], x, y) ? 1 : 0;
        changed |= inside != layout.buttonHover[i];
        layout.buttonHover[i] = inside;
    }
    return changed;
}

bool headerButtonClick(WindowHandle window, float x, float y) {
    const StatusBarLayout& layout = state().layout;
    const ConsoleToggle toggle = mainWindowBands().connections.consoleToggle;
    if (pointInRect(layout.buttons[kStatusDefaults], x, y)) {
        if (messageBoxes().askYesNo(window, "Reset Defaults",
                                    "Reset all effects for the current sim to factory defaults?\n\n"
                                    "This cannot be undone."))
            resetEffectsToDefaults(window);
        return true;
    }
    if (pointInRect(layout.buttons[kStatusConsole], x, y)) {
        if (toggle)
            toggle();
        else
            gConsoleToggleRequested.exchange(1);  // the main thread attaches its console output
        return true;
    }
    return false;
}

const Band kStatusBarBand = {
    "status bar",
    layoutStatusBar,
    [](DrawContext& context, const BandFrame& frame) { paintStatusBar(context, frame.width, frame.height, frame.time); },
    [](const BandEvent& event) { return statusBarHover(event.x, event.y); },
    [](const BandEvent& event) { return headerButtonClick(event.window, event.x, event.y); },
    nullptr,
    nullptr,
    resetStatusBar,
};

}  // namespace qv
