#include "ui/panels/HeaderBand.h"

#include "app/Version.h"
#include "platform/graphics/Graphics.h"
#include "ui/AppMessages.h"
#include "ui/GuiHost.h"
#include "ui/Logo.h"
#include "ui/Widgets.h"
#include "ui/panels/BandDrawing.h"
#include "ui/panels/FrameDamage.h"
#include "ui/panels/LayerCache.h"
#include "ui/panels/MainWindowBands.h"
#include "ui/panels/StripText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv {

using namespace bands;

namespace {

constexpr float kStripWidth = 384.0f;
constexpr float kStripHeight = 36.0f;
constexpr float kCellWidth = 96.0f;
constexpr float kCaptionSize = 28.0f;
// The status dot's halo opacity: base + swing * the pulse.
constexpr float kDotHaloBase = 0.35f, kDotHaloSwing = 0.25f;

HeaderState& state() { return mainWindowBands().header; }

float statusTextWidth(DrawContext& context, bool connected) {
    HeaderState& band = state();
    const TextFormat* format = guiTextFormat(kFormatStripValue);
    if (format != band.statusFormat) {
        band.statusFormat = format;
        band.onlineWidth = context.measureText(format, "ONLINE", 0).width;
        band.offlineWidth = context.measureText(format, "OFFLINE", 0).width;
    }
    return connected ? band.onlineWidth : band.offlineWidth;
}

bool windowIsMaximized() {
    WindowHandle window = gMainWindow.load();
    const CaptionActions& actions = captionActions();
    return window && actions.isMaximized && actions.isMaximized(window);
}

void paintLogoAndVersion(DrawContext& context, float s) {
    paintLogo(context, scaled(kLogoBox.left, kLogoBox.top, kLogoBox.right, kLogoBox.bottom, s));
    char version[32];
    std::snprintf(version, sizeof(version), "v%s", kVersionText);
    text(context, kFormatVersion, version, scaled(18, 33, 138, 43, s), kBrushText38, TextAlignment::Leading);
}

void paintCaptionButton(DrawContext& context, const HeaderLayout& layout, int which, float s) {
    const RectF& r = layout.captionButtons[which];
    const bool hovered = layout.captionHover[which] != 0;
    context.fillRoundedRect(r, 5.0f * s, guiBrush(hovered ? kBrushHover : kBrushRaised));
    context.drawRoundedRect(r, 5.0f * s, guiBrush(hovered ? kBrushLineStrong : kBrushLine), 1.0f);
    const Brush& glyph = guiBrush(hovered ? kBrushText : kBrushText55);
    const float cx = r.centerX();
    const float cy = r.centerY();
    switch (which) {
    case kCaptionMinimize:
        context.fillRect(RectF{cx - 5.0f * s, cy + 1.5f * s, cx + 5.0f * s, cy + 2.7f * s}, glyph);
        break;
    case kCaptionMaximize:
        if (layout.maximized) {
            context.drawRoundedRect(RectF{cx - 3.5f * s, cy - 5.5f * s, cx + 5.5f * s, cy + 3.5f * s}, 0, glyph,
                                    1.2f * s);
            context.fillRect(RectF{cx - 5.5f * s, cy - 3.5f * s, cx + 3.5f * s, cy + 5.5f * s},
                             guiBrush(hovered ? kBrushHover : kBrushRaised));
            context.drawRoundedRect(RectF{cx - 5.5f * s, cy - 3.5f * s, cx + 3.5f * s, cy + 5.5f * s}, 0, glyph,
                                    1.2f * s);
        } else {
            context.drawRoundedRect(RectF{cx - 5.0f * s, cy - 5.0f * s, cx + 5.0f * s, cy + 5.0f * s}, 0, glyph,
                                    1.2f * s);
        }
        break;
    case kCaptionClose:
        context.drawLine(PointF{cx - 5.0f * s, cy - 5.0f * s}, PointF{cx + 5.0f * s, cy + 5.0f * s}, glyph, 1.5f * s);
        context.drawLine(PointF{cx + 5.0f * s, cy - 5.0f * s}, PointF{cx - 5.0f * s, cy + 5.0f * s}, glyph, 1.5f * s);
        break;
    default:
        break;
    }
}

void readStripTexts(HeaderTexts& texts) {
    const StripStatus status = readStripStatus();
    texts.device = deviceCellText(status);
    texts.driver = driverCellText(status);
    texts.latency = latencyCellText(status);
    texts.latencyValue = hasLatencyValue(status);
    texts.connected = status.simConnected != 0;
    texts.deviceMissing = isDeviceMissing(status);
    texts.notice = audioNoticeText(status);
}

RectF stripRect(float width, float s) {
    const float left = (width - kStripWidth * s) / 2.0f;
    const float top = (kHeaderHeight - kStripHeight) / 2.0f * s;
    return RectF{left, top, left + kStripWidth * s, top + kStripHeight * s};
}

// Where the status dot sits: it leads "ONLINE"/"OFFLINE", centred together
// in the fourth cell.
PointF statusDotCentre(DrawContext& context, const RectF& strip, bool connected, float s) {
    const float split = strip.top + 0.46f * strip.height();
    const float cellLeft = strip.left + 3 * kCellWidth * s;
    const float total = 12.0f * s + statusTextWidth(context, connected);
    return PointF{cellLeft + kCellWidth * s / 2.0f - total / 2.0f + 3.0f * s, (split + strip.bottom) / 2.0f};
}

// Everything of the strip but the status dot, which pulses.
void paintStrip(DrawContext& context, float width, const HeaderTexts& texts, float s) {
    const RectF strip = stripRect(width, s);
    context.fillRoundedRect(strip, 5.0f * s, guiBrush(kBrushSurface));
    context.drawRoundedRect(strip, 5.0f * s, guiBrush(kBrushLine), 1.0f);
    const ShortText& device = texts.device;
    const ShortText& driver = texts.driver;
    const ShortText& latency = texts.latency;
    static const char* const kCaptions[4] = {"DEVICE", "DRIVER", "LATENCY", "STATUS"};
    const float split = strip.top + 0.46f * strip.height();
    for (int cell = 0; cell < 4; ++cell) {
        const float x0 = strip.left + cell * kCellWidth * s;
        const float x1 = x0 + kCellWidth * s;
        if (cell > 0)
            context.fillRect(RectF{x0, strip.top + 5.0f * s, x0 + 1.0f, strip.bottom - 5.0f * s}, guiBrush(kBrushLine));
        text(context, kFormatCaption, kCaptions[cell], RectF{x0, strip.top, x1, split}, kBrushText38);
        const RectF value{x0, split, x1, strip.bottom};
        switch (cell) {
        case 0:
            text(context, kFormatStripValue, device.view(), value, texts.deviceMissing ? kBrushText38 : kBrushText);
            break;
        case 1:
            text(context, kFormatStripValue, driver.view(), value, kBrushText);
            break;
        case 2:
            text(context, kFormatStripValue, latency.view(), value, texts.latencyValue ? kBrushAccent : kBrushText);
            break;
        default: {
            const bool connected = texts.connected;
            const float textWidth = statusTextWidth(context, connected);
            const float textLeft = statusDotCentre(context, strip, connected, s).x + 9.0f * s;
            text(context, kFormatStripValue, connected ? "ONLINE" : "OFFLINE",
                 RectF{textLeft, value.top, std::max(textLeft + textWidth + 2.0f * s, value.right), value.bottom},
                 kBrushText, TextAlignment::Leading);
            break;
        }
        }
    }
}

// The notice of why audio is missing, right of the strip up to the caption
// buttons: an accent mark and the line, wrapped within the strip's height
// and clipped there. Nothing where the window is too narrow for it.
void paintAudioNotice(DrawContext& context, float width, const NoticeText& notice, float s) {
    const RectF box = audioNoticeRect(width, s);
    if (notice.view().empty() || box.width() < 48.0f * s)
        return;
    context.fillEllipse(PointF{box.left + 4.0f * s, box.centerY()}, 3.0f * s, 3.0f * s, guiBrush(kBrushAccent));
    const RectF line{box.left + 14.0f * s, box.top, box.right, box.bottom};
    context.pushClip(line);
    drawBandText(context, guiTextFormat(kFormatCaption), notice.view(), line, guiBrush(kBrushText78),
                 TextAlignment::Leading, ParagraphAlignment::Center, TextWrap::Wrap);
    context.popClip();
}

}  // namespace

RectF audioNoticeRect(float width, float s) {
    const RectF strip = stripRect(width, s);
    const float right = state().layout.captionButtons[kCaptionMinimize].left - 16.0f * s;
    return RectF{strip.right + 16.0f * s, strip.top, std::max(strip.right + 16.0f * s, right), strip.bottom};
}

CaptionActions& captionActions() { return mainWindowBands().connections.caption; }

const HeaderLayout& headerLayout() { return state().layout; }

void resetHeaderBand() {
    HeaderState& band = state();
    band.layout = HeaderLayout{};
    band.texts = HeaderTexts{};
    band.width = 0;
    band.dotCentre = PointF{};
    band.cache.reset();
    band.statusFormat = nullptr;
}

void layoutHeader(const BandFrame& frame) {
    HeaderState& band = state();
    HeaderLayout& layout = band.layout;
    const float width = frame.width;
    const float s = dpiScale();
    band.width = width;
    if (!(width > 0.0f)) {
        layout = HeaderLayout{};
        return;
    }
    const float top = (kHeaderHeight - kCaptionSize) / 2.0f * s;
    float right = width - 14.0f * s;
    for (int which = kCaptionClose; which >= kCaptionMinimize; --which) {
        layout.captionButtons[which] = RectF{right - kCaptionSize * s, top, right, top + kCaptionSize * s};
        right -= (kCaptionSize + 8.0f) * s;
    }
    layout.maximized = windowIsMaximized() ? 1 : 0;
    HeaderTexts& texts = band.texts;
    readStripTexts(texts);
    const RectF notice = audioNoticeRect(width, s);
    layout.wizardNotice = texts.deviceMissing && notice.width() >= 48.0f * s ? notice : RectF{};
    if (!frame.context)
        return;  // input: nothing is drawn

    CacheKey key;
    key.addAppearance();
    key.add(width);
    for (int which = 0; which < kCaptionButtonCount; ++which)
        key.add(layout.captionHover[which]);
    key.add(layout.maximized);
    key.addText(texts.device.view());
    key.addText(texts.driver.view());
    key.addText(texts.latency.view());
    key.add(texts.latencyValue);
    key.add(texts.connected);
    key.add(texts.deviceMissing);
    key.addText(texts.notice.view());
    band.cache.prepare(key, RectF{0, 0, width, kHeaderHeight * s}, frame.damage);
    band.dotCentre = statusDotCentre(*frame.context, stripRect(width, s), texts.connected, s);
    markStatusDot(frame.damage, &band.dotCentre, band.dotCentre, texts.connected, frame.time, kDotHaloBase,
                  kDotHaloSwing, s);
}

void paintHeader(DrawContext& context, float width, float time) {
    HeaderState& band = state();
    const HeaderLayout& layout = band.layout;
    const HeaderTexts& texts = band.texts;
    const float s = dpiScale();
    const float height = kHeaderHeight * s;
    if (!(width > 0.0f))
        return;
    const RectF rect{0, 0, width, height};
    DrawContext* layer = band.cache.begin();
    DrawContext& target = layer ? *layer : context;
    if (layer || band.cache.fallback()) {
        target.fillRect(rect, guiBrush(kBrushWindow));
        hline(target, 0, width, height - 1.0f, kBrushLine);
        paintLogoAndVersion(target, s);
        for (int which = 0; which < kCaptionButtonCount; ++which)
            paintCaptionButton(target, layout, which, s);
        paintStrip(target, width, texts, s);
        paintAudioNotice(target, width, texts.notice, s);
    }
    if (layer)
        band.cache.end();
    band.cache.drawOnto(context);
    drawStatusDot(context, band.dotCentre, texts.connected, time, kDotHaloBase, kDotHaloSwing, s);
}

bool captionButtonHover(float x, float y) {
    HeaderLayout& layout = state().layout;
    bool changed = false;
    for (int which = 0; which < kCaptionButtonCount; ++which) {
        const uint8_t inside = pointInRect(layout.captionButtons[which], x, y) ? 1 : 0;
        changed |= inside != layout.captionHover[which];
        layout.captionHover[which] = inside;
    }
    return changed;
}

bool captionButtonClick(WindowHandle window, float x, float y) {
    const HeaderLayout& layout = state().layout;
    const CaptionActions& actions = captionActions();
    if (pointInRect(layout.wizardNotice, x, y)) {
        // The notice's offer: the wizard opens once no other dialog runs.
        if (GuiHost* host = gGuiHost.load())
            host->requestDeviceSetup();
        return true;
    }
    int hit = -1;
    for (int which = 0; which < kCaptionButtonCount && hit < 0; ++which)
        if (pointInRect(layout.captionButtons[which], x, y))
            hit = which;
    if (hit < 0)
        return false;
    switch (hit) {
    case kCaptionMinimize:
        if (actions.minimize)
            actions.minimize(window);
        break;
    case kCaptionMaximize: {
        const bool maximized = actions.isMaximized && actions.isMaximized(window);
        void (*action)(WindowHandle) = maximized ? actions.restore : actions.maximize;
        if (action)
            action(window);
        break;
    }
    default:
        // Through the window's close path, so that close-to-tray applies.
        postWindowMessage(window, kWmClose, 0, 0);
        break;
    }
    return true;
}

const Band kHeaderBand = {
    "header",
    layoutHeader,
    [](DrawContext& context, const BandFrame& frame) { paintHeader(context, frame.width, frame.time); },
    [](const BandEvent& event) { return captionButtonHover(event.x, event.y); },
    [](const BandEvent& event) { return captionButtonClick(event.window, event.x, event.y); },
    nullptr,
    nullptr,
    resetHeaderBand,
};

}  // namespace qv
