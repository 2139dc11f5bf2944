#include "ui/panels/StatusBar.h"

#include "app/AppGlobals.h"
#include "platform/Clock.h"
#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/AppMessages.h"
#include "ui/MessageBox.h"
#include "ui/Widgets.h"
#include "ui/panels/BandDrawing.h"
#include "ui/panels/LayerCache.h"
#include "ui/panels/ProfileActions.h"
#include "ui/panels/StripText.h"

namespace qv {

using namespace bands;

namespace {

StatusBarLayout gStatus;
LayerCache gStatusCache;
char gStatusDotRegion = 0;  // the status dot's region of the frame
ConsoleToggle gConsoleToggle = nullptr;

constexpr const char* kButtonLabels[kStatusButtonCount] = {"Console - Open / Close", "Defaults"};

}  // namespace

void setConsoleToggle(ConsoleToggle toggle) { gConsoleToggle = toggle; }

const StatusBarLayout& statusBarLayout() { return gStatus; }

void resetStatusBar() {
    gStatus = StatusBarLayout{};
    gStatusCache.reset();
}

void paintStatusBar(DrawContext& context, float width, float height, float time) {
    const float s = dpiScale();
    const float top = height - kStatusBarHeight * s;
    if (!(width > 0.0f) || !(top >= 0.0f))
        return;
    const float centre = top + kStatusBarHeight * s / 2.0f;
    const float buttonTop = centre - 12.0f * s;
    const float defaultsRight = width - 14.0f * s;
    gStatus.buttons[kStatusDefaults] = RectF{defaultsRight - 80 * s, buttonTop, defaultsRight, buttonTop + 24 * s};
    const float consoleRight = gStatus.buttons[kStatusDefaults].left - 8.0f * s;
    gStatus.buttons[kStatusConsole] = RectF{consoleRight - 148 * s, buttonTop, consoleRight, buttonTop + 24 * s};

    const bool connected = gSimConnected.load() != 0;
    const ShortText rate = sampleRateText(gSettings.snapshot().audioSampleRate);
    const LocalTimeOfDay now = localTimeOfDay();
    const ShortText clock = clockText(now.hour, now.minute, now.second);

    CacheKey key;
    key.addAppearance();
    key.add(width);
    key.add(height);
    key.add(connected);
    key.addText(rate.view());
    key.addText(clock.view());
    key.add(gStatus.buttonHover[0]);
    key.add(gStatus.buttonHover[1]);
    const RectF row{0, top, width, height};
    DrawContext* layer = gStatusCache.begin(key, row);
    if (layer || gStatusCache.fallback()) {
        DrawContext& target = layer ? *layer : context;
        target.fillRect(row, guiBrush(kBrushInk));
        hline(target, 0, width, top, kBrushLine);
        text(target, kFormatSmall, connected ? "SIGNAL OK" : "NO SIGNAL", RectF{30 * s, row.top, 98 * s, row.bottom},
             connected ? kBrushAccent : kBrushText38, TextAlignment::Leading);
        target.fillRect(RectF{108 * s, centre - 7 * s, 108 * s + 1.0f, centre + 7 * s}, guiBrush(kBrushLineStrong));
        text(target, kFormatSmall, rate.view(), RectF{118 * s, row.top, 208 * s, row.bottom}, kBrushText38,
             TextAlignment::Leading);
        text(target, kFormatSmall, clock.view(), RectF{width / 2 - 54 * s, row.top, width / 2 + 54 * s, row.bottom},
             kBrushText38);
        for (int i = 0; i < kStatusButtonCount; ++i) {
            const bool hovered = gStatus.buttonHover[i] != 0;
            target.drawRoundedRect(inset(gStatus.buttons[i], 1.0f, 1.0f), 6.0f * s,
                                   guiBrush(hovered ? kBrushAccent : kBrushAccentShade3), 2.0f);
            text(target, kFormatSmall, kButtonLabels[i], gStatus.buttons[i], hovered ? kBrushText : kBrushText55);
        }
    }
    if (layer)
        gStatusCache.end();
    gStatusCache.drawOnto(context);
    drawStatusDot(context, &gStatusDotRegion, PointF{21.0f * s, centre}, connected, time, 0.3f, 0.2f, s);
}

bool statusBarHover(float x, float y) {
    bool changed = false;
    for (int i = 0; i < kStatusButtonCount; ++i) {
        const uint8_t inside = pointInRect(gStatus.buttons[i], x, y) ? 1 : 0;
        changed |= inside != gStatus.buttonHover[i];
        gStatus.buttonHover[i] = inside;
    }
    return changed;
}

bool headerButtonClick(WindowHandle window, float x, float y) {
    if (pointInRect(gStatus.buttons[kStatusDefaults], x, y)) {
        if (messageBoxes().askYesNo(window, "Reset Defaults",
                                    "Reset all effects for the current sim to factory defaults?\n\n"
                                    "This cannot be undone."))
            resetEffectsToDefaults(window);
        return true;
    }
    if (pointInRect(gStatus.buttons[kStatusConsole], x, y)) {
        if (gConsoleToggle)
            gConsoleToggle();
        else
            gConsoleToggleRequested.exchange(1);  // the main thread attaches its console output
        return true;
    }
    return false;
}

}  // namespace qv
