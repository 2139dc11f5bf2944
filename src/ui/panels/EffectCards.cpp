#include "ui/panels/EffectCards.h"

#include "app/AppGlobals.h"
#include "platform/graphics/Graphics.h"
#include "settings/LiveSettings.h"
#include "ui/Appearance.h"
#include "ui/GuiHost.h"
#include "ui/Widgets.h"
#include "ui/panels/MainWindowBands.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

// The layout (EffectCardsPainter.cpp) writes the panel's hit rectangles and
// scroll limit.
EffectCardPanel& cardPanel() { return mainWindowBands().cards.panel; }
LevelMeters& meters() { return mainWindowBands().cards.meters; }

constexpr float kPeakFall = 0.04f;

CardSlider percentSlider(const char* label, float EffectProfile::*target) {
    CardSlider slider;
    slider.floatTarget = target;
    slider.min = 0.0f;
    slider.max = 1.0f;
    slider.label = label;
    slider.unit = "%";
    slider.percent = 1;
    return slider;
}

CardSlider frequencySlider(float EffectProfile::*target) {
    CardSlider slider;
    slider.floatTarget = target;
    slider.min = 10.0f;
    slider.max = 80.0f;
    slider.label = "FREQUENCY";
    slider.unit = "Hz";
    return slider;
}

EffectCard card(const char* name, const char* tag, const char* subtitle, int effect, CardSlider a, CardSlider b) {
    EffectCard c;
    c.name = name;
    c.tag = tag;
    c.subtitle = subtitle;
    c.effect = effect;
    c.sliderCount = 2;
    c.sliders[0] = a;
    c.sliders[1] = b;
    return c;
}

// Ends a slider drag; its edits were written as it went and are now marked
// for saving. True when one was active.
bool endSliderDrag() {
    if (cardPanel().dragCard < 0)
        return false;
    cardPanel().dragCard = -1;
    cardPanel().dragSlider = -1;
    gSettings.markDirty();
    return true;
}

float sanitizedMeter(float value) { return std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f; }

float sliderValueOf(const CardSlider& slider, const EffectProfile& block) {
    if (slider.floatTarget)
        return block.*slider.floatTarget;
    if (slider.intTarget)
        return static_cast<float>(block.*slider.intTarget);
    return slider.min;
}

// Writes a slider's value into the block: a float target takes it as it is,
// an integer target rounded to the nearest step.
void storeSliderValue(const CardSlider& slider, EffectProfile& block, float v) {
    if (slider.floatTarget)
        block.*slider.floatTarget = v;
    else if (slider.intTarget)
        block.*slider.intTarget = static_cast<int32_t>(std::floor(v + 0.5f));
}

void setSliderFromPointer(const CardSlider& slider, float x) {
    if (!(slider.trackWidth > 0.0f) || !std::isfinite(x))
        return;
    const float f = std::clamp((x - slider.trackLeft) / slider.trackWidth, 0.0f, 1.0f);
    const float v = slider.min + (slider.max - slider.min) * f;
    const int sim = cardPanel().sim;
    gSettings.edit([&](HapticSettings& s) { storeSliderValue(slider, s.effectProfiles[sim], v); }, false);
}

// The power button's action: the effect of the cards' simulator on or off.
void toggleCardEffect(int effect) {
    const int sim = cardPanel().sim;
    effect = std::clamp(effect, 0, kEffectCount - 1);
    gSettings.edit([&](HapticSettings& s) {
        uint8_t& enabled = s.effectProfiles[sim].effectEnabled[effect];
        enabled = enabled ? 0 : 1;
    });
}

bool hasFocusedCard() { return cardPanel().focusCard >= 0 && cardPanel().focusCard < cardPanel().count; }

// Scrolls so the focused card lies inside the card area of the last layout.
void scrollFocusIntoView() {
    EffectCardPanel& panel = cardPanel();
    if (!hasFocusedCard() || !(panel.area.height() > 0.0f))
        return;
    const float s = dpiScale();
    const DensityMetrics& m = densityMetrics();
    const float top = panel.focusCard * (m.cardHeight + m.cardGap) * s;
    const float bottom = top + m.cardHeight * s;
    if (top < panel.scroll)
        panel.scroll = top;
    else if (bottom > panel.scroll + panel.area.height())
        panel.scroll = bottom - panel.area.height();
    panel.scroll = std::clamp(panel.scroll, 0.0f, std::max(0.0f, panel.maxScroll));
}

}  // namespace

const EffectCardPanel& effectCardPanel() { return cardPanel(); }
const LevelMeters& levelMeters() { return meters(); }

int buildEffectCards(int sim) {
    if (!isValidSimIndex(sim))
        sim = kIRacing;
    endSliderDrag();
    const EffectProfile block = gSettings.snapshot().effectProfiles[sim];
    const bool split = sim >= kACC && sim <= kAC;
    const bool dual = split && block.suspDualBand != 0;

    EffectCard* cards = cardPanel().cards;
    int n = 0;
    cards[n++] = card("Road Texture", "ROAD", "TARMAC GRAIN FEEDBACK", kRoadVibration,
                      percentSlider("VOLUME", &EffectProfile::roadVibration),
                      frequencySlider(&EffectProfile::freqRoadVib));
    cards[n] = card(dual ? "Slow Suspension" : "Suspension", "SUSP", "DYNAMIC LOAD PER CORNER", kSuspImpact,
                    percentSlider("VOLUME", &EffectProfile::suspImpact), frequencySlider(&EffectProfile::freqSuspImp));
    cards[n++].splitShown = split ? 1 : 0;
    if (!split || dual)
        cards[n++] = card(dual ? "Fast Suspension" : "Kerb", "KERB",
                          dual ? "HIGH-FREQ SUSPENSION" : "CURB STRIKE INTENSITY", kKerbRumble,
                          percentSlider("VOLUME", &EffectProfile::kerbRumble), frequencySlider(&EffectProfile::freqKerb));
    cards[n++] = card("Engine", "ENGN", "POWERTRAIN HARMONIC", kEngineRumble,
                      percentSlider("VOLUME", &EffectProfile::engineRumble), frequencySlider(&EffectProfile::freqEngine));
    cards[n++] = card("ABS", "ABS", "ANTI-LOCK PULSE", kAbsLock, percentSlider("VOLUME", &EffectProfile::absLock),
                      frequencySlider(&EffectProfile::freqAbsLock));
    cards[n++] = card("Gear Change", "GEAR", "SHIFT IMPULSE", kGearChange,
                      percentSlider("INTENSITY", &EffectProfile::gearChangeIntensity),
                      frequencySlider(&EffectProfile::freqGear));
    EffectCard& slip = cards[n++];
    slip = card("Wheel Slip", "SLIP", "TRACTION LOSS VECTOR", kWheelSlip,
                percentSlider("VOLUME", &EffectProfile::wheelSlipSensitivity), CardSlider{});
    CardSlider& sensitivity = slip.sliders[1];
    sensitivity.intTarget = &EffectProfile::wheelSlipThreshold;
    sensitivity.min = 1.0f;
    sensitivity.max = 100.0f;
    sensitivity.label = "SENSITIVITY";
    sensitivity.unit = "%";
    slip.sliders[2] = frequencySlider(&EffectProfile::freqWheelSlip);
    slip.sliderCount = 3;
    for (int i = n; i < kMaxCards; ++i)
        cards[i] = EffectCard{};

    cardPanel().count = n;
    cardPanel().sim = sim;
    cardPanel().scroll = 0.0f;
    cardPanel().hoverCard = -1;
    // The focus stays on its place; with fewer cards it moves to the last.
    cardPanel().focusCard = std::min(cardPanel().focusCard, n - 1);
    scrollFocusIntoView();
    return n;
}

void resetCardDrag() {
    std::fill(std::begin(cardPanel().testHeld), std::end(cardPanel().testHeld), uint8_t{0});
    cardPanel().scroll = 0.0f;
    cardPanel().focusCard = -1;
}

bool cardMouseDown(GuiHost* host, float x, float y) {
    EffectCardPanel& panel = cardPanel();
    if (!pointInRect(panel.area, x, y))
        return false;
    for (int i = 0; i < panel.count; ++i) {
        EffectCard& c = panel.cards[i];
        if (!pointInRect(c.cardRect, x, y))
            continue;
        const int sim = panel.sim;
        const int effect = std::clamp(c.effect, 0, kEffectCount - 1);
        if (pointInRect(c.enableRect, x, y)) {
            toggleCardEffect(effect);
            return true;
        }
        if (c.splitShown && pointInRect(c.splitRect, x, y)) {
            gSettings.edit([&](HapticSettings& s) {
                uint8_t& dual = s.effectProfiles[sim].suspDualBand;
                dual = dual ? 0 : 1;
            });
            buildEffectCards(sim);
            return true;
        }
        if (pointInRect(c.testRect, x, y)) {
            if (!panel.testHeld[effect]) {
                panel.testHeld[effect] = 1;
                if (host && host->effectPreviewFn)
                    host->effectPreviewFn(effect, true);
            }
            return true;
        }
        for (int j = 0; j < std::clamp(c.sliderCount, 0, kMaxCardSliders); ++j) {
            if (pointInRect(c.sliders[j].rect, x, y)) {
                panel.dragCard = i;
                panel.dragSlider = j;
                setSliderFromPointer(c.sliders[j], x);
                return true;
            }
        }
        return false;
    }
    return false;
}

bool cardMouseUp(GuiHost* host, float x, float y) {
    (void)x;
    (void)y;
    bool changed = endSliderDrag();
    for (int effect = 0; effect < kEffectCount; ++effect) {
        if (!cardPanel().testHeld[effect])
            continue;
        cardPanel().testHeld[effect] = 0;
        if (host && host->effectPreviewFn)
            host->effectPreviewFn(effect, false);
        changed = true;
    }
    return changed;
}

bool cardDrag(float x, float y) {
    EffectCardPanel& panel = cardPanel();
    if (panel.dragCard >= 0 && panel.dragCard < panel.count && panel.dragSlider >= 0 &&
        panel.dragSlider < std::min(panel.cards[panel.dragCard].sliderCount, kMaxCardSliders)) {
        const EffectCard& c = panel.cards[panel.dragCard];
        setSliderFromPointer(c.sliders[panel.dragSlider], x);
        return true;
    }
    int hover = -1;
    uint8_t enable = 0, test = 0, split = 0;
    for (int i = 0; i < panel.count && hover < 0 && pointInRect(panel.area, x, y); ++i) {
        const EffectCard& c = panel.cards[i];
        if (!pointInRect(c.cardRect, x, y))
            continue;
        hover = i;
        enable = pointInRect(c.enableRect, x, y) ? 1 : 0;
        test = pointInRect(c.testRect, x, y) ? 1 : 0;
        split = c.splitShown && pointInRect(c.splitRect, x, y) ? 1 : 0;
    }
    const bool changed = hover != panel.hoverCard || enable != panel.hoverEnable || test != panel.hoverTest ||
                         split != panel.hoverSplit;
    panel.hoverCard = hover;
    panel.hoverEnable = enable;
    panel.hoverTest = test;
    panel.hoverSplit = split;
    return changed;
}

bool cardScroll(int wheelDelta) {
    const float s = dpiScale();
    const float before = cardPanel().scroll;
    const float step = s * densityMetrics().cardHeight * 3.0f * (static_cast<float>(wheelDelta) / 120.0f);
    cardPanel().scroll = std::clamp(before - step, 0.0f, std::max(0.0f, cardPanel().maxScroll));
    return cardPanel().scroll != before;
}

bool moveCardFocus(int step) {
    EffectCardPanel& panel = cardPanel();
    if (panel.count <= 0 || step == 0)
        return false;
    const int n = panel.count;
    if (!hasFocusedCard())
        panel.focusCard = step > 0 ? 0 : n - 1;
    else
        panel.focusCard = ((panel.focusCard + (step > 0 ? 1 : -1)) % n + n) % n;
    scrollFocusIntoView();
    return true;
}

bool toggleFocusedCard() {
    if (!hasFocusedCard())
        return false;
    toggleCardEffect(cardPanel().cards[cardPanel().focusCard].effect);
    return true;
}

bool nudgeFocusedCardVolume(float step) {
    if (!hasFocusedCard() || !std::isfinite(step))
        return false;
    const EffectCard& c = cardPanel().cards[cardPanel().focusCard];
    if (c.sliderCount < 1)
        return false;
    const CardSlider& slider = c.sliders[0];
    const int sim = cardPanel().sim;
    bool changed = false;
    gSettings.edit(
        [&](HapticSettings& s) {
            EffectProfile& block = s.effectProfiles[sim];
            const float before = sliderValueOf(slider, block);
            // A value stored outside the range (an old file) steps from the
            // nearest end.
            const float from = std::clamp(std::isfinite(before) ? before : slider.min, slider.min, slider.max);
            storeSliderValue(slider, block,
                             std::clamp(from + step * (slider.max - slider.min), slider.min, slider.max));
            changed = sliderValueOf(slider, block) != before;
        },
        false);
    if (!changed)
        return false;
    // A key press is a whole drag: its change is marked for saving at once.
    gSettings.markDirty();
    return true;
}

bool toggleCardByNumber(int number) {
    if (number < 1 || number > cardPanel().count)
        return false;
    toggleCardEffect(cardPanel().cards[number - 1].effect);
    return true;
}

void updateLevelMeters() {
    LevelMeters& m = meters();
    const uint32_t slot = m.writeIndex & (kLevelHistorySize - 1);
    for (int i = 0; i < kEffectCount; ++i) {
        const float level = sanitizedMeter(gEffectMeters[i].load());
        m.level[i] = level;
        m.peak[i] = std::max(level, m.peak[i] - kPeakFall);
        m.history[i][slot] = level;
    }
    m.writeIndex = (slot + 1) & (kLevelHistorySize - 1);
}

bool anyMeterActive() {
    const LevelMeters& m = meters();
    for (int i = 0; i < kEffectCount; ++i)
        if (m.level[i] > 0.001f || m.peak[i] > 0.001f)
            return true;
    return false;
}

void resetLevelMeters() { meters() = LevelMeters{}; }

RectF effectCardArea(float width, float height) {
    const float s = dpiScale();
    const float left = 22.0f * s;
    const float top = (18.0f + 56.0f + 52.0f) * s;
    const float right = std::max(left, width - (22.0f + 18.0f + 360.0f) * s);
    const float bottom = std::max(top, height - (44.0f + 18.0f) * s);
    return RectF{left, top, right, bottom};
}

void resetEffectCards() {
    EffectCardsState& cards = mainWindowBands().cards;
    resetLevelMeters();
    resetEffectCardCaches();
    cards.panel = EffectCardPanel{};
    cards.block = EffectProfile{};
    cards.width = cards.height = 0;
    resetCardDrag();
    buildEffectCards(kIRacing);
}

const Band kEffectCardsBand = {
    "effect cards",
    layoutEffectCards,
    [](DrawContext& context, const BandFrame& frame) {
        paintEffectCards(context, frame.width, frame.height, frame.time);
    },
    [](const BandEvent& event) { return cardDrag(event.x, event.y); },
    [](const BandEvent& event) { return cardMouseDown(event.host, event.x, event.y); },
    [](const BandEvent& event) { return cardMouseUp(event.host, event.x, event.y); },
    // The wheel anywhere left of the control panel's column scrolls the cards.
    [](const BandEvent& event) {
        if (event.x >= event.width - (22.0f + 360.0f) * dpiScale())
            return false;
        cardScroll(event.wheelDelta);
        return true;
    },
    resetEffectCards,
};

}  // namespace qv
