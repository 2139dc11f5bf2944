#include "ui/dialogs/ZoneTone.h"

#include "platform/graphics/Graphics.h"
#include "ui/Appearance.h"
#include "ui/GuiHost.h"

namespace qv {

bool startZoneTone(GuiHost* host, HeldTone& tone, int channel, int device) {
    stopZoneTone(host, tone);
    if (channel < 0)
        return false;
    tone.sounding = true;
    tone.channel = channel;
    tone.device = device;
    if (host)
        host->playTestTone(channel, kZoneToneMs, kZoneToneGain, device);
    return true;
}

void stopZoneTone(GuiHost* host, HeldTone& tone) {
    if (!tone.sounding)
        return;
    tone.sounding = false;
    if (host)
        host->playTestTone(tone.channel, 0, 0.0f, tone.device);
}

void drawPlayTriangle(DrawContext& context, float cx, float cy, float k, const Brush& brush) {
    context.beginPath();
    context.moveTo(PointF{cx - 0.6f * k, cy - k});
    context.lineTo(PointF{cx - 0.6f * k, cy + k});
    context.lineTo(PointF{cx + k, cy});
    context.closePath();
    context.fillPath(brush);
}

void drawPlayButton(DrawContext& context, const RectF& rect, PlayButtonLook look, float halfSize, float heldHalfSize) {
    const float s = dpiScale();
    const float radius = 3.0f * s;
    const float cx = rect.centerX();
    const float cy = rect.centerY();
    switch (look) {
    case PlayButtonLook::Held:
        context.fillRoundedRect(rect, radius, guiBrush(kBrushAccentShade2));
        context.drawRoundedRect(rect, radius, guiBrush(kBrushAccent), 1.0f * s);
        drawPlayTriangle(context, cx, cy, heldHalfSize, guiBrush(kBrushAccent));
        break;
    case PlayButtonLook::Hovered:
        context.drawRoundedRect(rect, radius, guiBrush(kBrushAccentShade3), 1.0f * s);
        drawPlayTriangle(context, cx, cy, halfSize, guiBrush(kBrushAccentShade3));
        break;
    case PlayButtonLook::Rest:
        context.drawRoundedRect(rect, radius, guiBrush(kBrushLine), 1.0f * s);
        drawPlayTriangle(context, cx, cy, halfSize, guiBrush(kBrushText38));
        break;
    }
}

}  // namespace qv
