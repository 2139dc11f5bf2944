#pragma once
// The effect cards in the left part of the main window: one card per effect
// of the selected simulator with its on/off button, a live level scope, a
// press-and-hold TEST button that previews the effect, and two or three
// sliders that edit the simulator's effect block. The suspension card of the
// simulators that can split suspension into a slow and a fast band also
// carries the SMP/ADV switch, which changes which cards exist.
//
// GUI thread only. The cards edit gSettings through gSettings.edit; a slider
// drag writes at once and raises the dirty flag when it ends. The meters are
// read from gEffectMeters (atomics written by the main thread); values that
// are not finite count as 0 and every level is kept within 0..1.

#include "platform/Window.h"
#include "platform/graphics/DrawContext.h"
#include "settings/HapticSettings.h"
#include "ui/panels/Band.h"
#include "ui/panels/LayerCache.h"
#include "ui/panels/ScopeImage.h"

#include <cstdint>

namespace qv {

class GuiHost;

inline constexpr int kMaxCards = 7;
inline constexpr int kMaxCardSliders = 3;
inline constexpr int kLevelHistorySize = 128;

struct CardSlider {
    float EffectProfile::*floatTarget = nullptr;
    int32_t EffectProfile::*intTarget = nullptr;  // used when floatTarget is null
    float min = 0;
    float max = 1;
    const char* label = "";
    const char* unit = "";
    uint8_t percent = 0;  // the value 0..1 is shown as a percentage
    RectF rect;           // from the layout
    float trackLeft = 0;  // the draggable track, from the layout
    float trackWidth = 0;
    // From the layout: on a narrow card the value stands right of a
    // shorter track instead of above it, beside the label.
    uint8_t valueBesideTrack = 0;
};

struct EffectCard {
    const char* name = "";
    const char* tag = "";
    const char* subtitle = "";
    int32_t effect = 0;  // EffectId
    uint8_t splitShown = 0;
    int32_t sliderCount = 0;
    CardSlider sliders[kMaxCardSliders];
    // Written by the layout; empty when the card is not shown.
    // The scope gives way (narrower, then none) where the sliders need room.
    RectF cardRect, enableRect, testRect, splitRect, scopeRect;
};

struct EffectCardPanel {
    EffectCard cards[kMaxCards];
    int32_t count = 0;
    int32_t sim = 0;  // the simulator the cards were built for
    float scroll = 0;
    float maxScroll = 0;
    int32_t dragCard = -1;
    int32_t dragSlider = -1;
    int32_t hoverCard = -1;
    uint8_t hoverEnable = 0;
    uint8_t hoverTest = 0;
    uint8_t hoverSplit = 0;
    uint8_t testHeld[kEffectCount] = {};
    int32_t focusCard = -1;  // the card the keys act on (outlined in the accent); -1 none
    RectF area;  // the visible card area of the last layout; clicks outside it miss
};

struct LevelMeters {
    float level[kEffectCount] = {};
    float peak[kEffectCount] = {};
    float history[kEffectCount][kLevelHistorySize] = {};
    uint32_t writeIndex = 0;  // the next slot; masked with 127
};

// The cards' record (inside MainWindowBands).
struct EffectCardsState {
    EffectCardPanel panel;
    LevelMeters meters;
    EffectProfile block{};  // the cards' simulator's block at the last layout
    float width = 0, height = 0;  // of the last layout
    // The stored drawings: each card without its values, and each slider's
    // value part.
    LayerCache cardCaches[kMaxCards];
    LayerCache sliderCaches[kMaxCards][kMaxCardSliders];
    // Each card's scope curve, kept as an image and advanced by the new samples.
    ScopeImage scopeImages[kMaxCards];
};

const EffectCardPanel& effectCardPanel();
const LevelMeters& levelMeters();

// The band: layout, paint, hover (cardDrag), press (cardMouseDown), release
// (cardMouseUp), wheel (cardScroll, left of the control panel), reset.
extern const Band kEffectCardsBand;

// Fills the cards for a simulator and resets the scroll offset; returns the
// card count (6 or 7). A slider drag in progress ends (and its edit is marked
// for saving), so it never lands in another card's field.
int buildEffectCards(int sim);
// Clears the TEST-held flags and the scroll offset (a new window).
void resetCardDrag();

// Mouse handlers; x, y are client pixels, host may be null (no previews).
bool cardMouseDown(GuiHost* host, float x, float y);
bool cardMouseUp(GuiHost* host, float x, float y);
// Moves the dragged slider, or else tracks the hovered card; true when a
// value or a hover byte changed.
bool cardDrag(float x, float y);
// Three card heights per wheel notch of 120; true when the offset moved.
bool cardScroll(int wheelDelta);

// The keys of the main window. Their edits take the mouse's paths: Space
// and the number keys flip an effect as its power button does, + and - write
// the first slider (VOLUME, or INTENSITY) as a drag does and then mark the
// change for saving as the end of a drag does. Each returns true when
// something changed.
//
// The focus moves to the next (step +1) or previous (-1) card, wrapping at
// both ends; the first move goes to the first or the last card. The focused
// card is scrolled into view.
bool moveCardFocus(int step);
// Space: the focused card's effect on or off; nothing without a focus.
bool toggleFocusedCard();
// + and -: the focused card's first slider by `step` of its range, kept
// within the range; nothing without a focus.
inline constexpr float kCardVolumeKeyStep = 0.05f;
bool nudgeFocusedCardVolume(float step);
// 1 to 7: the effect of the card at that place (1 the top card) on or off;
// nothing when there are fewer cards.
bool toggleCardByNumber(int number);

// One meter step: levels from gEffectMeters, peaks falling by 0.04 per call
// (never below the level), one history sample per effect.
void updateLevelMeters();
// Any displayed level or peak above 0.001.
bool anyMeterActive();
// Clears levels, peaks and history (tests, a new window).
void resetLevelMeters();

// Lays the cards out in the left area for a client of width x height pixels.
void layoutEffectCards(const BandFrame& frame);
// Paints the cards as the last layout left them.
void paintEffectCards(DrawContext& context, float width, float height, float time);

// Drops the cards' stored drawings (tests; a new window).
void resetEffectCardCaches();
// Forgets everything of the cards (meters, drawings, drag, focus) and builds
// the iRacing cards (a new window; tests).
void resetEffectCards();

// The card area in client pixels (may be empty on a narrow window).
RectF effectCardArea(float width, float height);

}  // namespace qv
