// Layout and painting of the effect cards (behaviour in EffectCards.cpp).
// Each layout writes every card's hit rectangles and clears those of cards
// it does not show; the painter draws what the layout left.

#include "ui/panels/EffectCards.h"

#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/Appearance.h"
#include "ui/Shapes.h"
#include "ui/panels/BandDrawing.h"
#include "ui/panels/FrameDamage.h"
#include "ui/panels/LayerCache.h"
#include "ui/panels/MainWindowBands.h"
#include "ui/panels/ScopeImage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv {

using namespace bands;

namespace {

EffectCardsState& state() { return mainWindowBands().cards; }

constexpr int kTrackSegments = 30;
// A slider narrower than this (96-dpi units) puts its value beside the track.
constexpr float kWideSliderWidth = 150.0f;
// The value's box right of a shortened track, and the gap before it.
constexpr float kValueBesideWidth = 44.0f;
constexpr float kValueBesideGap = 8.0f;
// The narrowest slider the scope gives way for, and the narrowest scope shown.
constexpr float kMinSliderWidth = 132.0f;
constexpr float kMinScopeWidth = 56.0f;
constexpr int kScopeSamples = 64;
constexpr float kTwoPi = 6.28318530718f;

struct CardStyle {
    float s;
    bool on;
    const Brush* accent;  // brush 14, or the text colour on a card that is off
};

float sliderValue(const CardSlider& slider, const EffectProfile& block) {
    if (slider.floatTarget)
        return block.*slider.floatTarget;
    if (slider.intTarget)
        return static_cast<float>(block.*slider.intTarget);
    return 0.0f;
}

float sliderPosition(const CardSlider& slider, float value) {
    if (!(slider.max > slider.min) || !std::isfinite(value))
        return 0.0f;
    return std::clamp((value - slider.min) / (slider.max - slider.min), 0.0f, 1.0f);
}

void paintScopeBox(DrawContext& context, const RectF& r, const EffectCard& card, float s) {
    if (!(r.width() > 0.0f))
        return;
    context.fillRoundedRect(r, 6.0f * s, guiBrush(kBrushRaised));
    context.drawRoundedRect(r, 6.0f * s, guiBrush(kBrushLine), 1.0f);
    text(context, kFormatCaption, card.tag, RectF{r.left, r.top + 3 * s, r.right - 4 * s, r.top + 13 * s}, kBrushAccent,
         TextAlignment::Trailing, ParagraphAlignment::Near);
}

// The newest 64 samples of the effect's history, each within 0..1.
void scopeSamples(int effect, const LevelMeters& meters, float raw[kScopeSamples]) {
    const uint32_t newest = meters.writeIndex;
    for (int j = 0; j < kScopeSamples; ++j) {
        const float v = meters.history[effect][(newest - kScopeSamples + j) & (kLevelHistorySize - 1)];
        raw[j] = std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f;
    }
}


// The newest 64 samples of the effect's history, smoothed, as a filled curve.
void paintScope(DrawContext& context, int index, const RectF& r, int effect, const LevelMeters& meters, float s,
                float opacity) {
    if (effect < 0 || effect >= kEffectCount)
        return;
    float raw[kScopeSamples];
    scopeSamples(effect, meters, raw);
    state().scopeImages[index].paint(context, r, raw, meters.writeIndex, kLevelHistorySize, s, opacity);
}

void paintEnableButton(DrawContext& context, PointF c, bool on, bool hovered, float s) {
    context.fillEllipse(c, 11 * s, 11 * s, guiBrush(on ? kBrushSurface : kBrushRaised));
    const Brush& glyph = guiBrush(on ? (hovered ? kBrushAccent : kBrushAccentShade3) : kBrushText22);
    drawArc(context, c, 7 * s, 45.0f, 315.0f, glyph, 1.5f * s);
    context.drawLine(PointF{c.x, c.y - 6 * s}, PointF{c.x, c.y + 1 * s}, glyph, 1.5f * s);
    if (on)
        context.drawEllipse(c, 12 * s, 12 * s, withOpacity(guiBrush(kBrushAccentShade1), hovered ? 0.35f : 0.18f), 2 * s);
    const int ring = on ? kBrushAccentShade3 : (hovered ? kBrushLineStrong : kBrushLine);
    context.drawEllipse(c, 11 * s, 11 * s, guiBrush(ring), 1.0f);
}

void paintSplitSwitch(DrawContext& context, const RectF& r, bool dual, bool hovered, float s) {
    context.fillRoundedRect(r, 3 * s, guiBrush(hovered ? kBrushHover : kBrushRaised));
    const int outline = dual ? kBrushAccentShade3 : (hovered ? kBrushLineStrong : kBrushLine);
    context.drawRoundedRect(r, 3 * s, guiBrush(outline), 1.0f);
    const float mid = r.centerX();
    text(context, kFormatCaption, "SMP", RectF{r.left, r.top, mid, r.bottom}, dual ? kBrushText38 : kBrushAccent);
    text(context, kFormatCaption, "ADV", RectF{mid, r.top, r.right, r.bottom}, dual ? kBrushAccent : kBrushText38);
}

void paintTestButton(DrawContext& context, const RectF& r, bool held, bool hovered, float s) {
    const float radius = 6 * s;
    const PointF dot{r.centerX(), r.top + 16 * s};
    if (held) {
        context.drawRoundedRect(inset(r, -2 * s, -2 * s), radius + 2 * s, guiBrush(kBrushAccentShade1), 2 * s);
        fillGradientRect(&context, r, radius, guiGradient(kGradientG1));
        context.drawRoundedRect(r, radius, guiBrush(kBrushAccent), 1.0f);
    } else {
        fillGradientRect(&context, r, radius, guiGradient(hovered ? kGradientG1 : kGradientG0));
        context.drawRoundedRect(r, radius, guiBrush(hovered ? kBrushAccentShade3 : kBrushLine), 1.0f);
        context.fillEllipse(dot, 4 * s, 4 * s, guiBrush(hovered ? kBrushAccentShade2 : kBrushRaised));
        context.drawEllipse(dot, 4 * s, 4 * s, guiBrush(hovered ? kBrushAccentShade3 : kBrushLineStrong), 1.0f);
    }
    const int label = held ? kBrushAccent : (hovered ? kBrushText : kBrushText55);
    text(context, kFormatSmall, "TEST", RectF{r.left, dot.y + 8 * s, r.right, r.bottom - 4 * s}, label);
}

// The held TEST button's dot, pulsing.
void paintTestPulse(DrawContext& context, const RectF& r, float time, float s) {
    const float pulse = 0.6f + 0.4f * std::sin(kTwoPi * time / 0.4f);
    context.fillEllipse(PointF{r.centerX(), r.top + 16 * s}, 4 * s, 4 * s, withOpacity(guiBrush(kBrushAccent), pulse));
}

// The next larger step of the 1, 2, 5 series.
float nextStep(float step) {
    const float decade = std::pow(10.0f, std::floor(std::log10(step) + 1e-4f));
    const float m = step / decade;
    if (m < 1.5f)
        return 2 * decade;
    if (m < 3.5f)
        return 5 * decade;
    return 10 * decade;
}

// Labelled ticks at least this far apart (96-dpi units), so that their
// numbers never run together on a short scale.
constexpr float kTickLabelSpacing = 26.0f;
constexpr float kMinorTickSpacing = 3.0f;

void tickSteps(float range, float& minor, float& major) {
    if (range > 90.0f) {
        minor = 5;
        major = 20;
    } else if (range > 40.0f) {
        minor = 5;
        major = 10;
    } else {
        minor = 1;
        major = 5;
    }
}

RectF sliderTrack(const CardSlider& slider, float s) {
    const float cy = slider.rect.top + 35 * s;
    return RectF{slider.trackLeft, cy - 7 * s, slider.trackLeft + slider.trackWidth, cy + 7 * s};
}

// The parts of a slider that do not follow its value: label, unit, the
// unlit track, the mark over the top of the range and the tick scale.
void paintSliderBase(DrawContext& context, const CardSlider& slider, const CardStyle& style) {
    const float s = style.s;
    const RectF& r = slider.rect;
    const int labelBrush = style.on ? kBrushText38 : kBrushText22;
    // The label ends where the value above the track begins.
    const float labelRight = slider.valueBesideTrack ? r.right - 18 * s : std::min(r.left + 90 * s, r.right - 62 * s);
    text(context, kFormatSliderLabel, slider.label, RectF{r.left, r.top, labelRight, r.top + 16 * s}, labelBrush,
         TextAlignment::Leading);
    text(context, kFormatUnit, slider.unit, RectF{r.right - 16 * s, r.top, r.right, r.top + 16 * s}, labelBrush,
         TextAlignment::Trailing);
    const float trackWidth = slider.trackWidth;
    if (!(trackWidth > 0.0f))
        return;
    const RectF track = sliderTrack(slider, s);
    const Brush& accent = *style.accent;
    context.pushLayer(style.on ? 1.0f : 0.35f);
    const float segment = trackWidth / kTrackSegments;
    const float slant = 2.5f * s;
    for (int i = 0; i < kTrackSegments; ++i) {
        const float x0 = track.left + i * segment + 1.2f * s;
        const float x1 = track.left + (i + 1) * segment - 1.2f * s;
        if (!(x1 > x0))
            continue;
        pathSlantedSegment(context, x0, x1, track.top, track.bottom, slant);
        context.fillPath(withOpacity(guiBrush(kBrushText), 0.04f));
        context.strokePath(guiBrush(kBrushLineFaint), 1.0f);
    }
    context.beginPath();
    context.fillRect(RectF{track.left + 0.85f * trackWidth, track.top - 3 * s, track.right, track.top - 2 * s},
                     withOpacity(accent, 0.7f));

    // Tick scale under the track.
    const float lo = slider.percent ? 0.0f : slider.min;
    const float hi = slider.percent ? 100.0f : slider.max;
    if (hi > lo) {
        float minor = 0, major = 0;
        tickSteps(hi - lo, minor, major);
        // A short scale labels fewer ticks.
        const float perUnit = trackWidth / (hi - lo);
        while (major * perUnit < kTickLabelSpacing * s && major < hi - lo)
            major = nextStep(major);
        while (minor * perUnit < kMinorTickSpacing * s && minor < major)
            minor = nextStep(minor);
        const float tickTop = track.bottom + 3 * s;
        const Brush dim = withOpacity(guiBrush(kBrushText), 0.3f);
        for (float t = std::ceil(lo / minor) * minor; t <= hi + 1e-3f; t += minor) {
            const float nearestMajor = std::round(t / major) * major;
            const bool isMajor = std::fabs(t - nearestMajor) < 1e-3f;
            if (!isMajor && std::fabs(t - nearestMajor) <= 0.5f)
                continue;
            const float f = (t - lo) / (hi - lo);
            const float x = track.left + f * trackWidth;
            const Brush& brush = f >= 0.85f ? accent : dim;
            context.fillRect(RectF{x, tickTop, x + 1.0f, tickTop + (isMajor ? 5 : 3) * s}, brush);
            if (isMajor) {
                char label[16];
                std::snprintf(label, sizeof(label), "%d", static_cast<int>(std::lround(t)));
                textWith(context, kFormatCaption, label, RectF{x - 14 * s, tickTop + 5 * s, x + 14 * s, tickTop + 16 * s},
                         brush);
            }
        }
    }
    context.popLayer();
}

// Where a slider's value part may draw: its rectangle grown by the glows.
RectF sliderValueBounds(const CardSlider& slider, float s) {
    return RectF{slider.rect.left - 10 * s, slider.rect.top - 4 * s, slider.rect.right + 10 * s,
                 slider.rect.bottom + 4 * s};
}

// The parts that follow the value: the number, the glow, the lit segments and
// the handle. A card that is off blends the whole part in at its own
// opacity, and the track at the sliders' lower one.
void paintSliderValue(DrawContext& context, const CardSlider& slider, float value, bool dragging,
                      const CardStyle& style) {
    const float s = style.s;
    const RectF& r = slider.rect;
    char number[24];
    const float shown = slider.percent ? value * 100.0f : value;
    std::snprintf(number, sizeof(number), "%.0f", std::isfinite(shown) ? std::clamp(shown, -1e6f, 1e6f) : 0.0f);
    const float trackY = r.top + 35 * s;
    const RectF numberBox = slider.valueBesideTrack
                                ? RectF{r.right - kValueBesideWidth * s, trackY - 11 * s, r.right, trackY + 11 * s}
                                : RectF{r.right - 60 * s, r.top - 2 * s, r.right - 18 * s, r.top + 18 * s};
    text(context, kFormatSliderValue, number, numberBox, style.on ? kBrushText : kBrushText22, TextAlignment::Trailing);
    const float trackWidth = slider.trackWidth;
    if (!(trackWidth > 0.0f))
        return;
    const RectF track = sliderTrack(slider, s);
    const float cy = track.centerY();
    const float p = sliderPosition(slider, value);
    const Brush& accent = *style.accent;
    const float litRight = track.left + p * trackWidth;
    context.pushLayer(style.on ? 1.0f : 0.35f);
    if (p > 0.01f) {
        const float grow[3] = {6, 3, 1};
        const float opacity[3] = {0.04f, 0.07f, 0.12f};
        for (int g = 0; g < 3; ++g)
            context.fillRoundedRect(RectF{track.left - grow[g] * s, track.top - grow[g] * s, litRight + grow[g] * s,
                                          track.bottom + grow[g] * s},
                                    (2 + grow[g]) * s, withOpacity(accent, opacity[g]));
    }
    const float segment = trackWidth / kTrackSegments;
    const float slant = 2.5f * s;
    for (int i = 0; i < kTrackSegments && p >= static_cast<float>(i + 1) / kTrackSegments; ++i) {
        const float x0 = track.left + i * segment + 1.2f * s;
        const float x1 = track.left + (i + 1) * segment - 1.2f * s;
        if (!(x1 > x0))
            continue;
        pathSlantedSegment(context, x0, x1, track.top, track.bottom, slant);
        context.fillPath(withOpacity(accent, 0.55f + 0.45f * static_cast<float>(i) / kTrackSegments));
    }
    context.beginPath();
    const RectF handle{litRight - 4 * s, cy - 14 * s, litRight + 4 * s, cy + 14 * s};
    context.fillRoundedRect(inset(handle, -3 * s, -3 * s), 4 * s, withOpacity(accent, dragging ? 0.35f : 0.12f));
    context.fillRoundedRect(handle, 2 * s, accent);
    context.popLayer();
}

// The card's rectangles for this frame: what the handlers hit and where the
// parts are drawn.
void layoutCard(EffectCard& card, const RectF& r, float s) {
    const DensityMetrics& m = densityMetrics();
    const float innerTop = r.top + m.vPad * s;
    const float innerBottom = r.bottom - m.vPad * s;
    card.cardRect = r;
    card.testRect = RectF{r.right - (m.hPad + m.testWidth) * s, innerTop, r.right - m.hPad * s, innerBottom};
    const int sliders = std::clamp(card.sliderCount, 0, kMaxCardSliders);
    // Where the sliders would be narrower than kMinSliderWidth, the scope
    // gives way: narrower first, then none, and the gaps close up a little.
    const float contentRight = std::max(r.left, card.testRect.left - 18 * s);
    float gap = 24 * s;
    float scopeWidth = m.scopeWidth * s;
    const float wanted = sliders * kMinSliderWidth * s + (sliders > 1 ? (sliders - 1) * gap : 0.0f);
    const float room = contentRight - (r.left + m.hPad * s + scopeWidth + 18 * s);
    if (room < wanted) {
        scopeWidth = std::max(0.0f, scopeWidth - (wanted - room));
        if (scopeWidth < kMinScopeWidth * s) {
            scopeWidth = 0.0f;
            gap = 16 * s;
        }
    }
    const float scopeLeft = r.left + m.hPad * s;
    card.scopeRect = scopeWidth > 0.0f ? RectF{scopeLeft, innerTop, scopeLeft + scopeWidth, innerBottom} : RectF{};
    const float contentLeft =
        std::min(contentRight, scopeWidth > 0.0f ? card.scopeRect.right + 18 * s : r.left + m.hPad * s);
    const PointF enable{contentLeft + 11 * s, innerTop + 12 * s};
    card.enableRect = RectF{enable.x - 11 * s, enable.y - 11 * s, enable.x + 11 * s, enable.y + 11 * s};
    card.splitRect = card.splitShown ? RectF{contentRight - 50 * s, enable.y - 8 * s, contentRight, enable.y + 8 * s}
                                     : RectF{};
    const float sliderWidth = sliders > 0 ? (contentRight - contentLeft - gap * (sliders - 1)) / sliders : 0.0f;
    for (int j = 0; j < kMaxCardSliders; ++j) {
        CardSlider& slider = card.sliders[j];
        if (j >= sliders || !(sliderWidth > 0.0f)) {
            slider.rect = RectF{};
            slider.trackWidth = 0;
            continue;
        }
        const float left = contentLeft + j * (sliderWidth + gap);
        slider.rect = RectF{left, innerTop + 29 * s, left + sliderWidth, innerBottom};
        slider.trackLeft = left + 6 * s;
        slider.valueBesideTrack = sliderWidth < kWideSliderWidth * s;
        const float valueRoom = slider.valueBesideTrack ? (kValueBesideWidth + kValueBesideGap - 6) * s : 0.0f;
        slider.trackWidth = std::max(0.0f, sliderWidth - 12 * s - valueRoom);
    }
}

// Everything of a laid-out card that does not move by itself: all but the
// scope's curve and the held TEST button's pulse.
void paintCardStatic(DrawContext& context, const EffectCard& card, int index, const EffectProfile& block, float s) {
    const EffectCardPanel& panel = state().panel;
    const DensityMetrics& m = densityMetrics();
    const RectF& r = card.cardRect;
    const int effect = std::clamp(card.effect, 0, kEffectCount - 1);
    const bool on = block.effectEnabled[effect] != 0;
    const bool hoveredCard = panel.hoverCard == index;

    context.pushClip(r);
    if (!on)
        context.pushLayer(0.38f);
    fillGradientRect(&context, r, 10 * s, guiGradient(kGradientG0));
    context.drawRoundedRect(r, 10 * s, guiBrush(kBrushLine), 1.0f);
    hline(context, r.left + 10 * s, r.right - 10 * s, r.top + 1.0f, kBrushLineFaint);
    paintScopeBox(context, card.scopeRect, card, s);

    const float innerTop = r.top + m.vPad * s;
    const PointF enable{card.enableRect.centerX(), card.enableRect.centerY()};
    paintEnableButton(context, enable, on, hoveredCard && panel.hoverEnable, s);
    const float contentLeft = card.enableRect.left;
    float titleRight = std::max(contentLeft, card.testRect.left - 18 * s);
    if (card.splitShown) {
        titleRight = card.splitRect.left - 6 * s;
        paintSplitSwitch(context, card.splitRect, block.suspDualBand != 0, hoveredCard && panel.hoverSplit, s);
    }
    const float titleLeft = contentLeft + 32 * s;
    text(context, kFormatCardTitle, card.name, RectF{titleLeft, innerTop - 2 * s, titleRight, innerTop + 14 * s},
         kBrushText, TextAlignment::Leading);
    text(context, kFormatCardSubtitle, card.subtitle, RectF{titleLeft, innerTop + 14 * s, titleRight, innerTop + 26 * s},
         kBrushText38, TextAlignment::Leading);

    paintTestButton(context, card.testRect, panel.testHeld[effect] != 0, hoveredCard && panel.hoverTest, s);

    const CardStyle style{s, on, on ? &guiBrush(kBrushAccent) : &guiBrush(kBrushText)};
    for (int j = 0; j < std::clamp(card.sliderCount, 0, kMaxCardSliders); ++j)
        if (card.sliders[j].rect.width() > 0.0f)
            paintSliderBase(context, card.sliders[j], style);
    if (!on)
        context.popLayer();
    // The keys' focus: an accent outline just inside the card's edge, at full
    // strength on a card that is off too.
    if (panel.focusCard == index)
        context.drawRoundedRect(inset(r, 1 * s, 1 * s), 9 * s, guiBrush(kBrushAccent), 2 * s);
    context.popClip();
}

void cardKey(CacheKey& key, const EffectCard& card, int index, const EffectProfile& block) {
    const EffectCardPanel& panel = state().panel;
    const int effect = std::clamp(card.effect, 0, kEffectCount - 1);
    key.addAppearance();
    key.add(card.cardRect.width());
    key.add(card.cardRect.height());
    key.add(card.name);
    key.add(card.subtitle);
    key.add(effect);
    key.add(card.splitShown);
    key.add(block.effectEnabled[effect]);
    key.add(block.suspDualBand);
    key.add(panel.testHeld[effect]);
    key.add(panel.focusCard == index);
    const bool hovered = panel.hoverCard == index;
    key.add(hovered && panel.hoverEnable);
    key.add(hovered && panel.hoverTest);
    key.add(hovered && panel.hoverSplit);
    for (int j = 0; j < std::clamp(card.sliderCount, 0, kMaxCardSliders); ++j) {
        key.add(card.sliders[j].label);
        key.add(card.sliders[j].rect.width());
    }
    key.add(card.scopeRect.width());
}

// The scope's curve changes only when the samples it shows do.
void markScope(FrameDamage* damage, const EffectCard& card, const RectF& r, int effect, bool on,
               const LevelMeters& meters) {
    if (!damage || effect < 0 || effect >= kEffectCount)
        return;
    CacheKey key;
    key.addAppearance();
    key.add(on);
    key.add(effect);
    float raw[kScopeSamples];
    scopeSamples(effect, meters, raw);
    for (float v : raw)
        key.add(v);
    damage->add(&card.scopeRect, r, key);
}

// A slider's value part, kept apart from the card so that a drag redraws
// only it.
void paintSliderValueCached(DrawContext& context, const EffectCard& card, int index, int j, const EffectProfile& block,
                            float s) {
    const CardSlider& slider = card.sliders[j];
    if (!(slider.rect.width() > 0.0f))
        return;
    const int effect = std::clamp(card.effect, 0, kEffectCount - 1);
    const bool on = block.effectEnabled[effect] != 0;
    const bool dragging = state().panel.dragCard == index && state().panel.dragSlider == j;
    const float value = sliderValue(slider, block);
    const CardStyle style{s, on, on ? &guiBrush(kBrushAccent) : &guiBrush(kBrushText)};
    LayerCache& cache = state().sliderCaches[index][j];
    const float opacity = on ? 1.0f : 0.38f;
    if (DrawContext* layer = cache.begin()) {
        paintSliderValue(*layer, slider, value, dragging, style);
        cache.end();
    } else if (cache.fallback()) {
        context.pushLayer(opacity);
        paintSliderValue(context, slider, value, dragging, style);
        context.popLayer();
        return;
    }
    context.pushClip(card.cardRect);
    cache.drawOnto(context, opacity);
    context.popClip();
}

void paintCard(DrawContext& context, const EffectCard& card, int index, const EffectProfile& block,
               const LevelMeters& meters, float time, float s) {
    LayerCache& cache = state().cardCaches[index];
    DrawContext* layer = cache.begin();
    if (layer) {
        paintCardStatic(*layer, card, index, block, s);
        cache.end();
    } else if (cache.fallback()) {
        paintCardStatic(context, card, index, block, s);
    }
    cache.drawOnto(context);
    for (int j = 0; j < std::clamp(card.sliderCount, 0, kMaxCardSliders); ++j)
        paintSliderValueCached(context, card, index, j, block, s);

    const int effect = std::clamp(card.effect, 0, kEffectCount - 1);
    const bool on = block.effectEnabled[effect] != 0;
    paintScope(context, index, card.scopeRect, card.effect, meters, s, on ? 1.0f : 0.38f);
    if (state().panel.testHeld[effect])
        paintTestPulse(context, card.testRect, time, s);
}

// The layout's notes for a laid-out card: the keys of its stored drawings
// and the regions of what it draws directly (its scope, a held TEST
// button's pulse).
void prepareCard(const BandFrame& frame, const EffectCard& card, int index, const EffectProfile& block,
                 const LevelMeters& meters, float s) {
    EffectCardsState& cards = state();
    CacheKey key;
    cardKey(key, card, index, block);
    cards.cardCaches[index].prepare(key, card.cardRect, frame.damage);
    const int effect = std::clamp(card.effect, 0, kEffectCount - 1);
    const bool on = block.effectEnabled[effect] != 0;
    for (int j = 0; j < std::clamp(card.sliderCount, 0, kMaxCardSliders); ++j) {
        const CardSlider& slider = card.sliders[j];
        if (!(slider.rect.width() > 0.0f))
            continue;
        CacheKey sliderKey;
        sliderKey.addAppearance();
        sliderKey.add(slider.rect.width());
        sliderKey.add(slider.rect.height());
        sliderKey.add(slider.min);
        sliderKey.add(slider.max);
        sliderKey.add(slider.percent);
        sliderKey.add(slider.valueBesideTrack);
        sliderKey.add(sliderValue(slider, block));
        sliderKey.add(cards.panel.dragCard == index && cards.panel.dragSlider == j);
        sliderKey.add(on);
        cards.sliderCaches[index][j].prepare(sliderKey, sliderValueBounds(slider, s), frame.damage, on ? 1.0f : 0.38f);
    }
    markScope(frame.damage, card, card.scopeRect, card.effect, on, meters);
    if (cards.panel.testHeld[effect] && frame.damage) {
        CacheKey pulseKey;
        pulseKey.addAppearance();
        pulseKey.add(frame.time);
        const PointF dot{card.testRect.centerX(), card.testRect.top + 16 * s};
        frame.damage->add(&card.testRect, RectF{dot.x - 5 * s, dot.y - 5 * s, dot.x + 5 * s, dot.y + 5 * s}, pulseKey);
    }
}

void clearHitRects(EffectCard& card) {
    card.cardRect = card.enableRect = card.testRect = card.splitRect = card.scopeRect = RectF{};
    for (CardSlider& slider : card.sliders) {
        slider.rect = RectF{};
        slider.trackWidth = 0;
    }
}

}  // namespace

void resetEffectCardCaches() {
    EffectCardsState& cards = state();
    for (LayerCache& cache : cards.cardCaches)
        cache.reset();
    for (auto& sliders : cards.sliderCaches)
        for (LayerCache& cache : sliders)
            cache.reset();
    for (ScopeImage& scope : cards.scopeImages)
        scope.reset();
}

void layoutEffectCards(const BandFrame& frame) {
    const float width = frame.width, height = frame.height;
    EffectCardsState& cards = state();
    EffectCardPanel& panel = cards.panel;
    cards.width = width;
    cards.height = height;
    for (EffectCard& card : panel.cards)
        clearHitRects(card);
    const float s = dpiScale();
    const RectF area = effectCardArea(width, height);
    panel.area = area;
    const DensityMetrics& m = densityMetrics();
    const int n = std::clamp(panel.count, 0, kMaxCards);
    const float pitch = (m.cardHeight + m.cardGap) * s;
    const float content = n > 0 ? n * m.cardHeight * s + (n - 1) * m.cardGap * s : 0.0f;
    panel.maxScroll = std::max(0.0f, content - area.height());
    panel.scroll = std::clamp(panel.scroll, 0.0f, panel.maxScroll);
    cards.block = gSettings.snapshot().effectProfiles[std::clamp(panel.sim, 0, kSimCount - 1)];
    if (!(area.width() > 0.0f) || !(area.height() > 0.0f))
        return;
    for (int i = 0; i < n; ++i) {
        const float top = area.top + i * pitch - panel.scroll;
        const RectF r{area.left, top, area.right, top + m.cardHeight * s};
        if (r.bottom <= area.top || r.top >= area.bottom)
            continue;
        layoutCard(panel.cards[i], r, s);
        if (frame.context)  // else input: nothing is drawn
            prepareCard(frame, panel.cards[i], i, cards.block, cards.meters, s);
    }
}

void paintEffectCards(DrawContext& context, float width, float height, float time) {
    (void)width;
    (void)height;
    const EffectCardsState& cards = state();
    const EffectCardPanel& panel = cards.panel;
    const float s = dpiScale();
    const RectF area = panel.area;
    if (!(area.width() > 0.0f) || !(area.height() > 0.0f))
        return;
    context.pushClip(area);
    for (int i = 0; i < std::clamp(panel.count, 0, kMaxCards); ++i)
        if (panel.cards[i].cardRect.width() > 0.0f)
            paintCard(context, panel.cards[i], i, cards.block, cards.meters, time, s);
    context.popClip();
}

}  // namespace qv
